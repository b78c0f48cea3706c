#pragma once

#include "core/StartupNeeds.h"

#include <QString>
#include <QStringList>

// The 7-Zip command-line program "7z": where it is, the start-up check of
// its presence, and the extraction of an archive.
//
// Its folder is the one named by the key "SevenZip" of section "Main" of
// the configuration file, or else the folder "7-Zip" of the program's folder
// when an installation there finished, or else the folder where it is found
// on PATH;
// Globals::SevenZipFolder keeps it with one trailing "/".
namespace SevenZip {

inline constexpr char kProgramName[] = "7z";
// The program of the maker's archive for Linux, which the installation
// unpacks into the folder "7-Zip" of the program's folder.
inline constexpr char kMakersProgramName[] = "7zz";
inline constexpr char kArchiveName[] = "7z-linux-x64.tar.xz";
inline constexpr char kInstalledFolder[] = "7-Zip";
// In "7-Zip", written once the installed 7-Zip answered: without it the
// folder counts as no installation.
inline constexpr char kInstalledMarker[] = ".installation-terminee";
inline constexpr char kSection[] = "Main";
inline constexpr char kFolderKey[] = "SevenZip";

// "7z" (or "7zz") in Globals::SevenZipFolder.
QString programFile();

// The start-up step "Contrôle de l'application 7zip...": activates the
// local-address watcher, finds 7-Zip and sets Globals::SevenZipFolder.
// When 7-Zip is missing and the machine online, offers to download the
// maker's archive over verified HTTPS and unpack it with tar into "7-Zip"
// of the program's folder, then waits until it answers.
// False when the start-up must end: the message has been shown and the
// closing timer armed; the caller leaves its creation handler.
bool checkPresence(const StartupNeeds &parts);

// The box shown while an installed 7-Zip still does not answer.
QString manualProcedure();

struct Extraction {
    bool ok = false;
    QString error;      // why it failed, in French (never holds the password)
    QStringList files;  // what came out, relative to the destination, "/"-separated
    // When 7-Zip ran and failed: its exit code and its error output, for the
    // callers that tell a damaged archive from a refused password.
    int exitCode = -1;
    QString output;
    // The archive holds a link or a special file: refused, nothing moved.
    bool unsafeEntry = false;
};

// Extracts the archive into destination (created when missing) through the
// runner and its wait window (waitMessage). The archive is first unpacked
// into a fresh private folder; only when 7-Zip ended with exit code 0 and
// nothing but plain files and folders came out is the content moved into
// destination, each file replacing one of the same name in one rename. An empty password still
// passes "-p" so that 7-Zip never asks for one. With requiredFile, the
// extraction fails (and nothing is moved) unless that file came out at the
// archive's top level.
Extraction extract(const QString &archive, const QString &destination, const QString &password,
                   const QString &waitMessage, const QString &requiredFile = {});

} // namespace SevenZip
