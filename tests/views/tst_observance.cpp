#include "LocalTestTables.h"
#include "views/GradL.h"
#include "core/Globals.h"
#include "platform/IniFile.h"
#include "core/LocalDatabase.h"
#include "views/ObservanceSeries.h"
#include "platform/ProgramFolder.h"
#include "platform/ShellLauncher.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "views/uObservances.h"
#include "core/Main.h"
#include "views/ObservanceDisplay.h"
#include "views/Patients.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QTimer>
#include <QCheckBox>
#include <QDir>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QHeaderView>
#include <QLineSeries>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QValueAxis>
#include <QtTest>

namespace {

template<class T>
T *part(QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("missing control %s", name);
    return found;
}

struct Observance {
    QString when;
    double nuit, iah, p95, pepMini, pepMaxi;
    QString url, urlOrkyn, urlVa;
};

class CountingLabel : public TGradientLabel
{
public:
    int changes = 0;

protected:
    void GradientChanged() override
    {
        ++changes;
        TGradientLabel::GradientChanged();
    }
};

} // namespace

class ObservanceTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void gradientLine_data();
    void gradientLine();
    void gradientPainted();
    void sameValueDoesNotRepaint();
    void seriesFromQuery();
    void gridLayoutDefaultsAndSave();
    void gridLayoutRestoredByPosition();
    void gridToggle();
    void providerButtonsAndLinks();
    void freedWindowClearsGlobal();
    void detailFollowsCurrentRow();
    void chartMarkersInsidePlot_data();
    void chartMarkersInsidePlot();
    void patientWithoutObservancesAfterOneWithSeveral();
    void colouredBoxesAndCaptions();
    void readableOnSmallScreen();

private:
    void addObservances(const QList<Observance> &rows);
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
};

void ObservanceTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    m_db = std::make_unique<LocalDatabase>();
    openLocalTables(*m_db, *m_home);
}

void ObservanceTest::cleanup()
{
    ShellLauncher::setHandler({});
    m_db->close();
    m_db.reset();
    m_home.reset();
    Globals::reset();
}

void ObservanceTest::addObservances(const QList<Observance> &rows)
{
    LocalTable &table = m_db->tObservances;
    for (const Observance &row : rows) {
        table.append();
        table.field(QStringLiteral("PATIENTS_ID")).setAsInteger(7);
        table.field(QStringLiteral("DATE_CONSULTATION"))
            .setAsDateTime(QDateTime::fromString(row.when, QStringLiteral("yyyy-MM-dd HH:mm")));
        table.field(QStringLiteral("TECHNICIEN")).setAsString(QStringLiteral("Tech ") + row.when);
        table.field(QStringLiteral("OBSERVANCES_NUIT")).setAsFloat(row.nuit);
        table.field(QStringLiteral("IAH_RESIDUEL")).setAsFloat(row.iah);
        table.field(QStringLiteral("P95")).setAsFloat(row.p95);
        table.field(QStringLiteral("PEP_MINI")).setAsFloat(row.pepMini);
        table.field(QStringLiteral("PEP_MAXI")).setAsFloat(row.pepMaxi);
        table.field(QStringLiteral("FUITES")).setAsBoolean(row.nuit > 5);
        table.field(QStringLiteral("URL")).setAsString(row.url);
        table.field(QStringLiteral("URL_ORKYN")).setAsString(row.urlOrkyn);
        table.field(QStringLiteral("URL_VA")).setAsString(row.urlVa);
        table.post();
    }
    m_db->qObservances.close();
    m_db->qObservances.setParam(QStringLiteral("patients_id"), 7);
    m_db->qObservances.open();
}

