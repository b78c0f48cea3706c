#include "core/NameDateRoutines.h"

#include "platform/Clock.h"
#include "platform/DecimalSeparator.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "platform/TextRules.h"

#include <cmath>
#include <charconv>

namespace {

QString raiseFirst(QString word)
{
    if (!word.isEmpty())
        word[0] = TextRules::upperAZ(QString(word.at(0))).at(0);
    return word;
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

QString NameRoutines::CapitalizeName(const QString &name)
{
    const QString trimmed = TextRules::trim32(name);
    QString result;
    QString word;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (i > 0 && (c == u' ' || c == u'-' || c == u'\'')) {
            result += raiseFirst(word);
            result += c;
            word.clear();
        } else {
            word += c;
        }
    }
    result += raiseFirst(word);
    return result;
}

std::optional<QString> NameRoutines::ExpandBirthYear(const QString &date, YearMode mode)
{
    QString text = date;
    text.replace(u'/', u'-');

    const qsizetype tailStart = qMax<qsizetype>(0, text.size() - 4);
    const qsizetype dash = text.indexOf(u'-', tailStart);
    if (dash < 0)
        return text;

    const QString yearPart = text.mid(dash + 1);
    if (yearPart.isEmpty() || yearPart.size() > 2 || !isAsciiDigit(yearPart.at(0))
        || (yearPart.size() == 2 && !isAsciiDigit(yearPart.at(1))))
        return std::nullopt;
    const int year = yearPart.toInt();
    const QString prefix = text.left(dash + 1);

    int fullYear;
    if (year > CurrentTwoDigitYear()) {
        fullYear = 1900 + year;
    } else if (mode == YearMode::OtherDate) {
        fullYear = 2000 + year;
    } else {
        const QString question = QStringLiteral("La date de naissance de ") + Globals::PatientPrenom
                                 + u' ' + Globals::PatientNom + QStringLiteral(" est-elle ")
                                 + QString::number(1900 + year)
                                 + QStringLiteral(" ?\nLa date de naissance sera ")
                                 + QString::number(2000 + year)
                                 + QStringLiteral(" si vous répondez par \"Non\"");
        fullYear = Dialogs::instance().question(question) ? 1900 + year : 2000 + year;
    }
    return prefix + QString::number(fullYear);
}

bool NameRoutines::IsDateText(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < u'/' || c.unicode() > u'9')
            return false;
    return true;
}

int CurrentTwoDigitYear()
{
    return Clock::today().year() - 2000;
}

std::optional<double> ReadLocalFloat(const QString &text)
{
    const QString t = TextRules::trim32(text);
    const QChar separator = DecimalSeparator::system();
    QByteArray plain; // the number in the C locale's notation
    qsizetype i = 0;
    const auto copySign = [&] {
        if (i < t.size() && (t.at(i) == u'+' || t.at(i) == u'-'))
            plain += char(t.at(i++).unicode());
    };
    const auto copyDigits = [&] {
        int count = 0;
        for (; i < t.size() && isAsciiDigit(t.at(i)); ++i, ++count)
            plain += char(t.at(i).unicode());
        return count;
    };
    copySign();
    int digits = copyDigits();
    if (i < t.size() && t.at(i) == separator) {
        plain += '.';
        ++i;
        digits += copyDigits();
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t.at(i) == u'e' || t.at(i) == u'E')) {
        plain += 'e';
        ++i;
        copySign();
        if (copyDigits() == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;
    // from_chars reads the C notation whatever the process locale says.
    const char *begin = plain.constData();
    const char *end = begin + plain.size();
    if (*begin == '+')
        ++begin;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsFloatText(QString &text)
{
    if (TextRules::trim32(text).isEmpty())
        return false;
    const QString local(DecimalSeparator::system());
    const QString &foreign = Globals::ForeignDecimalSeparator;
    if (!foreign.isEmpty() && foreign != local)
        text.replace(foreign, local);
    return ReadLocalFloat(text).has_value();
}

QString DashesToSlashes(const QString &text)
{
    QString result = text;
    result.replace(u'-', u'/');
    return result;
}

QDateTime TruncToMinute(const QDateTime &value)
{
    // In a zone, moved back keeping its offset: setting the time again would
    // take the later offset in the repeated hour, where local time keeps the
    // one the value had.
    if (value.isValid() && value.timeSpec() == Qt::TimeZone)
        return value.addMSecs(-(value.time().second() * 1000 + value.time().msec()));
    QDateTime result = value;
    result.setTime(QTime(value.time().hour(), value.time().minute()));
    return result;
}
