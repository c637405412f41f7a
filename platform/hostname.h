// Judging the remote host a player typed before any socket is made: the text is folded
// as an input method or a paste leaves it, then accepted only as an address or a host
// name that could ever be reached, so that Connect refuses a mistyped one at once
// instead of failing later after a pointless lookup.
#pragma once

#include <QString>

namespace hostname {

// An input method types "１２７．０．０．１"; a paste brings a space or a line end.
QString fold(const QString &typed);

// A dotted IPv4 or an IPv6 address, or a host name of letters, digits and hyphens;
// takes what fold() returned.
bool isValid(const QString &folded);

} // namespace hostname
