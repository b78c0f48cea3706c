#pragma once

#include <QString>

// True when the path is a folder that can be listed within the time limit;
// a mount that does not answer counts as unreachable.
bool NetworkPathExists(const QString &path, int timeoutMs = 5000);
