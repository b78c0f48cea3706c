#pragma once

#include <QString>

#include <functional>

// Sends an identity correction to the provider of a received report: one
// row of client2prestCorrections in the service database.
class PatientCorrection
{
public:
    struct Needs {
        // TfMain::ConnectInternetDatabase (reconnection asked).
        std::function<bool(bool reconnect)> connect;
        // The connection the queries run on.
        QString connectionName;
        // Panel 0 of the main window's status bar.
        std::function<void(const QString &)> setStatus;
    };

    // TfMain.SendPatientCorrection: the report's identity, then the chosen
    // patient's. True only when a row was written: nothing is sent when the
    // service database cannot be reached or when both identities are the same
    // (letter case aside); an unknown provider (prestId below 0) and a failed
    // insert are logged.
    static bool send(const Needs &needs, int prestId, const QString &nom, const QString &prenom, const QString &neLe,
                     const QString &newNom, const QString &newPrenom, const QString &newNeLe);
};
