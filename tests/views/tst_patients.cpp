// Patient selection window and new-patient dialog, on real encrypted tables.

#include "LocalTestTables.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "views/PatientSearch.h"
#include "views/Patients.h"
#include "platform/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "views/UNewPatient.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

namespace {

const QString kCreationError = QStringLiteral("Erreur lors de la création du dossier patient :\n");

// The window with the new-patient dialog driven instead of shown.
class DrivenPatients : public TfPatients
{
public:
    using TfPatients::TfPatients;
    NewPatientInput typed;
    NewPatientInput prefilled;

protected:
    int execNewPatient(TfNewPatient &dialog) override
    {
        prefilled = dialog.input();
        dialog.Nom()->setText(typed.nom);
        dialog.Prenom()->setText(typed.prenom);
        dialog.Ne_le()->setText(typed.neLe);
        dialog.BitBtn1Click();
        return dialog.result();
    }
};

QStringList shownRows(const TfPatients &window)
{
    QStringList rows;
    LocalQuery *query = window.shownQuery();
    if (!query->isActive())
        return {QStringLiteral("<closed>")};
    for (int row = 0; row < query->recordCount(); ++row) {
        rows << query->displayText(row, query->fieldIndex(QStringLiteral("NOM"))) + QLatin1Char(' ')
                    + query->displayText(row, query->fieldIndex(QStringLiteral("PRENOM")));
    }
    return rows;
}

} // namespace

class PatientsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void newPatientChecks_data();
    void newPatientChecks();
    void incrementalCriteria_data();
    void incrementalCriteria();
    void searches_data();
    void searches();
    void birthdayToggle();
    void matchCount_data();
    void matchCount();
    void validationQuestions();
    void frenchOrder();
    void newPatientWithoutBirthDateWhileToggleDown();
    void choiceOfNothingIsCancelled();
    void plainChoice();
    void newPatientChosenAmongNamesakes();
    void newPatientSaveFailureLeavesTableUsable();

private:
    void addPatient(const QString &nom, const QString &prenom, const QString &neLe = {});

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
};

void PatientsTest::init()
{
    m_home = std::make_unique<TestHome>();
    m_db = std::make_unique<LocalDatabase>();
    openLocalTables(*m_db, *m_home);
    addPatient(QStringLiteral("Dupont"), QStringLiteral("Jean"), QStringLiteral("01/02/1950"));
    addPatient(QStringLiteral("DUPONT"), QStringLiteral("JEAN"), QStringLiteral("01/02/1950"));
    addPatient(QStringLiteral("Durand"), QStringLiteral("élodie"), QStringLiteral("12/12/1962"));
    addPatient(QStringLiteral("Martin"), QStringLiteral("Paul"));
}

void PatientsTest::cleanup()
{
    m_db->close();
    m_db.reset();
    LocalSession::removeAllPasswords();
    Globals::reset();
    m_home.reset();
}

void PatientsTest::addPatient(const QString &nom, const QString &prenom, const QString &neLe)
{
    LocalTable &patients = m_db->tPatients;
    patients.append();
    patients.field(QStringLiteral("NOM")).setAsString(nom);
    patients.field(QStringLiteral("PRENOM")).setAsString(prenom);
    if (!neLe.isEmpty())
        patients.field(QStringLiteral("NE_LE")).setAsString(neLe);
    patients.post();
}

