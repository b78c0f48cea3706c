#pragma once

#include "platform/IniFile.h"

#include <QList>
#include <QString>

// Grid column widths kept in a section of the configuration file, one key
// per column position: prefix + position in decimal + suffix
// ("Column3_Width", "Grid_Column3_Width").
namespace GridLayoutSettings {

QString key(const QString &prefix, int position, const QString &suffix);

// The stored widths; a missing key, a text that is not a whole number or a
// negative value keeps the current width, and so does 0 when positiveOnly.
QList<int> readColumnWidths(const IniFile &ini, const QString &section, const QString &prefix,
                            const QString &suffix, const QList<int> &current, bool positiveOnly);

// The entries that store the widths, for the window's batch of settings
// written when it closes (IniFile::writeStrings).
QList<IniFile::Entry> columnWidthEntries(const QString &section, const QString &prefix, const QString &suffix,
                                         const QList<int> &widths);

} // namespace GridLayoutSettings
