// Where the game core sends a message text: the client's socket, the host's
// Send2Client, or an in-memory link in tests.
#pragma once

#include <QByteArray>

class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void send(const QByteArray &message) = 0;
};
