// The real host and the real client, each with its real window, over a real loopback
// TCP connection on a free port, the boxes answered by scripted answerers. Raw sockets
// stand in for further callers and for a peer that leaves.
#include "support/closingexit.h"
#include "support/descriptorshortage.h"
#include "support/testpeers.h"

#include "client/client.h"
#include "client/clienttexts.h"
#include "core/texts.h"
#include "host/host.h"
#include "host/hosttexts.h"
#include "platform/translations.h"
#include "protocol/messages.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

using Answer = Dialogs::Answer;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// This thread in a network namespace of its own, where it may not bind a port below
// 1024: what a player without root meets on the game's port. Undone on destruction.
class WithoutBindRight
{
public:
    WithoutBindRight()
    {
        m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (m_home < 0 || ::unshare(CLONE_NEWNET) != 0)
            return;
        m_inOwn = true;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[CAP_TO_INDEX(CAP_NET_BIND_SERVICE)].effective &= ~CAP_TO_MASK(CAP_NET_BIND_SERVICE);
        m_dropped = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~WithoutBindRight()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
        if (m_inOwn)
            ::setns(m_home, CLONE_NEWNET);
        if (m_home >= 0)
            ::close(m_home);
    }
    bool active() const { return m_dropped; }

private:
    int m_home = -1;
    bool m_inOwn = false;
    bool m_dropped = false;
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

struct Match
{
    explicit Match(std::initializer_list<float> draws, quint16 port = 0) : random(draws)
    {
        host = std::make_unique<Host>(port, hostDialogs, hostExit, random);
        hostExit.closes(*host);
    }
    bool startClient(std::optional<QString> address = QStringLiteral("127.0.0.1"))
    {
        client = std::make_unique<Client>(host->port(), clientDialogs, clientExit, address);
        clientExit.closes(*client);
        return client->startUp();
    }
    GameModel &h() { return host->game().model(); }
    GameModel &c() { return client->game().model(); }

    ScriptedRandom random;
    ScriptedDialogs hostDialogs, clientDialogs;
    ClosingExit hostExit, clientExit;
    std::unique_ptr<Host> host;
    std::unique_ptr<Client> client;
};

const QList<int> fleet = Link::fleetCells();

} // namespace

class TestHostClient : public QObject
{
    Q_OBJECT

    quint64 m_descriptorLimit = 0;

private:
    void connectBoth(Match &m)
    {
        QVERIFY(m.host->startUp());
        QVERIFY(m.host->port() != 0);
        QVERIFY(m.startClient());
        QTRY_VERIFY(m.c().bConnected);
        QCOMPARE(m.clientDialogs.texts().first(), texts::connected);
        QCOMPARE(m.h().Label1, QStringLiteral("127.0.0.1と接続されました\r\n潜水艦を配置しましょう"));
        QCOMPARE(m.c().Label1, QStringLiteral("127.0.0.1と接続されました\r\n潜水艦を配置しましょう"));
        QVERIFY(m.h().command5Visible);
        QVERIFY(m.c().command5Visible);
        QVERIFY(!m.c().command2Visible);
    }

    void confirmBoth(Match &m, const QString &order)
    {
        Link::placeFleet(m.host->game());
        Link::placeFleet(m.client->game());
        m.hostDialogs.answer(Answer::Yes);
        m.clientDialogs.answer(Answer::Yes);
        if (order == "host-first") {
            m.host->game().command5Click();
            QTRY_COMPARE(m.c().Label1, texts::peerPlaced);
            m.client->game().command5Click();
        } else if (order == "client-first") {
            m.client->game().command5Click();
            QTRY_COMPARE(m.h().Label1, texts::peerPlaced);
            m.host->game().command5Click();
        } else {
            m.host->game().command5Click();
            m.client->game().command5Click();
        }
        QTRY_COMPARE(m.h().sPhase, texts::phaseGame);
        QTRY_COMPARE(m.c().sPhase, texts::phaseGame);
        QTRY_VERIFY(m.h().bMyTurn != m.c().bMyTurn);
    }

