#pragma once

#include <QTextBrowser>
#include <QUrl>

// The embedded browser of a message body: no scripts, nothing fetched
// (images and style sheets of the message stay out, local or remote), and a
// clicked link never opens inside: only web links (http, https) are handed to
// the desktop's browser.
class MessageBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit MessageBrowser(QWidget *parent = nullptr);

    // Shows the HTML file saved for the message.
    void showFile(const QString &fileName);

    QVariant loadResource(int type, const QUrl &name) override;

    // Opens a web link with the desktop; anything else is refused.
    static bool openWebLink(const QUrl &url);

signals:
    // The browser's status text (the link under the mouse, or empty).
    void statusTextChanged(const QString &text);

private:
    QUrl m_document;
};
