// This machine's own addresses as a player would hand them on: the IPv4 address that
// others on the same network reach it by, and a global IPv6 address that the internet
// could reach directly, where the machine has one. Read from the running interfaces at
// the moment of the call; nothing is cached.
#pragma once

#include <QString>

namespace localaddresses {

// A private-range IPv4 address first (the home LAN), else any other non-loopback,
// non-link-local IPv4; empty when none.
QString lan();
// A global IPv6 address (no link-local, unique-local, loopback or documentation
// address), stable ones before temporary ones; empty when none.
QString globalIPv6();

} // namespace localaddresses
