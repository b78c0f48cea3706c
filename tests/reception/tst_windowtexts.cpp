// Every window of the program, opened offscreen as the program opens it with
// the program's font, on a 1024x768 screen and on a 1093x614 work area: no
// label, button or column title is wider than its room, the window lies
// wholly on the screen and every control can be seen whole, or scrolled to.

#include "core/ApplicationSetup.h"
#include "core/Globals.h"
#include "LocalTestTables.h"
#include "app/MainWindow.h"
#include "reception/MessageAction.h"
#include "core/NewFolder.h"
#include "views/Patients.h"
#include "core/Progress.h"
#include "core/ScreenPlacement.h"
#include "core/Proxy.h"
#include "ScriptedDialogs.h"
#include "core/SelectFolder.h"
#include "views/ShowResults.h"
#include "TestHome.h"
#include "reception/UMessage.h"
#include "views/UNewPatient.h"
#include "core/Uabout.h"
#include "core/WaitForm.h"
#include "views/uImages.h"
#include "reception/uMedecin.h"
#include "views/uObservances.h"
#include "core/uStartup.h"
#include "platform/TextViewer.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollBar>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <functional>

namespace {

int widestLine(const QFontMetrics &metrics, const QString &text)
{
    int widest = 0;
    for (const QString &line : text.split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

QString shownText(QString text)
{
    // A mnemonic's "&" is not drawn; "&&" is one "&".
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(u'&').replace(u'\x01', u'&');
}

QString where(const QWidget *w, const QString &text, int need, int room)
{
    return QStringLiteral("%1 \"%2\": %3 > %4").arg(w->objectName(), text).arg(need).arg(room);
}

// The texts of a window that do not fit in the room they have.
QStringList clippedTexts(QWidget *window)
{
    QStringList clipped;
    for (QLabel *label : window->findChildren<QLabel *>()) {
        const QString text = label->buddy() ? shownText(label->text()) : label->text();
        if (!label->isVisibleTo(window) || label->wordWrap() || text.isEmpty() || Qt::mightBeRichText(text))
            continue;
        const int need = widestLine(label->fontMetrics(), text);
        const int room = label->contentsRect().width() - 2 * label->margin() - std::max(label->indent(), 0);
        if (need > room)
            clipped << where(label, text, need, room);
    }
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        const QString text = shownText(button->text());
        if (!button->isVisibleTo(window) || text.isEmpty())
            continue;
        auto *tool = qobject_cast<QToolButton *>(button);
        if (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull())
            continue;
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        const bool box = qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button);
        const int indicator = box ? button->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button)
                                        + button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button)
                                  : 0;
        const int need = widestLine(button->fontMetrics(), text) + icon + (box ? indicator : 6);
        if (need > button->width())
            clipped << where(button, text, need, button->width());
    }
    for (QHeaderView *header : window->findChildren<QHeaderView *>()) {
        if (!header->isVisibleTo(window) || !header->model() || header->orientation() != Qt::Horizontal)
            continue;
        for (int section = 0; section < header->count(); ++section) {
            if (header->isSectionHidden(section))
                continue;
            const QString text = header->model()->headerData(section, Qt::Horizontal).toString();
            const int need = widestLine(header->fontMetrics(), text) + 8;
            if (need > header->sectionSize(section))
                clipped << where(header, text, need, header->sectionSize(section));
        }
    }
    return clipped;
}

