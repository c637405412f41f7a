// How a listening host makes itself reachable beyond its own socket: announced on the
// local network (DNS-SD), and its game port forwarded by the home router (NAT-PMP/PCP
// or UPnP-IGD). The host only says what happens to it: it listens, it takes a peer, it
// ends. The programs pass the real one (platform/homereach.h); tests and the programs'
// computer-in-a-window pass a quiet one. Nothing here knows D-Bus, UPnP or NAT-PMP.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// What the router made of the request for the host's port.
struct RouterStatus
{
    enum class State {
        Off,       // not asked: the player keeps the router closed, or the host is not listening
        Asking,    // a request is under way
        Mapped,    // forwarded: externalAddress:externalPort reaches the host's port
        NoRouter,  // nothing answered in time
        NotPublic, // the router's own outside address is shared or private: unreachable
        Refused,   // a router answered and refused; `reason` says why
    };
    State state = State::Off;
    QString externalAddress; // dotted IPv4, with Mapped and NotPublic
    quint16 externalPort = 0; // with Mapped
    QString reason;           // with Refused: the router's reason, in Japanese for a player
    QString method;           // "NAT-PMP" or "UPnP", with Mapped, NotPublic and Refused

    bool operator==(const RouterStatus &) const = default;
};
Q_DECLARE_METATYPE(RouterStatus)

class Reachability : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The host listens for a peer on `port`: announce it, and open the router's port.
    virtual void listening(quint16 port) { (void)port; }
    // A peer was accepted: no longer offered on the local network. The router's port
    // stays open, since the match runs through it.
    virtual void engaged() {}
    // The host's listener stopped: not offered on the local network until it listens for
    // a peer again. The router's port stays, as for engaged().
    virtual void stopped() {}
    // Whether the router may be asked at all; off removes a mapping that is open.
    virtual void setRouterAllowed(bool allowed) { (void)allowed; }
    virtual bool routerAllowed() const { return false; }
    virtual RouterStatus routerStatus() const { return {}; }
    // The program ends: the router's mapping is removed before this returns (within a
    // few seconds at most); the announcement ends with the program anyway.
    virtual void end() {}

signals:
    void routerStatusChanged(const RouterStatus &status);
};
