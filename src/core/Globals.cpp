#include "core/Globals.h"

#include "core/Main.h"

namespace Globals {

MainWindowInterface *mainWindow()
{
    return fMain;
}

void reset()
{
    fMain = nullptr;
    fStartup = nullptr;
    DebugMode = false;
    BaseFolder.clear();
    RemoteDatabaseName.clear();
    ImportFolder.clear();
    ImportsFolder.clear();
    ForeignDecimalSeparator.clear();
    SevenZipFolder.clear();
    EmailsFolder.clear();
    RunUpdaterOnExit = false;
    ProcessedFiles.clear();
    CurrentPatientID = -1;
    fObservance = nullptr;
    fPatients = nullptr;
    fImageForm = nullptr;
    fNewPatient = nullptr;
    CurrentMailNumber = 0;
    MailCount = 0;
    CurrentMessageIndex = -1;
    PatientNom.clear();
    PatientPrenom.clear();
    PatientNeLe.clear();
    ProviderReachable = false;
    ProviderID = -1;
    PatientCorrectionSent = false;
    ReportRecipient.clear();
    HoveredUrl.clear();
    WaitingFinished = false;
}

} // namespace Globals
