// Joins two game cores back to back in memory, the way one TCP connection joins the
// host and the client: what one side sends waits at its end until it is delivered to
// the other side, as one read, through that side's MessageStream. The computer
// opponent plays a person on this machine over it, and the tests play whole matches
// over it without sockets.
//
// Delivery is either by hand (pump(), deliverFrom(): the tests decide when bytes
// travel) or from the event loop, each batch of sent bytes after the handler that
// sent them has ended, as a socket's data arrival would come.
#pragma once

#include "core/messagesink.h"
#include "protocol/messagestream.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class Game;
class MemoryLink;

// One end of the link: the sink its game sends through.
class LinkEnd : public MessageSink
{
public:
    void send(const QByteArray &message) override;

    QByteArray unread;     // sent but not yet delivered to the other end
    MessageStream stream;  // cuts what the other end sent into messages
    Game *game = nullptr;  // the game that sends through this end and receives at it

private:
    friend class MemoryLink;
    MemoryLink *m_link = nullptr;
    bool m_deliveryQueued = false;
};

class MemoryLink : public QObject
{
    Q_OBJECT
public:
    enum class Delivery { ByHand, EventLoop };

    // Both ends' games must be set before anything is sent.
    MemoryLink(LinkEnd &host, LinkEnd &client, Delivery delivery, QObject *parent = nullptr);
    ~MemoryLink() override;

    // What the host's accept of a caller at `clientAddress` does: the host counts as
    // connected at once and greets in its turn, through the host's own greeting step.
    void accept(const QString &clientAddress);

    // Delivers what `from` has sent so far to the other end, as one read.
    void deliverFrom(LinkEnd &from);
    // Delivers everything in flight, both ways, until nothing is left (at most 10000
    // reads). Returns the number of reads delivered.
    int pump();

private:
    friend class LinkEnd;
    void sent(LinkEnd &from);
    LinkEnd &other(LinkEnd &end) { return &end == &m_host ? m_client : m_host; }

    LinkEnd &m_host;
    LinkEnd &m_client;
    Delivery m_delivery;
};
