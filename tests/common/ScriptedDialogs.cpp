#include "ScriptedDialogs.h"

ScriptedDialogs::ScriptedDialogs()
{
    Dialogs::setInstance(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::setInstance(nullptr);
}

void ScriptedDialogs::answer(std::initializer_list<bool> answers)
{
    for (bool a : answers)
        m_answers.append(a);
}

void ScriptedDialogs::message(Kind kind, const QString &text)
{
    shown.append({kind, text, false});
    if (onShown)
        onShown(shown.last());
}

bool ScriptedDialogs::ask(Kind kind, const QString &text)
{
    shown.append({kind, text, true});
    if (onShown)
        onShown(shown.last());
    if (m_answers.isEmpty()) {
        ++unscriptedQuestions;
        return false;
    }
    return m_answers.takeFirst();
}

bool ScriptedDialogs::askDefaultNo(Kind kind, const QString &text)
{
    const bool yes = ask(kind, text);
    shown.last().defaultNo = true;
    return yes;
}

void ScriptedDialogs::beep(Beep beep)
{
    beeps.append(beep);
}

QStringList ScriptedDialogs::texts() const
{
    QStringList list;
    for (const Shown &s : shown)
        list << s.text;
    return list;
}
