#include "client/client.h"

#include "client/clienttexts.h"
#include "core/texts.h"
#include "platform/dialogs.h"
#include "platform/hostname.h"
#include "platform/programexit.h"
#include "protocol/messages.h"

Client::Client(quint16 port, Dialogs &dialogs, ProgramExit &exit, std::optional<QString> address,
               Presentation presentation, QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_port(port),
      m_address(std::move(address)), m_game(GameModel::Program::Client, *this, dialogs, exit, nullptr)
{
    if (presentation == Presentation::Window) {
        m_window = std::make_unique<Form1>(m_game);
        connect(m_window.get(), &Form1::command2Clicked, this, &Client::Command2_Click);
    }
    m_game.setRemoteAddressSource([this] { return Winsock1.RemoteHostIP(); });
    connect(&Winsock1, &Winsock::DataArrival, this, &Client::Winsock1_DataArrival);
    connect(&Winsock1, &Winsock::Closed, this, &Client::Winsock1_Close);
    connect(&Winsock1, &Winsock::ConnectFailed, this, &Client::Winsock1_ConnectFailed);
    m_failureShown.setSingleShot(true);
    connect(&m_failureShown, &QTimer::timeout, this, [this] { showFailure(m_pendingFailure); });
}

Client::~Client() = default;

bool Client::startUp()
{
    GameModel &m = m_game.model();
    if (m_window)
        m_window->takeStartPositions();
    m.sHostIp = m_address ? *m_address
                          : m_dialogs.AddressBox(clienttexts::askAddress, clienttexts::askAddressTitle,
                                                 wire::serviceType);
    m_game.beginPlacement();
    SetuzokuSuru();
    if (m_game.ended())
        return false;
    m.frame6Visible = true;
    m.notify();
    return true;
}

void Client::SetuzokuSuru()
{
    // A typed ":PORT" (a host behind a router that forwards another port) is the port
    // of the attempt; without one the game's port is.
    const std::optional<hostname::Target> target =
        hostname::splitPort(hostname::fold(m_game.model().sHostIp), m_port);
    if (!target) {
        // No attempt: the player is told as of a failed one, after the current handler.
        QTimer::singleShot(0, this, [this] { attemptFailedWith(clienttexts::badPort); });
        return;
    }
    try {
        Winsock1.setRemoteHost(target->host);
        Winsock1.setRemotePort(target->port);
        Winsock1.Connect();
        m_stream = MessageStream(); // a new connection starts a new stream
    } catch (const WinsockError &) {
        m_dialogs.MsgBox(clienttexts::connectFailed, Dialogs::Buttons::Ok,
                         clienttexts::connectFailedTitle);
        m_game.endProgram(1);
    }
}

void Client::Command2_Click()
{
    m_game.post([this] {
        // A press while an attempt is still under way starts it afresh instead of
        // failing on a socket that is busy connecting; a connection that is already
        // up (the greeting not yet read) is kept.
        const int state = Winsock1.State();
        if (state == Winsock::sckConnected)
            return;
        if (state != Winsock::sckClosed)
            Winsock1.Close();
        m_failureShown.stop(); // the failure of an attempt that is over
        m_pressed.start();
        SetuzokuSuru();
        if (m_game.ended())
            return;
        // The press shows that it did something; the start-up attempt leaves the
        // window's own "not connected" text until the greeting or a failure.
        m_game.model().Label1 = clienttexts::attempting;
        m_game.model().notify();
    });
}

void Client::Winsock1_DataArrival()
{
    for (const QByteArray &text : m_stream.feed(Winsock1.GetData()))
        m_game.receive(text);
}

void Client::Winsock1_ConnectFailed(Winsock::Failure reason)
{
    attemptFailedWith(clienttexts::failure(reason));
}

void Client::attemptFailedWith(const QString &why)
{
    emit attemptFailed(why);
    const qint64 left = m_pressed.isValid() ? attemptShownMs - m_pressed.elapsed() : 0;
    if (left > 0) {
        m_pendingFailure = why;
        m_failureShown.start(int(left));
        return;
    }
    showFailure(why);
}

void Client::showFailure(const QString &why)
{
    m_game.model().Label1 = why;
    m_game.model().notify();
}

void Client::Winsock1_Close()
{
    // Handled in its turn: after the messages that arrived before the close, and after
    // a box the player is answering now.
    m_game.post([this] {
        m_game.model().command2Caption = clienttexts::reconnectCaption;
        Winsock1.Close();
        Winsock1.setLocalPort(0);
        m_game.model().notify();
        m_dialogs.MsgBox(clienttexts::disconnected, Dialogs::Buttons::Ok,
                         clienttexts::disconnectedTitle);
        m_game.endProgram(0);
    });
}
