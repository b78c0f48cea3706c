#include "views/GridLayoutSettings.h"

#include "platform/IniFile.h"

namespace GridLayoutSettings {

QString key(const QString &prefix, int position, const QString &suffix)
{
    return prefix + QString::number(position) + suffix;
}

QList<int> readColumnWidths(const IniFile &ini, const QString &section, const QString &prefix,
                            const QString &suffix, const QList<int> &current, bool positiveOnly)
{
    QList<int> widths;
    for (int i = 0; i < current.size(); ++i) {
        const int value = ini.readInteger(section, key(prefix, i, suffix), current.at(i));
        widths << ((value < 0 || (positiveOnly && value == 0)) ? current.at(i) : value);
    }
    return widths;
}

bool writeColumnWidths(IniFile &ini, const QString &section, const QString &prefix, const QString &suffix,
                       const QList<int> &widths)
{
    bool written = true;
    for (int i = 0; i < widths.size(); ++i)
        written = ini.writeInteger(section, key(prefix, i, suffix), widths.at(i)) && written;
    return written;
}

} // namespace GridLayoutSettings
