#pragma once

#include <QDialog>

class QPlainTextEdit;

// A read-only window showing a text file written in Windows-1252. It frees
// itself when closed.
class TextViewer : public QDialog
{
    Q_OBJECT
public:
    // Largest file shown; a longer one shows its beginning only.
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

    // Opens a viewer on the file; nullptr when the file cannot be read.
    static TextViewer *showFile(const QString &fileName);

    QString text() const;
    QString fileName() const { return m_fileName; }

private:
    explicit TextViewer(const QString &fileName, const QString &text);
    QString m_fileName;
    QPlainTextEdit *m_edit;
};
