// The socket component on QTcpSocket and QTcpServer. Each connection, made or accepted,
// gets a fresh QTcpSocket; Close() hands the old one off to finish sending what is
// queued and delete itself, so the Winsock is closed and reusable at once while the
// peer still receives every byte (the host's "0busy" followed by its close relies on
// that).
#include "platform/winsock.h"

#include "platform/hostname.h"
#include "platform/keepalive.h"

#include <QHostAddress>
#include <QSet>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cerrno>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// Descriptors announced by ConnectionRequest and not yet taken by an Accept. Any
// Winsock may take a request of any listener, and a handler that processes events can
// see a second request arrive inside the first, so this is one set for the process.
QSet<qintptr> &openRequests()
{
    static QSet<qintptr> requests;
    return requests;
}

Winsock::Limits &currentLimits()
{
    static Winsock::Limits limits;
    return limits;
}

// Every message is a few bytes that the peer waits for: the connections go without
// Nagle's delay, which would hold a second message sent back to back ("3a" then
// "4Make") until the first is acknowledged, some 40 ms. And a peer that vanishes
// without closing (power, cable, a link that went down) must not leave the program
// waiting for ever: once the connection has been silent for the idle time, the kernel
// sends keepalive probes, empty segments that any TCP peer answers and that add
// nothing to the stream; the user timeout ends the connection when probes, or data we
// sent, stay unanswered that long. The kernel then reports ETIMEDOUT, which reaches
// the program as the Close event like any other lost connection.
void tune(QTcpSocket *socket)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    keepalive::apply(int(socket->socketDescriptor()), currentLimits());
}

Winsock::Failure failureOf(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return Winsock::Failure::Refused;
    case QAbstractSocket::HostNotFoundError:
        return Winsock::Failure::UnknownHost;
    case QAbstractSocket::SocketTimeoutError:
        return Winsock::Failure::NoAnswer;
    default:
        return Winsock::Failure::Unreachable;
    }
}

QString dotted(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4).toString() : address.toString();
}

} // namespace

const Winsock::Limits &Winsock::limits()
{
    return currentLimits();
}

void Winsock::setLimits(const Limits &limits)
{
    currentLimits() = limits;
}

Winsock::Winsock(QObject *parent) : QObject(parent), m_attemptTimer(new QTimer(this))
{
    m_attemptTimer->setSingleShot(true);
    connect(m_attemptTimer, &QTimer::timeout, this, &Winsock::onNoAnswer);
}

Winsock::~Winsock()
{
    // Destroying a connected QTcpSocket aborts it, which would emit into this half
    // destroyed object; cut the wires first.
    if (m_socket)
        m_socket->disconnect(this);
}

quint16 Winsock::LocalPort() const
{
    if (m_server && m_server->isListening())
        return m_server->serverPort();
    if (m_socket && m_socket->localPort() != 0)
        return m_socket->localPort();
    return m_localPort;
}

int Winsock::State() const
{
    if (m_server && m_server->isListening())
        return sckListening;
    if (!m_socket)
        return sckClosed;
    // The control stays in its closing state after the peer has gone until the program
    // closes it; the programs rely only on it being neither 0 nor 7.
    if (m_peerClosed)
        return sckClosing;
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState:
        return sckClosed;
    case QAbstractSocket::HostLookupState:
        return sckResolvingHost;
    case QAbstractSocket::ConnectingState:
        return sckConnecting;
    case QAbstractSocket::ConnectedState:
        return sckConnected;
    case QAbstractSocket::BoundState:
        return sckOpen;
    case QAbstractSocket::ListeningState:
        return sckListening;
    case QAbstractSocket::ClosingState:
        return sckClosing;
    }
    return sckError;
}

QString Winsock::RemoteHostIP() const
{
    return m_remoteIp;
}

