#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TestHome::TestHome(bool withDesktop)
    : m_oldHome(qgetenv("TOLVARENIX_HOME"))
    , m_oldDesktop(qgetenv("XDG_DESKTOP_DIR"))
{
    QDir().mkpath(m_dir.path() + QStringLiteral("/program"));
    if (withDesktop)
        QDir().mkpath(desktopPath());
    qputenv("TOLVARENIX_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/program")));
    qputenv("XDG_DESKTOP_DIR", QFile::encodeName(desktopPath()));
}

TestHome::~TestHome()
{
    if (m_oldHome.isEmpty())
        qunsetenv("TOLVARENIX_HOME");
    else
        qputenv("TOLVARENIX_HOME", m_oldHome);
    if (m_oldDesktop.isEmpty())
        qunsetenv("XDG_DESKTOP_DIR");
    else
        qputenv("XDG_DESKTOP_DIR", m_oldDesktop);
}

QString TestHome::path() const
{
    return m_dir.path() + QStringLiteral("/program/");
}

QString TestHome::desktopPath() const
{
    return m_dir.path() + QStringLiteral("/Desktop");
}

void TestHome::write(const QString &relative, const QByteArray &content) const
{
    const QString name = path() + relative;
    QDir().mkpath(QFileInfo(name).path());
    QFile f(name);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
}
