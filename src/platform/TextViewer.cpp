#include "platform/TextViewer.h"

#include "platform/FrontWindow.h"
#include "platform/Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TextViewer *TextViewer::showFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.read(kMaxBytes);
    auto *viewer = new TextViewer(fileName, Windows1252::decode(bytes));
    KeepInFrontOf(*viewer);
    viewer->show();
    return viewer;
}

TextViewer::TextViewer(const QString &fileName, const QString &text)
    : m_fileName(fileName)
    , m_edit(new QPlainTextEdit(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("TextViewer"));
    setWindowTitle(QFileInfo(fileName).fileName());
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_edit->setPlainText(text);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    resize(800, 600);
}

QString TextViewer::text() const
{
    return m_edit->toPlainText();
}