void Winsock::Connect()
{
    if (State() != sckClosed)
        throw WinsockError("Connect: the socket is in use (state " + std::to_string(State()) + ")");
    const QString host = hostname::fold(m_remoteHost);
    if (!hostname::isValid(host))
        throw WinsockError("Connect: invalid remote host \"" + m_remoteHost.toStdString() + "\"");
    if (m_remotePort == 0)
        throw WinsockError("Connect: the remote port is 0");

    retire();
    auto *socket = new QTcpSocket(this);
    if (m_localPort != 0 && !socket->bind(QHostAddress::Any, m_localPort)) {
        const std::string reason = socket->errorString().toStdString();
        socket->deleteLater();
        throw WinsockError("Connect: cannot bind local port " + std::to_string(m_localPort)
                           + ": " + reason);
    }
    attach(socket);
    m_attemptTimer->start(currentLimits().connectTimeoutMs);
    socket->connectToHost(host, m_remotePort);
}

void Winsock::Listen()
{
    if (State() != sckClosed)
        throw WinsockError("Listen: the socket is in use (state " + std::to_string(State()) + ")");
    retire();
    if (!m_server) {
        // Made first, so that it goes before the server's socket when this Winsock dies.
        m_acceptor = new QSocketNotifier(QSocketNotifier::Read, this);
        m_server = new QTcpServer(this);
        connect(m_acceptor, &QSocketNotifier::activated, this, &Winsock::acceptOne);
    }
    m_acceptFailed = false;
    if (!m_server->listen(QHostAddress::Any, m_localPort))
        throw WinsockError("Listen on port " + std::to_string(m_localPort) + ": "
                               + m_server->errorString().toStdString(),
                           m_server->serverError(), m_server->errorString());
    // QTcpServer binds and listens (with its errors in words); the accepting is ours.
    m_server->pauseAccepting();
    m_acceptor->setSocket(m_server->socketDescriptor());
    m_acceptor->setEnabled(true);
}

void Winsock::Accept(qintptr requestId)
{
    if (State() != sckClosed)
        Close();
    // An identifier that names no open request (taken already, or never announced)
    // leaves this socket closed.
    if (!openRequests().remove(requestId))
        return;
    retire();
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(requestId)) {
        ::close(int(requestId));
        socket->deleteLater();
        return;
    }
    attach(socket);
    m_established = true;
    m_remoteIp = dotted(socket->peerAddress());
    tune(socket);
}

void Winsock::SendData(const QByteArray &bytes)
{
    if (State() != sckConnected)
        return;
    m_socket->write(bytes);
    m_socket->flush();
}

QByteArray Winsock::GetData()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

void Winsock::Close()
{
    if (m_server) {
        m_acceptor->setEnabled(false);
        m_server->close();
    }
    retire();
}

void Winsock::attach(QTcpSocket *socket)
{
    m_socket = socket;
    m_established = false;
    m_peerClosed = false;
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        m_attemptTimer->stop();
        m_established = true;
        m_remoteIp = dotted(socket->peerAddress());
        tune(socket);
    });
    // DataArrival and Close reach the program from the event loop, never from inside
    // QTcpSocket's own signals: a handler that opens a box would otherwise sit inside
    // readyRead, and Qt does not emit readyRead again while one is running, so what
    // arrives during the box would lie unnoticed in the buffer. Both go through the
    // same queue, so a close is never seen before the data that came ahead of it.
    connect(socket, &QTcpSocket::readyRead, this, &Winsock::announceArrival);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { announcePeerGone(socket); });
    // A reset or the kernel's timeout can end the connection with only an error; an
    // attempt that never got through reports its failure here too.
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            return;
        if (m_established) {
            announcePeerGone(socket);
        } else if (m_attemptTimer->isActive()) {
            m_attemptTimer->stop();
            QMetaObject::invokeMethod(
                this,
                [this, socket, failure = failureOf(error)] {
                    if (m_socket == socket)
                        emit ConnectFailed(failure);
                },
                Qt::QueuedConnection);
        }
    });
}