// The controls of a window that cannot be seen whole: cut by the screen's
// edge or by a parent, unless a scrolling area holds them.
QStringList hiddenControls(QWidget *window)
{
    QStringList hidden;
    const QRect area = window->screen()->availableGeometry();
    for (QWidget *control : window->findChildren<QWidget *>()) {
        const bool clickable = qobject_cast<QAbstractButton *>(control) || qobject_cast<QLineEdit *>(control)
                              || qobject_cast<QComboBox *>(control) || qobject_cast<QAbstractSpinBox *>(control)
                              || qobject_cast<QScrollBar *>(control);
        if (!clickable || !control->isVisibleTo(window) || control->window() != window)
            continue;
        QRect seen = control->rect();
        bool scrolls = false;
        for (QWidget *w = control; w != window && !scrolls; w = w->parentWidget()) {
            seen = seen.translated(w->pos()).intersected(w->parentWidget()->rect());
            auto *scroller = qobject_cast<QAbstractScrollArea *>(w->parentWidget()->parentWidget());
            scrolls = scroller && scroller->viewport() == w->parentWidget();
        }
        const QRect onScreen = QRect(window->mapToGlobal(seen.topLeft()), seen.size()).intersected(area);
        if (!scrolls && onScreen.size() != control->size())
            hidden << QStringLiteral("%1 %2: %3x%4 seen").arg(control->metaObject()->className(), control->objectName())
                          .arg(onScreen.width()).arg(onScreen.height());
    }
    return hidden;
}

} // namespace

class WindowTextsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fitsTheScreen_data();
    void fitsTheScreen();
    void centredOnScreen_data();
    void centredOnScreen();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
};

using WindowMaker = std::function<QWidget *(LocalDatabase &)>;
Q_DECLARE_METATYPE(WindowMaker)

namespace {

// The main window as the program shows it, with a child window of its own.
QWidget *inMainWindow(QWidget *child)
{
    auto *main = new MainWindow;
    QMdiSubWindow *frame = main->mdiArea()->addSubWindow(child);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->showMaximized();
    return main;
}

} // namespace

void WindowTextsTest::initTestCase()
{
    ApplicationSetup::applyLook(*qApp);
}

void WindowTextsTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    m_db = std::make_unique<LocalDatabase>();
    openLocalTables(*m_db, *m_home);
}

void WindowTextsTest::cleanup()
{
    m_db->close();
    m_db.reset();
    m_home.reset();
    Globals::reset();
}

void WindowTextsTest::fitsTheScreen_data()
{
    QTest::addColumn<WindowMaker>("make");
    QTest::addColumn<int>("screen");
    QTest::addColumn<bool>("centred"); // by itself, on the screen it is shown on
    auto row = [](const char *name, WindowMaker make, bool centred = false) {
        for (int screen = 0; screen < 2; ++screen)
            QTest::addRow("%s, %s", name, qPrintable(QGuiApplication::screens().at(screen)->name()))
                << make << screen << centred;
    };
    row("main window", [](LocalDatabase &) { return new MainWindow; });
    row("mail account in the main window", [](LocalDatabase &db) { return inMainWindow(new TfMedecin(db.TMail)); });
    row("observances in the main window", [](LocalDatabase &db) {
        auto *main = new MainWindow;
        TfObservance::open(main->mdiArea(), &db.qObservances);
        return main;
    });
    row("start-up", [](LocalDatabase &) { return new TfStartup; });
    row("about box", [](LocalDatabase &) { return new TfAbout({}); });
    row("proxy", [](LocalDatabase &) { return new TfProxy(StartupNeeds{}); });
    row("folder chooser", [](LocalDatabase &) { return new TfSelectFolder; });
    row("new folder", [](LocalDatabase &) { return new TfNewFolder(QStringLiteral("/home/cabinet/")); });
    row("download progress", [](LocalDatabase &) { return new TFProgress; });
    row("wait window", [](LocalDatabase &) {
        auto *w = new TWaitingForm;
        w->setMessage(QStringLiteral("Veuillez patienter pendant l'installation de 7Zip..."));
        return w;
    });
    row("patient chooser", [](LocalDatabase &db) { return new TfPatients(db); }, true);
    row("new patient", [](LocalDatabase &) { return new TfNewPatient; });
    row("documents", [](LocalDatabase &) { return new TfImageForm(QString()); }, true);
    row("import results", [](LocalDatabase &db) { return new TfShowResults(&db.tResultat); }, true);
    row("received message", [](LocalDatabase &) { return new TfMessage; });
    row("message action", [](LocalDatabase &) { return new TFMessageAction; }, true);
    row("import results larger than the screen", [](LocalDatabase &db) {
        auto *w = new TfShowResults(&db.tResultat);
        w->findChild<QWidget *>(QStringLiteral("DBGrid1"))->setMinimumSize(1300, 900);
        return w;
    }, true);
}

