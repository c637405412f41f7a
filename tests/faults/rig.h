// What the fault tests share: one real game program (the host or the client, with its
// real window and its real socket) facing a raw peer that the test plays by hand, byte
// for byte, so that it can stop, leave, flood or talk nonsense at any point of a match.
// The peer sits on 127.0.0.1, or on a second machine behind a link that the test can
// cut without closing anything. Header only, included by the tst_faults*.cpp files.
#pragma once

#include "support/closingexit.h"
#include "support/testpeers.h"

#include "client/client.h"
#include "client/clienttexts.h"
#include "core/texts.h"
#include "host/host.h"
#include "host/hosttexts.h"
#include "protocol/messages.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

namespace faults {

// Two machines in one test process. The process moves into a network namespace of its
// own ("here", with its own loopback) and makes a second one ("there"); a veth pair
// joins them, 192.0.2.1 here and 192.0.2.2 there, so that traffic between them really
// crosses a link. A socket belongs to the namespace its thread stood in when it was
// made, so the test makes the far peer's sockets while it stands there for a moment.
// The link is then cut without closing anything: the far machine drops every packet
// (as if powered off), or its cable is pulled (its link goes down); or it stays up.
class TwoMachines
{
public:
    enum class Cut { None, Drop, LinkDown };
    static inline const QString hereAddress = QStringLiteral("192.0.2.1");
    static inline const QString thereAddress = QStringLiteral("192.0.2.2");

    // First thing in main, while the process still has a single thread: later threads
    // inherit the namespaces, and a process with threads may not enter a user namespace.
    // Root makes the network namespaces as it is. Anyone else first enters a user
    // namespace of its own, where the kernel allows that, and is root there: it may make
    // network namespaces owned by it, and `ip` and `iptables` work inside them. Where
    // neither works everything stays where it was and only the rows that need the link
    // skip, saying why.
    static void prepare()
    {
        if (::geteuid() != 0 && !becomeRootInOwnUserNamespace())
            return;
        if (::unshare(CLONE_NEWNET) != 0) {
            why() = QStringLiteral("unshare(CLONE_NEWNET): ") + QString::fromLocal8Bit(strerror(errno));
            return;
        }
        here() = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (::unshare(CLONE_NEWNET) == 0)
            there() = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        ::setns(here(), CLONE_NEWNET);
        if (there() < 0)
            why() = QStringLiteral("no second network namespace");
    }
    // Once the application exists: the loopback up on both sides, then the link.
    static void setUp()
    {
        if (here() < 0)
            return;
        const QString farNamespace = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(there());
        const bool ok = run({"ip", "link", "set", "lo", "up"})
            && (there() < 0
                || (run({"ip", "link", "add", "kva", "type", "veth", "peer", "name", "kvb", "netns", farNamespace})
                    && run({"ip", "addr", "add", hereAddress + "/24", "dev", "kva"})
                    && run({"ip", "link", "set", "kva", "up"})
                    && runThere({"ip", "link", "set", "lo", "up"})
                    && runThere({"ip", "addr", "add", thereAddress + "/24", "dev", "kvb"})
                    && runThere({"ip", "link", "set", "kvb", "up"})
                    && runThere({"iptables", "-S"})));
        if (!ok && why().isEmpty())
            why() = QStringLiteral("could not set up the link (ip, iptables)");
        linked() = ok && there() >= 0;
    }
    static bool available() { return linked(); }
    static QString whyNot()
    {
        return QStringLiteral("no link between two namespaces: ")
            + (why().isEmpty() ? QStringLiteral("the test's main did not make one") : why());
    }

