// The computer player: which fleets are legal and that it draws them evenly, that it
// never fires at a cell twice or off the board whatever it is told, what it keeps from
// one game of a match to the next, and that it decides from its shots' answers alone.
#include "cpu/fleettable.h"
#include "cpu/strategy.h"

#include <QTest>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <vector>

using Level = Strategy::Level;
Q_DECLARE_METATYPE(Strategy::Level)
Q_DECLARE_METATYPE(Fleet)

// Who answers the shots: truthfully, truthfully about a fleet redrawn each game, or
// with lies.
enum class Opponent { Honest, Moved, Flipping, AlwaysHit, AlwaysMiss };
Q_DECLARE_METATYPE(Opponent)

namespace {

struct Game
{
    std::vector<int> shots;
    std::vector<bool> answers;
};

// Plays one game against the fleet's cells until all are hit or `limit` shots were
// fired; fails the test on a shot off the board or fired twice.
Game play(Strategy &player, std::uint64_t fleet, int limit = 64)
{
    Game game;
    std::uint64_t fired = 0, hit = 0;
    while (hit != fleet && int(game.shots.size()) < limit) {
        const int cell = player.nextShot();
        if (cell < 0 || cell >= 64 || (fired >> cell & 1)) {
            QTest::qFail(qPrintable(QStringLiteral("bad shot %1").arg(cell)), __FILE__, __LINE__);
            return game;
        }
        fired |= std::uint64_t(1) << cell;
        const bool isHit = fleet >> cell & 1;
        hit |= std::uint64_t(isHit) << cell;
        player.record(cell, isHit);
        game.shots.push_back(cell);
        game.answers.push_back(isHit);
    }
    return game;
}

} // namespace

class TestStrategy : public QObject
{
    Q_OBJECT

private slots:
    void isLegal_data();
    void isLegal();
    void tableHoldsEveryLegalFleetOnce();
    void placementIsUniform_data();
    void placementIsUniform();
    void shotsStayOnFreshCells_data();
    void shotsStayOnFreshCells();
    void memoryAcrossGames_data();
    void memoryAcrossGames();
    void decisionsFollowOnlyAnswers_data();
    void decisionsFollowOnlyAnswers();
};

void TestStrategy::isLegal_data()
{
    using Ship = Fleet::Ship;
    QTest::addColumn<Fleet>("fleet");
    QTest::addColumn<bool>("legal");
    const Ship five{5, 0, true}, four{4, 8, true}, three{3, 16, true};
    QTest::newRow("stacked rows") << Fleet({five, four, three}) << true;
    QTest::newRow("touching corners") << Fleet({Ship{5, 3, false}, Ship{4, 44, true}, Ship{3, 61, true}}) << true;
    QTest::newRow("off the right edge") << Fleet({Ship{5, 4, true}, four, three}) << false;
    QTest::newRow("off the bottom") << Fleet({five, four, Ship{3, 54, false}}) << false;
    QTest::newRow("negative start") << Fleet({five, four, Ship{3, -1, true}}) << false;
    QTest::newRow("crossing") << Fleet({five, Ship{4, 2, false}, three}) << false;
    QTest::newRow("lengths swapped") << Fleet({four, five, three}) << false;
    QTest::newRow("two 4-ships") << Fleet({five, four, Ship{4, 16, true}}) << false;
}

void TestStrategy::isLegal()
{
    QFETCH(Fleet, fleet);
    QFETCH(bool, legal);
    QCOMPARE(fleet.isLegal(), legal);
}

