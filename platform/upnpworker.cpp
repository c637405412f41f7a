#include "platform/upnpworker.h"

#include <QByteArray>
#include <QHostAddress>
#include <QMetaObject>
#include <QScopeGuard>

#include <condition_variable>
#include <mutex>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include "platform/publicaddress.h"

namespace {

using namespace std::chrono_literals;

// Each kind searched for costs the whole wait when nothing answers, so only two: the
// IGD itself (an IGD v2 answers a search for v1 as well) and, for routers that announce
// only their services, its IP connection service.
constexpr int discoverMs = 1500;
const char *const searchedTypes[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                     "urn:schemas-upnp-org:service:WANIPConnection:1", nullptr};
constexpr int leaseSeconds = 3600;
constexpr int onlyPermanentLeases = 725; // OnlyPermanentLeasesSupported
const char *const description = "Kelvaro";
const char *const tcp = "TCP";

// The router's answer to UPNP_GetValidIGD, freed however the worker leaves.
struct Igd
{
    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[64]{};
    int found = 0;

    ~Igd()
    {
        if (found != 0)
            FreeUPNPUrls(&urls);
    }
    int add(quint16 externalPort, quint16 internalPort, int lease) const
    {
        return UPNP_AddPortMapping(urls.controlURL, data.first.servicetype,
                                   QByteArray::number(externalPort).constData(),
                                   QByteArray::number(internalPort).constData(), lanAddress, description, tcp,
                                   nullptr, QByteArray::number(lease).constData());
    }
    void remove(quint16 externalPort) const
    {
        UPNP_DeletePortMapping(urls.controlURL, data.first.servicetype,
                               QByteArray::number(externalPort).constData(), tcp, nullptr);
    }
};

} // namespace

struct UpnpWorker::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool standingDown = false;
    quint16 keptPort = 0;
    bool done = false;
    bool forwarding = false; // it may have asked the router for a forward
    QObject *receiver = nullptr;
    Report report;
    quint16 internalPort = 0;
    std::vector<quint16> externalPorts;

    bool asking()
    {
        const std::lock_guard lock(mutex);
        return !stopping && !standingDown;
    }
    // In one step with the check, so that finish() knows whether a forward may exist.
    bool mayForward()
    {
        const std::lock_guard lock(mutex);
        forwarding = forwarding || (!stopping && !standingDown);
        return !stopping && !standingDown;
    }
    void post(const UpnpAnswer &answer)
    {
        const std::lock_guard lock(mutex);
        if (stopping || standingDown || !receiver)
            return;
        QMetaObject::invokeMethod(receiver, [report = report, answer] { report(answer); }, Qt::QueuedConnection);
    }
};

UpnpWorker::UpnpWorker(QObject *receiver, Report report, quint16 internalPort, std::vector<quint16> externalPorts)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->receiver = receiver;
    m_shared->report = std::move(report);
    m_shared->internalPort = internalPort;
    m_shared->externalPorts = std::move(externalPorts);
    m_thread = std::thread(&UpnpWorker::run, m_shared);
}

UpnpWorker::~UpnpWorker()
{
    finish(2500ms);
}

void UpnpWorker::standDown(quint16 keptPort)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->standingDown = true;
    m_shared->keptPort = keptPort;
    m_shared->changed.notify_all();
}

void UpnpWorker::finish(std::chrono::milliseconds limit)
{
    if (!m_thread.joinable())
        return;
    std::unique_lock lock(m_shared->mutex);
    m_shared->stopping = true;
    m_shared->receiver = nullptr;
    m_shared->changed.notify_all();
    // Before its first request for a forward it has nothing to delete: it ends by itself
    // as soon as discovery lets it, and need not hold up the program.
    const bool ended = m_shared->forwarding
                           ? m_shared->changed.wait_for(lock, limit, [this] { return m_shared->done; })
                           : m_shared->done;
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach(); // it holds its own share of the state and ends by itself
}

void UpnpWorker::run(const std::shared_ptr<Shared> &shared)
{
    Shared &s = *shared;
    const auto finished = qScopeGuard([&s] {
        const std::lock_guard lock(s.mutex);
        s.done = true;
        s.changed.notify_all();
    });

    int error = 0;
    const std::unique_ptr<UPNPDev, void (*)(UPNPDev *)> devices(
        upnpDiscoverDevices(searchedTypes, discoverMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error, 0),
        freeUPNPDevlist);
    if (!s.asking())
        return;
    if (!devices) {
        s.post({});
        return;
    }
    Igd igd;
    igd.found = UPNP_GetValidIGD(devices.get(), &igd.urls, &igd.data, igd.lanAddress, sizeof igd.lanAddress);
    // 1: a connected IGD; 2: an IGD that says it is not connected, which is what a
    // router with a private or shared outside address says.
    if (igd.found != 1 && igd.found != 2) {
        s.post({});
        return;
    }
    if (!s.asking())
        return;

    char outside[64]{};
    const int got = UPNP_GetExternalIPAddress(igd.urls.controlURL, igd.data.first.servicetype, outside);
    QString address = QString::fromLatin1(outside, qstrnlen(outside, sizeof outside - 1));
    if (QHostAddress(address).protocol() != QAbstractSocket::IPv4Protocol)
        address.clear();
    if (got != UPNPCOMMAND_SUCCESS || !publicaddress::isPublicIPv4(address)) {
        if (got == UPNPCOMMAND_SUCCESS || igd.found == 2)
            s.post({UpnpAnswer::Kind::NotPublic, address});
        else
            s.post({});
        return;
    }

    quint16 port = 0;
    int lease = leaseSeconds;
    int refusal = 0;
    for (const quint16 candidate : s.externalPorts) {
        if (!s.mayForward())
            break;
        int result = igd.add(candidate, s.internalPort, leaseSeconds);
        if (result == onlyPermanentLeases) {
            result = igd.add(candidate, s.internalPort, 0);
            if (result == UPNPCOMMAND_SUCCESS)
                lease = 0;
        }
        if (result == UPNPCOMMAND_SUCCESS) {
            port = candidate;
            break;
        }
        if (result < 0) // no SOAP answer at all: not a refusal of this port
            break;
        refusal = result;
    }
    if (port == 0) {
        if (refusal != 0)
            s.post({UpnpAnswer::Kind::Refused, address, 0, refusal});
        else
            s.post({});
        return;
    }
    s.post({UpnpAnswer::Kind::Mapped, address, port});

    // Holds the forward: renews it at half its lease while it is the one in use, until
    // the port mapper lets it go. A permanent one is only deleted.
    std::unique_lock lock(s.mutex);
    const auto over = [&s, port] { return s.stopping || (s.standingDown && s.keptPort != port); };
    for (;;) {
        if (lease > 0 && !s.standingDown) {
            if (s.changed.wait_for(lock, std::chrono::seconds(lease / 2), over))
                break;
            if (s.standingDown)
                continue;
            lock.unlock();
            const int renewed = igd.add(port, s.internalPort, lease);
            if (renewed != UPNPCOMMAND_SUCCESS)
                s.post(renewed > 0 ? UpnpAnswer{UpnpAnswer::Kind::Refused, address, 0, renewed} : UpnpAnswer{});
            else
                s.post({UpnpAnswer::Kind::Mapped, address, port});
            lock.lock();
        } else {
            s.changed.wait(lock, over);
            break;
        }
    }
    lock.unlock();
    igd.remove(port);
}
