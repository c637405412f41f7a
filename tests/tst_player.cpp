// The computer as a player of the real game cores: a whole match of the headless host
// against the headless client over a real loopback connection, each side driven by a
// Player (also with every box worded otherwise than the core words it, which must not
// change how it plays), and the computer's side of an in-memory link against a peer the
// test plays by hand, which never gives it the turn it did not earn.
#include "support/testpeers.h"

#include "client/client.h"
#include "core/texts.h"
#include "cpu/computerdialogs.h"
#include "cpu/player.h"
#include "host/host.h"
#include "host/hosttexts.h"
#include "protocol/messages.h"

#include <QtTest>
#include <set>

namespace {

struct Games
{
    QList<bool> won;
    QList<QList<int>> mine, theirs;
    QStringList notices;
    int exitStatus = -1;
    void watch(Player &player)
    {
        QObject::connect(&player, &Player::gameOver,
                         [this](int, bool w, const QList<int> &m, const QList<int> &t) {
            won << w;
            mine << m;
            theirs << t;
        });
        QObject::connect(&player, &Player::notice, [this](const QString &n) { notices << n; });
    }
};

// The computer's boxes as another wording would show them: the same boxes, no text the
// core knows.
QString reworded(const QString &text)
{
    return QStringLiteral("【%1】").arg(text);
}

class RewordedDialogs : public ComputerDialogs
{
public:
    explicit RewordedDialogs(bool reword) : m_reword(reword) {}
    Answer MsgBox(const QString &text, Buttons buttons, const QString &title) override
    {
        return ComputerDialogs::MsgBox(m_reword ? reworded(text) : text, buttons, title);
    }

private:
    bool m_reword;
};

bool distinctCells(const QList<int> &cells)
{
    const std::set<int> seen(cells.begin(), cells.end());
    return int(seen.size()) == cells.size() && (cells.isEmpty() || (*seen.begin() >= 0 && *seen.rbegin() < 64));
}

} // namespace

class TestPlayer : public QObject
{
    Q_OBJECT

private slots:
    // Strong as the host (its draw and listener), weak as the client, two games. Each
    // game's shots are seen alike on both sides, none repeats, the strong side's second
    // game fires only where it hit in the first, and the match ends with status 0 on
    // both sides: the client declines, the host hears that its opponent left.
    void wholeMatchOverTcp_data()
    {
        QTest::addColumn<bool>("reword");
        QTest::newRow("boxes as the core words them") << false;
        QTest::newRow("every box worded otherwise") << true;
    }
    void wholeMatchOverTcp()
    {
        QFETCH(bool, reword);
        Games hostGames, clientGames;
        RewordedDialogs hostDialogs(reword), clientDialogs(reword);
        MatchExit hostExit([&](int s) { hostGames.exitStatus = s; });
        LcgRandom random;
        Host host(0, hostDialogs, hostExit, random, Presentation::Headless);
        Player hostPlayer(host.game(), hostDialogs, {Strategy::Level::Strong, 0, std::nullopt, 7});
        hostGames.watch(hostPlayer);
        QVERIFY(host.startUp());

        std::unique_ptr<Client> client;
        MatchExit clientExit([&](int s) {
            clientGames.exitStatus = s;
            client->Winsock1.Close(); // what the end of its process does
        });
        client = std::make_unique<Client>(host.port(), clientDialogs, clientExit,
                                          QStringLiteral("127.0.0.1"), Presentation::Headless);
        Player clientPlayer(client->game(), clientDialogs, {Strategy::Level::Weak, 0, 2, 11});
        clientGames.watch(clientPlayer);
        QVERIFY(client->startUp());

        QTRY_VERIFY_WITH_TIMEOUT(hostGames.exitStatus >= 0 && clientGames.exitStatus >= 0, 20000);
        QCOMPARE(clientGames.exitStatus, 0);
        QCOMPARE(hostGames.exitStatus, 0);
        QCOMPARE(hostGames.notices,
                 QStringList{reword ? reworded(hosttexts::opponentLeft) : hosttexts::opponentLeft});
        QCOMPARE(clientGames.won.size(), 2);
        QCOMPARE(hostGames.won.size(), 2);
        for (int g = 0; g < 2; ++g) {
            QCOMPARE(hostGames.won[g], !clientGames.won[g]);
            QCOMPARE(hostGames.mine[g], clientGames.theirs[g]);
            QCOMPARE(hostGames.theirs[g], clientGames.mine[g]);
            QVERIFY(distinctCells(hostGames.mine[g]));
            QVERIFY(distinctCells(clientGames.mine[g]));
        }
        // The fleet has not moved: having sunk it, strong fires at its cells alone.
        QVERIFY(hostGames.won[0]);
        const std::uint64_t peerFleet = clientPlayer.fleet().cells();
        for (int cell : hostGames.mine[1])
            QVERIFY2(peerFleet >> cell & 1, qPrintable(QString::number(cell)));
        QVERIFY(hostGames.won[1]);
        QCOMPARE(hostGames.mine[1].size(), 12);
    }

    // The computer fires only when the game gives it the turn: not when the peer fires
    // first, not after an answer nobody asked for, and once per turn.
    void firesOnlyInItsTurn()
    {
        ScriptedRandom draw{0.9f}; // the host fires first
        MatchSide host(GameModel::Program::Host, &draw);
        LinkEnd computerEnd;
        ComputerDialogs dialogs;
        RecordingExit exit;
        Game computer(GameModel::Program::Client, computerEnd, dialogs, exit, nullptr);
        computerEnd.game = &computer;
        MemoryLink link(host, computerEnd, MemoryLink::Delivery::ByHand);
        host.game->beginPlacement();
        computer.beginPlacement();
        Player player(computer, dialogs, {Strategy::Level::Normal, 0, std::nullopt, 3});
        link.accept(QStringLiteral("127.0.0.1"));
        auto settle = [&] {
            for (int i = 0; i < 20; ++i) {
                link.pump();
                QCoreApplication::processEvents();
            }
        };
        // The computer's shots that reached the host: the marks on the host's own board.
        auto shotsAtHost = [&] {
            return int(std::count_if(host.model().Command1.begin(), host.model().Command1.end(),
                                     [](const OwnCell &c) { return !c.mark.isEmpty(); }));
        };
        settle();
        QCOMPARE(computer.model().waterCount(), 64 - 12);
        Link::placeFleet(*host.game);
        Link::confirm(host);
        settle();
        QVERIFY(computer.playing());
        // The host fires first: until its shot lands, no shot of the computer reaches it.
        QCOMPARE(host.sent.count(wire::meFirst()), 1);
        settle();
        QCOMPARE(shotsAtHost(), 0);
        for (int turn = 0; turn < 5; ++turn) {
            host.game->command3Click(turn);
            // An answer the computer never asked for changes nothing.
            host.send(wire::hit());
            settle();
            QCOMPARE(shotsAtHost(), turn + 1);
        }
        QVERIFY(!exit.ended());
    }
};

QTEST_GUILESS_MAIN(TestPlayer)
#include "tst_player.moc"
