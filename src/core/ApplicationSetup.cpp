#include "core/ApplicationSetup.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The resources of a static library are registered on first use.
static void registerResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(MainIcons);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace ApplicationSetup {

QString iconResource()
{
    registerResources();
    return QStringLiteral(":/app/tolvarenix.png");
}

bool installQtFrench(QCoreApplication &app)
{
    // Owned by the application, which keeps it for the whole run.
    auto *translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void applyLook(QApplication &app)
{
    // No display name: Qt would append it to every window's title on Linux
    // desktops, and the titles are the windows' own captions.
    QApplication::setWindowIcon(QIcon(iconResource()));
    // The layouts' own faces: the Windows ones, drawn with the face of the
    // same widths.
    for (const char *face : {"Arial", "MS Sans Serif", "Tahoma"})
        QFont::insertSubstitution(QLatin1String(face), QStringLiteral("Liberation Sans"));
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(8);
    app.setFont(font);
}

} // namespace ApplicationSetup
