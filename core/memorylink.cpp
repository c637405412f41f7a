#include "core/memorylink.h"

#include "core/game.h"

#include <utility>

void LinkEnd::send(const QByteArray &message)
{
    unread += message;
    if (m_link)
        m_link->sent(*this);
}

MemoryLink::MemoryLink(LinkEnd &host, LinkEnd &client, Delivery delivery, QObject *parent)
    : QObject(parent), m_host(host), m_client(client), m_delivery(delivery)
{
    m_host.m_link = this;
    m_client.m_link = this;
}

MemoryLink::~MemoryLink()
{
    // A delivery still queued dies with this link; the ends must not keep waiting for
    // it, or a link made on them later would never deliver.
    for (LinkEnd *end : {&m_host, &m_client}) {
        end->m_link = nullptr;
        end->m_deliveryQueued = false;
    }
}

void MemoryLink::accept(const QString &clientAddress)
{
    Game &host = *m_host.game;
    host.model().bConnected = true;
    host.post([&host, clientAddress] { host.greetPeer(clientAddress); });
}

void MemoryLink::sent(LinkEnd &from)
{
    if (m_delivery != Delivery::EventLoop)
        return;
    // One delivery per batch: the bytes a handler sends arrive together after it ends.
    if (from.m_deliveryQueued)
        return;
    from.m_deliveryQueued = true;
    QMetaObject::invokeMethod(this, [this, &from] {
        from.m_deliveryQueued = false;
        deliverFrom(from);
    }, Qt::QueuedConnection);
}

void MemoryLink::deliverFrom(LinkEnd &from)
{
    LinkEnd &to = other(from);
    const QByteArray bytes = std::exchange(from.unread, QByteArray());
    if (!to.game)
        return;
    for (const QByteArray &text : to.stream.feed(bytes))
        to.game->receive(text);
}

int MemoryLink::pump()
{
    int reads = 0;
    while ((!m_host.unread.isEmpty() || !m_client.unread.isEmpty()) && reads < 10000) {
        if (!m_host.unread.isEmpty()) {
            deliverFrom(m_host);
            ++reads;
        }
        if (!m_client.unread.isEmpty()) {
            deliverFrom(m_client);
            ++reads;
        }
    }
    return reads;
}
