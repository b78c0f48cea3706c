#pragma once

#include <QString>
#include <QStringList>

class LocalDatabase;
class RemoteDatabase;
class QWidget;

// What the reception, the import and the identification may use of the main
// window: its status bar, its progress bar, the result and document lines of
// the report being handled, its closing timer, its tables and the service
// database. The main window implements it; the logic never reaches into its
// widgets, and tests can stand in for it.
class MainWindowInterface
{
public:
    virtual ~MainWindowInterface() = default;

    // Status bar: panel 0 the step, panel 1 the counter "n/N", panel 2 the
    // file or patient. Callers process pending events afterwards when the
    // change must be seen at once.
    virtual void setStatusText(int panel, const QString &text) = 0;
    virtual QString statusText(int panel) const = 0;
    // Paints the status bar now.
    virtual void repaintStatus() = 0;

    // The progress bar of the reception and the import (pbReception).
    virtual void setProgressMaximum(int maximum) = 0;
    virtual int progressMaximum() const = 0;
    virtual void setProgress(int value) = 0;
    virtual void setProgressVisible(bool visible) = 0;

    // The result lines of the report being handled (MErrors), exactly as
    // they were given.
    virtual const QStringList &resultLines() const = 0;
    virtual void addResultLine(const QString &line) = 0;
    virtual void setResultLines(const QStringList &lines) = 0;
    void clearResultLines() { setResultLines({}); }

    // The free-text lines of the report block being imported (MDocument).
    virtual void addDocumentLine(const QString &line) = 0;
    virtual void clearDocumentLines() = 0;

    // Starts the closing timer (tmrClose): the program ends at its tick.
    virtual void armCloseTimer() = 0;
    // True once a close was requested: commands stop at their next step.
    virtual bool closeRequested() const = 0;

    // The parent of the dialogs the logic opens.
    virtual QWidget *dialogParent() = 0;

    // The local tables and queries.
    virtual LocalDatabase &database() = 0;
    // The remote database and HTTP client connection; true only when both
    // are connected.
    virtual bool ConnectInternetDatabase(bool reconnect) = 0;
    // The service database connection (DBFTP).
    virtual RemoteDatabase &remoteDatabase() = 0;

    // The identification result of the report block being imported: a
    // patient id, -3 when the user declined the report, -1 when none.
    int FImportPatientID = -1;
    // Set by the POP3 worker once the message being received was retrieved.
    bool MessageRetrieved = false;
};
