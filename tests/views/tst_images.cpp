#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "platform/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "platform/ShellLauncher.h"
#include "TestHome.h"
#include "views/uImages.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

class ImagesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void listOfPatient_data();
    void listOfPatient();
    void chosenDateNarrowsList();
    void openExistingDocument();
    void missingDocumentWarns();
    void nameOutsideDocumentsRefused();

private:
    void addDocument(int patient, const QString &when, const QString &descriptor, const QString &file);
    QStringList items(TfImageForm &form);
    QString countText(TfImageForm &form);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
};

void ImagesTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    Globals::BaseFolder = m_home->path() + QStringLiteral("Base/");
    QVERIFY(QDir().mkpath(Globals::BaseFolder + QStringLiteral("Docs")));
    m_db = std::make_unique<LocalDatabase>();
    m_db->createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());
    // Patient 7: three documents of one import, one older; patient 8: one.
    addDocument(7, QStringLiteral("2011-01-02 09:00"), QStringLiteral("Courbe"), QStringLiteral("1_courbe.pdf"));
    addDocument(7, QStringLiteral("2011-01-02 09:00"), QStringLiteral("Rapport"), QStringLiteral("2_rapport.pdf"));
    addDocument(7, QStringLiteral("2011-01-02 09:00"), QStringLiteral("Image"), QStringLiteral("3_image.png"));
    addDocument(7, QStringLiteral("2010-12-15 10:30"), QStringLiteral("Ancien"), QStringLiteral("4_absent.pdf"));
    addDocument(8, QStringLiteral("2012-05-05 08:00"), QStringLiteral("Autre"), QStringLiteral("5_autre.pdf"));
    for (const char *name : {"1_courbe.pdf", "2_rapport.pdf", "3_image.png", "5_autre.pdf"})
        m_home->write(QStringLiteral("Base/Docs/") + QLatin1String(name), "%PDF-1.4\n");
}

void ImagesTest::cleanup()
{
    ShellLauncher::setHandler({});
    m_db->close();
    m_db.reset();
    m_home.reset();
    Globals::reset();
}

void ImagesTest::addDocument(int patient, const QString &when, const QString &descriptor, const QString &file)
{
    LocalTable &table = m_db->tImages;
    table.append();
    table.field(QStringLiteral("Patients_ID")).setAsInteger(patient);
    table.field(QStringLiteral("Date_Consultation"))
        .setAsDateTime(QDateTime::fromString(when, QStringLiteral("yyyy-MM-dd HH:mm")));
    table.field(QStringLiteral("Descriptor")).setAsString(descriptor);
    table.field(QStringLiteral("AuxFileName")).setAsString(file);
    table.post();
}

QStringList ImagesTest::items(TfImageForm &form)
{
    auto *box = form.findChild<QComboBox *>(QStringLiteral("CBCrit"));
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

QString ImagesTest::countText(TfImageForm &form)
{
    return form.findChild<QLabel *>(QStringLiteral("lDocCount"))->text();
}

void ImagesTest::listOfPatient_data()
{
    QTest::addColumn<int>("patient");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("firstDescriptor");
    // Dates in text order, day first: 2 January 2011 before 15 December 2010.
    QTest::newRow("four documents") << 7
                                    << QStringList{"Toutes", "02/01/2011 09:00", "15/12/2010 10:30"}
                                    << "4 documents" << "Courbe";
    QTest::newRow("one document") << 8 << QStringList{"Toutes", "05/05/2012 08:00"} << "Un document" << "Autre";
    QTest::newRow("no document") << 9 << QStringList{"Toutes"} << "Aucun document" << "";
}

void ImagesTest::listOfPatient()
{
    QFETCH(int, patient);
    QFETCH(QStringList, dates);
    QFETCH(QString, count);
    QFETCH(QString, firstDescriptor);
    Globals::CurrentPatientID = patient;
    ScriptedDialogs dialogs;
    TfImageForm form(QStringLiteral("01/01/1999 00:00"));
    QCOMPARE(items(form), dates);
    QCOMPARE(form.findChild<QComboBox *>(QStringLiteral("CBCrit"))->currentIndex(), 0);
    QCOMPARE(countText(form), count);
    auto *grid = form.findChild<QTableView *>(QStringLiteral("DBGrid1"));
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Liste des documents"));
    QCOMPARE(grid->model()->index(0, 1).data().toString(), firstDescriptor);
    // Newest first, and "Visualiser" only on a row whose file exists.
    QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("BtnBigImage"))->isEnabled(),
             !firstDescriptor.isEmpty());
    QVERIFY(dialogs.shown.isEmpty());
}