    // Plays one game to its end: `winnerIsHost` sinks the other fleet, the loser only
    // misses. Waits until both sides have asked the rematch question.
    void playGame(Match &m, bool winnerIsHost)
    {
        Game &winner = winnerIsHost ? m.host->game() : m.client->game();
        Game &loser = winnerIsHost ? m.client->game() : m.host->game();
        ScriptedDialogs &wd = winnerIsHost ? m.hostDialogs : m.clientDialogs;
        ScriptedDialogs &ld = winnerIsHost ? m.clientDialogs : m.hostDialogs;
        const int wBoxes = wd.shown().size();
        const int lBoxes = ld.shown().size();
        QList<int> misses = Link::waterCells();
        for (int k = 0; k < fleet.size(); ++k) {
            if (!winner.model().bMyTurn) {
                QTRY_VERIFY(loser.model().bMyTurn);
                const int cell = misses.takeFirst();
                loser.command3Click(cell);
                QTRY_COMPARE(loser.model().Command3[cell].mark, marks::miss);
            }
            QTRY_VERIFY(winner.model().bMyTurn);
            winner.command3Click(fleet[k]);
            if (k < fleet.size() - 1)
                QTRY_COMPARE(winner.model().Command3[fleet[k]].mark, marks::hit);
        }
        // A side that answers No ends, and the other may show its disconnect box next.
        QTRY_VERIFY(ld.shown().size() >= lBoxes + 2);
        QTRY_VERIFY(wd.shown().size() >= wBoxes + 2);
        QCOMPARE(wd.shown()[wBoxes].text, texts::won);
        QCOMPARE(wd.shown()[wBoxes + 1].text, texts::again);
        QCOMPARE(ld.shown()[lBoxes].text, texts::lost);
        QCOMPARE(ld.shown()[lBoxes + 1].text, texts::again);
    }

private slots:
    // What every program does first: the system's reasons in Qt's texts come in Japanese.
    void initTestCase()
    {
        QVERIFY2(installQtTranslations(*QCoreApplication::instance()),
                 "Qt's Japanese catalogue qtbase_ja.qm is missing (package qt6-translations-l10n)");
        m_descriptorLimit = descriptorLimit();
    }
    // A row that ran the host out of descriptors must leave the limit as it found it.
    void cleanup() { QCOMPARE(descriptorLimit(), m_descriptorLimit); }