void PatientsTest::newPatientChecks_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QString>("prenom");
    QTest::addColumn<QString>("neLe");
    QTest::addColumn<QString>("message"); // empty: the dialog closes with 1

    const QString ok;
    QTest::newRow("blank name") << "   " << "Jean" << "" << "Vous devez saisir le nom du patient.";
    QTest::newRow("leading blank") << " Dupont" << "Jean" << ""
                                   << "Le nom doit commencer par une lettre. Le caractère \" \" est inadmissible.";
    QTest::newRow("leading digit") << "2Dupont" << "Jean" << ""
                                   << "Le nom doit commencer par une lettre. Le caractère \"2\" est inadmissible.";
    QTest::newRow("later digit, trailing blanks") << "Dupont2  " << "Jean" << "" << ok;
    QTest::newRow("apostrophe hyphen blank") << "D'Artagnan-De La Tour" << "Jean" << "" << ok;
    QTest::newRow("accented first letter") << "Émile" << "Jean" << "" << ok;
    QTest::newRow("exclamation") << "Dupont!" << "Jean" << ""
                                 << "Le nom peut comprendre les lettres, l'espace et le tiret. Le nom \"!\" est inadmissible.";
    QTest::newRow("no first name") << "Dupont" << "" << "" << "Vous devez saisir le prénom du patient.";
    QTest::newRow("first name with trailing blank") << "Dupont" << "Jean " << "" << ok;
    QTest::newRow("first name with comma")
        << "Dupont" << "Jean,Marc" << ""
        << "Le prénom peut comprendre les lettres, l'espace et le tiret. Le nom patronymique \",\" est inadmissible.";
    QTest::newRow("first name blank only")
        << "Dupont" << " " << "" << "Le prénom doit commencer par une lettre. Le caractère \" \" est inadmissible.";
    QTest::newRow("character outside the code page")
        << "Dupont" << "Jean\u4e2d" << ""
        << QString::fromUtf8("Le prénom peut comprendre les lettres, l'espace et le tiret. Le nom patronymique \"\u4e2d\" est "
                             "inadmissible.");
    QTest::newRow("partial date passes") << "Dupont" << "Jean" << "12/03" << ok;
    QTest::newRow("impossible date")
        << "Dupont" << "Jean" << "31/02/1990" << "La date de naissance \"31/02/1990\" n'est pas une date valide.";
}

void PatientsTest::newPatientChecks()
{
    QFETCH(QString, nom);
    QFETCH(QString, prenom);
    QFETCH(QString, neLe);
    QFETCH(QString, message);
    ScriptedDialogs dialogs;
    TfNewPatient dialog;
    dialog.Nom()->setText(nom);
    dialog.Prenom()->setText(prenom);
    dialog.Ne_le()->setText(neLe);
    dialog.BitBtn1Click();
    if (message.isEmpty()) {
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join('|')));
        QCOMPARE(dialog.result(), 1);
    } else {
        QCOMPARE(dialogs.texts(), QStringList{message});
        QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Error);
        QCOMPARE(dialog.result(), 0);
        QCOMPARE(dialog.Nom()->text(), nom); // kept for correction
    }
}

void PatientsTest::incrementalCriteria_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QString>("prenom");
    QTest::addColumn<QString>("neLe");
    QTest::addColumn<bool>("withBirthday");
    QTest::addColumn<QStringList>("lines"); // lines 2 to 4, or "all"
    QTest::addColumn<QVariantMap>("params");

    QTest::newRow("first name only") << "" << "jé" << "" << false
                                     << QStringList{"", "  FOLDED(PRENOM) like :prenom", ""}
                                     << QVariantMap{{"prenom", "JE%"}};
    QTest::newRow("name and first name")
        << "dup" << "j" << "01/02" << false << QStringList{"  FOLDED(NOM) like :nom", "and  FOLDED(PRENOM) like :prenom", ""}
        << QVariantMap{{"nom", "DUP%"}, {"prenom", "J%"}};
    QTest::newRow("date only, toggle down") << "" << "" << "01/02/1950" << true
                                            << QStringList{"", "", "NE_LE like :ne_le"}
                                            << QVariantMap{{"ne_le", "01/02/1950%"}};
    QTest::newRow("name and date") << "d" << "" << "01/02/1950" << true
                                   << QStringList{"  FOLDED(NOM) like :nom", "", " and  NE_LE like :ne_le"}
                                   << QVariantMap{{"nom", "D%"}, {"ne_le", "01/02/1950%"}};
    QTest::newRow("blanks and date with toggle up") << "  " << " " << "01/02/1950" << false << QStringList{"all"}
                                                    << QVariantMap{};
}

void PatientsTest::incrementalCriteria()
{
    QFETCH(QString, nom);
    QFETCH(QString, prenom);
    QFETCH(QString, neLe);
    QFETCH(bool, withBirthday);
    QFETCH(QStringList, lines);
    QFETCH(QVariantMap, params);
    const PatientSearchCriteria c = PatientSearch::incremental({nom, prenom, neLe, withBirthday});
    if (c.allPatients)
        QCOMPARE(QStringList{"all"}, lines);
    else
        QCOMPARE((QStringList{c.nameLine, c.firstNameLine, c.birthDateLine}), lines);
    QCOMPARE(c.params, params);
}