void TestStrategy::tableHoldsEveryLegalFleetOnce()
{
    // Counted here without the table: every pair of start and direction per ship.
    const auto fits = [](int length, int start, bool horizontal) {
        return (horizontal ? start % 8 : start / 8) + length <= 8;
    };
    std::size_t legal = 0;
    std::vector<std::uint64_t> placed[3];
    for (int s = 0; s < 3; ++s)
        for (int start = 0; start < 64; ++start)
            for (bool horizontal : {true, false})
                if (fits(Fleet::shipLengths[s], start, horizontal))
                    placed[s].push_back(Fleet::Ship{Fleet::shipLengths[s], start, horizontal}.cells());
    for (auto a : placed[0])
        for (auto b : placed[1])
            for (auto c : placed[2])
                legal += !(a & b) && !((a | b) & c);
    QCOMPARE(legal, std::size_t(270000));

    const FleetTable &table = FleetTable::instance();
    QCOMPARE(table.size(), legal);
    std::vector<std::uint64_t> keys;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Fleet fleet = table.fleet(i);
        QVERIFY(fleet.isLegal());
        QCOMPARE(table.unions()[i], fleet.cells());
        std::uint64_t key = 0;
        for (int s = 0; s < 3; ++s)
            key = key << 7 | std::uint64_t(fleet.ship(s).start << 1 | fleet.ship(s).horizontal);
        keys.push_back(key);
    }
    std::sort(keys.begin(), keys.end());
    QVERIFY(std::adjacent_find(keys.begin(), keys.end()) == keys.end());
}

void TestStrategy::placementIsUniform_data()
{
    // -1: the 64 cells, each fleet marking 12 of them; 0..2: where ship s lies.
    QTest::addColumn<int>("ship");
    QTest::newRow("cells") << -1;
    QTest::newRow("5-ship") << 0;
    QTest::newRow("4-ship") << 1;
    QTest::newRow("3-ship") << 2;
}

void TestStrategy::placementIsUniform()
{
    QFETCH(int, ship);
    const auto category = [ship](const Fleet &fleet, std::vector<int> &out) {
        out.clear();
        if (ship < 0) {
            for (std::uint64_t b = fleet.cells(); b; b &= b - 1)
                out.push_back(std::countr_zero(b));
        } else {
            out.push_back(fleet.ship(ship).start * 2 + fleet.ship(ship).horizontal);
        }
    };
    const FleetTable &table = FleetTable::instance();
    std::map<int, double> expected, observed;
    std::vector<int> cells;
    for (std::size_t i = 0; i < table.size(); ++i) {
        category(table.fleet(i), cells);
        for (int c : cells)
            expected[c] += 1.0 / double(table.size());
    }
    const int draws = 100000;
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < draws; ++i) {
        const Fleet fleet = Strategy::drawFleet(rng);
        QVERIFY(fleet.isLegal());
        category(fleet, cells);
        for (int c : cells)
            observed[c] += 1;
    }
    // Pearson's statistic; its mean is at most the number of categories (52 for the
    // cells, whose counts are tied by the 12 per fleet). The bound is over six
    // standard deviations above that: a fixed seed that passes keeps passing, and a
    // biased draw (one ship after the other, say) lands far beyond it.
    double chiSquare = 0;
    for (const auto &[c, p] : expected)
        chiSquare += std::pow(observed[c] - draws * p, 2) / (draws * p);
    const double k = double(expected.size());
    QCOMPARE(observed.size(), expected.size());
    QVERIFY2(chiSquare < k + 6 * std::sqrt(2 * k), qPrintable(QString::number(chiSquare)));
}

void TestStrategy::shotsStayOnFreshCells_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<Opponent>("opponent");
    const std::pair<const char *, Level> levels[]{
        {"weak", Level::Weak}, {"normal", Level::Normal}, {"strong", Level::Strong}};
    const std::pair<const char *, Opponent> opponents[]{
        {"honest", Opponent::Honest}, {"fleet moved each game", Opponent::Moved},
        {"one answer in ten flipped", Opponent::Flipping},
        {"always hit", Opponent::AlwaysHit}, {"always miss", Opponent::AlwaysMiss}};
    for (const auto &[levelName, level] : levels)
        for (const auto &[opponentName, opponent] : opponents)
            QTest::addRow("%s, %s", levelName, opponentName) << level << opponent;
}

