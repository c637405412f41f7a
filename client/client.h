// trelvin, the client program: asks for the host's address, connects to it on the
// game's port (or the one typed after the address), offers a reconnect while no connection exists, and hands what arrives
// to the Game core. The status label tells an attempt under way and why one failed.
// A lost connection ends the program with its message. The window is left out when
// the computer plays the client's side over the network.
#pragma once

#include "core/form1.h"
#include "core/game.h"
#include "core/messagesink.h"
#include "platform/winsock.h"
#include "protocol/messagestream.h"

#include <QElapsedTimer>
#include <QTimer>
#include <memory>
#include <optional>

class Dialogs;
class ProgramExit;

class Client : public QObject, public MessageSink
{
    Q_OBJECT
public:
    // The shipped program connects to the address its player types, on port 1020 unless
    // the player types another as ADDRESS:PORT; tests pass a free port instead of 1020.
    // `address`, when given, is taken instead of asking: the computer opponent's
    // --connect and the tests pass it.
    Client(quint16 port, Dialogs &dialogs, ProgramExit &exit,
           std::optional<QString> address = std::nullopt,
           Presentation presentation = Presentation::Window, QObject *parent = nullptr);
    ~Client() override;

    // The start-up steps, before the window is first shown. Returns false when the
    // program has ended because the connection attempt failed at once.
    bool startUp();

    Game &game() { return m_game; }
    // Only with Presentation::Window.
    Form1 &window() { return *m_window; }

    // Starts one connection attempt to sHostIp.
    void SetuzokuSuru();
    void Command2_Click();

    void send(const QByteArray &message) override { Winsock1.SendData(message); }

    Winsock Winsock1;

signals:
    // A connection attempt failed; `why` is the text the status label shows for it.
    void attemptFailed(const QString &why);

private:
    void Winsock1_DataArrival();
    void Winsock1_Close();
    void Winsock1_ConnectFailed(Winsock::Failure reason);
    void attemptFailedWith(const QString &why);
    void showFailure(const QString &why);

    Dialogs &m_dialogs;
    quint16 m_port;
    std::optional<QString> m_address;
    Game m_game;
    MessageStream m_stream;
    std::unique_ptr<Form1> m_window;
    // A press of the reconnect button shows "connecting" for at least this long, so
    // that an attempt refused at once still visibly did something.
    static constexpr int attemptShownMs = 700;
    QElapsedTimer m_pressed;   // since the last press of the reconnect button
    QTimer m_failureShown;     // brings up the pending failure text once that time is over
    QString m_pendingFailure;
};
