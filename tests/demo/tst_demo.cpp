// The demonstration set, end to end: demo/demo-set.sh starts its own private
// services and fills them as ./run.sh does, then the program's main window
// starts on the demonstration folder, receives the whole sample mailbox with
// every window answered as the README tells the user, and the outcome is
// checked: each sample report imported once, the documents in place, the
// unknown patient created through the identification window, the ordinary
// e-mail shown and gone from the server, every receipt and result recorded.

#include "core/Globals.h"
#include "platform/LocalAddressWatcher.h"
#include "app/MainWindow.h"
#include "reception/MessageAction.h"
#include "views/Patients.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "views/ShowResults.h"
#include "views/UNewPatient.h"
#include "core/WaitForm.h"

#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <unistd.h>

namespace {

// Answers every window the reception and the import open, as the README's
// walk-through does, and notes what it saw.
class Walkthrough : public QObject
{
public:
    Walkthrough()
    {
        connect(&m_timer, &QTimer::timeout, this, &Walkthrough::answer);
        m_timer.start(50);
    }

    QStringList messageSubjects;
    QStringList identifications; // the identification window's "found for" texts
    QStringList unexpected;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_handled)
            return;
        // Each answer is queued so it runs in the window's own event loop,
        // where the next window it opens can be answered in turn.
        if (auto *message = qobject_cast<TFMessageAction *>(modal)) {
            messageSubjects << message->LObjet()->text();
            later(modal, [message] { message->done(TFMessageAction::kResultImport); });
        } else if (auto *patients = qobject_cast<TfPatients *>(modal)) {
            if (patients == m_patients) {
                // Created but still waiting for the choice.
                later(modal, [patients] { patients->bValiderClick(); });
                return;
            }
            m_patients = patients;
            identifications << patients->Label1()->text();
            // The report's patient is not in the file yet: create them.
            later(modal, [patients] { patients->bAjouterClick(); });
        } else if (auto *newPatient = qobject_cast<TfNewPatient *>(modal)) {
            later(modal, [newPatient] { newPatient->BitBtn1Click(); });
        } else if (auto *results = qobject_cast<TfShowResults *>(modal)) {
            later(modal, [results] { results->accept(); });
        } else if (!qobject_cast<TWaitingForm *>(modal)) {
            unexpected << QString::fromLatin1(modal->metaObject()->className());
            later(modal, [modal] { modal->close(); });
        }
    }
    void later(QWidget *window, std::function<void()> action)
    {
        m_handled = window;
        QTimer::singleShot(0, window, [this, action] {
            m_handled = nullptr;
            action();
        });
    }

    QTimer m_timer;
    QPointer<QWidget> m_handled;
    QPointer<TfPatients> m_patients;
};

QMap<QString, QString> readEnvironment(const QString &fileName)
{
    QMap<QString, QString> values;
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
    }
    return values;
}

QStringList filesBelow(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

bool runDemoSet(const QStringList &arguments)
{
    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OBSIDRA_DEMO_SET"), QStringLiteral(DEMO_SET_PATH));
    script.setProcessEnvironment(env);
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral(DEMO_SCRIPT), arguments);
    return script.waitForFinished(180000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
}

} // namespace

class DemoTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void wholeMailboxReceivedAndImported();

private:
    QTemporaryDir m_dir;
    QString m_state;
    QString m_home;
    QString m_maildir;
    bool m_started = false;
};

void DemoTest::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("the private dovecot and MariaDB of the demonstration need root");
    // Dovecot's unprivileged processes reach the mailbox through this folder.
    QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                    | QFile::ExeGroup | QFile::ExeOther));
    m_state = m_dir.filePath("services");
    m_home = m_dir.filePath("programme");
    QVERIFY(QDir().mkpath(m_state));
    m_started = runDemoSet({"start", m_state, m_home});
    QVERIFY(m_started);

    const QMap<QString, QString> env = readEnvironment(m_state + "/env");
    for (const char *name : {"TOLVARENIX_MARIADB_PORT", "TOLVARENIX_MARIADB_PASSWORD", "TOLVARENIX_MARIADB_CA"})
        qputenv(name, env.value(QLatin1String(name)).toUtf8());
    m_maildir = env.value("POP3_TEST_MAILDIR");
    qputenv("TOLVARENIX_HOME", QFile::encodeName(m_home));
    qputenv("ODBCINI", QFile::encodeName(m_dir.filePath("odbc.ini")));
    qputenv("XDG_DESKTOP_DIR", QFile::encodeName(m_dir.filePath("Bureau")));
    // The services are on loopback: the machine counts as online whatever
    // its interfaces.
    LocalAddressWatcher::setForcedAddress(QStringLiteral("192.0.2.10"));
}

