#include "platform/Clock.h"
#include "platform/DecimalSeparator.h"
#include "core/Globals.h"
#include "core/NameDateRoutines.h"
#include "ScriptedDialogs.h"

#include <QtTest>

class NameDateRoutinesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void capitalizeName_data();
    void capitalizeName();
    void expandBirthYear_data();
    void expandBirthYear();
    void expandBirthYearAsksAboutTheCentury_data();
    void expandBirthYearAsksAboutTheCentury();
    void isDateText_data();
    void isDateText();
    void isFloatText_data();
    void isFloatText();
    void isFloatTextWithPointSystem();
    void dashesToSlashes();
    void truncToMinute();
    void consultationTimeInTheKeptZone_data();
    void consultationTimeInTheKeptZone();
};

void NameDateRoutinesTest::init()
{
    Globals::reset();
    Clock::setSource([] { return QDateTime(QDate(2026, 3, 14), QTime(10, 0)); });
    DecimalSeparator::setOverride(u',');
    Globals::ForeignDecimalSeparator = QStringLiteral(".");
}

void NameDateRoutinesTest::cleanup()
{
    Clock::setSource({});
    DecimalSeparator::setOverride(QChar());
    Globals::reset();
}

void NameDateRoutinesTest::capitalizeName_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("compound") << "jean-pierre o'neil" << "Jean-Pierre O'Neil";
    QTest::newRow("capitals kept") << "DUPONT" << "DUPONT";
    QTest::newRow("no lowering") << "mcDONALD" << "McDONALD";
    QTest::newRow("accented initial stays") << QString::fromUtf8("élodie") << QString::fromUtf8("élodie");
    QTest::newRow("blanks only") << "   \t " << "";
    QTest::newRow("trimmed") << "\t marie  " << "Marie";
    QTest::newRow("separators in a row") << "anne--marie  x" << "Anne--Marie  X";
    QTest::newRow("leading separator") << "-paul" << "-paul";
    QTest::newRow("accent after separator") << QString::fromUtf8("le éon") << QString::fromUtf8("Le éon");
}

void NameDateRoutinesTest::capitalizeName()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(NameRoutines::CapitalizeName(input), expected);
}

void NameDateRoutinesTest::expandBirthYear_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("expected");
    QTest::newRow("four digits") << "12/05/1945" << 1 << true << "12-05-1945";
    QTest::newRow("mode 2 past century") << "12/05/45" << 2 << true << "12-05-1945";
    QTest::newRow("mode 2 this century") << "12/05/21" << 2 << true << "12-05-2021";
    QTest::newRow("mode 2 pivot year") << "12/05/26" << 2 << true << "12-05-2026";
    QTest::newRow("mode 1 above pivot, no question") << "12/05/27" << 1 << true << "12-05-1927";
    QTest::newRow("one-digit year") << "01/05/7" << 2 << true << "01-05-2007";
    QTest::newRow("short parts make the year unreadable") << "1/5/7" << 2 << false << "";
    QTest::newRow("no separator") << "120545" << 2 << true << "120545";
    QTest::newRow("dashes already") << "12-05-45" << 2 << true << "12-05-1945";
    QTest::newRow("letters in year") << "12/05/4x" << 2 << false << "";
    QTest::newRow("blank year") << "12/05/ 4" << 2 << false << "";
    QTest::newRow("three-digit year") << "12/05/945" << 2 << false << "";
    QTest::newRow("empty year") << "12/05/" << 2 << false << "";
    QTest::newRow("sign") << "1/05/+4" << 2 << false << "";
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("12/05/٤٥") << 2 << false << "";
}

void NameDateRoutinesTest::expandBirthYear()
{
    QFETCH(QString, input);
    QFETCH(int, mode);
    QFETCH(bool, valid);
    QFETCH(QString, expected);
    ScriptedDialogs dialogs;
    const auto result = NameRoutines::ExpandBirthYear(input, NameRoutines::YearMode(mode));
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, expected);
    QVERIFY(dialogs.shown.isEmpty());
}

void NameDateRoutinesTest::expandBirthYearAsksAboutTheCentury_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("expected");
    QTest::newRow("yes") << true << "12-05-1926";
    QTest::newRow("no") << false << "12-05-2026";
}

void NameDateRoutinesTest::expandBirthYearAsksAboutTheCentury()
{
    QFETCH(bool, answer);
    QFETCH(QString, expected);
    ScriptedDialogs dialogs;
    dialogs.answer({answer});
    Globals::PatientNom = QStringLiteral("DUPONT");
    Globals::PatientPrenom = QStringLiteral("Jean");
    const auto result = NameRoutines::ExpandBirthYear(QStringLiteral("12/05/26"), NameRoutines::YearMode::BirthDate);
    QVERIFY(result.has_value());
    QCOMPARE(*result, expected);
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown.first().question);
    QCOMPARE(dialogs.shown.first().text,
             QString::fromUtf8("La date de naissance de Jean DUPONT est-elle 1926 ?\n"
                               "La date de naissance sera 2026 si vous répondez par \"Non\""));
}