void ObservanceTest::gradientLine_data()
{
    QTest::addColumn<QColor>("start");
    QTest::addColumn<QColor>("end");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("i");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("equal colours") << QColor(10, 20, 30) << QColor(10, 20, 30) << 34 << 17 << QColor(10, 20, 30);
    QTest::newRow("first row is the start") << QColor(0, 0, 255) << QColor(255, 0, 0) << 34 << 0 << QColor(0, 0, 255);
    QTest::newRow("last row truncated") << QColor(0, 0, 255) << QColor(255, 0, 0) << 34 << 33 << QColor(247, 0, 7);
    QTest::newRow("decrease truncates toward zero") << QColor(15, 0, 0) << QColor(0, 0, 0) << 2 << 1 << QColor(7, 0, 0);
    QTest::newRow("zero-height label") << QColor(0, 0, 255) << QColor(255, 0, 0) << 0 << 0 << QColor(0, 0, 255);
}

void ObservanceTest::gradientLine()
{
    QFETCH(QColor, start);
    QFETCH(QColor, end);
    QFETCH(int, n);
    QFETCH(int, i);
    QFETCH(QColor, expected);
    QCOMPARE(TGradientLabel::lineColor(start, end, n, i), expected);
}

void ObservanceTest::gradientPainted()
{
    TGradientLabel label;
    label.resize(200, 34);
    QImage image = label.grab().toImage();
    QCOMPARE(image.pixelColor(1, 0), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(1, 33), QColor(247, 0, 7));

    label.SetFillDirection(TGradientLabel::fdLeftToRight);
    image = label.grab().toImage();
    QCOMPARE(image.pixelColor(0, 1), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(199, 1), TGradientLabel::lineColor(Qt::blue, Qt::red, 200, 199));

    // A transparent label leaves the background as it was.
    label.SetTransparent(true);
    QPixmap canvas(200, 34);
    canvas.fill(Qt::white);
    label.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
    QCOMPARE(canvas.toImage().pixelColor(1, 1), QColor(Qt::white));
}

void ObservanceTest::sameValueDoesNotRepaint()
{
    CountingLabel label;
    label.SetStartColor(QColor(0, 0, 255));
    label.SetEndColor(QColor(255, 0, 0));
    label.SetFillDirection(TGradientLabel::fdTopToBottom);
    QCOMPARE(label.changes, 0);
    label.SetStartColor(QColor(45, 150, 255));
    label.SetFillDirection(TGradientLabel::fdLeftToRight);
    QCOMPARE(label.changes, 2);
}

void ObservanceTest::seriesFromQuery()
{
    addObservances({{"2024-01-10 09:00", 6.2, 2.5, 12, 4, 0.4, {}, {}, {}},
                    {"2024-03-10 09:00", 0, 3.5, 0, 5, 9.6, {}, {}, {}},
                    {"2024-02-10 09:00", 7.5, 0.2, 14, 0, 10, {}, {}, {}}});
    // Newest first; a value rounded to 0 adds no point and leaves no gap.
    const ObservanceSeries::Points points = ObservanceSeries::build(m_db->qObservances);
    QCOMPARE(points[0], (QList<QPointF>{{0, 8}, {1, 6}}));
    QCOMPARE(points[1], (QList<QPointF>{{0, 4}, {1, 2}}));
    QCOMPARE(points[2], (QList<QPointF>{{0, 14}, {1, 12}}));
    QCOMPARE(points[3], (QList<QPointF>{{0, 5}, {1, 4}}));
    QCOMPARE(points[4], (QList<QPointF>{{0, 10}, {1, 10}}));

    TfObservance window(&m_db->qObservances);
    window.fillSeries();
    window.fillSeries(); // filling again replaces, never adds
    QCOMPARE(window.series(5)->points(), points[4]);
    QCOMPARE(window.series(1)->points(), points[0]);
    // P95 and the pressures keep their fixed ranges.
    const auto *p95Axis = qobject_cast<QValueAxis *>(window.chart(3)->axes(Qt::Vertical).first());
    QCOMPARE(p95Axis->max(), 100.0);
    const auto *pepAxis = qobject_cast<QValueAxis *>(window.chart(4)->axes(Qt::Vertical).first());
    QCOMPARE(pepAxis->max(), 10.0);
    QCOMPARE(window.chart(1)->title(), QStringLiteral("Observances par nuit"));
}

