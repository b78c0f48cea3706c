#include "platform/DecimalSeparator.h"

#include <QLocale>

namespace {
QChar overridden;
}

QChar DecimalSeparator::system()
{
    if (!overridden.isNull())
        return overridden;
    // Read once: the system's locale is fixed for the process, and numbers
    // of every report line ask for it.
    static const QChar systemPoint = [] {
        const QString point = QLocale::system().decimalPoint();
        return point.isEmpty() ? QChar(u'.') : point.at(0);
    }();
    return systemPoint;
}

void DecimalSeparator::setOverride(QChar separator)
{
    overridden = separator;
}
