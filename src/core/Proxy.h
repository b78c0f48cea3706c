#pragma once

#include "core/StartupNeeds.h"

#include <QDialog>

class QLineEdit;

namespace Ui {
class TfProxy;
}

// The internet proxy dialog and the start-up's fetch of the service
// database's access code from the maker's web server. The proxy settings
// live scrambled in section "Proxy" of the configuration file.
class TfProxy : public QDialog
{
    Q_OBJECT
public:
    static constexpr char kSection[] = "Proxy";

    explicit TfProxy(const StartupNeeds &parts, QWidget *parent = nullptr);
    ~TfProxy() override;

    void ReadProxySettings();
    void WriteProxySettings();

    // Applies the HTTP fields to the client, fetches URL, deciphers the
    // access code and configures the alias with it; true when a usable code
    // came (a text that does not decipher counts as a failed fetch).
    bool TextParams(const QString &URL);
    void ConfigureDatabaseAlias(const QString &Code);

    // The start-up step: on return, either the alias and the database
    // password are configured from the fetched code, or the closing timer
    // has been armed.
    static void CheckProxy(const StartupNeeds &parts, QString Code, const QString &URL);

    void BtVerifierClick();
    // Leaving a port edit: false (and "0", focus back) when not a number.
    bool EdHTTPPortExit();
    bool EdFTPPortExit();

    // The test button's "No" ended the program (closing timer armed).
    bool programEnding() const { return m_programEnding; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void applyHttpFields();
    bool portExit(QLineEdit *edit);
    // Fetches URL; the deciphered code when usable, else empty.
    QString fetchCode(const QString &URL, bool *fetched = nullptr);

    Ui::TfProxy *ui;
    StartupNeeds m_parts;
    bool m_programEnding = false;
};
