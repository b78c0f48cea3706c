#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QPlainTextEdit;

// A memo that may stay hidden for a whole import: laying out each line as it
// is appended would cost a text layout per line for nobody to see. While the
// memo is not visible, its changes are kept and played into it when it is
// shown or when its widget is asked for, so that the memo then holds exactly
// what it would have held had each change reached it at once.
class DeferredMemo : public QObject
{
public:
    explicit DeferredMemo(QPlainTextEdit *memo);

    void append(const QString &line);   // appendPlainText
    void setText(const QString &text);  // setPlainText (clear: an empty text)

    // The memo with every change played into it.
    QPlainTextEdit *widget() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void flush() const;

    QPlainTextEdit *m_memo;
    // What the memo still has to take: a new text (when m_replace), then
    // the lines appended after it.
    mutable bool m_replace = false;
    mutable QString m_text;
    mutable QStringList m_appended;
};
