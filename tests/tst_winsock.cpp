// The socket component over real loopback connections on free ports: connecting,
// handing a request to another socket, exact bytes both ways, which closes raise the
// Close event, and the failures that are immediate and those that come later; beside it,
// the rules for a typed remote host and the keepalive options every connection gets.
#include "platform/winsock.h"

#include "platform/hostname.h"
#include "platform/publicaddress.h"
#include "platform/keepalive.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <QTcpSocket>
#include <QScopeGuard>
#include <QStringList>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port that nobody listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Collects everything that arrives on a Winsock through its DataArrival event.
class Received : public QObject
{
public:
    explicit Received(Winsock &socket) : QObject(&socket)
    {
        connect(&socket, &Winsock::DataArrival, this, [this, &socket] { bytes += socket.GetData(); });
    }
    QByteArray bytes;
};

// The warnings of the whole process, while a test listens for them.
QStringList &capturedWarnings()
{
    static QStringList warnings;
    return warnings;
}

void captureWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        capturedWarnings().append(message);
}

} // namespace

class TestWinsock : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectsAndHandsRequestToAnotherSocket();
    void listenerAcceptsOnItself();
    void exactBytesBothWays_data();
    void exactBytesBothWays();
    void peerCloseRaisesClosedOnce_data();
    void peerCloseRaisesClosedOnce();
    void queuedBytesLeaveBeforeClose_data();
    void queuedBytesLeaveBeforeClose();
    void ownCloseRaisesNothingAndSocketIsReusable();
    void remoteHostIsJudgedAsTyped_data();
    void typedPortIsSplitOff_data();
    void typedPortIsSplitOff();
    void outsideAddressIsPublic_data();
    void outsideAddressIsPublic();
    void remoteHostIsJudgedAsTyped();
    void portZeroFailsAtOnce();
    void refusedKeepAliveOptionIsReportedOnce_data();
    void refusedKeepAliveOptionIsReportedOnce();
    void connectOnBusySocketFailsAtOnce();
    void refusedAttemptFailsLaterWithoutEvent();
    void unacceptedRequestIsClosed_data();
    void unacceptedRequestIsClosed();
    void acceptOnConnectedSocketDropsOldPeer();
    void sendWhenNotConnectedIsDropped();
    void listenOnBusyPortThrowsWithReason();
    void listenerCanListenAgainAfterClose();
    void connectUsesGivenLocalPort();
    void dataDuringAHandlersBoxIsAnnounced();
    void closeComesAfterTheDataAheadOfIt();
    void backToBackMessagesAreNotHeldBack();

private:
    void listen();
    void connectClient();
    // Lets the event loop run through a few real socket notifications, so that an
    // event that should not come has had its chance to.
    void settle();

    std::unique_ptr<Winsock> m_listener;
    std::unique_ptr<Winsock> m_server;
    std::unique_ptr<Winsock> m_client;
};

void TestWinsock::init()
{
    m_listener = std::make_unique<Winsock>();
    m_server = std::make_unique<Winsock>();
    m_client = std::make_unique<Winsock>();
}

void TestWinsock::cleanup()
{
    m_client.reset();
    m_server.reset();
    m_listener.reset();
}

void TestWinsock::listen()
{
    m_listener->setLocalPort(0);
    m_listener->Listen();
    QCOMPARE(m_listener->State(), int(Winsock::sckListening));
    QVERIFY(m_listener->LocalPort() != 0);
    connect(m_listener.get(), &Winsock::ConnectionRequest, m_server.get(),
            [this](qintptr id) { m_server->Accept(id); });
}

void TestWinsock::connectClient()
{
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(m_listener->LocalPort());
    m_client->Connect();
    QTRY_COMPARE(m_client->State(), int(Winsock::sckConnected));
    QTRY_COMPARE(m_server->State(), int(Winsock::sckConnected));
}

void TestWinsock::settle()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket out;
    out.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(server.waitForNewConnection(5000) || server.hasPendingConnections());
    std::unique_ptr<QTcpSocket> in(server.nextPendingConnection());
    QVERIFY(in);
    QTRY_COMPARE(out.state(), QAbstractSocket::ConnectedState);
    QSignalSpy arrived(in.get(), &QTcpSocket::readyRead);
    out.write("x");
    QVERIFY(arrived.wait());
}

