#include "platform/MariaDbGreeting.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

namespace MariaDbGreeting {

namespace {

constexpr int kProtocolVersion = 10;
constexpr unsigned kClientSsl = 0x0800;

// The greeting: protocol version, server version up to a NUL, connection id
// (4 bytes), first scramble part (8), a filler byte, then the low 16 bits of
// the server's capabilities.
Tls fromGreeting(const QByteArray &payload)
{
    if (payload.isEmpty() || payload.at(0) != kProtocolVersion)
        return Tls::Unknown;
    const qsizetype end = payload.indexOf('\0', 1);
    if (end < 0)
        return Tls::Unknown;
    const qsizetype at = end + 1 + 4 + 8 + 1;
    if (payload.size() < at + 2)
        return Tls::Unknown;
    const unsigned capabilities = uchar(payload.at(at)) | (unsigned(uchar(payload.at(at + 1))) << 8);
    return (capabilities & kClientSsl) ? Tls::Offered : Tls::NotOffered;
}

} // namespace

Tls tlsOffer(const QString &host, int port, int timeoutMs)
{
    if (host.isEmpty() || port <= 0 || port > 65535)
        return Tls::Unknown;
    const QDeadlineTimer deadline(timeoutMs);
    QTcpSocket socket;
    socket.connectToHost(host, quint16(port));
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return Tls::Unknown;
    // A packet: 3 bytes of length (little-endian), a sequence byte, the payload.
    QByteArray data;
    for (;;) {
        if (data.size() >= 4) {
            const qsizetype length = uchar(data[0]) | (uchar(data[1]) << 8) | (uchar(data[2]) << 16);
            if (data.size() >= 4 + length)
                return fromGreeting(data.mid(4, length));
        }
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return Tls::Unknown;
        data += socket.readAll();
    }
}

} // namespace MariaDbGreeting
