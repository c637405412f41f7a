// The socket component every program talks through, on QTcpSocket and QTcpServer.
// It keeps the operations and events the programs were written against: remote host,
// remote port, local port, State (0 closed, 7 connected), Connect, Listen,
// ConnectionRequest with a request identifier that Accept takes on another Winsock,
// SendData, GetData, Close, and the DataArrival and Close events. Bytes go out exactly
// as handed to SendData, nothing added; text conversion belongs to the callers.
#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <stdexcept>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

// Raised at once by Connect (and Listen) when the request can never succeed: an empty
// or malformed remote host, a port of 0, a socket that is not closed. A port that
// cannot be bound also carries the system's error and its reason in the installed
// language, so that the program can tell the player which case it is.
class WinsockError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
    WinsockError(const std::string &what, QAbstractSocket::SocketError error, const QString &reason)
        : std::runtime_error(what), m_error(error), m_reason(reason)
    {
    }
    QAbstractSocket::SocketError error() const { return m_error; }
    QString reason() const { return m_reason; }

private:
    QAbstractSocket::SocketError m_error = QAbstractSocket::UnknownSocketError;
    QString m_reason;
};

class Winsock : public QObject
{
    Q_OBJECT
public:
    enum StateValue {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };

    explicit Winsock(QObject *parent = nullptr);
    ~Winsock() override;

    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    quint16 RemotePort() const { return m_remotePort; }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    // The local port to listen on (0 means any free port). After Listen it reports the
    // port actually bound; after an accepted or made connection, the local end's port.
    quint16 LocalPort() const;
    void setLocalPort(quint16 port) { m_localPort = port; }

    int State() const;
    // The peer's IPv4 address in dotted form ("::ffff:127.0.0.1" shows as "127.0.0.1").
    QString RemoteHostIP() const;

    // Starts connecting and returns at once. Throws WinsockError when the remote host
    // can never be valid (empty included) or the socket is in use; a refused or
    // unreachable peer fails later, leaving the socket closed without an event.
    void Connect();
    // Listens on LocalPort on all interfaces. Throws WinsockError with the system's
    // error and reason when the port cannot be bound.
    void Listen();
    // Takes the pending connection named by requestId (from ConnectionRequest of a
    // listening Winsock) onto this socket. A request that nobody accepts by the time
    // the ConnectionRequest handlers return is closed at once.
    void Accept(qintptr requestId);
    // Hands the bytes to the kernel at once. Dropped silently when not connected.
    void SendData(const QByteArray &bytes);
    // Everything received and not yet taken.
    QByteArray GetData();
    // Closes the connection (after sending what is queued) or stops listening; the
    // socket can be used again afterwards.
    void Close();

signals:
    void ConnectionRequest(qintptr requestId);
    void DataArrival(qint64 bytesTotal);
    // The Close event: the other side or the network closed an established connection.
    // Not raised for a Close() of our own. On a listening socket: the system refused to
    // accept a caller (out of descriptors, for one); the listener takes no further
    // callers until it is closed and listens again.
    void Closed();

private:
    void attach(QTcpSocket *socket);
    void later(QTcpSocket *socket, void (Winsock::*event)());
    void deliverArrival();
    void retire();
    void onIncoming(qintptr descriptor);
    void onPeerGone();
    void acceptOne();
    void listenerFailed();

    QString m_remoteHost;
    quint16 m_remotePort = 0;
    quint16 m_localPort = 0;
    QString m_remoteIp;             // kept after the connection ends, as the control did
    QTcpSocket *m_socket = nullptr; // owned through Qt parent (this)
    QTcpServer *m_server = nullptr; // owned through Qt parent (this)
    QSocketNotifier *m_acceptor = nullptr; // callers waiting on m_server's socket; Qt parent
    bool m_arrivalQueued = false;   // a DataArrival is on its way through the event loop
    bool m_established = false;     // the current socket has been connected
    bool m_peerClosed = false;      // ... and the other side or the network ended it
    bool m_acceptFailed = false;    // the listener's Close event is on its way
};