void TestWinsock::connectsAndHandsRequestToAnotherSocket()
{
    listen();
    QSignalSpy requests(m_listener.get(), &Winsock::ConnectionRequest);
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(m_listener->LocalPort());
    m_client->Connect();
    const int early = m_client->State();
    QVERIFY2(early == Winsock::sckConnecting || early == Winsock::sckConnected,
             qPrintable(QString::number(early)));
    QTRY_COMPARE(m_client->State(), int(Winsock::sckConnected));
    QTRY_COMPARE(m_server->State(), int(Winsock::sckConnected));

    QCOMPARE(requests.count(), 1);
    QCOMPARE(m_listener->State(), int(Winsock::sckListening));
    // The dual-stack listener sees the caller as ::ffff:127.0.0.1.
    QCOMPARE(m_server->RemoteHostIP(), QString("127.0.0.1"));
    QCOMPARE(m_client->RemoteHostIP(), QString("127.0.0.1"));
    QVERIFY(m_client->LocalPort() != 0);
    QVERIFY(m_client->LocalPort() != m_listener->LocalPort());
}

void TestWinsock::listenerAcceptsOnItself()
{
    m_listener->Listen();
    connect(m_listener.get(), &Winsock::ConnectionRequest, m_listener.get(),
            [this](qintptr id) { m_listener->Accept(id); });
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(m_listener->LocalPort());
    m_client->Connect();
    QTRY_COMPARE(m_listener->State(), int(Winsock::sckConnected));
    QTRY_COMPARE(m_client->State(), int(Winsock::sckConnected));

    Received atClient(*m_client);
    m_listener->SendData("0hello");
    QTRY_COMPARE(atClient.bytes, QByteArray("0hello"));
}

