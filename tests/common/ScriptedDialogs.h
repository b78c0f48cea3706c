#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QString>

#include <functional>

// A Dialogs service for tests: records every box and beep, answers the
// questions from a script, and installs itself for its lifetime.
class ScriptedDialogs : public Dialogs
{
public:
    struct Shown {
        Kind kind;
        QString text;
        bool question;
        bool defaultNo = false;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Queues the answers of the next questions (true = Yes).
    void answer(std::initializer_list<bool> answers);

    void message(Kind kind, const QString &text) override;
    bool ask(Kind kind, const QString &text) override;
    bool askDefaultNo(Kind kind, const QString &text) override;
    void beep(Beep beep) override;

    QList<Shown> shown;
    QList<Beep> beeps;
    // Questions asked when no answer was queued (answered No).
    int unscriptedQuestions = 0;
    // Called with each box as it is shown, before a question is answered.
    std::function<void(const Shown &)> onShown;

    QStringList texts() const;
    QString lastText() const { return shown.isEmpty() ? QString() : shown.last().text; }

private:
    QList<bool> m_answers;
};