    // The host's line names what a player on the internet types only when the router
    // forwards a public address, with the port when it is not the game's; in every
    // state it names what a player on the same network types.
    void reachLineSaysWhatToHandOn_data()
    {
        using S = RouterStatus::State;
        QTest::addColumn<RouterStatus>("router");
        QTest::addColumn<QString>("ipv6");
        QTest::addColumn<QStringList>("says");
        QTest::addColumn<QStringList>("never");
        const QString give = QStringLiteral("伝えるアドレス：");
        const QString lan = QStringLiteral("192.168.7.2 で接続");
        QTest::newRow("mapped on the game's port")
            << RouterStatus{S::Mapped, "11.0.0.1", 1020, {}, "UPnP"} << QString()
            << QStringList{give + "11.0.0.1", lan} << QStringList{"11.0.0.1:", "IPv6"};
        QTest::newRow("mapped on another port")
            << RouterStatus{S::Mapped, "11.0.0.1", 11020, {}, "NAT-PMP"} << QString()
            << QStringList{give + "11.0.0.1:11020", lan} << QStringList{};
        QTest::newRow("asking") << RouterStatus{S::Asking, {}, 0, {}, {}} << QString()
                                << QStringList{"ルーターに", lan} << QStringList{give};
        QTest::newRow("no router: forward by hand to this machine")
            << RouterStatus{S::NoRouter, {}, 0, {}, {}} << QString()
            << QStringList{"TCPポート1020を", "（192.168.7.2）に転送", lan} << QStringList{give};
        QTest::newRow("shared outside address, no IPv6")
            << RouterStatus{S::NotPublic, "100.64.0.1", 0, {}, "UPnP"} << QString()
            << QStringList{"100.64.0.1", "IPv6で接続", lan} << QStringList{give};
        QTest::newRow("no public address, none named")
            << RouterStatus{S::NotPublic, {}, 0, {}, "NAT-PMP"} << QString()
            << QStringList{"外側のアドレスは", lan} << QStringList{give, "（）"};
        QTest::newRow("shared outside address, IPv6 to hand on")
            << RouterStatus{S::NotPublic, "100.64.0.1", 0, {}, "UPnP"} << QStringLiteral("2001:470::5")
            << QStringList{"[2001:470::5]", "ファイアウォール", lan} << QStringList{give};
        QTest::newRow("refused, with the router's reason")
            << RouterStatus{S::Refused, {}, 0, QStringLiteral("理由"), "UPnP"} << QString()
            << QStringList{"理由", "TCPポート1020を", lan} << QStringList{give};
        QTest::newRow("kept closed") << RouterStatus{S::Off, {}, 0, {}, {}} << QString()
                                     << QStringList{"TCPポート1020を", lan} << QStringList{give};
    }
    void reachLineSaysWhatToHandOn()
    {
        QFETCH(RouterStatus, router);
        QFETCH(QString, ipv6);
        QFETCH(QStringList, says);
        QFETCH(QStringList, never);
        const QString line = hosttexts::reachLine(router, QStringLiteral("192.168.7.2"), ipv6, 1020);
        for (const QString &part : says)
            QVERIFY2(line.contains(part), qPrintable(part + " / " + line));
        for (const QString &part : never)
            QVERIFY2(!line.contains(part), qPrintable(part + " / " + line));
    }

    void wholeMatchWithRematch()
    {
        Match m{0.9f, 0.1f};
        connectBoth(m);
        confirmBoth(m, "host-first");
        QVERIFY(m.h().bMyTurn);
        m.hostDialogs.answer(Answer::Yes);
        m.clientDialogs.answer(Answer::Yes);
        playGame(m, true);
        QVERIFY(!m.hostExit.ended());
        QVERIFY(!m.clientExit.ended());

        // Second game, same connection, same fleets; the client fires first this time.
        confirmBoth(m, "client-first");
        QCOMPARE(m.random.draws, 2);
        QVERIFY(m.c().bMyTurn);
        m.clientDialogs.answer(Answer::No);
        m.hostDialogs.answer(Answer::Yes);
        playGame(m, false);

        // The client said No: it ends, and the host sees its opponent leave.
        QTRY_VERIFY(m.clientExit.ended());
        QTRY_VERIFY(m.hostExit.ended());
        QCOMPARE(m.hostDialogs.texts().last(), hosttexts::opponentLeft);
        QCOMPARE(m.hostDialogs.shown().last().title, QString());
    }

    // The client confirms its next fleet while the host's player still looks at the
    // rematch question: the notice arrives on the socket then, but is handled only
    // after the host's handler has ended.
    void aNoticeDuringTheRematchQuestionWaitsForIt()
    {
        Match m{0.9f, 0.9f};
        connectBoth(m);
        confirmBoth(m, "crossing");
        m.hostDialogs.answer(Answer::Yes);
        m.clientDialogs.answer({Answer::Yes, Answer::Yes}); // rematch, next confirmation
        QSignalSpy arrivals(&m.host->sckTrans[0], &Winsock::DataArrival);
        bool checked = false;
        m.hostDialogs.onShow([&](const ScriptedDialogs::Shown &s) {
            if (s.text != texts::again || checked)
                return;
            QTRY_VERIFY(m.c().command5Visible); // the client has said Yes
            arrivals.clear();
            m.client->game().command5Click();
            QVERIFY(arrivals.wait(2000));
            QVERIFY(m.h().Label1 != texts::peerPlaced);
            QVERIFY(!m.h().bPeerReady);
            checked = true;
        });
        playGame(m, true);
        QVERIFY(checked);
        QTRY_COMPARE(m.h().Label1, texts::peerPlaced);
        QVERIFY(m.h().bPeerReady);
        QCOMPARE(m.h().sPhase, texts::phaseGame);
        m.hostDialogs.answer(Answer::Yes);
        m.host->game().command5Click();
        QTRY_VERIFY(m.c().bMyTurn != m.h().bMyTurn);
        QCOMPARE(m.random.draws, 2);
        QVERIFY(m.h().bMyTurn);
    }

