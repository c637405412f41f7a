// Whether an IPv4 address a router calls its outside address can be reached from the
// internet: the rule the port mapper applies before it keeps a forward, since a router
// whose own outside address is private or shared (behind a provider's NAT) forwards
// nothing that a friend could reach. Pure, so that tests feed it rows.
#pragma once

#include <QString>

namespace publicaddress {

// True for a dotted IPv4 address ("11.0.0.1") outside every block reserved for private,
// shared, loopback, link-local, documentation, benchmarking, multicast or future use.
// Anything that is not exactly four decimal octets is not public.
bool isPublicIPv4(const QString &dotted);

} // namespace publicaddress
