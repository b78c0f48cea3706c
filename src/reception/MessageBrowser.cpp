#include "reception/MessageBrowser.h"

#include "core/Globals.h"
#include "platform/ShellLauncher.h"

#include <QFile>
#include <QImage>

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
    // An empty answer is not enough: the document then reads a local file
    // itself, and an image it cannot draw is read from the disk by its name.
    // Every other resource gets an empty stand-in, an image a blank pixel.
    if (type == QTextDocument::ImageResource) {
        QImage blank(1, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return blank;
    }
    return QByteArray();
}

bool MessageBrowser::openWebLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return false;
    return ShellLauncher::openUrl(url);
}
