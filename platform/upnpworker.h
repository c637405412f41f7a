// The UPnP-IGD half of the port mapper (platform/portmapper.h): finds the router by SSDP,
// reads its outside address, forwards one TCP port to this machine, renews the lease and
// deletes the forward at the end, all through miniupnpc, for IGD v1 and v2 alike. Its
// answers go to the port mapper's event loop as queued calls; the port mapper decides
// what they mean next to NAT-PMP's.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

struct UpnpAnswer
{
    enum class Kind {
        GaveUp,    // no IGD answered, or it answered nothing usable
        NotPublic, // the IGD's outside address (in `address`, when it gave one) is not public
        Mapped,    // `address`:`port` forwards to this machine
        Refused,   // every port was refused; `error` is the router's UPnP error code
    };
    Kind kind = Kind::GaveUp;
    QString address;
    quint16 port = 0;
    int error = 0;
};

class UpnpWorker
{
public:
    using Report = std::function<void(const UpnpAnswer &)>;

    // Starts at once; `report` runs on `receiver`'s thread, never after finish().
    // `externalPorts` are tried in order until the router grants one.
    UpnpWorker(QObject *receiver, Report report, quint16 internalPort, std::vector<quint16> externalPorts);
    ~UpnpWorker(); // finish() within a few seconds

    // NAT-PMP won: ask for nothing more and report nothing more. A forward already made
    // is deleted, unless it is `keptPort`: then it is the very forward NAT-PMP made (one
    // router, one table) and stays until finish().
    void standDown(quint16 keptPort);
    // Stops, deletes the forward made (even one granted after this call) and waits for
    // the thread at most `limit`. A router that keeps it longer gets the thread to itself
    // until it answers: the forward is still deleted then, as long as the program runs.
    void finish(std::chrono::milliseconds limit);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared> &shared);

    std::shared_ptr<Shared> m_shared;
    // The one thread of the program besides the GUI's. miniupnpc only blocks: its
    // discovery waits out its whole timeout and every SOAP call waits on the router, for
    // seconds on a slow one, so on the GUI thread the windows would freeze. The thread
    // touches no Qt object; it only posts its answers to the receiver's event loop.
    std::thread m_thread;
};
