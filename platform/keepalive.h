// The kernel's watch over a connection whose peer may vanish without closing: keepalive
// probes after a silence and a user timeout that ends the connection when they, or our
// data, stay unanswered. Every connection of the Winsock gets it; a system that refuses
// an option leaves a vanished peer unnoticed, so a refusal is told once on stderr.
#pragma once

#include "platform/winsock.h"

namespace keepalive {

// Sets the idle time, probe interval, probe count and user timeout of `limits` on the
// TCP socket `descriptor`, each of them even when another is refused. Returns the name
// of the first option refused ("TCP_KEEPIDLE", ...), or nullptr when all took.
const char *apply(int descriptor, const Winsock::Limits &limits);

} // namespace keepalive
