// Judging the remote host a player typed before any socket is made: the text is folded
// as an input method or a paste leaves it, then accepted only as an address or a host
// name that could ever be reached, so that Connect refuses a mistyped one at once
// instead of failing later after a pointless lookup.
#pragma once

#include <QString>
#include <optional>

namespace hostname {

// An input method types "１２７．０．０．１"; a paste brings a space or a line end.
QString fold(const QString &typed);

// A dotted IPv4 or an IPv6 address, or a host name of letters, digits and hyphens;
// takes what fold() returned.
bool isValid(const QString &folded);

// A remote host with the port to reach it on.
struct Target
{
    QString host;
    quint16 port = 0;

    bool operator==(const Target &) const = default;
};

// Splits what fold() returned into the host and its port: "ADDRESS:PORT",
// "[IPv6]:PORT" and "name:PORT" name their port; a plain address or name, a bare IPv6
// address and "[IPv6]" mean `defaultPort`. A port that is given must be digits alone,
// from 1 to 65535; otherwise there is no target. The host part is not judged here.
std::optional<Target> splitPort(const QString &folded, quint16 defaultPort);

} // namespace hostname
