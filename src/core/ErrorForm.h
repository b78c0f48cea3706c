#pragma once

#include <QString>

// Reports an internal error of a routine: an error box with the three texts
// and the same texts in the log. The caller goes on afterwards.
void Creer_ErrorForm(const QString &routine, const QString &context, const QString &message);