void TestWinsock::exactBytesBothWays_data()
{
    QTest::addColumn<QByteArray>("payload");

    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(char(b));
    QTest::newRow("every byte value") << everyByte;
    QTest::newRow("placement notice in Shift-JIS")
        << QByteArray::fromHex("31947A92758AAE97B9");
    QTest::newRow("one NUL byte") << QByteArray(1, '\0');
    QTest::newRow("CR LF untouched") << QByteArray("a\r\nb\n\rc\r");
    QByteArray big(4 << 20, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char((i * 7 + i / 251) & 0xFF);
    QTest::newRow("4 MiB, more than the kernel buffers") << big;
}

void TestWinsock::exactBytesBothWays()
{
    QFETCH(QByteArray, payload);
    listen();
    connectClient();
    Received atServer(*m_server);
    Received atClient(*m_client);

    m_client->SendData(payload);
    m_server->SendData(payload);
    QTRY_COMPARE_WITH_TIMEOUT(atServer.bytes.size(), payload.size(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(atClient.bytes.size(), payload.size(), 20000);
    QVERIFY(atServer.bytes == payload);
    QVERIFY(atClient.bytes == payload);
}

void TestWinsock::peerCloseRaisesClosedOnce_data()
{
    QTest::addColumn<bool>("clientLeaves");
    QTest::addColumn<bool>("destroyed");
    QTest::newRow("client closes") << true << false;
    QTest::newRow("server closes") << false << false;
    QTest::newRow("client object destroyed") << true << true;
    QTest::newRow("server object destroyed") << false << true;
}

void TestWinsock::peerCloseRaisesClosedOnce()
{
    QFETCH(bool, clientLeaves);
    QFETCH(bool, destroyed);
    listen();
    connectClient();
    std::unique_ptr<Winsock> &leaver = clientLeaves ? m_client : m_server;
    Winsock &stayer = clientLeaves ? *m_server : *m_client;
    QSignalSpy stayerClosed(&stayer, &Winsock::Closed);
    QSignalSpy leaverClosed(leaver.get(), &Winsock::Closed);

    if (destroyed) {
        leaver.reset();
    } else {
        leaver->Close();
        QCOMPARE(leaver->State(), int(Winsock::sckClosed));
    }
    QTRY_COMPARE(stayerClosed.count(), 1);
    // Gone, but not closed until the program closes it.
    QCOMPARE(stayer.State(), int(Winsock::sckClosing));
    settle();
    QCOMPARE(stayerClosed.count(), 1);
    if (!destroyed)
        QCOMPARE(leaverClosed.count(), 0);

    stayer.Close();
    QCOMPARE(stayer.State(), int(Winsock::sckClosed));
    QCOMPARE(stayerClosed.count(), 1);
}

void TestWinsock::queuedBytesLeaveBeforeClose_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("busy notice") << QByteArray("0busy");
    QTest::newRow("8 MiB still queued at the close") << QByteArray(8 << 20, 'q');
}

void TestWinsock::queuedBytesLeaveBeforeClose()
{
    QFETCH(QByteArray, payload);
    listen();
    connectClient();
    Received atClient(*m_client);
    QSignalSpy clientClosed(m_client.get(), &Winsock::Closed);

    m_server->SendData(payload);
    m_server->Close();
    QCOMPARE(m_server->State(), int(Winsock::sckClosed));
    QTRY_COMPARE_WITH_TIMEOUT(clientClosed.count(), 1, 20000);
    QCOMPARE(atClient.bytes.size(), payload.size());
    QVERIFY(atClient.bytes == payload);
}

void TestWinsock::ownCloseRaisesNothingAndSocketIsReusable()
{
    listen();
    connectClient();
    QSignalSpy clientClosed(m_client.get(), &Winsock::Closed);
    QSignalSpy serverClosed(m_server.get(), &Winsock::Closed);

    m_client->Close();
    QCOMPARE(m_client->State(), int(Winsock::sckClosed));
    QTRY_COMPARE(serverClosed.count(), 1);
    settle();
    QCOMPARE(clientClosed.count(), 0);

    // The same objects connect again; Accept closes the server's dead connection.
    m_client->setLocalPort(0);
    m_client->Connect();
    QTRY_COMPARE(m_client->State(), int(Winsock::sckConnected));
    QTRY_COMPARE(m_server->State(), int(Winsock::sckConnected));
    Received atServer(*m_server);
    m_client->SendData("1s");
    QTRY_COMPARE(atServer.bytes, QByteArray("1s"));
    QCOMPARE(clientClosed.count(), 0);
}

void TestWinsock::remoteHostIsJudgedAsTyped_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("valid");
    QTest::newRow("empty host") << QString() << false;
    QTest::newRow("blank") << QString(" ") << false;
    QTest::newRow("space inside") << QString("abc def") << false;
    QTest::newRow("full-width blank") << QString("\u3000") << false;
    QTest::newRow("full-width space inside") << QString("１２７．０．\u3000０．１") << false;
    QTest::newRow("six numbers") << QString("1.2.3.4.5.6") << false;
    QTest::newRow("octet above 255") << QString("256.1.1.1") << false;
    QTest::newRow("underscore") << QString("game_host") << false;
    QTest::newRow("empty label") << QString("a..b") << false;
    QTest::newRow("label starts with hyphen") << QString("-host.lan") << false;
    QTest::newRow("label ends with hyphen") << QString("host-.lan") << false;
    QTest::newRow("non-ASCII name") << QString("ホスト") << false;
    QTest::newRow("label of 64") << QString(64, u'a') + ".lan" << false;
    const QString label63(63, u'a');
    const QString three = label63 + '.' + label63 + '.' + label63 + '.';
    QTest::newRow("name of 254") << three + QString(62, u'b') << false;

    QTest::newRow("dotted address") << QString("192.168.0.10") << true;
    QTest::newRow("IPv6 address") << QString("fe80::1") << true;
    QTest::newRow("full-width address") << QString("１２７．０．０．１") << true;
    QTest::newRow("pasted with blanks and a line end") << QString(" 127.0.0.1\r\n") << true;
    QTest::newRow("name with hyphen and digits") << QString("game-host2.lan") << true;
    QTest::newRow("last label of digits and letters") << QString("10.0.0.x1") << true;
    QTest::newRow("label of 63") << label63 + ".lan" << true;
    QTest::newRow("name of 253") << three + QString(61, u'b') << true;
}

void TestWinsock::typedPortIsSplitOff_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("host"); // empty: no target, the port is malformed
    QTest::addColumn<int>("port");
    QTest::newRow("plain address") << "11.0.0.1" << "11.0.0.1" << 1020;
    QTest::newRow("address and port") << "11.0.0.1:11020" << "11.0.0.1" << 11020;
    QTest::newRow("full-width colon and digits") << "１１．０．０．１：２０００" << "11.0.0.1" << 2000;
    QTest::newRow("name and port") << "friend.dyndns.example:1024" << "friend.dyndns.example" << 1024;
    QTest::newRow("bare IPv6") << "2001:db8::5" << "2001:db8::5" << 1020;
    QTest::newRow("bracketed IPv6") << "[2001:db8::5]" << "2001:db8::5" << 1020;
    QTest::newRow("bracketed IPv6 and port") << "[2001:db8::5]:4000" << "2001:db8::5" << 4000;
    QTest::newRow("highest port") << "host:65535" << "host" << 65535;
    QTest::newRow("leading zero") << "host:01020" << "host" << 1020;
    QTest::newRow("empty port") << "11.0.0.1:" << "" << 0;
    QTest::newRow("port 0") << "11.0.0.1:0" << "" << 0;
    QTest::newRow("port above 65535") << "11.0.0.1:65536" << "" << 0;
    QTest::newRow("port of six digits") << "11.0.0.1:000001" << "" << 0;
    QTest::newRow("port with letters") << "11.0.0.1:10x" << "" << 0;
    QTest::newRow("negative port") << "11.0.0.1:-5" << "" << 0;
    QTest::newRow("signed port") << "11.0.0.1:+5" << "" << 0;
    QTest::newRow("port of non-ASCII digits") << "host:١٠٢٠" << "" << 0;
    QTest::newRow("bracket then no colon") << "[2001:db8::5]4000" << "" << 0;
    QTest::newRow("bracketed IPv6, empty port") << "[2001:db8::5]:" << "" << 0;
}