void PatientsTest::searches_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QString>("prenom");
    QTest::addColumn<QString>("neLe");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<bool>("allQuery");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("lower case finds capitalised")
        << "dup" << "jean" << "" << false << false << QStringList{"DUPONT JEAN", "Dupont Jean"};
    QTest::newRow("accent typed, stored") << "" << "é" << "" << false << false << QStringList{"Durand élodie"};
    QTest::newRow("no accent typed, stored") << "" << "e" << "" << false << false << QStringList{"Durand élodie"};
    QTest::newRow("accent typed, none stored") << "dùp" << "jêan" << "" << false << false
                                               << QStringList{"DUPONT JEAN", "Dupont Jean"};
    QTest::newRow("everything erased") << "" << "" << "" << false << true
                                       << QStringList{"DUPONT JEAN", "Dupont Jean", "Durand élodie", "Martin Paul"};
    QTest::newRow("exact ignores letter case") << "Dupont" << "" << "01/02/1950" << true << false
                                               << QStringList{"DUPONT JEAN", "Dupont Jean"};
    QTest::newRow("exact ignores accents") << "DURAND" << "ELODIE" << "" << true << false << QStringList{"Durand élodie"};
    QTest::newRow("exact is no prefix") << "DUPON" << "" << "" << true << false << QStringList{};
    QTest::newRow("exact underscore is no wildcard") << "Dup_nt" << "" << "" << true << false << QStringList{};
    QTest::newRow("wildcard typed") << "D%r" << "" << "" << false << false << QStringList{"Durand élodie"};
}

void PatientsTest::searches()
{
    QFETCH(QString, nom);
    QFETCH(QString, prenom);
    QFETCH(QString, neLe);
    QFETCH(bool, exact);
    QFETCH(bool, allQuery);
    QFETCH(QStringList, rows);
    TfPatients window(*m_db);
    window.NomPatient()->setText(QStringLiteral("x"));
    window.NomPatient()->setText(nom);
    window.PrenomPatient()->setText(prenom);
    window.EdNe()->setText(neLe);
    if (exact) {
        window.NomPatientChange1();
        QVERIFY(!window.QPatients.isActive()); // the caller opens it
        window.QPatients.open();
    }
    QCOMPARE(window.shownQuery(), allQuery ? &window.QAllPatients : &window.QPatients);
    QCOMPARE(shownRows(window), rows);
    QCOMPARE(window.bValider()->isEnabled(), !rows.isEmpty());
    QCOMPARE(window.DBGrid1()->model()->rowCount(), rows.size());

    // The table read once answers as the query does, but for a typed
    // wildcard, which it leaves to the engine.
    const PatientSearchInput input{nom, prenom, neLe, false};
    const auto found = PatientNameIndex::read(m_db->tPatients.databaseName())
                           .find(exact ? PatientSearch::exact(input) : PatientSearch::incremental(input));
    QCOMPARE(found.has_value(), !nom.contains(u'%'));
    if (found) {
        QStringList names;
        for (const PatientRow &row : *found)
            names << row.identity.nom + QLatin1Char(' ') + row.identity.prenom;
        names.sort();
        rows.sort();
        QCOMPARE(names, rows);
    }
}

void PatientsTest::birthdayToggle()
{
    TfPatients window(*m_db);
    window.NomPatient()->setText(QStringLiteral("du"));
    QCOMPARE(shownRows(window).size(), 3);

    // A date typed while the toggle is up does not search.
    window.EdNe()->setText(QStringLiteral("12/12/1962"));
    QCOMPARE(shownRows(window).size(), 3);

    for (const QString &refused : {QStringLiteral("12/12/196"), QStringLiteral("31/02/1962")}) {
        window.EdNe()->setText(refused);
        window.SBWithBirthday()->click();
        QVERIFY2(!window.SBWithBirthday()->isChecked(), qPrintable(refused));
        QCOMPARE(window.SBWithBirthdayTag, 0);
        QCOMPARE(shownRows(window).size(), 3);
    }

    window.EdNe()->setText(QStringLiteral("12/12/1962"));
    window.SBWithBirthday()->click();
    QVERIFY(window.SBWithBirthday()->isChecked());
    QCOMPARE(window.SBWithBirthdayTag, 1);
    QCOMPARE(shownRows(window), QStringList{"Durand élodie"});

    // While down, the date takes part in every search.
    window.EdNe()->setText(QStringLiteral("01/02"));
    QCOMPARE(shownRows(window), (QStringList{"DUPONT JEAN", "Dupont Jean"}));

    window.SBWithBirthday()->click();
    QVERIFY(!window.SBWithBirthday()->isChecked());
    QCOMPARE(window.SBWithBirthdayTag, 2);
    QCOMPARE(shownRows(window).size(), 3);
}