void ImagesTest::chosenDateNarrowsList()
{
    Globals::CurrentPatientID = 7;
    TfImageForm form(QStringLiteral("02/01/2011 09:00"));
    auto *box = form.findChild<QComboBox *>(QStringLiteral("CBCrit"));
    QCOMPARE(box->currentText(), QStringLiteral("02/01/2011 09:00"));
    QCOMPARE(countText(form), QStringLiteral("3 documents"));
    // The date and time on one line.
    auto *grid = form.findChild<QTableView *>(QStringLiteral("DBGrid1"));
    QVERIFY(!grid->wordWrap());
    QVERIFY(grid->columnWidth(0) > grid->fontMetrics().horizontalAdvance(grid->model()->index(0, 0).data().toString()));

    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(grid->columnWidth(1), grid->width() - grid->columnWidth(0) - 35);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("15"));
    QCOMPARE(countText(form), QStringLiteral("Un document"));
    QCOMPARE(form.QryImages().field(QStringLiteral("Descriptor")).asString(), QStringLiteral("Ancien"));
    box->setCurrentIndex(0);
    form.CBCritChange();
    QCOMPARE(countText(form), QStringLiteral("4 documents"));
}

void ImagesTest::openExistingDocument()
{
    QList<QUrl> opened;
    ShellLauncher::setHandler([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    Globals::CurrentPatientID = 7;
    ScriptedDialogs dialogs;
    TfImageForm form{QString()};
    form.QryImages().moveTo(1);
    QVERIFY(form.findChild<QPushButton *>(QStringLiteral("BtnBigImage"))->isEnabled());
    form.BtnBigImageClick();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(QFileInfo(opened.first().toLocalFile()).fileName(),
             form.QryImages().field(QStringLiteral("AuxFileName")).asString());
    QVERIFY(dialogs.shown.isEmpty());
}

void ImagesTest::missingDocumentWarns()
{
    bool opened = false;
    ShellLauncher::setHandler([&opened](const QUrl &) { return opened = true; });
    Globals::CurrentPatientID = 7;
    ScriptedDialogs dialogs;
    TfImageForm form(QStringLiteral("15/12/2010 10:30"));
    QCOMPARE(countText(form), QStringLiteral("Un document"));
    QVERIFY(!form.findChild<QPushButton *>(QStringLiteral("BtnBigImage"))->isEnabled());
    form.BtnBigImageClick();
    QVERIFY(!opened);
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Ce document (") + Globals::BaseFolder
                                          + QStringLiteral("Docs/4_absent.pdf) n'est pas présent.")});
    QCOMPARE(dialogs.beeps, QList<Dialogs::Beep>{Dialogs::Beep::Exclamation});
}

void ImagesTest::nameOutsideDocumentsRefused()
{
    QList<QUrl> opened;
    ShellLauncher::setHandler([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    addDocument(10, QStringLiteral("2013-01-01 08:00"), QStringLiteral("Table"), QStringLiteral("../Patients.db"));
    QVERIFY(QFileInfo::exists(Globals::BaseFolder + QStringLiteral("Patients.db")));
    Globals::CurrentPatientID = 10;
    ScriptedDialogs dialogs;
    TfImageForm form{QString()};
    QVERIFY(!form.findChild<QPushButton *>(QStringLiteral("BtnBigImage"))->isEnabled());
    form.BtnBigImageClick();
    for (const QUrl &url : std::as_const(opened))
        QVERIFY2(!url.toLocalFile().endsWith(QStringLiteral("Patients.db")), qPrintable(url.toString()));
}

QTEST_MAIN(ImagesTest)
#include "tst_images.moc"