// What follows the host is the port of the attempt; a malformed one makes no target.
void TestWinsock::typedPortIsSplitOff()
{
    QFETCH(QString, typed);
    QFETCH(QString, host);
    QFETCH(int, port);
    const std::optional<hostname::Target> target = hostname::splitPort(hostname::fold(typed), 1020);
    if (host.isEmpty()) {
        QVERIFY(!target);
        return;
    }
    QVERIFY(target);
    QCOMPARE(target->host, host);
    QCOMPARE(int(target->port), port);
}

void TestWinsock::outsideAddressIsPublic_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("isPublic");
    QTest::newRow("ordinary global") << "11.0.0.1" << true;
    QTest::newRow("just below the shared block") << "100.63.255.255" << true;
    QTest::newRow("shared block, first") << "100.64.0.1" << false;
    QTest::newRow("shared block, last") << "100.127.255.254" << false;
    QTest::newRow("just above the shared block") << "100.128.0.1" << true;
    QTest::newRow("private 10") << "10.1.2.3" << false;
    QTest::newRow("private 172.16") << "172.16.0.1" << false;
    QTest::newRow("private 172.31") << "172.31.255.1" << false;
    QTest::newRow("just above private 172") << "172.32.0.1" << true;
    QTest::newRow("private 192.168") << "192.168.7.1" << false;
    QTest::newRow("loopback") << "127.0.0.1" << false;
    QTest::newRow("link-local") << "169.254.1.1" << false;
    QTest::newRow("this network") << "0.0.0.0" << false;
    QTest::newRow("documentation") << "203.0.113.7" << false;
    QTest::newRow("benchmarking") << "198.18.0.1" << false;
    QTest::newRow("multicast") << "224.0.0.1" << false;
    QTest::newRow("reserved for future use") << "250.1.1.1" << false;
    QTest::newRow("three octets") << "11.0.1" << false;
    QTest::newRow("octet above 255") << "11.0.0.256" << false;
    QTest::newRow("leading zero") << "011.0.0.1" << false;
    QTest::newRow("blank around") << " 11.0.0.1" << false;
    QTest::newRow("empty") << "" << false;
}

// The router's outside address is handed on to a friend only where the internet
// reaches it; a garbled answer is never taken for a public address.
void TestWinsock::outsideAddressIsPublic()
{
    QFETCH(QString, address);
    QFETCH(bool, isPublic);
    QCOMPARE(publicaddress::isPublicIPv4(address), isPublic);
}

// Every host that the rules refuse must also stop Connect before any socket is made.
void TestWinsock::remoteHostIsJudgedAsTyped()
{
    QFETCH(QString, host);
    QFETCH(bool, valid);
    QCOMPARE(hostname::isValid(hostname::fold(host)), valid);
    if (valid)
        return;
    m_client->setRemoteHost(host);
    m_client->setRemotePort(1020);
    QVERIFY_THROWS_EXCEPTION(WinsockError, m_client->Connect());
    QCOMPARE(m_client->State(), int(Winsock::sckClosed));
}

void TestWinsock::portZeroFailsAtOnce()
{
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(0);
    QVERIFY_THROWS_EXCEPTION(WinsockError, m_client->Connect());
    QCOMPARE(m_client->State(), int(Winsock::sckClosed));
}

