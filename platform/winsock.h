// The socket component every program talks through, on QTcpSocket and QTcpServer.
// It keeps the operations and events the programs were written against: remote host,
// remote port, local port, State (0 closed, 7 connected), Connect, Listen,
// ConnectionRequest with a request identifier that Accept takes on another Winsock,
// SendData, GetData, Close, and the DataArrival and Close events. Beyond those it tells
// why a connection attempt failed later, and it notices a peer that vanished without
// closing (the kernel's keepalive probes, which carry no data). Bytes go out exactly
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
class QTimer;

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

    // Why an attempt that Connect started ended without a connection.
    enum class Failure {
        Refused,     // the host answered, but nothing listens on the port
        Unreachable, // no route to the host, or the network said it cannot be reached
        UnknownHost, // the name does not resolve
        NoAnswer,    // nothing came back within Limits::connectTimeoutMs
    };
    Q_ENUM(Failure)

    // How long a connection may stay without any sign of the peer before it counts as
    // lost, and how long an attempt may wait. A peer that is alive answers the probes
    // from its kernel, however long its player thinks; only a peer that is gone (power,
    // cable, a link that went down) stays silent. 30 s rides out a short outage (a
    // Wi-Fi roam) and still ends a dead match well within a minute; 15 s is longer than
    // any answer on a working network takes. Shared by every socket of the process;
    // tests shorten them.
    struct Limits
    {
        int keepAliveIdleS = 10;    // silence before the first probe
        int keepAliveIntervalS = 5; // between probes
        int keepAliveProbes = 4;    // idle + probes * interval = the user timeout
        int userTimeoutMs = 30000;  // unanswered probes or unacknowledged data
        int connectTimeoutMs = 15000;
    };
    static const Limits &limits();
    static void setLimits(const Limits &limits);

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

    // Starts connecting and returns at once. The remote host is read as players type
    // it: full-width letters, digits and dots count as their ASCII forms and white
    // space around it is ignored (RemoteHost keeps the text as given). Throws
    // WinsockError when the host can never be valid (empty included) or the socket is
    // in use; a refused, unreachable or silent peer fails later, with ConnectFailed
    // and the socket closed.
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
    // Closes the connection (after sending what is queued), abandons an attempt that
    // is still under way (nothing of it reaches the host afterwards), or stops
    // listening; the socket can be used again afterwards.
    void Close();

signals:
    void ConnectionRequest(qintptr requestId);
    void DataArrival(qint64 bytesTotal);
    // The Close event: the other side or the network closed an established connection.
    // Not raised for a Close() of our own. A peer that vanished counts as closed by the
    // network, within Limits. On a listening socket: the system refused to accept a
    // caller (out of descriptors, for one); the listener takes no further callers until
    // it is closed and listens again.
    void Closed();
    // An attempt that Connect started has failed; the socket is closed again.
    void ConnectFailed(Winsock::Failure reason);

private:
    void attach(QTcpSocket *socket);
    void announceArrival();
    void announcePeerGone(QTcpSocket *socket);
    void retire();
    void onIncoming(qintptr descriptor);
    void onPeerGone();
    void acceptOne();
    void listenerFailed();
    void onNoAnswer();

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
    QTimer *m_attemptTimer = nullptr; // bounds the wait for an answer; owned through Qt parent
};