void PatientsTest::matchCount_data()
{
    QTest::addColumn<QStringList>("report"); // as received
    QTest::addColumn<QStringList>("row");    // as stored
    QTest::addColumn<int>("count");

    QTest::newRow("all agree, accents and hyphen ignored")
        << QStringList{"LEFÈVRE", "jean-marc", "01/02/1950"} << QStringList{"Lefevre", "Jean Marc", "01/02/1950"} << 3;
    QTest::newRow("small and capital accents") << QStringList{"Lefèvre", "", ""} << QStringList{"LEFÈVRE", "", "x"} << 1;
    QTest::newRow("capital accent against none") << QStringList{"ELODIE", "x", "1"} << QStringList{"Élodie", "y", "2"} << 1;
    QTest::newRow("accents in the row only")
        << QStringList{"DUPRE", "HELENE", "01/01/1950"} << QStringList{"Dupré", "Hélène", "01/01/1950"} << 3;
    QTest::newRow("accents in the report only")
        << QStringList{"DUPRÉ", "HÉLÈNE", "01/01/1950"} << QStringList{"Dupre", "helene", "01/01/1950"} << 3;
    QTest::newRow("ligature") << QStringList{"COEUR", "", "x"} << QStringList{"Cœur", "", "y"} << 1;
    QTest::newRow("empty birth dates agree") << QStringList{"Martin", "Pierre", ""} << QStringList{"Martin", "Paul", ""} << 2;
    QTest::newRow("report date not a date text") << QStringList{"", "", "01-02-1950"} << QStringList{"", "", "01-02-1950"} << 0;
    QTest::newRow("empty report names never agree") << QStringList{"", "", "x"} << QStringList{"", "", "y"} << 0;
}

void PatientsTest::matchCount()
{
    QFETCH(QStringList, report);
    QFETCH(QStringList, row);
    QFETCH(int, count);
    const PatientIdentity obs = PatientSearch::reportIdentity(report[0], report[1], report[2]);
    QCOMPARE(PatientSearch::matchCount(obs, {row[0], row[1], row[2]}), count);
}

void PatientsTest::validationQuestions()
{
    ScriptedDialogs dialogs;
    TfPatients window(*m_db);
    const PatientIdentity obs = PatientSearch::reportIdentity("Durand", "Eloise", "12/12/1962");
    window.ObsNom = obs.nom;
    window.ObsPrenom = obs.prenom;
    window.ObsNeLe = obs.neLe;
    window.NomPatient()->setText(QStringLiteral("durand"));
    QCOMPARE(window.MatchCount, 2); // first name differs

    dialogs.answer({false});
    window.bValiderClick();
    QCOMPARE(window.result(), 0);
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Warning);
    QCOMPARE(dialogs.lastText(),
             QStringLiteral("Êtes-vous sûr de vouloir sélectionner le patient [élodie Durand né(e) le 12/12/1962] alors que "
                            "l'observance reçue indique [ELOISE DURAND né(e) le 12/12/1962] ?\n\n"
                            "Attention, cette correction d'identification sera intégrée chez le prestataire !"));

    window.ObsNeLe = QStringLiteral("13/12/1962");
    window.QPatients.first();
    QCOMPARE(window.MatchCount, 1);
    dialogs.answer({true});
    window.bValiderClick();
    QVERIFY(dialogs.lastText().endsWith(
        QStringLiteral("parce qu'il y a trop de différences entre les coordonnées.")));
    QCOMPARE(window.result(), int(TfPatients::ResultChosen));

    // Every patient listed: chosen without a question, unless a correction
    // would reach the provider.
    TfPatients all(*m_db);
    all.ObsNom = obs.nom;
    all.ObsPrenom = obs.prenom;
    all.ObsNeLe = obs.neLe;
    all.NomPatientChange(&all);
    QCOMPARE(all.shownQuery(), &all.QAllPatients);
    all.QAllPatients.moveTo(2); // Durand élodie: the first name differs
    dialogs.answer({false});
    all.DBGrid1()->doubleClicked(all.DBGrid1()->model()->index(2, 0));
    QCOMPARE(all.result(), 0);
    QVERIFY(dialogs.lastText().endsWith(QStringLiteral("sera intégrée chez le prestataire !")));
    all.QAllPatients.last();
    all.DBGrid1()->doubleClicked(all.DBGrid1()->model()->index(3, 0));
    QCOMPARE(all.result(), int(TfPatients::ResultChosen));
    QCOMPARE(dialogs.shown.size(), 3);
}