void TestStrategy::shotsStayOnFreshCells()
{
    QFETCH(Level, level);
    QFETCH(Opponent, opponent);
    std::mt19937_64 rng(7);
    const bool lying = opponent != Opponent::Honest && opponent != Opponent::Moved;
    for (int match = 0; match < 20; ++match) {
        Strategy player(level, 100 + match);
        std::uint64_t fleet = Strategy::drawFleet(rng).cells();
        for (int round = 0; round < 3; ++round) {
            if (opponent == Opponent::Moved)
                fleet = Strategy::drawFleet(rng).cells();
            std::uint64_t fired = 0, hit = 0;
            // A liar never lets the game end: every cell gets fired at.
            while (lying ? fired != ~std::uint64_t(0) : hit != fleet) {
                const int cell = player.nextShot();
                QVERIFY2(cell >= 0 && cell < 64 && !(fired >> cell & 1),
                         qPrintable(QStringLiteral("match %1 shot %2").arg(match).arg(cell)));
                fired |= std::uint64_t(1) << cell;
                bool answer = fleet >> cell & 1;
                if (opponent == Opponent::Flipping && rng() % 10 == 0)
                    answer = !answer;
                if (opponent == Opponent::AlwaysHit || opponent == Opponent::AlwaysMiss)
                    answer = opponent == Opponent::AlwaysHit;
                hit |= std::uint64_t(answer) << cell;
                player.record(cell, answer);
            }
            if (lying)
                QCOMPARE(player.nextShot(), -1);
            player.newGame();
        }
    }
}

void TestStrategy::memoryAcrossGames_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<int>("firstGameShots"); // 64: played until the fleet is sunk
    for (const auto &[name, level] : {std::pair{"weak", Level::Weak},
                                      {"normal", Level::Normal}, {"strong", Level::Strong}}) {
        QTest::addRow("%s after a won game", name) << level << 64;
        QTest::addRow("%s after a lost game", name) << level << 15;
    }
}

void TestStrategy::memoryAcrossGames()
{
    QFETCH(Level, level);
    QFETCH(int, firstGameShots);
    std::mt19937_64 rng(11);
    for (int match = 0; match < 30; ++match) {
        const std::uint64_t fleet = Strategy::drawFleet(rng).cells();
        Strategy player(level, 500 + match);
        const Game first = play(player, fleet, firstGameShots);
        player.newGame();
        const Game second = play(player, fleet);
        if (level != Level::Strong) {
            // It plays the second game exactly as a player with the same random
            // choices so far that has learnt nothing of this fleet.
            Strategy fresh(level, 500 + match);
            for (std::size_t i = 0; i < first.shots.size(); ++i)
                fresh.record(fresh.nextShot(), false);
            fresh.newGame();
            QCOMPARE(play(fresh, fleet).shots, second.shots);
        } else if (firstGameShots == 64) {
            QCOMPARE(second.shots.size(), std::size_t(12));
        } else {
            // Every cell hit before is fired at before the first miss; known water
            // is never fired at.
            std::uint64_t hits = 0, water = 0, opening = 0;
            for (std::size_t i = 0; i < first.shots.size(); ++i)
                (first.answers[i] ? hits : water) |= std::uint64_t(1) << first.shots[i];
            for (std::size_t i = 0; i < second.shots.size() && second.answers[i]; ++i)
                opening |= std::uint64_t(1) << second.shots[i];
            QCOMPARE(opening & hits, hits);
            for (int cell : second.shots)
                QVERIFY(!(water >> cell & 1));
        }
    }
}

void TestStrategy::decisionsFollowOnlyAnswers_data()
{
    QTest::addColumn<Level>("level");
    QTest::newRow("weak") << Level::Weak;
    QTest::newRow("normal") << Level::Normal;
    QTest::newRow("strong") << Level::Strong;
}

void TestStrategy::decisionsFollowOnlyAnswers()
{
    QFETCH(Level, level);
    std::mt19937_64 rng(3);
    for (int pair = 0; pair < 30; ++pair) {
        const std::uint64_t a = Strategy::drawFleet(rng).cells();
        const std::uint64_t b = Strategy::drawFleet(rng).cells();
        if (a == b)
            continue;
        Strategy againstA(level, 900 + pair), againstB(level, 900 + pair);
        const Game gameA = play(againstA, a), gameB = play(againstB, b);
        // Same shots up to and including the first one answered differently.
        for (std::size_t i = 0;; ++i) {
            QVERIFY(i < gameA.shots.size() && i < gameB.shots.size());
            QCOMPARE(gameA.shots[i], gameB.shots[i]);
            if (gameA.answers[i] != gameB.answers[i])
                break;
        }
    }
}

QTEST_GUILESS_MAIN(TestStrategy)
#include "tst_strategy.moc"
