// The real host and the real client losing their peer at every step of a match, and
// the host under a storm of further callers. A raw peer plays the other side byte for
// byte, so that it can leave between two messages that the real programs always send
// together; whatever the step, the survivor must show its disconnect box and end, once.
#include "faults/rig.h"

#include <QDir>
#include <QtTest>

using namespace faults;
using Answer = Dialogs::Answer;

namespace {

// The steps of one scripted match (greeting, placement, a first game that the program
// wins, the rematch, a second game that it loses) at which the peer leaves.
enum class Point {
    BeforeGreeting,
    GreetingBoxOpen, // client only: the host leaves while "接続されました" is shown
    AfterGreeting,
    DuringPlacement,
    SurvivorConfirmedOnly,
    PeerConfirmedOnly,
    BothConfirmed,
    SurvivorShotUnanswered,
    PeerShotUnanswered,
    Between3aAnd4Make,
    VictoryBoxOpen,
    RematchQuestionOpen,
    RematchDeclined, // the question is open when the peer leaves, and the player says No
    AfterFirstGame,
    SecondGameStarted,
    SecondGameMidPlay,
    Between4MakeAnd4Kati,
    DefeatBoxOpen,
    AfterSecondGame,
};

// The box during which the peer leaves, for the points that are inside a box.
QString boxOf(Point p)
{
    switch (p) {
    case Point::GreetingBoxOpen:
        return texts::connected;
    case Point::VictoryBoxOpen:
        return texts::won;
    case Point::RematchQuestionOpen:
    case Point::RematchDeclined:
        return texts::again;
    case Point::DefeatBoxOpen:
        return texts::lost;
    default:
        return QString();
    }
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

} // namespace

Q_DECLARE_METATYPE(Point)

class TestFaults : public QObject
{
    Q_OBJECT

private:
    // Plays the match up to `p` against the real program and leaves there.
    void playTo(Survivor &s, Point p, bool reset)
    {
        const QList<int> water = waterCells();
        const auto at = [&](Point q) {
            if (p != q)
                return false;
            s.peer.leave(reset);
            return true;
        };
        GameModel &m = s.model();

        if (p == Point::BeforeGreeting) {
            QVERIFY(s.connectAndLeaveBeforeGreeting());
            return;
        }
        QVERIFY(s.connectPeer());
        QVERIFY(s.greet());
        if (p == Point::GreetingBoxOpen || at(Point::AfterGreeting))
            return;
        Link::placeFleet(s.game());
        if (at(Point::DuringPlacement))
            return;
        if (p == Point::SurvivorConfirmedOnly) {
            s.confirm();
            QVERIFY(s.peer.expect(wire::placed()));
            QVERIFY(m.bMyReady);
            s.peer.leave(reset);
            return;
        }
        s.peer.send(wire::placed());
        QVERIFY(waitUntil([&] { return m.Label1 == texts::peerPlaced; }));
        if (at(Point::PeerConfirmedOnly))
            return;
        s.confirm();
        QVERIFY(s.startPlay(true));
        QVERIFY(waitUntil([&] { return m.sPhase == texts::phaseGame && m.bMyTurn; }));
        if (at(Point::BothConfirmed))
            return;

        // First game: the program fires first and sinks the peer's fleet; the peer misses.
        s.dialogs.answer(p == Point::RematchDeclined ? Answer::No : Answer::Yes);
        for (int k = 0; k < fleet().size(); ++k) {
            const int target = fleet()[k];
            s.game().command3Click(target);
            QVERIFY(s.peer.expect(wire::shot(target)));
            if (k == 0 && at(Point::SurvivorShotUnanswered))
                return;
            s.peer.send(wire::hit());
            if (k == fleet().size() - 1)
                break;
            QVERIFY(waitUntil([&] { return m.Command3[target].mark == marks::hit; }));
            s.peer.send(wire::shot(water[k]));
            if (k == 0 && at(Point::PeerShotUnanswered))
                return;
            QVERIFY(s.peer.expect(wire::miss()));
            QVERIFY(waitUntil([&] { return m.bMyTurn; }));
        }
        if (at(Point::Between3aAnd4Make))
            return;
        s.peer.send(wire::make());
        if (p == Point::VictoryBoxOpen || p == Point::RematchQuestionOpen || p == Point::RematchDeclined)
            return;
        QVERIFY(s.peer.expect(wire::kati()));
        QVERIFY(waitUntil([&] { return m.command5Visible; }));
        if (at(Point::AfterFirstGame))
            return;

        // Second game, same connection and fleets: the peer fires first and wins.
        s.peer.send(wire::placed());
        QVERIFY(waitUntil([&] { return m.Label1 == texts::peerPlaced; }));
        s.dialogs.answer(Answer::Yes);
        s.game().command5Click();
        QVERIFY(s.startPlay(false));
        QVERIFY(waitUntil([&] { return m.sPhase == texts::phaseGame && m.Label1 == texts::theirTurn; }));
        if (at(Point::SecondGameStarted))
            return;
        s.dialogs.answer(Answer::Yes);
        for (int k = 0; k < fleet().size(); ++k) {
            s.peer.send(wire::shot(fleet()[k]));
            if (k == fleet().size() - 1)
                break;
            QVERIFY(s.peer.expect(wire::hit()));
            QVERIFY(waitUntil([&] { return m.bMyTurn; }));
            s.game().command3Click(water[k]);
            QVERIFY(s.peer.expect(wire::shot(water[k])));
            if (k == 5 && at(Point::SecondGameMidPlay))
                return;
            s.peer.send(wire::miss());
            QVERIFY(waitUntil([&] { return m.Command3[water[k]].mark == marks::miss; }));
        }
        QVERIFY(s.peer.expect(wire::hit() + wire::make()));
        if (at(Point::Between4MakeAnd4Kati))
            return;
        s.peer.send(wire::kati());
        if (p == Point::DefeatBoxOpen)
            return;
        QVERIFY(waitUntil([&] { return m.command5Visible; }));
        QVERIFY(at(Point::AfterSecondGame));
    }

