#include "views/GridLayoutSettings.h"

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

QList<IniFile::Entry> columnWidthEntries(const QString &section, const QString &prefix, const QString &suffix,
                                         const QList<int> &widths)
{
    QList<IniFile::Entry> entries;
    for (int i = 0; i < widths.size(); ++i)
        entries.append({section, key(prefix, i, suffix), QString::number(widths.at(i))});
    return entries;
}

} // namespace GridLayoutSettings
