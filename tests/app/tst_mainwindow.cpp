// The main window's patient display: choosing a patient, the date box and
// the observance window.

#include "LocalTestTables.h"
#include "core/Globals.h"
#include "platform/IniFile.h"
#include "app/MainWindow.h"
#include "views/Patients.h"
#include "platform/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "reception/uMedecin.h"
#include "views/uObservances.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void choosingAPatientShowsTheirObservances();
    void dateChoiceShowsTheProviderButtons();
    void accountFormOpensOnce();
    void damagedMailTableGivesOneErrorAndNoForm();
    void patientChosenAgainOnlyAfterABackup_data();
    void patientChosenAgainOnlyAfterABackup();

private:
    // Answers the next patient chooser: validate the shown row, or cancel.
    void answerChooser(bool validate);
    void addPatientWithObservances();

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MainWindow> m_window;
};

void MainWindowTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    m_window = std::make_unique<MainWindow>();
    openLocalTables(m_window->database(), *m_home);
    m_window->setWindowTitle("Tolvarenix Light - ");
    m_window->show();
    addPatientWithObservances();
}

void MainWindowTest::cleanup()
{
    m_window->database().close();
    m_window.reset();
    m_home.reset();
    Globals::reset();
}

void MainWindowTest::addPatientWithObservances()
{
    LocalDatabase &db = m_window->database();
    db.tPatients.append();
    db.tPatients.field("NOM").setAsString("DURAND");
    db.tPatients.field("PRENOM").setAsString("Anne");
    db.tPatients.field("NE_LE").setAsString("02/03/1950");
    db.tPatients.post();
    const int id = db.tPatients.field("PATIENTS_ID").asInteger();
    const struct {
        const char *when;
        double pepMaxi;
        const char *urlVa;
    } rows[] = {{"2026-11-02 08:30", 0.4, "https://va.example/1"}, {"2026-11-20 09:15", 12.0, ""}};
    for (const auto &r : rows) {
        db.tObservances.append();
        db.tObservances.field("PATIENTS_ID").setAsInteger(id);
        db.tObservances.field("DATE_CONSULTATION").setAsDateTime(QDateTime::fromString(r.when, "yyyy-MM-dd HH:mm"));
        db.tObservances.field("PEP_MAXI").setAsFloat(r.pepMaxi);
        db.tObservances.field("URL_VA").setAsString(r.urlVa);
        db.tObservances.post();
    }
}

void MainWindowTest::answerChooser(bool validate)
{
    QTimer::singleShot(0, this, [validate] {
        auto *chooser = qobject_cast<TfPatients *>(QApplication::activeModalWidget());
        QVERIFY(chooser);
        if (validate)
            chooser->bValiderClick();
        else
            chooser->reject();
    });
}

void MainWindowTest::choosingAPatientShowsTheirObservances()
{
    answerChooser(true);
    m_window->bPatientClick();
    QCOMPARE(m_window->windowTitle(), QString::fromUtf8("Tolvarenix Light - DURAND Anne - né(e) le 02/03/1950"));
    QVERIFY(Globals::CurrentPatientID > 0);
    QCOMPARE(m_window->fDate()->count(), 2);
    QCOMPARE(m_window->fDate()->itemText(0), QString("20/11/2026 09:15")); // newest first
    QCOMPARE(m_window->fDate()->itemText(1), QString("02/11/2026 08:30"));
    QVERIFY(Globals::fObservance);
    TfObservance *first = Globals::fObservance;

    // A cancelled choice keeps the patient and shows the same window again.
    const int patient = Globals::CurrentPatientID;
    answerChooser(false);
    m_window->bPatientClick();
    QCOMPARE(Globals::CurrentPatientID, patient);
    QCOMPARE(m_window->fDate()->count(), 2);
    QCOMPARE(Globals::fObservance, first);
}

void MainWindowTest::dateChoiceShowsTheProviderButtons()
{
    answerChooser(true);
    m_window->bPatientClick();
    QVERIFY(Globals::fObservance);
    auto *va = Globals::fObservance->findChild<QPushButton *>("BtVitalAir");
    QVERIFY(va);

    m_window->fDate()->setCurrentIndex(1);
    m_window->fDateChange();
    QCOMPARE(m_window->database().qObservances.field("URL_VA").asString(), QString("https://va.example/1"));
    QVERIFY(!va->isHidden());

    m_window->fDate()->setCurrentIndex(0);
    m_window->fDateChange();
    QCOMPARE(m_window->database().qObservances.recNo(), 0);
    QVERIFY(va->isHidden());
}

void MainWindowTest::accountFormOpensOnce()
{
    ScriptedDialogs dialogs;
    Globals::fMain = m_window.get();
    m_window->Voirfichemdecin1Click(); // a new record, nothing typed yet
    m_window->Voirfichemdecin1Click();
    QCOMPARE(dialogs.texts(), QStringList());
    int forms = 0;
    for (QMdiSubWindow *window : m_window->mdiArea()->subWindowList())
        forms += qobject_cast<TfMedecin *>(window->widget()) ? 1 : 0;
    QCOMPARE(forms, 1);
    QCOMPARE(m_window->database().TMail.recordCount(), 0);
}

void MainWindowTest::damagedMailTableGivesOneErrorAndNoForm()
{
    TestHome home;
    home.write("Base/Mail.db", QByteArray(4096, 'x'));
    ScriptedDialogs dialogs;
    MainWindow window;
    window.FormCreate();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Voirfichemdecin1Click(); // the menu command: the error again, and no form that could not save
    QCOMPARE(dialogs.texts().size(), 2);
    QCOMPARE(window.mdiArea()->subWindowList().size(), 0);
}

void MainWindowTest::patientChosenAgainOnlyAfterABackup_data()
{
    QTest::addColumn<bool>("userFileInTheWay");
    QTest::newRow("backup done") << false;
    QTest::newRow("backup failed") << true;
}

void MainWindowTest::patientChosenAgainOnlyAfterABackup()
{
    QFETCH(bool, userFileInTheWay);
    const QString folder = m_home->file("Sauvegarde/");
    QDir().mkpath(folder);
    if (userFileInTheWay)
        QVERIFY(QFile(folder + "Patients.db").open(QIODevice::WriteOnly));
    IniFile(ProgramFolder::configurationFile()).writeString("Main", "BackupPath", folder);
    ScriptedDialogs dialogs;
    dialogs.answer({false});
    int choosers = 0;
    QTimer guard;
    connect(&guard, &QTimer::timeout, this, [&] {
        if (auto *chooser = qobject_cast<TfPatients *>(QApplication::activeModalWidget())) {
            ++choosers;
            chooser->reject();
        }
    });
    guard.start(20);
    m_window->Sauvegarder1Click();
    QCOMPARE(choosers, userFileInTheWay ? 0 : 1);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
