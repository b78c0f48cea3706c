#include "platform/DecimalSeparator.h"

#include <QLocale>

namespace {
QChar overridden;
}

QChar DecimalSeparator::system()
{
    if (!overridden.isNull())
        return overridden;
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.at(0);
}

void DecimalSeparator::setOverride(QChar separator)
{
    overridden = separator;
}