    // Runs `make` standing on the far machine when `far` says so.
    static void onFarSide(bool far, const std::function<void()> &make)
    {
        if (far)
            ::setns(there(), CLONE_NEWNET);
        make();
        if (far)
            ::setns(here(), CLONE_NEWNET);
    }
    static bool cut(Cut how)
    {
        switch (how) {
        case Cut::None:
            return true;
        case Cut::LinkDown:
            return runThere({"ip", "link", "set", "kvb", "down"});
        case Cut::Drop:
            break;
        }
        return runThere({"iptables", "-A", "INPUT", "-i", "kvb", "-j", "DROP"})
            && runThere({"iptables", "-A", "OUTPUT", "-o", "kvb", "-j", "DROP"});
    }
    // The TCP sockets of this side that are connected, or still connecting, to
    // `address`:`port` (IPv4), as the kernel lists them now, each by its inode number (a
    // socket's identity, not used again soon the way a port may be). A socket that is
    // not listed can never reach the far side.
    static QList<quint64> socketsTo(const QString &address, quint16 port)
    {
        QFile table(QStringLiteral("/proc/thread-self/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return {};
        const QHostAddress to(address);
        QList<quint64> sockets;
        table.readLine(); // the column names
        for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
            // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode":
            // an address is the hex of the 32-bit word the kernel holds in network
            // order, a port plain hex.
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 10)
                continue;
            const QList<QByteArray> remote = fields[2].split(':');
            if (remote.size() != 2)
                continue;
            const QHostAddress remoteAddress(qFromBigEndian(remote[0].toUInt(nullptr, 16)));
            if (remoteAddress == to && remote[1].toUShort(nullptr, 16) == port)
                sockets << fields[9].toULongLong();
        }
        return sockets;
    }
    static bool mend()
    {
        return runThere({"iptables", "-F"}) && runThere({"ip", "link", "set", "kvb", "up"});
    }

private:
    static bool becomeRootInOwnUserNamespace()
    {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER) != 0) {
            why() = QStringLiteral("not root, and no user namespace of its own (unshare(CLONE_NEWUSER): %1)")
                        .arg(QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        // The kernel lets an unprivileged process map its group only once it has given
        // up setgroups(2) in the namespace.
        if (!writeOnce("/proc/self/uid_map", QByteArray("0 ") + QByteArray::number(uid) + " 1")
            || !writeOnce("/proc/self/setgroups", "deny")
            || !writeOnce("/proc/self/gid_map", QByteArray("0 ") + QByteArray::number(gid) + " 1")) {
            why() = QStringLiteral("could not map itself to root in its user namespace: ")
                + QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        return true;
    }
    static bool writeOnce(const char *path, const QByteArray &text)
    {
        const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
        ::close(fd);
        return ok;
    }
    static int &here()
    {
        static int fd = -1;
        return fd;
    }
    static int &there()
    {
        static int fd = -1;
        return fd;
    }
    static QString &why()
    {
        static QString text;
        return text;
    }
    static bool &linked()
    {
        static bool up = false;
        return up;
    }
    static bool run(QStringList command)
    {
        const QString program = command.takeFirst();
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(program, command);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    static bool runThere(const QStringList &command)
    {
        bool ok = false;
        onFarSide(true, [&] { ok = run(command); });
        return ok;
    }
};

// Where the raw peer sits: beside the program on its loopback, or on the far machine.
enum class PeerAt { Loopback, FarMachine };

// The socket limits for one row (Winsock::Limits), the shipped ones back afterwards.
class LimitsForRow
{
public:
    explicit LimitsForRow(const Winsock::Limits &limits) { Winsock::setLimits(limits); }
    ~LimitsForRow() { Winsock::setLimits(m_saved); }
    LimitsForRow(const LimitsForRow &) = delete;
    LimitsForRow &operator=(const LimitsForRow &) = delete;

private:
    Winsock::Limits m_saved = Winsock::limits();
};

// A cut that lasts until the end of the row (or until mended earlier).
class CutForRow
{
public:
    ~CutForRow()
    {
        if (m_cut)
            TwoMachines::mend();
    }
    bool cut(TwoMachines::Cut how) { return m_cut = TwoMachines::cut(how); }
    bool mend()
    {
        m_cut = false;
        return TwoMachines::mend();
    }

private:
    bool m_cut = false;
};

// Runs the event loop until `done` holds or `ms` have passed, and says whether it holds.
// The condition is looked at each time the loop has run out of work and is about to
// wait, so a chain of socket hops settles without sleeping between checks.
inline bool waitUntil(const std::function<bool()> &done, int ms = 2000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &loop, [&] {
                         if (done())
                             loop.quit();
                     });
    deadline.start(ms);
    loop.exec();
    return done();
}

// The test's end of the connection: sends exactly the bytes it is given and keeps
// everything that arrives, in order, without reading any meaning into it.
class RawPeer
{
public:
    void adopt(QTcpSocket *socket)
    {
        socket->setParent(nullptr); // a server's socket would otherwise die with it
        m_socket.reset(socket);
        // Small messages back to back would otherwise wait for delayed ACKs (Nagle on
        // either side): the test would spend 40 ms a message on loopback doing nothing.
        const auto quick = [this] {
            const int on = 1;
            ::setsockopt(int(m_socket->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        };
        QObject::connect(socket, &QTcpSocket::connected, socket, [this, quick] {
            m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            quick();
        });
        if (socket->state() == QAbstractSocket::ConnectedState) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            quick();
        }
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, quick] {
            inbox += m_socket->readAll();
            quick();
        });
    }
    QTcpSocket *socket() const { return m_socket.get(); }
    bool connected() const
    {
        return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    }

    void send(const QByteArray &bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }
    // Waits for `bytes` to be the next thing received and takes them off the inbox.
    bool expect(const QByteArray &bytes, int ms = 2000)
    {
        waitUntil([&] { return inbox.size() >= bytes.size() || !connected(); }, ms);
        if (!inbox.startsWith(bytes))
            return false;
        inbox.remove(0, bytes.size());
        return true;
    }
    // Closes the connection: an orderly close (FIN), or with `reset` an abortive one
    // (RST, as when the peer's machine or process dies with data unread).
    void leave(bool reset = false)
    {
        if (!m_socket)
            return;
        if (reset) {
            const linger abortive{1, 0};
            ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                         sizeof abortive);
        }
        m_socket->abort();
        left = true;
    }