    // Plays until one side has hit all 12 cells of the other: the winner fires at the
    // fleet, the loser misses whenever it has the turn.
    void playOut(Host &host, Client &client, QList<int> &clientWater)
    {
        GameModel &h = host.game().model();
        GameModel &c = client.game().model();
        for (int k = 0; k < fleet().size(); ++k) {
            if (!h.bMyTurn) {
                QVERIFY(waitUntil([&] { return c.bMyTurn; }));
                const int cell = clientWater.takeFirst();
                client.game().command3Click(cell);
                QVERIFY(waitUntil([&] { return c.Command3[cell].mark == marks::miss && h.bMyTurn; }));
            }
            host.game().command3Click(fleet()[k]);
            if (k < fleet().size() - 1)
                QVERIFY(waitUntil([&] { return h.Command3[fleet()[k]].mark == marks::hit; }));
        }
    }

    // `count` callers in batches of 50, each waiting until the host closes it; each must
    // have received exactly `expected`. `between` runs after each batch.
    void storm(quint16 port, int count, const QByteArray &expected, const std::function<void()> &between)
    {
        constexpr int batch = 50;
        for (int done = 0; done < count; done += batch) {
            struct Caller
            {
                QTcpSocket socket;
                QByteArray received;
                bool wasConnected = false;
            };
            std::vector<std::unique_ptr<Caller>> callers;
            for (int i = 0; i < batch; ++i) {
                auto c = std::make_unique<Caller>();
                Caller *raw = c.get();
                connect(&c->socket, &QTcpSocket::connected, &c->socket, [raw] { raw->wasConnected = true; });
                connect(&c->socket, &QTcpSocket::readyRead, &c->socket,
                        [raw] { raw->received += raw->socket.readAll(); });
                c->socket.connectToHost(QHostAddress::LocalHost, port);
                callers.push_back(std::move(c));
            }
            const auto allClosed = [&] {
                for (const auto &c : callers)
                    if (c->socket.state() != QAbstractSocket::UnconnectedState)
                        return false;
                return true;
            };
            QVERIFY2(waitUntil(allClosed, 5000), qPrintable(QStringLiteral("batch at %1").arg(done)));
            for (const auto &c : callers) {
                c->received += c->socket.readAll();
                QVERIFY2(c->wasConnected, qPrintable(c->socket.errorString()));
                QCOMPARE(c->socket.error(), QAbstractSocket::RemoteHostClosedError);
                QCOMPARE(c->received, expected);
            }
            between();
            if (QTest::currentTestFailed())
                return;
        }
    }

