// morsk, the host program: its window (left out when the computer plays the host's
// side over the network), the listening socket on the game's port, the
// one game socket that carries the match, the spare socket that turns away a caller,
// Send2Client, and the host's handling of what arrives. The game itself is the Game
// core; this class only connects it to the sockets.
#pragma once

#include "core/form1.h"
#include "core/game.h"
#include "core/messagesink.h"
#include "platform/winsock.h"
#include "protocol/messagestream.h"

#include <array>
#include <memory>

class Dialogs;
class ProgramExit;
class RandomSource;
class Reachability;

class Host : public QObject, public MessageSink
{
    Q_OBJECT
public:
    // The shipped program listens on 1020; tests pass a free port (0: any, see port()).
    Host(quint16 port, Dialogs &dialogs, ProgramExit &exit, RandomSource &random,
         Presentation presentation = Presentation::Window, QObject *parent = nullptr);
    ~Host() override;

    // The start-up steps, before the window is first shown. Returns false when the
    // program has ended because it could not listen.
    bool startUp();

    // How the host makes itself reachable beyond its socket (announced on the local
    // network, its port opened on the router); set before startUp(). Without one the
    // host only listens.
    // With a window, the window shows it in a line of its own.
    void reachVia(Reachability &reachability);

    Game &game() { return m_game; }
    // Only with Presentation::Window.
    Form1 &window() { return *m_window; }
    quint16 port() const { return sckListen.LocalPort(); }

    // Sends one message on every connected game socket. The text leaves at once: the
    // socket hands it to the kernel before Send2Client returns.
    void Send2Client(const QByteArray &sSend);
    void send(const QByteArray &message) override { Send2Client(message); }

    Winsock sckListen;
    std::array<Winsock, 1> sckTrans;
    Winsock sckMsg;

private:
    void sckListen_ConnectionRequest(qintptr requestID);
    // The listening socket's Close event: listen again, no longer counting as connected.
    void sckListen_Close();
    void sckTrans_DataArrival(int index);
    void sckTrans_Close(int index);
    void greet(int index);
    bool listen();

    Dialogs &m_dialogs;
    quint16 m_port;
    Game m_game;
    std::array<MessageStream, 1> m_streams;
    std::unique_ptr<Form1> m_window;
    Reachability *m_reach = nullptr;
};
