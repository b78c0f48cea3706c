#pragma once

#include <QString>

// The machine's current local address, standing for "is the machine online":
// the first non-loopback address of an interface that is up and running, or
// "127.0.0.1" when there is none (offline). Inactive until activated; an
// inactive watcher has no address yet (empty text).
class LocalAddressWatcher
{
public:
    static constexpr char kOffline[] = "127.0.0.1";

    void setActive(bool active) { m_active = active; }
    bool active() const { return m_active; }

    // Looks at the interfaces now when active.
    QString currentLocalAddress() const;
    bool offline() const { return currentLocalAddress() == QLatin1String(kOffline); }

    // The address the interfaces give now, active or not.
    static QString localAddressNow();

    // Tests: every watcher reports this address instead of the interfaces'
    // (an empty text goes back to the interfaces).
    static void setForcedAddress(const QString &address);

private:
    bool m_active = false;
};
