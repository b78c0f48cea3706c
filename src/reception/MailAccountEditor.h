#pragma once

#include <QString>

class LocalTable;

// The texts of the account form's controls, in the order of the record.
struct MailAccountTexts {
    QString nom;
    QString from;
    QString server;
    QString port;
    bool secured = false;
    QString login;
    QString password;

    // As the closing check compares them: "Vrai"/"Faux" for the check box.
    QString joined() const;
};

// What the mail account form does with the one record of "Mail.db", without
// the window: the connection test on the typed texts, the save, and the
// change check on closing. Messages go through the Dialogs service.
class MailAccountEditor
{
public:
    explicit MailAccountEditor(LocalTable &table) : m_table(table) {}

    // The record's texts for the controls.
    MailAccountTexts load() const;
    // Takes the snapshot the closing check compares with.
    void takeSnapshot();
    QString snapshot() const { return m_snapshot; }

    enum class TestResult { PortMissing, BadPort, Succeeded, Failed };
    // Tests the POP3 settings typed (a secured account needs a port; an
    // empty port becomes "110" in texts). One attempt, no retry.
    static TestResult testConnection(MailAccountTexts &texts);

    // Writes the texts into the record (the check box only when the user
    // changed it) and posts it. On failure: message, changes cancelled,
    // false (the form then closes).
    bool save(const MailAccountTexts &texts, bool securedChanged);

    // Closing: cancels unchanged edits, otherwise asks whether to save.
    void closeQuery(const MailAccountTexts &texts, bool securedChanged);

    // A control was typed into after a save: the record is edited again.
    void beginEdit();

private:
    void cancel();

    LocalTable &m_table;
    QString m_snapshot;
};