    void confirmationOrders_data()
    {
        QTest::addColumn<QString>("order");
        QTest::newRow("host first") << "host-first";
        QTest::newRow("client first") << "client-first";
        QTest::newRow("both at once") << "crossing";
    }
    void confirmationOrders()
    {
        QFETCH(QString, order);
        Match m{0.3f};
        connectBoth(m);
        // A raw peer can't be inserted between the two, so count what the client sees
        // through its own game: exactly one first-shot message makes its turn.
        confirmBoth(m, order);
        QCOMPARE(m.random.draws, 1);
        QTRY_VERIFY(m.c().bMyTurn);
        QCOMPARE(m.c().Label1, texts::yourTurn);
        QCOMPARE(m.h().Label1, texts::theirTurn);
    }

    void aSecondCallerWhileConnectedGetsNothing()
    {
        Match m{0.9f};
        connectBoth(m);
        QTcpSocket caller;
        caller.connectToHost(QHostAddress::LocalHost, m.host->port());
        QVERIFY(caller.waitForConnected(2000));
        QTRY_COMPARE(caller.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(caller.readAll(), QByteArray());
        QVERIFY(m.h().bConnected);
        QVERIFY(!m.hostExit.ended());
    }

    void aCallerAfterTheListenerRestartIsTurnedAway()
    {
        const quint16 port = freePort();
        Match m({0.9f}, port);
        connectBoth(m);
        // The system has no descriptor for a caller: the listener closes and listens
        // again on the same port, no longer counting as connected.
        QVERIFY(failOneAccept(*m.host, [&] { return !m.h().bConnected; }));
        QCOMPARE(m.host->sckListen.State(), int(Winsock::sckListening));
        QCOMPARE(m.host->port(), port);
        QVERIFY(!m.h().command5Visible);
        QTcpSocket caller;
        caller.connectToHost(QHostAddress::LocalHost, m.host->port());
        QVERIFY(caller.waitForConnected(2000));
        QByteArray received;
        QTRY_VERIFY((received += caller.readAll(), caller.state() == QAbstractSocket::UnconnectedState));
        received += caller.readAll();
        QCOMPARE(received, wire::busy());
        // The opponent is still there and the game goes on.
        Link::placeFleet(m.client->game());
        m.clientDialogs.answer(Answer::Yes);
        m.client->game().command5Click();
        QTRY_COMPARE(m.h().Label1, texts::peerPlaced);
    }

    void theOpponentLeaving_data()
    {
        QTest::addColumn<bool>("duringPlay");
        QTest::addColumn<bool>("hostLeaves");
        QTest::newRow("client leaves during placement") << false << false;
        QTest::newRow("client leaves during play") << true << false;
        QTest::newRow("host leaves during placement") << false << true;
        QTest::newRow("host leaves during play") << true << true;
    }
    void theOpponentLeaving()
    {
        QFETCH(bool, duringPlay);
        QFETCH(bool, hostLeaves);
        Match m{0.9f};
        connectBoth(m);
        if (duringPlay) {
            confirmBoth(m, "crossing");
            m.host->game().command3Click(0);
            QTRY_COMPARE(m.host->game().model().Command3[0].mark, marks::hit);
        }
        if (hostLeaves) {
            m.host->sckTrans[0].Close();
            QTRY_VERIFY(m.clientExit.ended());
            QCOMPARE(m.clientDialogs.texts().last(), clienttexts::disconnected);
            QCOMPARE(m.clientDialogs.shown().last().title, clienttexts::disconnectedTitle);
            QCOMPARE(m.c().command2Caption, clienttexts::reconnectCaption);
            QCOMPARE(m.client->Winsock1.State(), int(Winsock::sckClosed));
        } else {
            m.client->Winsock1.Close();
            QTRY_VERIFY(m.hostExit.ended());
            QCOMPARE(m.hostDialogs.texts().last(), hosttexts::opponentLeft);
        }
    }

    void theClientFailsAtOnceOnAnEmptyAddress()
    {
        Match m{};
        QVERIFY(m.host->startUp());
        m.clientDialogs.type(QString());
        QVERIFY(!m.startClient(std::nullopt));
        QCOMPARE(m.clientDialogs.shown().size(), 2);
        QCOMPARE(m.clientDialogs.shown()[0].text, clienttexts::askAddress);
        QCOMPARE(m.clientDialogs.shown()[0].title, clienttexts::askAddressTitle);
        QCOMPARE(m.clientDialogs.shown()[1].text, clienttexts::connectFailed);
        QCOMPARE(m.clientDialogs.shown()[1].title, clienttexts::connectFailedTitle);
        QVERIFY(m.clientExit.ended());
        QVERIFY(m.clientExit.status != 0);
        QVERIFY(m.c().sHostIp.isEmpty());
    }

    void aLaterFailureShowsWhyAndReconnectWorks()
    {
        ScriptedRandom random;
        ScriptedDialogs clientDialogs, hostDialogs;
        RecordingExit clientExit, hostExit;
        const quint16 port = freePort();
        Client client(port, clientDialogs, clientExit);
        clientDialogs.type(QStringLiteral("127.0.0.1"));
        QVERIFY(client.startUp());
        QCOMPARE(client.game().model().sHostIp, QStringLiteral("127.0.0.1"));
        QVERIFY(client.game().model().frame6Visible);
        QTRY_COMPARE(client.game().model().Label1, clienttexts::refused);
        QCOMPARE(client.Winsock1.State(), int(Winsock::sckClosed));
        QCOMPARE(clientDialogs.shown().size(), 1); // the address box only
        QVERIFY(!clientExit.ended());

        // A press that is refused at once still shows for a moment that it tried.
        QElapsedTimer sincePress;
        sincePress.start();
        QTest::mouseClick(client.window().Command2(), Qt::LeftButton);
        QTRY_COMPARE(client.game().model().Label1, clienttexts::attempting);
        QTRY_COMPARE(client.game().model().Label1, clienttexts::refused);
        QVERIFY2(sincePress.elapsed() >= 600, qPrintable(QString::number(sincePress.elapsed())));

        Host host(port, hostDialogs, hostExit, random);
        QVERIFY(host.startUp());
        QTest::mouseClick(client.window().Command2(), Qt::LeftButton);
        QTRY_VERIFY(client.game().model().bConnected);
        QVERIFY(host.game().model().bConnected);
        QVERIFY(!client.game().model().command2Visible);
    }

    // Addresses as players type them, with an input method or a paste, connect; sHostIp
    // keeps exactly what was typed.
    void typedAddressesConnect_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("full-width digits and dots") << QStringLiteral("１２７．０．０．１");
        QTest::newRow("space before") << QStringLiteral(" 127.0.0.1");
        QTest::newRow("space and line end after") << QStringLiteral("127.0.0.1 \r\n");
        QTest::newRow("full-width spaces around") << QStringLiteral("\u3000１２７．０．０．１\u3000");
        QTest::newRow("host name") << QStringLiteral("localhost");
        QTest::newRow("full-width host name") << QStringLiteral("ｌｏｃａｌｈｏｓｔ");
        QTest::newRow("IPv6 literal") << QStringLiteral("::1");
        QTest::newRow("full-width IPv6 literal") << QStringLiteral("：：１");
    }
    void typedAddressesConnect()
    {
        QFETCH(QString, typed);
        if (typed.normalized(QString::NormalizationForm_KC).contains(u':')) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHostIPv6, 0))
                QSKIP("no IPv6 loopback on this machine");
        }
        Match m{};
        QVERIFY(m.host->startUp());
        m.clientDialogs.type(typed);
        QVERIFY(m.startClient(std::nullopt));
        QTRY_VERIFY(m.c().bConnected);
        QVERIFY(m.h().bConnected);
        QCOMPARE(m.c().sHostIp, typed);
        QCOMPARE(m.clientDialogs.texts(), (QStringList{clienttexts::askAddress, texts::connected}));
        QVERIFY(!m.clientExit.ended());
    }

    void aHostThatCannotListenSaysWhyAndEnds_data()
    {
        QTest::addColumn<bool>("portTaken"); // or else no right to bind it
        QTest::addColumn<QString>("remedy");
        QTest::newRow("port in use") << true << QStringLiteral("ホスト（morsk）が既に起動していないか");
        QTest::newRow("no right to bind port 1020")
            << false
            << QStringLiteral("sudo setcap cap_net_bind_service=+ep ")
                   + QCoreApplication::applicationFilePath();
    }
    void aHostThatCannotListenSaysWhyAndEnds()
    {
        QFETCH(bool, portTaken);
        QFETCH(QString, remedy);
        QTcpServer squatter;
        std::optional<WithoutBindRight> withoutRight;
        quint16 port = 1020;
        if (portTaken) {
            QVERIFY(squatter.listen(QHostAddress::Any, 0));
            port = squatter.serverPort();
        } else {
            withoutRight.emplace();
            if (!withoutRight->active())
                QSKIP("needs root, to make a network namespace and give up the right to bind");
        }
        ScriptedRandom random;
        ScriptedDialogs dialogs;
        RecordingExit exit;
        Host host(port, dialogs, exit, random);
        QVERIFY(!host.startUp());
        withoutRight.reset();
        QCOMPARE(dialogs.shown().size(), 1);
        const QString text = dialogs.shown()[0].text;
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines[0], QStringLiteral("ポート%1での接続待ちに失敗しました。").arg(port));
        // The system's reason, in Qt's Japanese.
        QVERIFY2(lines[1].startsWith(QStringLiteral("原因：")) && lines[1].size() > 3, qPrintable(text));
        QVERIFY2(!lines[1].contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(text));
        QVERIFY2(text.contains(remedy), qPrintable(text));
        QCOMPARE(text.contains(QStringLiteral("setcap")), !portTaken);
        QVERIFY(exit.ended());
        QCOMPARE(exit.status(), 1);
    }

    void aMalformedShotIsDroppedAndTheGameGoesOn()
    {
        Match m{0.1f}; // the client fires first
        connectBoth(m);
        confirmBoth(m, "crossing");
        QTRY_VERIFY(m.c().bMyTurn);
        // The host receives junk on its game socket from a misbehaving client.
        m.client->Winsock1.SendData("264");
        m.client->Winsock1.SendData("2abc");
        m.client->game().command3Click(4);
        QTRY_COMPARE(m.c().Command3[4].mark, marks::hit);
        QCOMPARE(m.h().Command1[4].mark, marks::hit);
        QVERIFY(!m.hostExit.ended());
        int marked = 0;
        for (const OwnCell &cell : m.h().Command1)
            marked += cell.mark.isEmpty() ? 0 : 1;
        QCOMPARE(marked, 1);
    }
};

QTEST_MAIN(TestHostClient)
#include "tst_hostclient.moc"