void DemoTest::cleanupTestCase()
{
    if (m_started)
        runDemoSet({"stop", m_state});
}

void DemoTest::wholeMailboxReceivedAndImported()
{
    const int delivered = int(QDir(m_maildir + "/new").entryList(QDir::Files).size());
    QCOMPARE(delivered, 8);

    ScriptedDialogs dialogs;
    Globals::reset();
    MainWindow window;
    Globals::fMain = &window;
    window.FormCreate();
    QVERIFY2(!window.tmrClose->isActive(), qPrintable(dialogs.texts().join(" | ")));
    window.show();
    window.tmrOpenPatient->stop();
    QVERIFY2(window.bEmail()->isEnabled(), qPrintable(dialogs.texts().join(" | ")));

    Walkthrough walkthrough;
    window.bEmailClick();

    QVERIFY2(walkthrough.unexpected.isEmpty(), qPrintable(walkthrough.unexpected.join(", ")));
    for (const ScriptedDialogs::Shown &box : dialogs.shown)
        QVERIFY2(box.kind == Dialogs::Kind::Information, qPrintable(box.text));

    // Every message left the server; the ordinary one was shown to the user.
    QCOMPARE(QDir(m_maildir + "/new").entryList(QDir::Files).size() + QDir(m_maildir + "/cur").entryList(QDir::Files).size(),
             0);
    QVERIFY2(walkthrough.messageSubjects.contains(QString::fromUtf8("Réunion du réseau sommeil du 10 décembre")),
             qPrintable(walkthrough.messageSubjects.join(" | ")));
    // Only the patient missing from the file needed the identification window.
    QCOMPARE(walkthrough.identifications.size(), 1);
    QVERIFY2(walkthrough.identifications.first().contains("CHEVALIER"), qPrintable(walkthrough.identifications.first()));

    // One observance per report block, the re-sent report not twice; the
    // masks tell the reports apart.
    LocalDatabase &db = window.database();
    QMap<int, QString> names;
    for (db.tPatients.first(); !db.tPatients.eof(); db.tPatients.next())
        names.insert(db.tPatients.field("PATIENTS_ID").asInteger(),
                     db.tPatients.field("NOM").asString().toUpper() + ' ' + db.tPatients.field("PRENOM").asString());
    QMap<QString, QStringList> masks;
    for (db.tObservances.first(); !db.tObservances.eof(); db.tObservances.next())
        masks[names.value(db.tObservances.field("PATIENTS_ID").asInteger(), "?")]
            << db.tObservances.field("MASQUE").asString();
    for (QStringList &list : masks)
        list.sort();
    const QMap<QString, QStringList> expected{
        {QString::fromUtf8("DURAND Hélène"), {"AirFit N20 narinaire taille M", "AirFit N20 narinaire taille M"}},
        {QString::fromUtf8("MARTIN Jean-François"), {"AirFit F30 facial taille M", "DreamWear nasal taille L"}},
        {QString::fromUtf8("LEFÈVRE Béatrice"), {"AirFit F20 facial taille S"}},
        {QString::fromUtf8("ROUSSEAU André"), {"JOYCEone nasal taille M"}},
        {QString::fromUtf8("CHEVALIER Amélie"), {"AirFit P30i narinaire taille S"}},
    };
    QCOMPARE(masks, expected);

    // Each document in the documents folder, registered for its own patient.
    QMap<QString, QString> documents;
    for (db.tImages.first(); !db.tImages.eof(); db.tImages.next()) {
        const QString stored = db.tImages.field("AuxFileName").asString();
        QFile file(m_home + "/Base/Docs/" + stored);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(stored));
        QVERIFY(file.read(5) == "%PDF-");
        documents.insert(db.tImages.field("Descriptor").asString(),
                         names.value(db.tImages.field("Patients_ID").asInteger()));
    }
    QCOMPARE(documents, (QMap<QString, QString>{
                            {"courbe-durand-novembre.pdf", QString::fromUtf8("DURAND Hélène")},
                            {"synthese-lefevre-vni.pdf", QString::fromUtf8("LEFÈVRE Béatrice")},
                        }));
    QCOMPARE(filesBelow(m_home + "/ForImportation"), QStringList());
    QCOMPARE(filesBelow(m_home + "/Emails"), QStringList());

    // The service knows every report as received, with its import result.
    ServiceDatabase service;
    QCOMPARE(service.row("select count(*), count(received), count(Importation) from prest2facture"),
             (QStringList{"6", "6", "6"}));
}

QTEST_MAIN(DemoTest)
#include "tst_demo.moc"