void WindowTextsTest::fitsTheScreen()
{
    QFETCH(WindowMaker, make);
    QFETCH(int, screen);
    QFETCH(bool, centred);
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> window(make(*m_db));
    // As the program opens them: the main window maximised, the others
    // placed by themselves, on the screen of the main window.
    QScreen *on = QGuiApplication::screens().at(screen);
    const bool maximised = qobject_cast<QMainWindow *>(window.get()) || window->isMaximized();
    window->setWindowState(Qt::WindowNoState);
    window->move(on->geometry().topLeft());
    window->setScreen(on);
    if (maximised)
        window->showMaximized();
    else
        window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCoreApplication::processEvents();
    QCOMPARE(window->screen(), on);
    const QStringList clipped = clippedTexts(window.get());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("\n"))));
    // A window manager keeps a window at least at its least size.
    const QRect area = on->availableGeometry(), frame = window->frameGeometry();
    const QSize least = window->minimumSize() + frame.size() - window->size();
    QCOMPARE(least.boundedTo(area.size()), least);
    QCOMPARE(area.united(frame), area);
    const QPoint offCentre = frame.center() - area.center();
    QVERIFY2(!centred || offCentre.manhattanLength() <= 2, qPrintable(QStringLiteral("%1, %2 off centre").arg(offCentre.x()).arg(offCentre.y())));
    const QStringList hidden = hiddenControls(window.get());
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(QStringLiteral("\n"))));
    // A refused report or a download opens in front of it, on top when it is.
    m_home->write(QStringLiteral("KORVA_x.txt"), "KORVA\r\n");
    const std::unique_ptr<QWidget> viewer(TextViewer::showFile(m_home->file(QStringLiteral("KORVA_x.txt"))));
    TFProgress progress;
    progress.show();
    for (const QWidget *opened : std::initializer_list<const QWidget *>{viewer.get(), &progress}) {
        QCOMPARE(opened->windowHandle()->transientParent(), window->windowHandle());
        QCOMPARE(opened->windowFlags() & Qt::WindowStaysOnTopHint, window->windowFlags() & Qt::WindowStaysOnTopHint);
    }
}

void WindowTextsTest::centredOnScreen_data()
{
    // On the 1093x614 screen, right of the other one; a window larger than
    // it keeps its title bar and left edge in view, and takes the screen
    // with the frame it is to get when it is not framed yet (never shown).
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("frameAt");
    QTest::addColumn<bool>("framed");
    QTest::newRow("smaller") << QSize(489, 310) << QPoint(1024 + 300, 150) << true;
    QTest::newRow("wider") << QSize(1200, 310) << QPoint(1024, 150) << true;
    QTest::newRow("taller") << QSize(489, 700) << QPoint(1024 + 300, 0) << true;
    QTest::newRow("larger, not framed yet") << QSize(1200, 700) << QPoint(1024, 0) << false;
}

void WindowTextsTest::centredOnScreen()
{
    QFETCH(QSize, size);
    QFETCH(QPoint, frameAt);
    QFETCH(bool, framed);
    QWidget window;
    window.setScreen(QGuiApplication::screens().at(1));
    window.move(1024, 0);
    window.resize(size);
    if (!framed) { // placed by its inside, a title bar and a border counted
        FitToScreen(window);
        const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
        QCOMPARE(window.geometry().marginsAdded(QMargins(5, 5 + title, 5, 5)), QRect(frameAt, QSize(1093, 614)));
        return;
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CentreOnScreen(window);
    QCOMPARE(window.frameGeometry().size(), size + QSize(4, 4)); // the test screen's frame
    QCOMPARE(window.frameGeometry().topLeft(), frameAt);
}

int main(int argc, char *argv[])
{
    // Two screens: a 1024x768 one, and a 1366x768 laptop's work area at 125 %.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" FIXTURES_DIR "/screens.json");
    QApplication app(argc, argv);
    WindowTextsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windowtexts.moc"