    // `count` callers that reset their connection before the host has even taken it.
    void vanishingCallers(Host &host, int count)
    {
        QSignalSpy requests(&host.sckListen, &Winsock::ConnectionRequest);
        for (int i = 0; i < count; ++i) {
            RawPeer caller;
            caller.adopt(new QTcpSocket);
            caller.socket()->connectToHost(QHostAddress::LocalHost, host.port());
            // Blocking on purpose: the host must not see the caller before it has gone.
            QVERIFY(caller.socket()->waitForConnected(2000));
            caller.leave(true);
        }
        QVERIFY2(waitUntil([&] { return requests.size() >= count; }),
                 qPrintable(QStringLiteral("%1 of %2 requests seen").arg(requests.size()).arg(count)));
    }

private slots:
    void lostPeer_data()
    {
        QTest::addColumn<bool>("hostSurvives");
        QTest::addColumn<Point>("point");
        QTest::addColumn<bool>("reset");
        const QList<std::pair<Point, const char *>> points{
            {Point::BeforeGreeting, "before the greeting"},
            {Point::GreetingBoxOpen, "while the greeting box is open"},
            {Point::AfterGreeting, "after the greeting"},
            {Point::DuringPlacement, "during placement"},
            {Point::SurvivorConfirmedOnly, "after its own confirmation only"},
            {Point::PeerConfirmedOnly, "after the peer's confirmation only"},
            {Point::BothConfirmed, "after both confirmations"},
            {Point::SurvivorShotUnanswered, "between its shot and the answer"},
            {Point::PeerShotUnanswered, "right after the peer's shot"},
            {Point::Between3aAnd4Make, "between 3a and 4Make"},
            {Point::VictoryBoxOpen, "while the victory box is open"},
            {Point::RematchQuestionOpen, "while the rematch question is open"},
            {Point::RematchDeclined, "while the rematch question is open, answered No"},
            {Point::AfterFirstGame, "after the rematch was accepted"},
            {Point::SecondGameStarted, "at the start of the second game"},
            {Point::SecondGameMidPlay, "in the middle of the second game"},
            {Point::Between4MakeAnd4Kati, "between 4Make and 4Kati"},
            {Point::DefeatBoxOpen, "while the defeat box is open"},
            {Point::AfterSecondGame, "after the second game"},
        };
        // Abortive closes for the points where a reset can overtake data in flight.
        const QList<Point> resets{Point::AfterGreeting, Point::BothConfirmed,
                                  Point::SurvivorShotUnanswered, Point::VictoryBoxOpen,
                                  Point::SecondGameMidPlay};
        for (const bool host : {true, false}) {
            for (const auto &[point, name] : points) {
                if (host && point == Point::GreetingBoxOpen)
                    continue; // the host shows no box when it greets
                const char *side = host ? "host" : "client";
                QTest::addRow("%s, peer leaves %s", side, name) << host << point << false;
                if (resets.contains(point))
                    QTest::addRow("%s, peer resets %s", side, name) << host << point << true;
            }
        }
    }
    void lostPeer()
    {
        QFETCH(bool, hostSurvives);
        QFETCH(Point, point);
        QFETCH(bool, reset);
        const std::unique_ptr<Survivor> rig = makeSurvivor(hostSurvives);
        Survivor &s = *rig;

        const QString leaveIn = boxOf(point);
        bool closeSeenInBox = false;
        s.dialogs.onShow([&](const ScriptedDialogs::Shown &box) {
            if (box.text == s.disconnectText())
                s.exit.boxAnswered.start();
            if (!leaveIn.isEmpty() && box.text == leaveIn && !s.peer.left) {
                s.peer.leave(reset);
                // A real modal box runs the event loop: the close arrives while it is open.
                closeSeenInBox = waitUntil([&] { return s.sawClose(); });
            }
        });

        playTo(s, point, reset);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(waitUntil([&] { return s.exit.ended(); }, 3000), "the program did not end");
        QCoreApplication::processEvents();
        QCOMPARE(s.exit.calls, 1);
        QCOMPARE(s.exit.status, 0);
        if (!leaveIn.isEmpty())
            QVERIFY2(closeSeenInBox, "the close never reached the program while its box was open");

        const QList<ScriptedDialogs::Shown> &shown = s.dialogs.shown();
        if (point == Point::RematchDeclined) {
            // The player's No ends the program; the close queued behind it never runs.
            QCOMPARE(s.disconnectBoxes(), 0);
            QCOMPARE(shown.last().text, texts::again);
            return;
        }
        QCOMPARE(s.disconnectBoxes(), 1);
        QCOMPARE(shown.last().text, s.disconnectText());
        QCOMPARE(shown.last().title, s.disconnectTitle());
        QCOMPARE(shown.last().buttons, Dialogs::Buttons::Ok);
        QVERIFY(s.exit.msFromAnswerToEnd >= 0);
        QVERIFY2(s.exit.msFromAnswerToEnd <= 2000, qPrintable(QString::number(s.exit.msFromAnswerToEnd)));

        // A box that was open when the peer left runs its handler to the end first.
        const QStringList boxes = s.dialogs.texts();
        const QStringList tail = boxes.mid(qMax<qsizetype>(0, boxes.size() - 3));
        switch (point) {
        case Point::GreetingBoxOpen:
            QCOMPARE(boxes, (QStringList{texts::connected, s.disconnectText()}));
            QVERIFY(s.model().command5Visible);
            break;
        case Point::VictoryBoxOpen:
            QCOMPARE(tail, (QStringList{texts::won, texts::again, s.disconnectText()}));
            break;
        case Point::DefeatBoxOpen:
            QCOMPARE(tail, (QStringList{texts::lost, texts::again, s.disconnectText()}));
            break;
        case Point::RematchQuestionOpen:
            QCOMPARE(tail.mid(1), (QStringList{texts::again, s.disconnectText()}));
            break;
        case Point::Between3aAnd4Make:
            // The hit that came before the close was marked before the box.
            QCOMPARE(s.model().Command3[fleet().last()].mark, marks::hit);
            QVERIFY(!s.dialogs.texts().contains(texts::won));
            break;
        case Point::PeerShotUnanswered:
            if (!reset)
                QCOMPARE(s.model().Command1[waterCells().first()].mark, marks::miss);
            break;
        case Point::Between4MakeAnd4Kati:
            QCOMPARE(s.model().Label1, texts::yourTurn);
            break;
        default:
            break;
        }
        if (auto *client = dynamic_cast<ClientSide *>(&s)) {
            QCOMPARE(s.model().command2Caption, clienttexts::reconnectCaption);
            QCOMPARE(client->client->Winsock1.State(), int(Winsock::sckClosed));
        }
    }

