#include "platform/homereach.h"

#include "platform/portmapper.h"
#include "platform/servicepublisher.h"

HomeReach::HomeReach(const QString &serviceType, bool routerAllowed, QObject *parent)
    : Reachability(parent), m_type(serviceType), m_routerAllowed(routerAllowed),
      m_announcement(std::make_unique<ServicePublisher>()), m_router(std::make_unique<PortMapper>())
{
    connect(m_router.get(), &PortMapper::statusChanged, this, &Reachability::routerStatusChanged);
}

HomeReach::~HomeReach()
{
    end();
}

void HomeReach::listening(quint16 port)
{
    m_port = port;
    m_announcement->publish(m_type, port);
    if (m_routerAllowed)
        m_router->open(port);
}

void HomeReach::engaged()
{
    m_announcement->withdraw();
}

void HomeReach::stopped()
{
    m_announcement->withdraw();
}

void HomeReach::setRouterAllowed(bool allowed)
{
    if (allowed == m_routerAllowed)
        return;
    m_routerAllowed = allowed;
    if (!allowed)
        m_router->remove();
    else if (m_port != 0)
        m_router->open(m_port);
}

RouterStatus HomeReach::routerStatus() const
{
    return m_router->status();
}

void HomeReach::end()
{
    // Nobody is left to be told that the router is closed again.
    m_router->disconnect(this);
    m_router->remove();
}