// One announcement covers whatever the current connection holds by the time it runs,
// whichever socket asked for it, so a burst of reads queues just one.
void Winsock::announceArrival()
{
    if (std::exchange(m_arrivalQueued, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_arrivalQueued = false;
            const qint64 available = m_socket ? m_socket->bytesAvailable() : 0;
            if (available > 0)
                emit DataArrival(available);
        },
        Qt::QueuedConnection);
}

// The end of a connection that has been replaced by the time this runs is stale.
void Winsock::announcePeerGone(QTcpSocket *socket)
{
    QMetaObject::invokeMethod(
        this,
        [this, socket] {
            if (m_socket == socket)
                onPeerGone();
        },
        Qt::QueuedConnection);
}

// Lets the current connection finish on its own: what is queued still leaves, then it
// deletes itself. An attempt that never got through is aborted instead: closed
// politely, Qt would keep the attempt going and close only once connected, so a host
// that became reachable meanwhile would take it for a caller. Its signals no longer
// reach this object, so our own close raises no Closed event.
void Winsock::retire()
{
    QTcpSocket *old = std::exchange(m_socket, nullptr);
    const bool established = std::exchange(m_established, false);
    m_peerClosed = false;
    m_attemptTimer->stop();
    if (!old)
        return;
    old->disconnect(this);
    if (!established)
        old->abort();
    if (old->state() != QAbstractSocket::UnconnectedState) {
        connect(old, &QTcpSocket::disconnected, old, &QObject::deleteLater);
        old->disconnectFromHost();
    }
    if (old->state() == QAbstractSocket::UnconnectedState)
        old->deleteLater();
}

void Winsock::onIncoming(qintptr descriptor)
{
    openRequests().insert(descriptor);
    emit ConnectionRequest(descriptor);
    // Nobody took it: close it now, so that an ignored caller sees its connection end
    // instead of hanging in a backlog that nobody reads.
    if (openRequests().remove(descriptor))
        ::close(int(descriptor));
}

// One caller per notification; the notifier comes again while more are waiting. The
// accepting is done here rather than by QTcpServer because Qt 6.4 keeps the first error
// of a listener for good: after the EAGAIN that ends every round of accepts, a failure
// such as EMFILE (out of descriptors) no longer pauses it nor raises acceptError, and its
// notifier fires for ever on the caller that it cannot take, at full CPU.
void Winsock::acceptOne()
{
    const int descriptor = ::accept4(int(m_acceptor->socket()), nullptr, nullptr, SOCK_CLOEXEC);
    if (descriptor >= 0) {
        onIncoming(descriptor);
        return;
    }
    switch (errno) {
    case EAGAIN:
    case EINTR:
    // A caller that gave up, or a network error of its own (accept(2) passes them on):
    // the listener is fine.
    case ECONNABORTED:
    case EPERM:
    case EPROTO:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENONET:
    case ENOPROTOOPT:
    case EOPNOTSUPP:
        return;
    default:
        listenerFailed();
    }
}

// The system refuses to take callers off this listener (EMFILE, ENFILE, ENOBUFS,
// ENOMEM): they would wait in its backlog for ever. That is the end of this listener,
// its Close event, raised from the event loop like every other event and only while
// it still listens as it was; its owner closes it and listens again.
void Winsock::listenerFailed()
{
    m_acceptor->setEnabled(false);
    if (std::exchange(m_acceptFailed, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (std::exchange(m_acceptFailed, false) && State() == sckListening)
                emit Closed();
        },
        Qt::QueuedConnection);
}

void Winsock::onPeerGone()
{
    if (!m_established || m_peerClosed)
        return;
    m_peerClosed = true;
    emit Closed();
}

void Winsock::onNoAnswer()
{
    if (!m_socket || m_established)
        return;
    retire();
    emit ConnectFailed(Failure::NoAnswer);
}
