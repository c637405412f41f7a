#include "host/host.h"

#include "core/texts.h"
#include "host/hosttexts.h"
#include "host/reachline.h"
#include "platform/dialogs.h"
#include "platform/programexit.h"
#include "platform/reachability.h"
#include "protocol/messages.h"

#include <QCoreApplication>

Host::Host(quint16 port, Dialogs &dialogs, ProgramExit &exit, RandomSource &random,
           Presentation presentation, QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_port(port),
      m_game(GameModel::Program::Host, *this, dialogs, exit, &random)
{
    if (presentation == Presentation::Window)
        m_window = std::make_unique<Form1>(m_game);
    connect(&sckListen, &Winsock::ConnectionRequest, this, &Host::sckListen_ConnectionRequest);
    connect(&sckListen, &Winsock::Closed, this, &Host::sckListen_Close);
    for (int i = 0; i < int(sckTrans.size()); ++i) {
        connect(&sckTrans[i], &Winsock::DataArrival, this, [this, i] { sckTrans_DataArrival(i); });
        connect(&sckTrans[i], &Winsock::Closed, this, [this, i] { sckTrans_Close(i); });
    }
}

Host::~Host() = default;

void Host::reachVia(Reachability &reachability)
{
    m_reach = &reachability;
    if (m_window)
        new ReachLine(*m_window, reachability, m_port); // a child of the window
}

bool Host::startUp()
{
    if (m_window)
        m_window->takeStartPositions();
    m_game.beginPlacement();

    sckListen.setLocalPort(m_port);
    return listen();
}

bool Host::listen()
{
    try {
        sckListen.Listen();
    } catch (const WinsockError &e) {
        // Nobody could ever reach a host that does not listen: say why, what to do, and end.
        m_dialogs.MsgBox(hosttexts::listenFailed(m_port, e.error(), e.reason(),
                                                 QCoreApplication::applicationFilePath()));
        m_game.endProgram(1);
        return false;
    }
    // Offered only while a caller would be taken: after a restart of the listener during
    // a match, callers are turned away.
    if (m_reach && sckTrans[0].State() == Winsock::sckClosed)
        m_reach->listening(sckListen.LocalPort());
    return true;
}

void Host::sckListen_ConnectionRequest(qintptr requestID)
{
    // Decided at once, while the request is pending: a request that is not accepted
    // here is closed by the socket layer when this handler returns.
    if (m_game.model().bConnected || m_game.ended())
        return;
    for (int i = 0; i < int(sckTrans.size()); ++i) {
        if (sckTrans[i].State() == Winsock::sckClosed) {
            sckTrans[i].Accept(requestID);
            m_streams[i] = MessageStream(); // a new connection starts a new stream
            // Counted as connected from the accept on, so that a further caller is
            // ignored even before the greeting step has run.
            m_game.model().bConnected = true;
            // Busy from now on: a second caller would only be turned away.
            if (m_reach)
                m_reach->engaged();
            m_game.post([this, i] { greet(i); });
            return;
        }
    }
    // The game socket is busy although we do not count as connected (the listener has
    // restarted): turn the caller away. Close() lets "0busy" leave before the close.
    if (sckMsg.State() != Winsock::sckClosed)
        sckMsg.Close();
    sckMsg.Accept(requestID);
    sckMsg.SendData(wire::busy());
    sckMsg.Close();
}

void Host::greet(int index)
{
    m_game.greetPeer(sckTrans[index].RemoteHostIP());
}

void Host::sckListen_Close()
{
    m_game.post([this] {
        sckListen.Close();
        if (m_reach)
            m_reach->stopped();
        m_game.model().bConnected = false;
        m_game.model().command5Visible = false;
        sckListen.setLocalPort(0);
        sckListen.setLocalPort(m_port);
        listen();
    });
}

void Host::Send2Client(const QByteArray &sSend)
{
    for (Winsock &s : sckTrans)
        if (s.State() == Winsock::sckConnected)
            s.SendData(sSend);
}

void Host::sckTrans_DataArrival(int index)
{
    for (const QByteArray &text : m_streams[index].feed(sckTrans[index].GetData()))
        m_game.receive(text);
}

void Host::sckTrans_Close(int index)
{
    Q_UNUSED(index);
    m_game.peerLeft(hosttexts::opponentLeft);
}
