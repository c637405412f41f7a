// Asks the home router to forward a TCP port from its outside address to this machine's
// game port, keeps the forward's lease, and removes the forward at the end: the host's
// way to be reached from another home. It asks by NAT-PMP (libnatpmp, on the event
// loop) and by UPnP-IGD (miniupnpc, on a worker thread, platform/upnpworker.h) at once;
// whichever forwards first is kept and the other stands down, so that the router holds
// one forward at most. What happens is reported as RouterStatus (platform/reachability.h);
// nothing above this file knows either protocol.
#pragma once

#include "platform/reachability.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class UpnpWorker;
struct UpnpAnswer;

class PortMapper : public QObject
{
    Q_OBJECT
public:
    explicit PortMapper(QObject *parent = nullptr);
    ~PortMapper() override;

    // Starts asking for `internalPort`; does nothing while asking or mapped already.
    void open(quint16 internalPort);
    // Stops asking and deletes any forward made, before it returns (about 3 s at most, on
    // the way out of the program); the state is Off after it. open() may follow.
    void remove();
    RouterStatus status() const { return m_status; }

    // The outside ports asked for, in order: the game port itself, then ports from 1024
    // up, which routers that keep low ports to themselves still grant.
    static std::vector<quint16> candidatePorts(quint16 internalPort);

signals:
    void statusChanged(const RouterStatus &status);

private:
    enum class Protocol { None, NatPmp, Upnp };
    enum class Outcome { Pending, GaveUp, NotPublic, Refused, Mapped };
    struct Answer
    {
        Answer(Outcome outcome = Outcome::Pending, QString address = {}, quint16 port = 0, QString reason = {})
            : outcome(outcome), address(std::move(address)), port(port), reason(std::move(reason))
        {
        }
        Outcome outcome = Outcome::Pending;
        QString address;
        quint16 port = 0;
        QString reason;
    };
    struct NatPmp;

    void startNatPmp();
    void natPmpEvent();
    void natPmpResponse(int type, const QString &address, quint16 port, quint32 lifetime);
    void natPmpError(int error);
    void natPmpRequestMapping(quint16 externalPort);
    void armNatPmpRetry();
    void standDownNatPmp(quint16 keptPort);
    void deleteNatPmpMapping(bool waitForAnswer);
    void upnpAnswered(const UpnpAnswer &answer);
    void answered(Protocol protocol, const Answer &answer);
    // Neither protocol forwards: the router's refusal where one refused (`first` looked
    // at first), else no router.
    RouterStatus withoutForward(Protocol first) const;
    void endAll(const RouterStatus &status);
    void setStatus(const RouterStatus &status);

    RouterStatus m_status;
    bool m_open = false;
    int m_round = 0; // which open() a queued UPnP answer belongs to
    quint16 m_internalPort = 0;
    std::vector<quint16> m_candidates;
    Protocol m_winner = Protocol::None;
    Answer m_natPmpAnswer;
    Answer m_upnpAnswer;
    std::unique_ptr<NatPmp> m_natPmp;
    std::unique_ptr<UpnpWorker> m_upnp;
    QTimer m_budget;       // the whole time both protocols get to answer
    QTimer m_natPmpRetry;  // libnatpmp's retransmission time
    QTimer m_natPmpRenew;  // half the lease NAT-PMP granted
};