void TestWinsock::refusedKeepAliveOptionIsReportedOnce_data()
{
    QTest::addColumn<bool>("onPipe");
    QTest::addColumn<int>("idleS");
    QTest::addColumn<int>("intervalS");
    QTest::addColumn<int>("probes");
    QTest::addColumn<int>("userTimeoutMs");
    QTest::addColumn<QByteArray>("refused");
    QTest::addColumn<QString>("reason");
    const Winsock::Limits d;
    const QString invalid = std::strerror(EINVAL);
    QTest::newRow("all taken") << false << d.keepAliveIdleS << d.keepAliveIntervalS
                               << d.keepAliveProbes << d.userTimeoutMs << QByteArray() << QString();
    QTest::newRow("not a socket") << true << d.keepAliveIdleS << d.keepAliveIntervalS
                                  << d.keepAliveProbes << d.userTimeoutMs
                                  << QByteArray("TCP_KEEPIDLE") << QString(std::strerror(ENOTSOCK));
    QTest::newRow("idle of 0") << false << 0 << d.keepAliveIntervalS << d.keepAliveProbes
                               << d.userTimeoutMs << QByteArray("TCP_KEEPIDLE") << invalid;
    QTest::newRow("interval of 0") << false << d.keepAliveIdleS << 0 << d.keepAliveProbes
                                   << d.userTimeoutMs << QByteArray("TCP_KEEPINTVL") << invalid;
    QTest::newRow("no probes") << false << d.keepAliveIdleS << d.keepAliveIntervalS << 0
                               << d.userTimeoutMs << QByteArray("TCP_KEEPCNT") << invalid;
    QTest::newRow("negative user timeout") << false << d.keepAliveIdleS << d.keepAliveIntervalS
                                           << d.keepAliveProbes << -1
                                           << QByteArray("TCP_USER_TIMEOUT") << invalid;
}

// Each refusal is named to the caller; only the first of the process reaches stderr,
// whichever row meets it first.
void TestWinsock::refusedKeepAliveOptionIsReportedOnce()
{
    QFETCH(bool, onPipe);
    QFETCH(int, idleS);
    QFETCH(int, intervalS);
    QFETCH(int, probes);
    QFETCH(int, userTimeoutMs);
    QFETCH(QByteArray, refused);
    QFETCH(QString, reason);
    int fds[2] = {-1, -1};
    if (onPipe)
        QCOMPARE(::pipe(fds), 0);
    else
        fds[0] = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fds[0] >= 0);
    const auto closeAll = qScopeGuard([&fds] {
        for (const int fd : fds) {
            if (fd >= 0)
                ::close(fd);
        }
    });

    Winsock::Limits limits;
    limits.keepAliveIdleS = idleS;
    limits.keepAliveIntervalS = intervalS;
    limits.keepAliveProbes = probes;
    limits.userTimeoutMs = userTimeoutMs;
    const QtMessageHandler previous = qInstallMessageHandler(captureWarning);
    const qsizetype before = capturedWarnings().size();
    const QByteArray named = keepalive::apply(fds[0], limits);
    qInstallMessageHandler(previous);

    QCOMPARE(named, refused);
    const QStringList now = capturedWarnings().mid(before);
    if (refused.isEmpty()) {
        QVERIFY2(now.isEmpty(), qPrintable(now.join('\n')));
        return;
    }
    QCOMPARE(capturedWarnings().size(), 1);
    if (!now.isEmpty()) {
        QVERIFY2(now.front().contains(QString::fromLatin1(refused)) && now.front().contains(reason),
                 qPrintable(now.front()));
        QVERIFY2(!now.front().contains(u'\n'), qPrintable(now.front()));
    }
}

void TestWinsock::connectOnBusySocketFailsAtOnce()
{
    listen();
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(m_listener->LocalPort());
    m_client->Connect();
    // A second press of the reconnect button while the attempt is under way.
    QVERIFY_THROWS_EXCEPTION(WinsockError, m_client->Connect());
    QTRY_COMPARE(m_server->State(), int(Winsock::sckConnected));
    QTRY_COMPARE(m_client->State(), int(Winsock::sckConnected));
    QVERIFY_THROWS_EXCEPTION(WinsockError, m_client->Connect());
    QCOMPARE(m_client->State(), int(Winsock::sckConnected));

    m_listener->setRemoteHost("127.0.0.1");
    m_listener->setRemotePort(m_listener->LocalPort());
    QVERIFY_THROWS_EXCEPTION(WinsockError, m_listener->Connect());
    QCOMPARE(m_listener->State(), int(Winsock::sckListening));
}

