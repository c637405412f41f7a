// The real Reachability of the programs: the DNS-SD announcement through Avahi while
// the host waits for a peer, and the router's port through the PortMapper while the
// host runs and the player allows it. The host tells it what happens; this class only
// decides which of the two to start or stop.
#pragma once

#include "platform/reachability.h"

#include <memory>

class PortMapper;
class ServicePublisher;

class HomeReach : public Reachability
{
    Q_OBJECT
public:
    // `serviceType` is the DNS-SD type announced; the router is asked unless told not to.
    explicit HomeReach(const QString &serviceType, bool routerAllowed = true, QObject *parent = nullptr);
    ~HomeReach() override;

    void listening(quint16 port) override;
    void engaged() override;
    void stopped() override;
    void setRouterAllowed(bool allowed) override;
    bool routerAllowed() const override { return m_routerAllowed; }
    RouterStatus routerStatus() const override;
    void end() override;

private:
    QString m_type;
    quint16 m_port = 0; // the port listened on, once the host listens
    bool m_routerAllowed = true;
    std::unique_ptr<ServicePublisher> m_announcement;
    std::unique_ptr<PortMapper> m_router;
};
