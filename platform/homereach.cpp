#include "platform/homereach.h"

#include "platform/servicepublisher.h"

HomeReach::HomeReach(const QString &serviceType, bool routerAllowed, QObject *parent)
    : Reachability(parent), m_type(serviceType), m_routerAllowed(routerAllowed),
      m_announcement(std::make_unique<ServicePublisher>())
{
}

HomeReach::~HomeReach()
{
    end();
}

void HomeReach::listening(quint16 port)
{
    m_port = port;
    m_announcement->publish(m_type, port);
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
}

RouterStatus HomeReach::routerStatus() const
{
    return {};
}

void HomeReach::end()
{
}
