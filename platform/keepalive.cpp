// Applies the keepalive and user-timeout options with the system's setsockopt, as Qt
// offers only the bare keepalive switch.
#include "platform/keepalive.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <utility>

namespace {

// A host holds many connections and every one would meet the same refusal: one line
// per process says enough.
void reportOnce(const char *option, int error)
{
    static bool reported = false;
    if (std::exchange(reported, true))
        return;
    qWarning("kelvaro: the system refused %s on a connection (%s); a peer that vanishes "
             "without closing may go unnoticed",
             option, std::strerror(error));
}

} // namespace

namespace keepalive {

const char *apply(int descriptor, const Winsock::Limits &limits)
{
    // The kernel reads the user timeout as an unsigned int of milliseconds.
    const unsigned userTimeout = unsigned(limits.userTimeoutMs);
    const struct
    {
        const char *name;
        int option;
        const void *value;
        socklen_t size;
    } options[] = {
        {"TCP_KEEPIDLE", TCP_KEEPIDLE, &limits.keepAliveIdleS, sizeof limits.keepAliveIdleS},
        {"TCP_KEEPINTVL", TCP_KEEPINTVL, &limits.keepAliveIntervalS, sizeof limits.keepAliveIntervalS},
        {"TCP_KEEPCNT", TCP_KEEPCNT, &limits.keepAliveProbes, sizeof limits.keepAliveProbes},
        {"TCP_USER_TIMEOUT", TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout},
    };
    const char *refused = nullptr;
    for (const auto &o : options) {
        if (::setsockopt(descriptor, IPPROTO_TCP, o.option, o.value, o.size) == 0 || refused)
            continue;
        refused = o.name;
        reportOnce(o.name, errno);
    }
    return refused;
}

} // namespace keepalive