void ObservanceTest::gridLayoutDefaultsAndSave()
{
    const QString ini = ProgramFolder::configurationFile();
    {
        TfObservance window(&m_db->qObservances);
        QCOMPARE(part<QTableView>(window, "DBGridHistory")->horizontalHeader()->sectionSize(0), 130);
        window.show();
        // Hidden grid: closing still writes every column and the height.
        window.close();
    }
    IniFile file(ini);
    for (int i = 0; i < 40; ++i)
        QVERIFY2(file.hasKey(QStringLiteral("GridHistory"), QStringLiteral("Column%1_Width").arg(i)), qPrintable(QString::number(i)));
    QCOMPARE(file.readInteger(QStringLiteral("GridHistory"), QStringLiteral("Column0_Width"), -1), 130);
    QCOMPARE(file.readInteger(QStringLiteral("GridHistory"), QStringLiteral("Height"), -1), 60);
    QVERIFY(file.readInteger(QStringLiteral("GridHistory"), QStringLiteral("Column38_Width"), -1) > 0);
}

void ObservanceTest::gridLayoutRestoredByPosition()
{
    IniFile file(ProgramFolder::configurationFile());
    file.writeInteger(QStringLiteral("GridHistory"), QStringLiteral("Column1_Width"), 77);
    file.writeString(QStringLiteral("GridHistory"), QStringLiteral("Column2_Width"), QStringLiteral("abc"));
    file.writeInteger(QStringLiteral("GridHistory"), QStringLiteral("Height"), 120);
    int layoutWidth2 = 0;
    {
        TfObservance window(&m_db->qObservances);
        QHeaderView *header = part<QTableView>(window, "DBGridHistory")->horizontalHeader();
        QCOMPARE(header->sectionSize(1), 77);
        layoutWidth2 = header->sectionSize(2);
        QVERIFY(layoutWidth2 > 0);
        // The user drags column 1 to the front: widths are saved by position.
        header->moveSection(1, 0);
        window.SaveGridSettings();
    }
    QCOMPARE(file.readInteger(QStringLiteral("GridHistory"), QStringLiteral("Column0_Width"), -1), 77);
    QCOMPARE(file.readInteger(QStringLiteral("GridHistory"), QStringLiteral("Column1_Width"), -1), 130);
    QCOMPARE(file.readInteger(QStringLiteral("GridHistory"), QStringLiteral("Column2_Width"), -1), layoutWidth2);
    QCOMPARE(file.readInteger(QStringLiteral("GridHistory"), QStringLiteral("Height"), -1), 120);
}

void ObservanceTest::gridToggle()
{
    TfObservance window(&m_db->qObservances);
    window.resize(1280, 1000);
    window.show();
    QVERIFY(part<QWidget>(window, "pResume")->isHidden());
    window.bGridClick();
    QVERIFY(part<QWidget>(window, "pResume")->isVisible());
    QVERIFY(part<QToolButton>(window, "bGrid")->isChecked());
    QCOMPARE(part<QWidget>(window, "pResume")->height(), 60);
    window.bGridClick();
    QVERIFY(part<QWidget>(window, "pResume")->isHidden());
    QVERIFY(!part<QToolButton>(window, "bGrid")->isChecked());
}

