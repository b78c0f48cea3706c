#pragma once

#include <QString>

// The one way the program talks to the user through message boxes and beeps.
// Every window and routine goes through Dialogs::instance(); tests install a
// scripted implementation that records the texts and gives the answers.
class Dialogs
{
public:
    enum class Kind { Information, Warning, Error, Confirmation };
    enum class Beep { Default, Exclamation };

    virtual ~Dialogs() = default;

    // A box with an OK button.
    virtual void message(Kind kind, const QString &text) = 0;
    // A box with the buttons Yes and No; true when the user answers Yes.
    virtual bool ask(Kind kind, const QString &text) = 0;
    virtual void beep(Beep beep) = 0;
    // The same question with No as the default answer, for the questions
    // whose Yes cannot be undone.
    virtual bool askDefaultNo(Kind kind, const QString &text) { return ask(kind, text); }

    void information(const QString &text) { message(Kind::Information, text); }
    void warning(const QString &text) { message(Kind::Warning, text); }
    void error(const QString &text) { message(Kind::Error, text); }
    bool question(const QString &text) { return ask(Kind::Confirmation, text); }
    bool questionDefaultNo(const QString &text) { return askDefaultNo(Kind::Confirmation, text); }

    // The service in use; message boxes unless another one was installed.
    static Dialogs &instance();
    // Installs a service (not owned); nullptr goes back to message boxes.
    static void setInstance(Dialogs *dialogs);

    // The program is closing while boxes or dialogs may be open: every open
    // modal dialog ends at once with the result kEndedForClosing, and so
    // does every one shown from then on; message boxes return at once and
    // their questions read as No. Commands must take such an end as
    // cancelled, never as an answer: they check closing() after each dialog.
    // Windows that only wait for work in progress (they answer nothing) are
    // left to end by themselves.
    static void endForClosing();
    static bool closing();
    static constexpr int kEndedForClosing = -1;
    // Tests only: back to the normal state.
    static void resetClosing();
};

// Message boxes of the windowing system, with French button texts.
class MessageBoxDialogs : public Dialogs
{
public:
    void message(Kind kind, const QString &text) override;
    bool ask(Kind kind, const QString &text) override;
    bool askDefaultNo(Kind kind, const QString &text) override;
    void beep(Beep beep) override;

private:
    static bool askWithDefault(Kind kind, const QString &text, bool defaultYes);
};