void PatientsTest::frenchOrder()
{
    addPatient(QStringLiteral("Zola"), QStringLiteral("Émile"));
    addPatient(QStringLiteral("Écart"), QStringLiteral("Ana"));
    addPatient(QStringLiteral("Dubois"), QStringLiteral("Zoé"));
    addPatient(QStringLiteral("dupont"), QStringLiteral("émile")); // the first name decides, not the name's case
    TfPatients window(*m_db);
    window.preparePlainChoice();
    QCOMPARE(shownRows(window), (QStringList{"Dubois Zoé", "dupont émile", "DUPONT JEAN", "Dupont Jean", "Durand élodie",
                                             "Écart Ana", "Martin Paul", "Zola Émile"}));
    window.NomPatient()->setText(QStringLiteral("d"));
    QCOMPARE(shownRows(window), (QStringList{"Dubois Zoé", "dupont émile", "DUPONT JEAN", "Dupont Jean", "Durand élodie"}));
}

void PatientsTest::newPatientWithoutBirthDateWhileToggleDown()
{
    ScriptedDialogs dialogs;
    DrivenPatients window(*m_db);
    window.EdNe()->setText(QStringLiteral("12/12/1962"));
    window.SBWithBirthday()->click();
    QVERIFY(window.SBWithBirthday()->isChecked());
    window.typed = {QStringLiteral("Bernard"), QStringLiteral("Luc"), QString()};
    dialogs.answer({true}); // no report identity to agree with
    window.bAjouterClick();
    QCOMPARE(window.result(), int(TfPatients::ResultChosen));
    QCOMPARE(shownRows(window), QStringList{"Bernard Luc"});
    QVERIFY(!window.SBWithBirthday()->isChecked());
    QCOMPARE(window.SBWithBirthdayTag % 2, 0);
}

void PatientsTest::choiceOfNothingIsCancelled()
{
    ScriptedDialogs dialogs;
    TfPatients window(*m_db);
    window.show();
    window.NomPatient()->setText(QStringLiteral("nobody"));
    QVERIFY(!window.bValider()->isEnabled());
    QTest::keyClick(window.NomPatient(), Qt::Key_Return);
    QVERIFY(window.isVisible()); // Enter did nothing

    // An empty patient table: validating chooses nobody.
    m_db->tPatients.emptyTable();
    TfPatients empty(*m_db);
    empty.preparePlainChoice();
    QVERIFY(empty.QAllPatients.isActive() && empty.QAllPatients.isEmpty());
    empty.DBGrid1Enter(); // the grid enables the button whatever it holds
    empty.bValiderClick();
    QCOMPARE(empty.result(), int(TfPatients::ResultCancelled));
    QVERIFY(!empty.shownPatient());
    QVERIFY(dialogs.shown.isEmpty());
}