void ObservanceTest::providerButtonsAndLinks()
{
    addObservances({{"2024-01-10 09:00", 6, 2, 12, 4, 8, {}, {}, QStringLiteral("https://va.example/obs?id=1")},
                    {"2023-01-10 09:00", 6, 2, 12, 4, 8, QStringLiteral("https://p.example/"),
                     QStringLiteral("https://orkyn.example/"), {}}});
    QList<QUrl> opened;
    ShellLauncher::setHandler([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    TfObservance window(&m_db->qObservances);
    window.show();
    QVERIFY(part<QPushButton>(window, "BtWeb")->isHidden() && part<QPushButton>(window, "BtOrkyn")->isHidden() && part<QPushButton>(window, "BtVitalAir")->isHidden());
    m_db->qObservances.first();
    window.showProviderButtons();
    QVERIFY(part<QPushButton>(window, "BtWeb")->isHidden());
    QVERIFY(part<QPushButton>(window, "BtOrkyn")->isHidden());
    QVERIFY(part<QPushButton>(window, "BtVitalAir")->isVisible());
    QTest::mouseClick(part<QPushButton>(window, "BtVitalAir"), Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://va.example/obs?id=1"))});

    m_db->qObservances.next();
    window.showProviderButtons();
    QVERIFY(part<QPushButton>(window, "BtWeb")->isVisible() && part<QPushButton>(window, "BtOrkyn")->isVisible() && part<QPushButton>(window, "BtVitalAir")->isHidden());
    // All end at the same right edge, the later ones in front.
    QCOMPARE(part<QPushButton>(window, "BtWeb")->geometry().right(), part<QPushButton>(window, "BtOrkyn")->geometry().right());
    QVERIFY(part<QPushButton>(window, "BtOrkyn")->width() < part<QPushButton>(window, "BtWeb")->width());
}

void ObservanceTest::freedWindowClearsGlobal()
{
    QMdiArea area;
    area.resize(1200, 800);
    area.show();
    TfObservance *window = TfObservance::open(&area, &m_db->qObservances);
    QCOMPARE(Globals::fObservance, window);
    QVERIFY(window->parentWidget()->isMaximized());
    area.closeAllSubWindows();
    QTRY_VERIFY(area.subWindowList().isEmpty());
    QCOMPARE(Globals::fObservance, nullptr);
    QVERIFY(IniFile(ProgramFolder::configurationFile()).hasKey(QStringLiteral("GridHistory"), QStringLiteral("Height")));

    // Closed and freed at once, as the backup does.
    window = TfObservance::open(&area, &m_db->qObservances);
    window->closeAndFree();
    QCOMPARE(Globals::fObservance, nullptr);
    QVERIFY(area.subWindowList().isEmpty());
}

void ObservanceTest::detailFollowsCurrentRow()
{
    addObservances({{"2024-01-10 09:00", 6, 2, 12, 4, 8, {}, {}, {}},
                    {"2023-01-10 09:00", 3, 2, 12, 4, 8, {}, {}, {}}});
    TfObservance window(&m_db->qObservances);
    m_db->qObservances.first();
    QCOMPARE(part<QLineEdit>(window, "DBEdit1")->text(), QStringLiteral("Tech 2024-01-10 09:00"));
    QVERIFY(part<QCheckBox>(window, "DBCheckBox13")->isChecked());
    m_db->qObservances.next();
    QCOMPARE(part<QLineEdit>(window, "DBEdit1")->text(), QStringLiteral("Tech 2023-01-10 09:00"));
    QVERIFY(!part<QCheckBox>(window, "DBCheckBox13")->isChecked());
    QCOMPARE(part<QTableView>(window, "DBGridHistory")->currentIndex().row(), 1);
    // Choosing a row in the grid moves the query.
    part<QTableView>(window, "DBGridHistory")->selectRow(0);
    QCOMPARE(m_db->qObservances.recNo(), 0);
    m_db->qObservances.close();
    QVERIFY(part<QLineEdit>(window, "DBEdit1")->text().isEmpty());
}

void ObservanceTest::chartMarkersInsidePlot_data()
{
    QTest::addColumn<QList<double>>("nights");
    QTest::newRow("one observance") << QList<double>{6};
    QTest::newRow("three observances") << QList<double>{1, 8, 80};
}

void ObservanceTest::chartMarkersInsidePlot()
{
    QFETCH(QList<double>, nights);
    QList<Observance> rows;
    for (int i = 0; i < nights.size(); ++i)
        rows.append({QStringLiteral("2024-0%1-10 09:00").arg(i + 1), nights.at(i), 0, 0, 0, 0, {}, {}, {}});
    addObservances(rows);
    TfObservance window(&m_db->qObservances);
    window.resize(1400, 1000);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QChartView *view = part<QChartView>(window, "Chart1");
    QVERIFY(view->chart()->legend()->isVisible());
    const QImage image = view->grab().toImage();

    // Every point carries a solid red rectangle of a few pixels, none cut by
    // the plot's edges.
    const QList<QPointF> points = window.series(1)->points();
    QCOMPARE(points.size(), nights.size());
    for (const QPointF &point : points) {
        const QPoint centre = view->mapFromScene(view->chart()->mapToScene(view->chart()->mapToPosition(point)));
        int red = 0;
        for (int dx = -2; dx <= 2; ++dx)
            for (int dy = -2; dy <= 2; ++dy)
                red += image.pixelColor(centre + QPoint(dx, dy)) == QColor(Qt::red) ? 1 : 0;
        QVERIFY2(red == 25, qPrintable(QStringLiteral("point %1: %2 red pixels").arg(point.y()).arg(red)));
        QVERIFY(view->chart()->plotArea().adjusted(4, 4, -4, -4).contains(view->chart()->mapToPosition(point)));
    }
}

void ObservanceTest::patientWithoutObservancesAfterOneWithSeveral()
{
    TfMain main;
    main.resize(1200, 800);
    LocalDatabase &db = main.database();
    openLocalTables(db, *m_home);
    for (const char *name : {"Avec", "Sans"}) {
        db.tPatients.append();
        db.tPatients.field(QStringLiteral("NOM")).setAsString(QString::fromLatin1(name));
        db.tPatients.field(QStringLiteral("PRENOM")).setAsString(QStringLiteral("Paul"));
        db.tPatients.post();
    }
    for (const char *when : {"2024-01-10 09:00", "2024-02-10 09:00", "2024-03-10 00:00"}) {
        db.tObservances.append();
        db.tObservances.field(QStringLiteral("PATIENTS_ID")).setAsInteger(1); // "Avec"
        db.tObservances.field(QStringLiteral("DATE_CONSULTATION"))
            .setAsDateTime(QDateTime::fromString(QString::fromLatin1(when), QStringLiteral("yyyy-MM-dd HH:mm")));
        db.tObservances.field(QStringLiteral("OBSERVANCES_NUIT")).setAsFloat(6);
        db.tObservances.post();
    }
    const auto choose = [&main](const QString &nom) {
        QTimer::singleShot(0, &main, [nom] {
            auto *chooser = qobject_cast<TfPatients *>(QApplication::activeModalWidget());
            QVERIFY(chooser);
            chooser->NomPatient()->setText(nom);
            chooser->bValiderClick();
        });
        ObservanceDisplay({&main.database(), &main, main.fDate(), main.mdiArea()}).bPatientClick();
    };

    choose(QStringLiteral("Avec"));
    const QStringList expected{QStringLiteral("10/03/2024"), QStringLiteral("10/02/2024 09:00"),
                               QStringLiteral("10/01/2024 09:00")};
    QStringList shown;
    for (int i = 0; i < main.fDate()->count(); ++i)
        shown << main.fDate()->itemText(i);
    QCOMPARE(shown, expected);
    QCOMPARE(db.qObservances.recNo(), 0);
    QVERIFY(Globals::fObservance);
    choose(QStringLiteral("Sans"));
    QCOMPARE(main.windowTitle(), QStringLiteral("Tolvarenix Light - Sans Paul - né(e) le "));
    QCOMPARE(main.fDate()->count(), 0);
    QCOMPARE(Globals::fObservance, nullptr);
    QVERIFY(main.mdiArea()->subWindowList().isEmpty());
}

void ObservanceTest::colouredBoxesAndCaptions()
{
    TfObservance window(&m_db->qObservances);
    window.resize(1400, 1000);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = window.grab().toImage();
    const QColor yellow(251, 254, 207), blue(206, 231, 255);
    for (const auto &[name, colour] : {std::pair{"DBEdit1", yellow}, {"DBEdit4", blue}, {"DBEdit7", yellow},
                                       {"DBEdit13", blue}, {"DBEdit22", blue}, {"DBMemo2", blue}}) {
        QWidget *box = part<QWidget>(window, name);
        QCOMPARE(image.pixelColor(box->mapTo(&window, QPoint(8, box->height() / 2))), colour);
    }
    for (const char *name : {"lReglages", "lResultats"}) {
        const QFont font = part<QLabel>(window, name)->font();
        QVERIFY(font.pointSize() == 12 && font.bold() && font.italic());
    }
    // Every tick (text colour on the box's base) stands out: contrast 4.5:1 at least; captions stay white.
    const auto luminance = [](QColor c) { return 0.2126 * std::pow(c.redF(), 2.2) + 0.7152 * std::pow(c.greenF(), 2.2) + 0.0722 * std::pow(c.blueF(), 2.2) + 0.05; };
    for (QCheckBox *box : window.findChildren<QCheckBox *>())
        QVERIFY(luminance(box->palette().color(QPalette::Base)) >= 4.5 * luminance(box->palette().color(QPalette::Text)) && box->palette().color(QPalette::WindowText) == Qt::white);
    // So does the "..." of the blue band (its caption white on the band).
    const QPalette grid = part<QToolButton>(window, "bGrid")->palette();
    const double button = luminance(grid.color(QPalette::Button)), text = luminance(grid.color(QPalette::ButtonText));
    QVERIFY2(std::max(button, text) >= 4.5 * std::min(button, text), qPrintable(grid.color(QPalette::ButtonText).name()));
}

void ObservanceTest::readableOnSmallScreen()
{
    IniFile(ProgramFolder::configurationFile()).writeInteger("GridHistory", "Height", 120);
    addObservances({{"2024-01-10 09:00", 6, 2, 12, 4, 8, {}, {}, {}}});
    ScriptedDialogs dialogs;
    TfMain main;
    main.resize(1366, 768);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QMdiArea *area = main.mdiArea();
    TfObservance *window = TfObservance::open(area, &m_db->qObservances);
    QCoreApplication::processEvents();
    // The grid shows its header and a row at its saved height; dragging its
    // splitter makes it taller, the window area scrolling to hold it.
    QTest::mouseClick(part<QToolButton>(*window, "bGrid"), Qt::LeftButton);
    auto *grid = part<QTableView>(*window, "DBGridHistory");
    QVERIFY(grid->height() == 120 && grid->rowViewportPosition(0) + grid->rowHeight(0) <= grid->viewport()->height());
    QWidget *handle = part<QSplitter>(*window, "Splitter1")->handle(1);
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(5, 1));
    QTest::mouseMove(handle, QPoint(5, 41));
    QCOMPARE(grid->height(), 160);
    QTest::mouseMove(handle, QPoint(5, -300)); // never shorter than its titles and a row
    QVERIFY(grid->rowViewportPosition(0) + grid->rowHeight(0) <= grid->viewport()->height());
    // Scrolled to the end, the bottom of the window comes into view.
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    for (const char *name : {"MonteePressionEveillante", "DBMemo2", "ProviderButtons"}) {
        QWidget *control = part<QWidget>(*window, name);
        const QRect shown(control->mapTo(area->viewport(), QPoint()), control->size());
        QVERIFY2(area->viewport()->rect().contains(shown), name);
    }
    for (QLabel *caption : {part<QLabel>(*window, "lReglages"), part<QLabel>(*window, "lResultats")}) // whole
        QVERIFY(caption->height() >= caption->sizeHint().height());
    // At the window's smallest, every chart's legend names its series in full.
    window->parentWidget()->showNormal();
    window->parentWidget()->resize(window->parentWidget()->minimumSizeHint());
    QCoreApplication::processEvents();
    for (const char *name : {"Chart1", "Chart2", "Chart3", "Chart4"}) {
        QChartView *view = part<QChartView>(*window, name);
        QStringList texts;
        for (QGraphicsItem *item : view->scene()->items())
            if (auto *text = dynamic_cast<QGraphicsTextItem *>(item); text && text->isVisible())
                texts << text->toPlainText();
        texts.removeOne(view->chart()->title());
        for (QAbstractSeries *series : view->chart()->series())
            QVERIFY2(texts.contains(series->name()), qPrintable(texts.join(" | ")));
    }
}

QTEST_MAIN(ObservanceTest)
#include "tst_observance.moc"
