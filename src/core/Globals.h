#pragma once

#include <QString>
#include <QStringList>

#include <atomic>

class MainWindowInterface;
class TfMain;
class TfStartup;
class TfObservance;
class TfPatients;
class TfImageForm;
class TfNewPatient;

// The program-wide values, kept together here. Each is set by the part of
// the program named beside it and read by the others.
namespace Globals {

// The built-in password of the protected local tables.
inline constexpr char kDatabasePassword[] = "vigne+craie";

inline TfMain *fMain = nullptr;       // the main window, set before its creation handler runs
// fMain as the reception and view logic see it (null while fMain is).
MainWindowInterface *mainWindow();
inline TfStartup *fStartup = nullptr; // the splash, while the main window is being created

// Configuration and folders (start-up).
inline bool DebugMode = false;
inline QString BaseFolder;            // program folder + "Base/"
inline QString RemoteDatabaseName;    // "TolvarenixMySQLDB"
inline QString ImportFolder;          // program folder + "ForImportation/"
inline QString ImportsFolder;         // BaseFolder + "Imports/"
inline QString ForeignDecimalSeparator;
inline QString SevenZipFolder;        // 7-Zip presence check
inline QString EmailsFolder;          // first creation of the POP3 worker
inline bool RunUpdaterOnExit = false; // update search

// Report files moved to the import folder during this run (names compared
// without regard to letter case).
inline QStringList ProcessedFiles;

// Patient display.
inline int CurrentPatientID = -1;
// The observance window while it exists; cleared when the window is freed.
inline TfObservance *fObservance = nullptr;
// The patient chooser, the documents window and the new-patient dialog
// while each exists.
inline TfPatients *fPatients = nullptr;
inline TfImageForm *fImageForm = nullptr;
inline TfNewPatient *fNewPatient = nullptr;

// Reception and import.
inline int CurrentMailNumber = 0;
inline int MailCount = 0;
inline int CurrentMessageIndex = -1;
inline QString PatientNom;
inline QString PatientPrenom;
inline QString PatientNeLe;
inline bool ProviderReachable = false;
inline int ProviderID = -1;
inline bool PatientCorrectionSent = false;
inline QString ReportRecipient;
inline QString HoveredUrl;
inline std::atomic<bool> WaitingFinished{false};

// Back to the values of a fresh start (tests).
void reset();

} // namespace Globals