    QByteArray inbox;
    bool left = false;

private:
    std::unique_ptr<QTcpSocket> m_socket;
};

inline const QList<int> &fleet()
{
    static const QList<int> cells = Link::fleetCells();
    return cells;
}

// One real program and the raw peer that faces it.
class Survivor
{
public:
    virtual ~Survivor() = default;

    virtual bool isHost() const = 0;
    virtual Game &game() = 0;
    GameModel &model() { return game().model(); }
    // Starts the program and makes the TCP connection, the greeting not yet read.
    virtual bool connectPeer() = 0;
    // Makes the connection and leaves before any greeting: the host still has the
    // request in its queue when the caller is gone; the client's host closes unheard.
    virtual bool connectAndLeaveBeforeGreeting() = 0;
    // The greeting: the program counts itself connected afterwards.
    virtual bool greet() = 0;
    // After the program's own confirmation, with the peer's already in: play starts,
    // the first shooter as `survivorFirst` says.
    virtual bool startPlay(bool survivorFirst) = 0;
    // The program's socket has seen the peer's close.
    virtual bool sawClose() = 0;
    virtual QString disconnectText() const = 0;
    virtual QString disconnectTitle() const = 0;
    virtual quint16 listeningPort() const { return 0; }

    // Places the standard fleet and confirms it (the Yes is scripted here).
    void confirm()
    {
        Link::placeFleet(game());
        dialogs.answer(Dialogs::Answer::Yes);
        game().command5Click();
    }
    // The disconnect boxes shown so far.
    int disconnectBoxes() const
    {
        int n = 0;
        for (const ScriptedDialogs::Shown &s : dialogs.shown())
            n += s.text == disconnectText() ? 1 : 0;
        return n;
    }

    ScriptedDialogs dialogs;
    ClosingExit exit;
    RawPeer peer;
};

// The real host; the peer is a raw QTcpSocket acting as the client.
class HostSide : public Survivor
{
public:
    // The host's draws decide the first shooter: below 0.5 the client, else the host.
    explicit HostSide(std::initializer_list<float> draws = {0.9f, 0.1f}, PeerAt at = PeerAt::Loopback)
        : random(draws), at(at)
    {
        host = std::make_unique<Host>(0, dialogs, exit, random);
        exit.closes(*host);
    }
    bool isHost() const override { return true; }
    Game &game() override { return host->game(); }
    quint16 listeningPort() const override { return host->port(); }

