#pragma once

#include <QString>
#include <QtGlobal>

#include <stdexcept>

// Versions of the program and of its downloadable modules.
//
// The program's own version is compiled in. A module's version is kept in
// the manifest "Versions.ini" beside it: one section per file name with
//   Version        the installed version ("a.b.c.d")
//   SHA256         the installed file's digest (optional)
//   Pending        a newer version handed to the updater
//   PendingSHA256  the digest of that newer file
// so a replacement installed by the updater at exit is recognised by its
// content. A file with no usable entry counts as "1.0.0.0".
namespace ModuleVersions {

inline constexpr char kManifestName[] = "Versions.ini";

// A version as two 32-bit words: most significant (major << 16 | minor),
// least significant (release << 16 | build).
struct FileVersion {
    quint32 mostSignificant = 1u << 16;
    quint32 leastSignificant = 0;
    QString text() const; // "%d.%d.%d.%d"
};

// A version text that holds a part that is not a whole number.
class VersionError : public std::runtime_error
{
public:
    explicit VersionError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

// "1.0.0" is read as 1.0.0.0; anything else than up to four whole numbers
// from 0 to 65535 joined by "." gives false.
bool parseVersion(const QString &text, FileVersion &version);

// The compiled-in version of this program.
FileVersion programVersion();

// The version of a file: the program's own file gives programVersion();
// any other file its manifest entry; none gives 1.0.0.0.
FileVersion GetFileVersion(const QString &fileName);

// True when candidate is newer than current, comparing the whole numbers
// before each "." in turn; "1.10" is newer than "1.2", "1.0.0" is not newer
// than "1.0.0.0". Throws VersionError for a part before a "." that is not a
// whole number.
bool IsNewerVersion(const QString &current, const QString &candidate);

// False for a name beginning with "." or a folder; true for a missing file;
// otherwise whether candidate (a version, or a file whose version counts)
// is newer than the file's version.
bool FileNeedsUpdate(const QString &fileName, const QString &candidate);

// Records in the manifest beside fileName the version of the file now in
// place (installed) or of its replacement waiting in "Update/" (pending,
// digest of that file). False when the manifest could not be written.
bool recordInstalled(const QString &fileName, const QString &version);
bool recordPending(const QString &fileName, const QString &version, const QString &replacement);

// SHA-256 of a file's content in hexadecimal; empty when unreadable.
QString digest(const QString &fileName);

} // namespace ModuleVersions
