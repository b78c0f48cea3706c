#pragma once

#include <QChar>

// The system's decimal separator, as the user's locale gives it; tests can
// replace it.
class DecimalSeparator
{
public:
    static QChar system();
    // A null character restores the locale's separator.
    static void setOverride(QChar separator);
};
