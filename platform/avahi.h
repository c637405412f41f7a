// What the service publisher and the service browser share of the Avahi daemon's D-Bus
// interface: its bus name, the server object's calls, and the values that mean "any".
#pragma once

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

namespace avahi {

inline const QString service = QStringLiteral("org.freedesktop.Avahi");
constexpr int unspecified = -1;      // AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC
constexpr int callTimeoutMs = 10000; // the daemon gives up resolving after 5 s itself

// A call of the daemon's server object. A daemon that is not running stays so: the call
// starts none and nothing waits for one.
QDBusMessage serverCall(const QString &method, const QVariantList &arguments);

} // namespace avahi
