#include "core/ErrorForm.h"

#include "core/LogWriter.h"

#include "platform/Dialogs.h"

void Creer_ErrorForm(const QString &routine, const QString &context, const QString &message)
{
    LogWriter::write(QStringLiteral("Erreur dans ") + routine + QStringLiteral(" (") + context
                     + QStringLiteral(") : ") + message);
    Dialogs::instance().error(message + QStringLiteral("\n\nRoutine : ") + routine + QStringLiteral("\nContexte : ")
                              + context);
}
