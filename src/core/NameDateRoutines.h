#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Routines that shape the names and dates of patients and reports and test
// the numbers read from received reports. None keeps state.
class NameRoutines
{
public:
    // How ExpandBirthYear completes a two-digit year.
    enum class YearMode {
        BirthDate = 1, // asks the user about the century when in doubt
        OtherDate = 2  // decides alone, from the current year
    };

    // The name trimmed, each word (separated by a blank, "-" or "'") starting
    // with a capital; only a to z are raised, nothing is lowered.
    static QString CapitalizeName(const QString &name);

    // The date with "-" separators and a four-digit year. Empty when the year
    // part is not one or two digits: such a date cannot be completed.
    static std::optional<QString> ExpandBirthYear(const QString &date, YearMode mode);

    // True when every character is "/" or a digit (also for an empty text).
    static bool IsDateText(const QString &text);
};

// The current year minus 2000.
int CurrentTwoDigitYear();

// True when the text reads as a number written with the local decimal
// separator. Every foreign decimal separator of the text is first replaced by
// the local one, in the caller's text itself. Never raises.
bool IsFloatText(QString &text);

// The number of a text written with the local decimal separator: optional
// sign, digits with at most one separator, optional exponent, blanks allowed
// around it. No group separators, hexadecimal, "nan" or "inf".
std::optional<double> ReadLocalFloat(const QString &text);

// Every "-" becomes "/".
QString DashesToSlashes(const QString &text);

// The same date and time with seconds and milliseconds set to zero.
QDateTime TruncToMinute(const QDateTime &value);
