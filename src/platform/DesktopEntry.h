#pragma once

#include <QString>

// Freedesktop desktop entries: the launcher file that the desktop shows as a
// shortcut to the program.
class DesktopEntry
{
public:
    // The user's desktop folder: XDG_DESKTOP_DIR when set in the environment,
    // otherwise the one of the XDG user-dirs file (by default ~/Desktop).
    // It may not exist.
    static QString desktopFolder();

    // The text of an entry that starts target with its arguments (a text
    // split on blanks; empty for none) in workingFolder, with the picture
    // file icon (none when empty).
    static QByteArray content(const QString &name, const QString &comment, const QString &target,
                              const QString &arguments, const QString &workingFolder, const QString &icon = {});

    // The Exec value for a program and its arguments, quoted and escaped as
    // the freedesktop desktop-entry format requires.
    static QString execValue(const QString &target, const QString &arguments);

    // Writes the entry file (mode 0755, as desktops want for launchers).
    static bool write(const QString &fileName, const QByteArray &content);
};
