#pragma once

#include <QString>

// Where the program keeps its configuration, log and data folders: the folder
// named by TOLVARENIX_HOME when set, otherwise the executable's folder when it
// is writable, otherwise ~/.local/share/Tolvarenix Light/. Always ends with
// exactly one "/".
class ProgramFolder
{
public:
    static QString path();
    // The program's own file (the running executable).
    static QString programFile();
    // A file beside the program: the program's base name with another
    // extension (".ini", ".log").
    static QString besideProgram(const QString &extension);

    static QString configurationFile() { return besideProgram(QStringLiteral(".ini")); }
    static QString logFile() { return besideProgram(QStringLiteral(".log")); }

    static constexpr const char *kProgramName = "Obsidra";
};