void TestWinsock::refusedAttemptFailsLaterWithoutEvent()
{
    const quint16 port = freePort();
    QVERIFY(port != 0);
    QSignalSpy clientClosed(m_client.get(), &Winsock::Closed);
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(port);
    m_client->Connect();
    QTRY_COMPARE(m_client->State(), int(Winsock::sckClosed));
    settle();
    QCOMPARE(clientClosed.count(), 0);

    // Somebody listens now: the same object connects without being closed first.
    m_listener->setLocalPort(port);
    m_listener->Listen();
    connect(m_listener.get(), &Winsock::ConnectionRequest, m_server.get(),
            [this](qintptr id) { m_server->Accept(id); });
    m_client->Connect();
    QTRY_COMPARE(m_client->State(), int(Winsock::sckConnected));
    QTRY_COMPARE(m_server->State(), int(Winsock::sckConnected));
    QCOMPARE(clientClosed.count(), 0);
}

void TestWinsock::unacceptedRequestIsClosed_data()
{
    QTest::addColumn<bool>("withHandler");
    QTest::newRow("no handler at all") << false;
    QTest::newRow("handler that ignores it") << true;
}

void TestWinsock::unacceptedRequestIsClosed()
{
    QFETCH(bool, withHandler);
    m_listener->Listen();
    int seen = 0;
    if (withHandler)
        connect(m_listener.get(), &Winsock::ConnectionRequest, this, [&seen] { ++seen; });
    QSignalSpy clientClosed(m_client.get(), &Winsock::Closed);
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(m_listener->LocalPort());
    m_client->Connect();
    QTRY_COMPARE(clientClosed.count(), 1);
    QCOMPARE(seen, withHandler ? 1 : 0);
    QCOMPARE(m_listener->State(), int(Winsock::sckListening));
}

void TestWinsock::acceptOnConnectedSocketDropsOldPeer()
{
    listen();
    connectClient();
    QSignalSpy firstClosed(m_client.get(), &Winsock::Closed);
    Winsock second;
    second.setRemoteHost("127.0.0.1");
    second.setRemotePort(m_listener->LocalPort());
    second.Connect();
    QTRY_COMPARE(firstClosed.count(), 1);
    QTRY_COMPARE(second.State(), int(Winsock::sckConnected));

    Received atSecond(second);
    m_server->SendData("3a");
    QTRY_COMPARE(atSecond.bytes, QByteArray("3a"));
}

void TestWinsock::sendWhenNotConnectedIsDropped()
{
    Winsock fresh;
    fresh.SendData("0hello");
    QCOMPARE(fresh.State(), int(Winsock::sckClosed));
    QVERIFY(fresh.GetData().isEmpty());

    listen();
    m_listener->SendData("0hello");
    QCOMPARE(m_listener->State(), int(Winsock::sckListening));

    connectClient();
    Received atServer(*m_server);
    QSignalSpy serverClosed(m_server.get(), &Winsock::Closed);
    m_client->Close();
    m_client->SendData("lost after own close");
    QTRY_COMPARE(serverClosed.count(), 1);
    m_server->SendData("lost after peer close");
    QCOMPARE(m_server->State(), int(Winsock::sckClosing));
    settle();
    QVERIFY(atServer.bytes.isEmpty());
    QVERIFY(m_client->GetData().isEmpty());
}

void TestWinsock::listenOnBusyPortThrowsWithReason()
{
    listen();
    Winsock other;
    other.setLocalPort(m_listener->LocalPort());
    try {
        other.Listen();
        QFAIL("listening on a busy port did not throw");
    } catch (const WinsockError &e) {
        QVERIFY2(QString(e.what()).contains("already in use"), e.what());
    }
    QCOMPARE(other.State(), int(Winsock::sckClosed));
    QVERIFY_THROWS_EXCEPTION(WinsockError, m_listener->Listen());
    QCOMPARE(m_listener->State(), int(Winsock::sckListening));
}

