#pragma once

#include <QString>

// What a MariaDB (or MySQL) server says of TLS in the greeting it sends to
// every new connection, read before anything is sent to it.
namespace MariaDbGreeting {

enum class Tls { Offered, NotOffered, Unknown };

// Unknown when the server cannot be reached within the timeout or its
// greeting cannot be read.
Tls tlsOffer(const QString &host, int port, int timeoutMs);

} // namespace MariaDbGreeting
