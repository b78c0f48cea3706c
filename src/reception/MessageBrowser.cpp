#include "reception/MessageBrowser.h"

#include "core/Globals.h"
#include "platform/ShellLauncher.h"

#include <QFile>

MessageBrowser::MessageBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, QOverload<const QUrl &>::of(&QTextBrowser::highlighted), this,
            [this](const QUrl &url) { emit statusTextChanged(url.toString()); });
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl &url) {
        // The link under the mouse first, as the status bar showed it.
        openWebLink(Globals::HoveredUrl.isEmpty() ? url : QUrl(Globals::HoveredUrl));
    });
}

void MessageBrowser::showFile(const QString &fileName)
{
    m_document = QUrl::fromLocalFile(fileName);
    setSource(m_document, QTextDocument::HtmlResource);
}

QVariant MessageBrowser::loadResource(int type, const QUrl &name)
{
    if (type == QTextDocument::HtmlResource && name == m_document) {
        QFile file(name.toLocalFile());
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return {};
}

bool MessageBrowser::openWebLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return false;
    return ShellLauncher::openUrl(url);
}
