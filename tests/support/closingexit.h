// The exit that the socket tests give a real host or client. It ends "the program" the
// way the process's end would: every socket the program has closes, so its peer sees
// the close. It counts the calls, and times how long the program took from the answer
// of its disconnect box to its end.
#pragma once

#include "platform/programexit.h"

#include <QElapsedTimer>
#include <functional>

class Client;
class Host;

class ClosingExit : public ProgramExit
{
public:
    void End(int status = 0) override;
    // The program whose sockets the end closes: the host's game sockets and listener,
    // or the client's one socket.
    void closes(Host &host);
    void closes(Client &client);

    bool ended() const { return calls > 0; }
    int calls = 0;
    int status = -1;
    QElapsedTimer boxAnswered;
    qint64 msFromAnswerToEnd = -1;

private:
    std::function<void()> m_close;
};
