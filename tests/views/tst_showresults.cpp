#include "LocalTestTables.h"
#include "platform/Clock.h"
#include "core/Globals.h"
#include "platform/IniFile.h"
#include "core/LocalDatabase.h"
#include "platform/ProgramFolder.h"
#include "views/ResultsPrinting.h"
#include "ScriptedDialogs.h"
#include "views/ShowResults.h"
#include "TestHome.h"

#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QTableView>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>

namespace {

QString pdfText(const QString &file, const QString &tool, const QStringList &args)
{
    QProcess process;
    process.start(tool, args + QStringList{file, QStringLiteral("-")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

int pdfPages(const QString &file)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {file});
    process.waitForFinished(30000);
    const QString info = QString::fromUtf8(process.readAllStandardOutput());
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

class ShowResultsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void pageArithmetic_data();
    void pageArithmetic();
    void defaultsAndClosing_data();
    void defaultsAndClosing();
    void gridWidthKeys_data();
    void gridWidthKeys();
    void widthEditRestoredWhenNotWhole();
    void printsPagesToPdf();
    void printRefusesBadWidth();
    void importedCellShowsCheckMark();
    void initialPrinter_data();
    void initialPrinter();

private:
    void addResults(int count);
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
};

void ShowResultsTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    m_db = std::make_unique<LocalDatabase>();
    openLocalTables(*m_db, *m_home);
    m_dialogs = std::make_unique<ScriptedDialogs>();
    Clock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(10, 0)); });
}

void ShowResultsTest::cleanup()
{
    Clock::setSource({});
    m_dialogs.reset();
    m_db->close();
    m_db.reset();
    m_home.reset();
}

void ShowResultsTest::addResults(int count)
{
    LocalTable &table = m_db->tResultat;
    if (!table.isActive())
        table.open();
    for (int i = 0; i < count; ++i) {
        table.append();
        table.field(QStringLiteral("NomFic")).setAsString(QStringLiteral("rapport%1.txt").arg(i));
        table.field(QStringLiteral("NomPat")).setAsString(QStringLiteral("DURAND%1").arg(i));
        table.field(QStringLiteral("Imported")).setAsBoolean(i % 2 == 0);
        table.field(QStringLiteral("Comment")).setAsString(QStringLiteral("Importation correcte"));
        table.post();
    }
}

void ShowResultsTest::pageArithmetic_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("perPage");
    QTest::addColumn<int>("pages");
    // Header 20, line 10, top 10: (height - 10 - 20 - 20) / 10 rows fit.
    QTest::newRow("exact pages") << 250 << 40 << 20 << 2;
    QTest::newRow("one more row") << 250 << 41 << 20 << 3;
    QTest::newRow("top counted") << 255 << 20 << 20 << 1;
    QTest::newRow("no rows, one page") << 250 << 0 << 20 << 1;
    QTest::newRow("tiny page") << 40 << 3 << 1 << 3;
}

void ShowResultsTest::pageArithmetic()
{
    QFETCH(int, height);
    QFETCH(int, rows);
    QFETCH(int, perPage);
    QFETCH(int, pages);
    QCOMPARE(ResultsPageLayout::rowsPerPage(height, 10, 20, 10), perPage);
    QCOMPARE(ResultsPageLayout::pageCount(rows, perPage), pages);
    QCOMPARE(ResultsPageLayout::millimetresToPixels(600, 20), 472);
    QCOMPARE(ResultsPageLayout::millimetresToPixels(96, 9), 34);
}

void ShowResultsTest::defaultsAndClosing_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("Fermer") << "Fermer";
    QTest::newRow("Esc") << "Esc";
    QTest::newRow("Enter prints nothing, then Fermer") << "Enter";
    QTest::newRow("close box") << "close box";
}

void ShowResultsTest::defaultsAndClosing()
{
    QFETCH(QString, way);
    addResults(2);
    {
        QWidget main; // in a corner of the screen
        TfShowResults window(&m_db->tResultat, &main);
        QStringList texts;
        for (int n = 0; n < 8; ++n)
            texts << window.widthEdit(n)->text();
        QCOMPARE(texts, TfShowResults::defaultWidths());
        QCOMPARE(window.findChild<QTableView *>(QStringLiteral("DBGrid1"))->horizontalHeader()->sectionSize(4), 359);
        QCOMPARE(window.windowTitle(), QStringLiteral("Tolvarenix Light"));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // Centred on the screen; on a screen narrower than it, its left edge shows.
        const QRect area = window.screen()->availableGeometry(), frame = window.frameGeometry();
        QVERIFY(frame.center().y() == area.center().y() && (frame.width() > area.width() ? frame.left() == area.left() : frame.center().x() == area.center().x()));
        if (way == "Enter")
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        if (way == "Esc")
            QTest::keyClick(&window, Qt::Key_Escape);
        else if (way == "close box")
            window.close();
        else
            window.accept();
        QVERIFY(!window.isVisible());
        QVERIFY(m_dialogs->shown.isEmpty());
    }
    m_db->tResultat.open();
    QCOMPARE(m_db->tResultat.recordCount(), 0);
    IniFile ini(ProgramFolder::configurationFile());
    for (const QString &key : TfShowResults::settingKeys())
        QVERIFY(ini.hasKey(QStringLiteral("ShowResults"), key));
    QCOMPARE(ini.readInteger(QStringLiteral("ShowResults"), QStringLiteral("Grid_Column7_Width"), -1), 252);
}

