#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// A text parameter for a statement on the service database. Qt 6.4's ODBC
// driver binds a QString with its terminating zero counted in the length, and
// the MariaDB driver stores that zero as part of the value ("Dupont\0"), so
// that later comparisons and reads go wrong. The UTF-8 bytes of the text are
// bound instead, with their exact length; the server stores them as the
// column's utf8mb4 text (and compares them byte for byte).
inline QVariant remoteText(const QString &text)
{
    return QVariant(text.toUtf8());
}