    void connectionStormDuringAMatch()
    {
        ScriptedRandom random{0.9f};
        ScriptedDialogs hostDialogs, clientDialogs;
        ClosingExit hostExit, clientExit;
        Host host(0, hostDialogs, hostExit, random);
        hostExit.onEnd = [&] {
            host.sckTrans[0].Close();
            host.sckListen.Close();
        };
        QVERIFY(host.startUp());
        Client client(host.port(), clientDialogs, clientExit, QStringLiteral("127.0.0.1"));
        clientExit.onEnd = [&] { client.Winsock1.Close(); };
        QVERIFY(client.startUp());
        GameModel &h = host.game().model();
        GameModel &c = client.game().model();
        QVERIFY(waitUntil([&] { return h.bConnected && c.bConnected; }));
        for (Game *g : {&host.game(), &client.game()}) {
            Link::placeFleet(*g);
            (g == &host.game() ? hostDialogs : clientDialogs).answer(Answer::Yes);
            g->command5Click();
        }
        QVERIFY(waitUntil([&] { return h.sPhase == texts::phaseGame && c.sPhase == texts::phaseGame && h.bMyTurn; }));

        // Between the batches the side whose turn it is misses once, so that the game's
        // own traffic interleaves with the callers.
        QList<int> hostWater = waterCells(), clientWater = waterCells();
        const auto missOnce = [&] {
            Game &shooter = h.bMyTurn ? host.game() : client.game();
            GameModel &other = h.bMyTurn ? c : h;
            const int cell = (h.bMyTurn ? hostWater : clientWater).takeFirst();
            shooter.command3Click(cell);
            QVERIFY(waitUntil([&] { return shooter.model().Command3[cell].mark == marks::miss && other.bMyTurn; }));
        };

        const int descriptors = openDescriptors();
        storm(host.port(), 1000, QByteArray(), missOnce);
        if (QTest::currentTestFailed())
            return;
        vanishingCallers(host, 50);
        if (QTest::currentTestFailed())
            return;
        missOnce();
        QVERIFY(h.bConnected);
        QVERIFY2(waitUntil([&] { return openDescriptors() <= descriptors; }),
                 qPrintable(QStringLiteral("%1 descriptors before, %2 after").arg(descriptors).arg(openDescriptors())));

        // The listener fails to accept and restarts: the game socket is still busy, so
        // every caller is told.
        QVERIFY(failOneAccept(host.port(), [&] { return !h.bConnected; }));
        QVERIFY(waitUntil([&] { return !h.command5Visible && host.sckListen.State() == Winsock::sckListening; }));
        storm(host.port(), 1000, wire::busy(), missOnce);
        if (QTest::currentTestFailed())
            return;
        // Turned away on a connection that is already reset: "0busy" goes nowhere.
        vanishingCallers(host, 50);
        if (QTest::currentTestFailed())
            return;
        missOnce();
        QVERIFY2(waitUntil([&] { return openDescriptors() <= descriptors; }),
                 qPrintable(QStringLiteral("%1 descriptors before, %2 after").arg(descriptors).arg(openDescriptors())));
        QVERIFY(!hostExit.ended());
        QVERIFY(!clientExit.ended());

        // The match goes on to its end: the host wins, the client declines the rematch.
        hostDialogs.answer(Answer::Yes);
        clientDialogs.answer(Answer::No);
        playOut(host, client, clientWater);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(waitUntil([&] { return clientExit.ended() && hostExit.ended(); }, 3000));
        QCOMPARE(clientDialogs.texts().mid(clientDialogs.texts().size() - 2),
                 (QStringList{texts::lost, texts::again}));
        QCOMPARE(hostDialogs.texts().mid(hostDialogs.texts().size() - 3),
                 (QStringList{texts::won, texts::again, hosttexts::opponentLeft}));
        QCOMPARE(hostExit.calls, 1);
        QCOMPARE(clientExit.calls, 1);
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
