// Descriptor exhaustion for the host tests: duplicates held until the listener gives up.
#include "descriptorshortage.h"

#include "host/host.h"

#include <QTest>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {
// Enough to leave the host room for its sockets once released; filling it takes a few
// milliseconds, where a limit of a million would take seconds.
constexpr rlim_t shortageLimit = 4096;
} // namespace

DescriptorShortage::DescriptorShortage()
{
    if (::getrlimit(RLIMIT_NOFILE, &m_saved) != 0)
        return;
    if (m_saved.rlim_cur > shortageLimit) {
        rlimit lowered = m_saved;
        lowered.rlim_cur = shortageLimit;
        m_lowered = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
        if (!m_lowered)
            return;
    }
    const int first = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (first < 0) {
        m_full = errno == EMFILE;
        return;
    }
    m_held.push_back(first);
    for (;;) {
        const int fd = ::fcntl(first, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            m_full = errno == EMFILE;
            return;
        }
        m_held.push_back(fd);
    }
}

DescriptorShortage::~DescriptorShortage()
{
    release();
}

void DescriptorShortage::release()
{
    for (const int fd : m_held)
        ::close(fd);
    m_held.clear();
    m_full = false;
    if (std::exchange(m_lowered, false))
        ::setrlimit(RLIMIT_NOFILE, &m_saved);
}

quint64 descriptorLimit()
{
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    return quint64(now.rlim_cur);
}

bool failOneAccept(Host &host, const std::function<bool()> &recovered, int ms)
{
    // The caller's own descriptor is taken before the shortage.
    const int caller = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (caller < 0)
        return false;
    bool gaveUp = false;
    bool ok = false;
    {
        DescriptorShortage shortage;
        QObject watching; // ends the connection before `shortage` goes
        QObject::connect(&host.sckListen, &Winsock::Closed, &watching, [&] {
            gaveUp = true;
            shortage.release();
        });
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(host.port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok = shortage.active()
             && (::connect(caller, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0
                 || errno == EINPROGRESS)
             && QTest::qWaitFor(recovered, ms);
    }
    ::close(caller);
    return ok && gaveUp;
}