    bool connectPeer() override
    {
        if (!host->startUp() || host->port() == 0)
            return false;
        dial();
        return waitUntil([&] { return peer.connected(); });
    }
    bool connectAndLeaveBeforeGreeting() override
    {
        if (!host->startUp())
            return false;
        dial();
        // Blocking on purpose: the host's event loop must not run before the caller
        // has gone again.
        if (!peer.socket()->waitForConnected(2000))
            return false;
        peer.leave();
        return true;
    }
    bool greet() override
    {
        return peer.expect(wire::hello()) && waitUntil([&] { return model().bConnected; });
    }
    bool startPlay(bool survivorFirst) override
    {
        return peer.expect(wire::placed() + (survivorFirst ? wire::meFirst() : wire::youFirst()));
    }
    bool sawClose() override { return host->sckTrans[0].State() != Winsock::sckConnected; }
    QString disconnectText() const override { return hosttexts::opponentLeft; }
    QString disconnectTitle() const override { return QString(); }

    ScriptedRandom random;
    const PeerAt at;
    std::unique_ptr<Host> host;

private:
    void dial()
    {
        auto *socket = new QTcpSocket;
        peer.adopt(socket);
        const bool far = at == PeerAt::FarMachine;
        TwoMachines::onFarSide(far, [&] {
            socket->connectToHost(far ? TwoMachines::hereAddress : QStringLiteral("127.0.0.1"), host->port());
        });
    }
};

// The real client; the peer is a raw QTcpServer's socket acting as the host.
class ClientSide : public Survivor
{
public:
    // The client types `address`: by default where the peer listens.
    explicit ClientSide(PeerAt at = PeerAt::Loopback, std::optional<QString> address = std::nullopt)
    {
        const bool far = at == PeerAt::FarMachine;
        TwoMachines::onFarSide(far, [&] {
            server.listen(far ? QHostAddress(TwoMachines::thereAddress) : QHostAddress(QHostAddress::LocalHost), 0);
        });
        const QString listening = far ? TwoMachines::thereAddress : QStringLiteral("127.0.0.1");
        client = std::make_unique<Client>(server.serverPort(), dialogs, exit, address.value_or(listening));
        exit.closes(*client);
    }
    bool isHost() const override { return false; }
    Game &game() override { return client->game(); }

    bool connectPeer() override
    {
        if (!server.isListening() || !client->startUp())
            return false;
        if (!waitUntil([&] { return server.hasPendingConnections(); }))
            return false;
        peer.adopt(server.nextPendingConnection());
        // The client's socket must have seen its own connection complete too.
        return waitUntil([&] { return client->Winsock1.State() == Winsock::sckConnected; });
    }
    bool connectAndLeaveBeforeGreeting() override
    {
        if (!connectPeer())
            return false;
        peer.leave();
        return true;
    }
    bool greet() override
    {
        peer.send(wire::hello());
        return waitUntil([&] { return model().bConnected; });
    }
    bool startPlay(bool survivorFirst) override
    {
        if (!peer.expect(wire::placed()))
            return false;
        peer.send(survivorFirst ? wire::youFirst() : wire::meFirst());
        return true;
    }
    bool sawClose() override { return client->Winsock1.State() != Winsock::sckConnected; }
    QString disconnectText() const override { return clienttexts::disconnected; }
    QString disconnectTitle() const override { return clienttexts::disconnectedTitle; }

    QTcpServer server;
    std::unique_ptr<Client> client;
};

// `draws` are the host's; the client's first shooter is told by the raw peer.
inline std::unique_ptr<Survivor> makeSurvivor(bool host, std::initializer_list<float> draws = {0.9f, 0.1f},
                                              PeerAt at = PeerAt::Loopback)
{
    if (host)
        return std::make_unique<HostSide>(draws, at);
    return std::make_unique<ClientSide>(at);
}

} // namespace faults