void NameDateRoutinesTest::isDateText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("expected");
    QTest::newRow("dashes") << "12-05-1945" << false;
    QTest::newRow("slashes") << "12/05/1945" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("blank inside") << "12/05 /1945" << false;
    QTest::newRow("letter") << "12/O5/1945" << false;
    QTest::newRow("colon just above nine") << "12:05" << false;
    QTest::newRow("point just below slash") << "12.05" << false;
}

void NameDateRoutinesTest::isDateText()
{
    QFETCH(QString, input);
    QFETCH(bool, expected);
    QCOMPARE(NameRoutines::IsDateText(input), expected);
}

void NameDateRoutinesTest::isFloatText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("after");
    QTest::newRow("foreign separator") << "12.5" << true << "12,5";
    QTest::newRow("local separator") << "12,5" << true << "12,5";
    QTest::newRow("blank") << "   " << false << "   ";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("two separators") << "12,5.3" << false << "12,5,3";
    QTest::newRow("not trimmed in place") << " 8.5 " << true << " 8,5 ";
    QTest::newRow("sign and exponent") << "-1.5E2" << true << "-1,5E2";
    QTest::newRow("plus sign") << "+3" << true << "+3";
    QTest::newRow("leading separator") << ".5" << true << ",5";
    QTest::newRow("nan") << "nan" << false << "nan";
    QTest::newRow("inf") << "inf" << false << "inf";
    QTest::newRow("infinity") << "-Infinity" << false << "-Infinity";
    QTest::newRow("hexadecimal") << "0x1A" << false << "0x1A";
    QTest::newRow("group separator") << "1 234,5" << false << "1 234,5";
    QTest::newRow("overflow") << "1e999" << false << "1e999";
    QTest::newRow("exponent without digits") << "1e" << false << "1e";
    QTest::newRow("separator alone") << "." << false << ",";
    QTest::newRow("trailing letters") << "72kg" << false << "72kg";
}

void NameDateRoutinesTest::isFloatText()
{
    QFETCH(QString, input);
    QFETCH(bool, expected);
    QFETCH(QString, after);
    QString text = input;
    QCOMPARE(IsFloatText(text), expected);
    QCOMPARE(text, after);
}

void NameDateRoutinesTest::isFloatTextWithPointSystem()
{
    DecimalSeparator::setOverride(u'.');
    Globals::ForeignDecimalSeparator = QStringLiteral(",");
    QString text = QStringLiteral("72,5");
    QVERIFY(IsFloatText(text));
    QCOMPARE(text, QStringLiteral("72.5"));
    QCOMPARE(*ReadLocalFloat(text), 72.5);
    // A foreign separator that was never set replaces nothing.
    Globals::ForeignDecimalSeparator.clear();
    text = QStringLiteral("72,5");
    QVERIFY(!IsFloatText(text));
    QCOMPARE(text, QStringLiteral("72,5"));
}

void NameDateRoutinesTest::dashesToSlashes()
{
    QCOMPARE(DashesToSlashes(QStringLiteral("12-05-1945")), QStringLiteral("12/05/1945"));
    QCOMPARE(DashesToSlashes(QStringLiteral("a--b/c")), QStringLiteral("a//b/c"));
}

void NameDateRoutinesTest::truncToMinute()
{
    const QDateTime value(QDate(2026, 3, 14), QTime(14, 37, 59, 900));
    QCOMPARE(TruncToMinute(value), QDateTime(QDate(2026, 3, 14), QTime(14, 37)));
    const QDateTime midnight(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    QCOMPARE(TruncToMinute(midnight), QDateTime(QDate(2026, 12, 31), QTime(23, 59)));
}

void NameDateRoutinesTest::consultationTimeInTheKeptZone_data()
{
    QTest::addColumn<QDateTime>("utc");
    QTest::newRow("before the skipped hour") << QDateTime(QDate(2026, 3, 29), QTime(0, 59, 30), Qt::UTC);
    QTest::newRow("after the skipped hour") << QDateTime(QDate(2026, 3, 29), QTime(1, 0, 30), Qt::UTC);
    QTest::newRow("repeated hour, first") << QDateTime(QDate(2026, 10, 25), QTime(0, 45, 30), Qt::UTC);
    QTest::newRow("repeated hour, second") << QDateTime(QDate(2026, 10, 25), QTime(1, 45, 30), Qt::UTC);
}

// The consultation time taken through the zone kept for a run is the one
// taken in the system's local time, and so are the minutes the search for a
// free one steps through, across the summer-time changes.
void NameDateRoutinesTest::consultationTimeInTheKeptZone()
{
    QFETCH(QDateTime, utc);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Paris");
    const auto restore = qScopeGuard([&] { zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone); });
    Clock::setSource([utc] { return utc.toLocalTime(); });
    QDateTime kept = TruncToMinute(Clock::now(Clock::systemZone()));
    QDateTime local = TruncToMinute(Clock::now());
    QCOMPARE(kept.timeSpec(), Qt::TimeZone);
    for (int minute = 0; minute < 80; ++minute) {
        QCOMPARE(kept.date(), local.date());
        QCOMPARE(kept.time(), local.time());
        QCOMPARE(kept.toMSecsSinceEpoch(), local.toMSecsSinceEpoch());
        kept = kept.addSecs(60);
        local = local.addSecs(60);
    }
}

QTEST_GUILESS_MAIN(NameDateRoutinesTest)
#include "tst_NameDateRoutines.moc"
