#include "core/DeferredMemo.h"

#include <QEvent>
#include <QPlainTextEdit>

#include <utility>

DeferredMemo::DeferredMemo(QPlainTextEdit *memo)
    : QObject(memo), m_memo(memo)
{
    memo->installEventFilter(this);
}

void DeferredMemo::append(const QString &line)
{
    if (m_memo->isVisible()) {
        flush();
        m_memo->appendPlainText(line);
    } else {
        m_appended << line;
    }
}

void DeferredMemo::setText(const QString &text)
{
    m_appended.clear();
    if (m_memo->isVisible()) {
        m_replace = false;
        m_text.clear();
        m_memo->setPlainText(text);
    } else {
        m_replace = true;
        m_text = text;
    }
}

QPlainTextEdit *DeferredMemo::widget() const
{
    flush();
    return m_memo;
}

void DeferredMemo::flush() const
{
    if (m_replace) {
        m_replace = false;
        m_memo->setPlainText(std::exchange(m_text, QString()));
    }
    // One by one, as they came: a line appended to an empty memo starts no
    // new paragraph, which a joined text would not reproduce.
    for (const QString &line : std::as_const(m_appended))
        m_memo->appendPlainText(line);
    m_appended.clear();
}

bool DeferredMemo::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_memo && event->type() == QEvent::Show)
        flush();
    return QObject::eventFilter(watched, event);
}
