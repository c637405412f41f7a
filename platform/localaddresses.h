// This machine's own addresses as a player would hand them on: the IPv4 address that
// others on the same network reach it by, and a global IPv6 address that the internet
// could reach directly, where the machine has one. Read from the interfaces at the
// moment of the call; nothing is cached.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

namespace localaddresses {

// The best of `candidates` for a player on the same network: a private-range IPv4
// address first (the home LAN), else any other non-loopback IPv4; empty when none.
QString pickLan(const QList<QHostAddress> &candidates);
// The best global IPv6 address of `candidates` (no link-local, unique-local, loopback
// or documentation address), stable ones before temporary ones; empty when none.
QString pickGlobalIPv6(const QList<QHostAddress> &stable, const QList<QHostAddress> &temporary);

// The same, over the running interfaces of this machine.
QString lan();
QString globalIPv6();

} // namespace localaddresses