void ShowResultsTest::gridWidthKeys_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("width");
    QTest::newRow("positive") << "150" << 150;
    QTest::newRow("zero") << "0" << 100;
    QTest::newRow("negative") << "-3" << 100;
    QTest::newRow("not a number") << "abc" << 100;
}

void ShowResultsTest::gridWidthKeys()
{
    QFETCH(QString, stored);
    QFETCH(int, width);
    IniFile(ProgramFolder::configurationFile()).writeString(QStringLiteral("ShowResults"), QStringLiteral("Grid_Column1_Width"), stored);
    TfShowResults window(&m_db->tResultat);
    QCOMPARE(window.findChild<QTableView *>(QStringLiteral("DBGrid1"))->horizontalHeader()->sectionSize(1), width);
}

void ShowResultsTest::widthEditRestoredWhenNotWhole()
{
    TfShowResults window(&m_db->tResultat);
    QLineEdit *edit = window.widthEdit(4);
    QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
    QCoreApplication::sendEvent(edit, &in);
    edit->setText(QStringLiteral("60x"));
    QCoreApplication::sendEvent(edit, &out);
    QCOMPARE(edit->text(), QStringLiteral("60"));
    QCoreApplication::sendEvent(edit, &in);
    edit->setText(QStringLiteral("75"));
    QCoreApplication::sendEvent(edit, &out);
    QCOMPARE(edit->text(), QStringLiteral("75"));
}

void ShowResultsTest::printsPagesToPdf()
{
    addResults(70);
    TfShowResults window(&m_db->tResultat);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString file = m_home->file(QStringLiteral("liste%1.pdf").arg(attempt));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        QVERIFY(window.PrintTo(printer));
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
        const int pages = pdfPages(file);
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
        const QString text = pdfText(file, QStringLiteral("pdftotext"), {});
        // Every printing numbers its pages from 1, and the count is right.
        QVERIFY(text.contains(QStringLiteral("Page 1 / %1").arg(pages)));
        QVERIFY(text.contains(QStringLiteral("Page %1 / %1").arg(pages)));
        QVERIFY(!text.contains(QStringLiteral("Page %1 /").arg(pages + 1)));
        QVERIFY(text.contains(QStringLiteral("Résultat de l'importation du 05/03/2024")));
        QVERIFY(text.contains(QStringLiteral("DURAND69")));
        QVERIFY(!text.contains(QStringLiteral("Vrai")) && !text.contains(QStringLiteral("Faux")));
        QVERIFY(text.contains(QLatin1Char('X')));
    }
    QVERIFY(m_dialogs->shown.isEmpty());
}

void ShowResultsTest::printRefusesBadWidth()
{
    IniFile(ProgramFolder::configurationFile()).writeString(QStringLiteral("ShowResults"), QStringLiteral("NomFic"), QStringLiteral("large"));
    addResults(1);
    TfShowResults window(&m_db->tResultat);
    const QString file = m_home->file(QStringLiteral("refus.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    QVERIFY(!window.PrintTo(printer));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY(m_dialogs->lastText().contains(QStringLiteral("\"large\"")));
}

void ShowResultsTest::importedCellShowsCheckMark()
{
    addResults(2); // row 0 imported, row 1 not
    TfShowResults window(&m_db->tResultat);
    window.show();
    auto *grid = window.findChild<QTableView *>(QStringLiteral("DBGrid1"));
    grid->clearSelection();
    grid->setCurrentIndex(QModelIndex());
    // The window fits the test's small screen: the last columns are scrolled to.
    const auto grab = [grid] {
        grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
        return grid->viewport()->grab().toImage();
    };
    QImage image = grab();
    const auto darkPixels = [&](int row, int column = 6) {
        const QRect cell = grid->visualRect(grid->model()->index(row, column));
        int dark = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                dark += qGray(image.pixel(x, y)) < 100;
        return dark;
    };
    QVERIFY(darkPixels(0) > 5);
    QCOMPARE(darkPixels(1), 0);

    // Moved, the "Importé" column keeps its check mark, and the column now at
    // its former position ("Résultat") keeps its text.
    grid->horizontalHeader()->moveSection(6, 7);
    image = grab();
    QVERIFY(darkPixels(0) > 5);
    QCOMPARE(darkPixels(1), 0); // no "Faux"
    QVERIFY(darkPixels(1, 7) > 5);
}

void ShowResultsTest::initialPrinter_data()
{
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QString>("defaultPrinter");
    QTest::addColumn<int>("index");
    QTest::newRow("default printer") << QStringList{"A", "B"} << "B" << 1;
    QTest::newRow("no default: the first") << QStringList{"A", "B"} << "" << 0;
    QTest::newRow("no printer") << QStringList{} << "" << -1;
}

void ShowResultsTest::initialPrinter()
{
    QFETCH(QStringList, printers);
    QFETCH(QString, defaultPrinter);
    QFETCH(int, index);
    QCOMPARE(TfShowResults::initialPrinter(printers, defaultPrinter), index);
}

QTEST_MAIN(ShowResultsTest)
#include "tst_showresults.moc"
