#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class MainWindowInterface;

// Records in the service database, in the prest2facture row of a provider's
// report, the time at which the report was received and the result of its
// import. The rows are created by the service; this only updates them.
//
// Where the program used to stop on the spot (the user gives up a lost
// connection, the provider look-up never runs, a report name holds no
// sending time), the call returns a fatal outcome instead: the caller stops
// its reception or import, keeps the files it holds and arms tmrClose.
class RemoteRecording
{
public:
    static constexpr int kAttempts = 5;

    struct Needs {
        // TfMain::ConnectInternetDatabase (reconnection asked).
        std::function<bool(bool reconnect)> connect;
        // DBFTP is connected.
        std::function<bool()> connected;
        // The connection the queries run on.
        QString connectionName;
        // The mail account's ADRESSE (TMail).
        std::function<QString()> accountAddress;
        // Panel 0 of the status bar, repainted at once.
        std::function<void(const QString &)> setStatus;
        // The folder of the received files (Globals::EmailsFolder when empty).
        QString emailsFolder;
    };

    struct Receipt {
        bool stamped = false; // at least one row found and verified
        bool fatal = false;   // the program must close
    };

    enum class Outcome {
        Recorded,    // the row holds the result
        NoRow,       // no prest2facture row for this report: logged
        Failed,      // every attempt failed: shown and logged
        Unreachable, // the service database could not be reached: nothing written
        NotApplicable, // missing file or not a provider report
        Fatal        // the program must close
    };

    explicit RemoteRecording(Needs environment);

    // The environment of the main window: its DBFTP, TMail and status bar.
    static Needs forMainWindow(MainWindowInterface &main);

    // TfMain.SaveReceivedDateOnFTP: one reception time for the row of every
    // report file of the message in the e-mails folder, wherever it lies.
    Receipt SaveReceivedDateOnFTP(QString senderEmail, const QString &destEmail, const QString &fileName);

    // TfMain.SaveImportationResultOnFTP: the result lines into the row of the
    // report fileName (full path). The last line gets " - " and the current
    // date and time, in resultLines itself. importPatientId -3 also marks the
    // row Bad_dest.
    Outcome SaveImportationResultOnFTP(const QString &senderEmail, const QString &destEmail, const QString &fileName,
                                       QStringList &resultLines, int importPatientId);

    // The same with the main window's MErrors and FImportPatientID.
    static Outcome SaveImportationResultOnFTP(MainWindowInterface &main, const QString &senderEmail, const QString &destEmail,
                                              const QString &fileName);
    static Receipt SaveReceivedDateOnFTP(MainWindowInterface &main, const QString &senderEmail, const QString &destEmail,
                                         const QString &fileName);

private:
    struct Provider {
        QString email;          // sEmail1
        QString prest2factEmail; // sEmail2
    };
    struct Bindings {
        QString dateEnvoi;
        QString destEmail;
        QString prestEmail; // :prestemail
        QString sEmail;     // :sEmail
    };
    enum class Routine { Receipt, Import };

    // Steps common to both: the connection loop and the provider look-up.
    bool keepConnected(Routine routine);
    bool lookUpProvider(Routine routine, const QString &senderEmail, const QString &bound, Provider &provider);
    // One receipt update and its check; false with error set when a
    // statement fails.
    bool stampAndVerify(const Bindings &bindings, const QString &receivedDate, bool &verified, QString &error);

    Needs m_env;
};
