// Every window of the program, opened offscreen at its own size with the
// program's font: no label, button or column title is wider than its room.

#include "core/ApplicationSetup.h"
#include "core/Globals.h"
#include "LocalTestTables.h"
#include "app/MainWindow.h"
#include "reception/MessageAction.h"
#include "core/NewFolder.h"
#include "views/Patients.h"
#include "core/Progress.h"
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

#include <QAbstractButton>
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

} // namespace

class WindowTextsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void textsFit_data();
    void textsFit();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
};

using WindowMaker = std::function<QWidget *(LocalDatabase &)>;
Q_DECLARE_METATYPE(WindowMaker)

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

void WindowTextsTest::textsFit_data()
{
    QTest::addColumn<WindowMaker>("make");
    auto row = [](const char *name, WindowMaker make) { QTest::newRow(name) << make; };
    row("main window", [](LocalDatabase &) { return new MainWindow; });
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
    row("patient chooser", [](LocalDatabase &db) { return new TfPatients(db); });
    row("new patient", [](LocalDatabase &) { return new TfNewPatient; });
    row("observances", [](LocalDatabase &db) { return new TfObservance(&db.qObservances); });
    row("documents", [](LocalDatabase &) { return new TfImageForm(QString()); });
    row("import results", [](LocalDatabase &db) { return new TfShowResults(&db.tResultat); });
    row("mail account", [](LocalDatabase &db) { return new TfMedecin(db.TMail); });
    row("received message", [](LocalDatabase &) { return new TfMessage; });
    row("message action", [](LocalDatabase &) { return new TFMessageAction; });
}

void WindowTextsTest::textsFit()
{
    QFETCH(WindowMaker, make);
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> window(make(*m_db));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCoreApplication::processEvents();
    const QStringList clipped = clippedTexts(window.get());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("\n"))));
}

QTEST_MAIN(WindowTextsTest)
#include "tst_windowtexts.moc"