void TestWinsock::listenerCanListenAgainAfterClose()
{
    listen();
    const quint16 port = m_listener->LocalPort();
    m_listener->Close();
    QCOMPARE(m_listener->State(), int(Winsock::sckClosed));

    QSignalSpy clientClosed(m_client.get(), &Winsock::Closed);
    m_client->setRemoteHost("127.0.0.1");
    m_client->setRemotePort(port);
    m_client->Connect();
    QTRY_COMPARE(m_client->State(), int(Winsock::sckClosed));
    QCOMPARE(m_server->State(), int(Winsock::sckClosed));

    // The host's restart: the same port again.
    m_listener->setLocalPort(port);
    m_listener->Listen();
    QCOMPARE(m_listener->LocalPort(), port);
    m_client->Connect();
    QTRY_COMPARE(m_server->State(), int(Winsock::sckConnected));
    QCOMPARE(clientClosed.count(), 0);
}

void TestWinsock::connectUsesGivenLocalPort()
{
    listen();
    const quint16 local = freePort();
    QVERIFY(local != 0);
    m_client->setLocalPort(local);
    connectClient();
    QCOMPARE(m_client->LocalPort(), local);
}

// A DataArrival handler that opens a modal box spins a nested event loop; bytes that
// arrive meanwhile must be announced in it, or a message would lie unread until the
// peer sends something else.
void TestWinsock::dataDuringAHandlersBoxIsAnnounced()
{
    listen();
    connectClient();
    QByteArray seen;
    int depth = 0;
    bool nestedArrival = false;
    connect(m_server.get(), &Winsock::DataArrival, this, [&] {
        seen += m_server->GetData();
        if (depth > 0) {
            nestedArrival = true;
            return;
        }
        ++depth;
        QEventLoop box; // what QMessageBox::exec does
        QTimer::singleShot(0, &box, [&] { m_client->SendData("4Make"); });
        connect(m_server.get(), &Winsock::DataArrival, &box, &QEventLoop::quit, Qt::QueuedConnection);
        QTimer::singleShot(5000, &box, &QEventLoop::quit);
        box.exec();
        --depth;
    });
    m_client->SendData("3a");
    QTRY_VERIFY(nestedArrival);
    QCOMPARE(seen, QByteArray("3a4Make"));
}

void TestWinsock::closeComesAfterTheDataAheadOfIt()
{
    listen();
    connectClient();
    QByteArray seen;
    QByteArray atClose;
    bool closed = false;
    connect(m_server.get(), &Winsock::DataArrival, this, [&] { seen += m_server->GetData(); });
    connect(m_server.get(), &Winsock::Closed, this, [&] {
        atClose = seen;
        closed = true;
    });
    m_client->SendData("1k");
    m_client->SendData("263");
    m_client->Close();
    QTRY_VERIFY(closed);
    QCOMPARE(atClose, QByteArray("1k263"));
}

// A side that answers a shot sends "3a" and "4Make" back to back while its peer waits
// for both; with Nagle's delay the second would wait for the first one's acknowledgement
// (some 40 ms each time, with delayed acknowledgements). So both ends of a game
// connection must have Nagle's delay off, and the pairs must arrive whole.
void TestWinsock::backToBackMessagesAreNotHeldBack()
{
    listen();
    connectClient();
    QByteArray atServer, atClient;
    connect(m_server.get(), &Winsock::DataArrival, this, [&] {
        atServer += m_server->GetData();
        if (atServer.endsWith("2")) {
            m_server->SendData("3a");
            m_server->SendData("4Make");
        }
    });
    connect(m_client.get(), &Winsock::DataArrival, this, [&] { atClient += m_client->GetData(); });
    const int rounds = 20;
    for (int i = 1; i <= rounds; ++i) {
        m_client->SendData("2");
        QTRY_COMPARE(atClient.size(), i * 7);
    }
    QCOMPARE(atClient, QByteArray("3a4Make").repeated(rounds));

    // This process's connected TCP sockets (not the listener): both ends of this one.
    int connected = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        int listening = 0, noDelay = 0;
        socklen_t size = sizeof listening;
        sockaddr_storage local{};
        socklen_t localSize = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localSize) != 0
            || (local.ss_family != AF_INET && local.ss_family != AF_INET6)
            || ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening)
            continue;
        size = sizeof noDelay;
        QCOMPARE(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
        QVERIFY2(noDelay, qPrintable(QStringLiteral("descriptor %1 has Nagle's delay on").arg(fd)));
        ++connected;
    }
    QCOMPARE(connected, 2);
}

QTEST_GUILESS_MAIN(TestWinsock)
#include "tst_winsock.moc"
