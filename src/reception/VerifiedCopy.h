#pragma once

#include <QString>

// Copies a file so that the copy can be trusted before the original goes:
// the destination is written under a temporary name, renamed into place
// (replacing a file of that name) and then read back and compared with the
// source, size and content. On failure nothing is left at the destination
// name by this call and error says why.
bool CopyFileVerified(const QString &source, const QString &destination, QString *error = nullptr);
