#include "platform/LocalAddressWatcher.h"

#include <QNetworkInterface>

namespace {
QString &forcedAddress()
{
    static QString address;
    return address;
}
} // namespace

void LocalAddressWatcher::setForcedAddress(const QString &address)
{
    forcedAddress() = address;
}

QString LocalAddressWatcher::currentLocalAddress() const
{
    return m_active ? localAddressNow() : QString();
}

QString LocalAddressWatcher::localAddressNow()
{
    if (!forcedAddress().isEmpty())
        return forcedAddress();
    QString ipv6;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.isLoopback() || address.isNull())
                continue;
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                return address.toString();
            // A link-local IPv6 address alone does not reach the internet.
            if (ipv6.isEmpty() && !address.isLinkLocal())
                ipv6 = address.toString();
        }
    }
    return ipv6.isEmpty() ? QString::fromLatin1(kOffline) : ipv6;
}