void PatientsTest::plainChoice()
{
    ScriptedDialogs dialogs;
    TfPatients window(*m_db);
    window.preparePlainChoice();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("mar")); // typed at once, as a user does
    QCOMPARE(shownRows(window), QStringList{"Martin Paul"});
    window.NomPatient()->clear();
    QVERIFY(!window.bAjouter()->isEnabled());
    QVERIFY(!window.bDoNotImport()->isVisible());
    QVERIFY(!window.Panel1()->isVisible() && !window.Panel2()->isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Sélection du patient"));

    // Down in an edit moves to the next patient and the grid follows.
    QTest::keyClick(window.NomPatient(), Qt::Key_Down);
    QCOMPARE(window.QAllPatients.recNo(), 1);
    QCOMPARE(window.DBGrid1()->currentIndex().row(), 1);
    window.DBGrid1()->selectRow(3);
    QCOMPARE(window.QAllPatients.recNo(), 3);
    QCOMPARE(window.MatchCount, 3);

    QTest::keyClick(window.DBGrid1(), Qt::Key_Return);
    QCOMPARE(window.result(), int(TfPatients::ResultChosen));
    const auto chosen = window.shownPatient();
    QVERIFY(chosen);
    QCOMPARE(chosen->nom, QStringLiteral("Martin"));
    QCOMPARE(chosen->neLe, QString());
    QVERIFY(dialogs.shown.isEmpty());

    window.bVitale()->click();
    QVERIFY(dialogs.lastText().startsWith(QStringLiteral("Vous n'avez pas accès à cette fonctionnalité.")));
    window.bDoNotImportClick();
    QCOMPARE(window.result(), int(TfPatients::ResultDoNotImport));
    window.show();
    window.close(); // the system button
    QCOMPARE(window.result(), int(TfPatients::ResultCancelled));
}

void PatientsTest::newPatientChosenAmongNamesakes()
{
    ScriptedDialogs dialogs;
    Globals::PatientNom = QStringLiteral("DUPONT");
    Globals::PatientPrenom = QStringLiteral("JEAN");
    Globals::PatientNeLe = QStringLiteral("1-2-50");
    DrivenPatients window(*m_db);
    const PatientIdentity obs = PatientSearch::reportIdentity("dupont", "jean", "");
    window.ObsNom = obs.nom;
    window.ObsPrenom = obs.prenom;
    window.typed = {QStringLiteral("dupont  "), QStringLiteral("jean"), QString()};
    window.bAjouterClick();

    QCOMPARE(window.prefilled.nom, QStringLiteral("DUPONT"));
    QCOMPARE(window.prefilled.neLe, QStringLiteral("  /  /    ")); // not a date text: not prefilled
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join('|')));
    QCOMPARE(window.result(), int(TfPatients::ResultChosen));
    QCOMPARE(shownRows(window), (QStringList{"DUPONT JEAN", "Dupont Jean", "Dupont Jean"}));
    const auto chosen = window.shownPatient();
    QVERIFY(chosen);
    QCOMPARE(chosen->id, 5);
    QCOMPARE(chosen->neLe, QString());

    LocalTable check;
    check.setDatabaseName(Globals::BaseFolder);
    check.setTableName(QStringLiteral("Patients.db"));
    check.setFilter(QStringLiteral("PATIENTS_ID = :id"), {{QStringLiteral("id"), 5}});
    check.open();
    QCOMPARE(check.recordCount(), 1);
    QCOMPARE(check.field(QStringLiteral("NOM")).asString(), QStringLiteral("Dupont"));
    QVERIFY(check.field(QStringLiteral("NE_LE")).isNull());

    // A dialog cancelled stores nothing.
    window.typed = {QStringLiteral("1"), QString(), QString()};
    window.bAjouterClick();
    QCOMPARE(m_db->tPatients.recordCount(), 5);
}

void PatientsTest::newPatientSaveFailureLeavesTableUsable()
{
    ScriptedDialogs dialogs;
    DrivenPatients window(*m_db);
    window.typed = {QStringLiteral("Bernard"), QStringLiteral("Luc"), QStringLiteral("03/04/1970")};
    LocalSession::removeAllPasswords(); // the patient file can no longer be written
    window.bAjouterClick();
    QCOMPARE(dialogs.texts().size(), 1);
    QVERIFY2(dialogs.lastText().startsWith(kCreationError) && dialogs.lastText().size() > kCreationError.size(),
             qPrintable(dialogs.lastText()));
    QCOMPARE(window.result(), 0);
    QCOMPARE(m_db->tPatients.state(), LocalDataSet::State::Browse);

    m_db->reopen();
    dialogs.answer({true}); // no report identity to agree with: the question is asked
    window.bAjouterClick();
    QCOMPARE(dialogs.texts().size(), 2);
    QVERIFY(dialogs.shown.last().question);
    QCOMPARE(window.result(), int(TfPatients::ResultChosen));
    QCOMPARE(shownRows(window), QStringList{"Bernard Luc"});
    QCOMPARE(window.shownPatient()->neLe, QStringLiteral("03/04/1970"));
}

QTEST_MAIN(PatientsTest)
#include "tst_patients.moc"
