// The computer player: which fleets are legal and that it draws them evenly, that it
// never fires at a cell twice or off the board whatever it is told, what it keeps from
// one game of a match to the next, and that it decides from its shots' answers alone.
#include "cpu/fleettable.h"
#include "cpu/strategy.h"

#include <QTest>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

using Level = Strategy::Level;
Q_DECLARE_METATYPE(Strategy::Level)
Q_DECLARE_METATYPE(Fleet)

// Who answers: truthfully, truthfully about a fleet redrawn each game, or with lies.
enum class Opponent { Honest, Moved, Flipping, AlwaysHit, AlwaysMiss };
Q_DECLARE_METATYPE(Opponent)

namespace {

const std::pair<const char *, Level> levels[]{
    {"weak", Level::Weak}, {"normal", Level::Normal}, {"strong", Level::Strong}};

using Game = std::vector<std::pair<int, bool>>; // each shot and its answer

// Plays until the answers have hit every cell of `fleet` or `limit` shots were fired,
// answering the truth about `fleet` unless `answer` is given. A shot off the board or
// at a cell fired at before fails the test.
Game play(Strategy &player, std::uint64_t fleet, int limit = 64,
          const std::function<bool(int)> &answer = {})
{
    Game game;
    std::uint64_t hit = 0;
    while (hit != fleet && int(game.size()) < limit) {
        const int cell = player.nextShot();
        if (cell < 0 || cell >= 64 || std::any_of(game.begin(), game.end(), [cell](auto s) { return s.first == cell; })) {
            QTest::qFail(qPrintable(QStringLiteral("bad shot %1").arg(cell)), __FILE__, __LINE__);
            return game;
        }
        const bool isHit = answer ? answer(cell) : (fleet >> cell & 1);
        hit |= std::uint64_t(isHit) << cell;
        player.record(cell, isHit);
        game.emplace_back(cell, isHit);
    }
    return game;
}

} // namespace

class TestStrategy : public QObject
{
    Q_OBJECT

private slots:
    void isLegal_data()
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
    void isLegal()
    {
        QFETCH(Fleet, fleet);
        QFETCH(bool, legal);
        QCOMPARE(fleet.isLegal(), legal);
    }

    void tableHoldsEveryLegalFleetOnce()
    {
        // Counted here without the table: every start and direction of each ship.
        std::vector<std::uint64_t> placed[3];
        for (int s = 0; s < 3; ++s)
            for (int start = 0; start < 64; ++start)
                for (bool horizontal : {true, false})
                    if ((horizontal ? start % 8 : start / 8) + Fleet::shipLengths[s] <= 8)
                        placed[s].push_back(Fleet::Ship{Fleet::shipLengths[s], start, horizontal}.cells());
        std::size_t legal = 0;
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
            const auto place = [&fleet](int s) { return std::uint64_t(fleet.ship(s).start * 2 + fleet.ship(s).horizontal); };
            keys.push_back(place(0) << 14 | place(1) << 7 | place(2));
        }
        std::sort(keys.begin(), keys.end());
        QVERIFY(std::adjacent_find(keys.begin(), keys.end()) == keys.end());
    }

    void placementIsUniform_data()
    {
        QTest::addColumn<int>("ship"); // -1: the 64 cells, each fleet marking 12
        QTest::newRow("cells") << -1;
        QTest::newRow("5-ship") << 0;
    }
    void placementIsUniform()
    {
        QFETCH(int, ship);
        const auto categories = [ship](const Fleet &fleet) {
            std::vector<int> out;
            for (std::uint64_t b = fleet.cells(); ship < 0 && b; b &= b - 1)
                out.push_back(std::countr_zero(b));
            if (ship >= 0)
                out.push_back(fleet.ship(ship).start * 2 + fleet.ship(ship).horizontal);
            return out;
        };
        const FleetTable &table = FleetTable::instance();
        const int draws = 100000;
        std::map<int, double> expected, observed;
        for (std::size_t i = 0; i < table.size(); ++i)
            for (int c : categories(table.fleet(i)))
                expected[c] += double(draws) / double(table.size());
        std::mt19937_64 rng(20240611);
        for (int i = 0; i < draws; ++i) {
            const Fleet fleet = Strategy::drawFleet(rng);
            QVERIFY(fleet.isLegal());
            for (int c : categories(fleet))
                observed[c] += 1;
        }
        // Pearson's statistic has a mean of at most the number of categories (52 for the
        // cells, tied by the 12 per fleet); the bound is six standard deviations above
        // it. A biased draw (one ship after the other, say) lands far beyond it.
        double chiSquare = 0;
        for (const auto &[c, e] : expected)
            chiSquare += std::pow(observed[c] - e, 2) / e;
        QVERIFY2(chiSquare < expected.size() + 6 * std::sqrt(2.0 * expected.size()), qPrintable(QString::number(chiSquare)));
    }

    void shotsStayOnFreshCells_data()
    {
        QTest::addColumn<Level>("level");
        QTest::addColumn<Opponent>("opponent");
        const std::pair<const char *, Opponent> opponents[]{
            {"honest", Opponent::Honest}, {"fleet moved each game", Opponent::Moved},
            {"one answer in ten flipped", Opponent::Flipping}, {"always hit", Opponent::AlwaysHit}, {"always miss", Opponent::AlwaysMiss}};
        for (const auto &[levelName, level] : levels)
            for (const auto &[opponentName, opponent] : opponents)
                QTest::addRow("%s, %s", levelName, opponentName) << level << opponent;
    }
    void shotsStayOnFreshCells()
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
                const auto answer = [&](int cell) {
                    if (opponent == Opponent::AlwaysHit || opponent == Opponent::AlwaysMiss)
                        return opponent == Opponent::AlwaysHit;
                    return bool(fleet >> cell & 1) != (opponent == Opponent::Flipping && rng() % 10 == 0);
                };
                // A liar never lets the game end: every cell gets fired at.
                play(player, lying ? ~std::uint64_t(0) : fleet, 64, answer);
                if (QTest::currentTestFailed())
                    return;
                if (lying)
                    QCOMPARE(player.nextShot(), -1);
                player.newGame();
            }
        }
    }

    void memoryAcrossGames_data()
    {
        QTest::addColumn<Level>("level");
        QTest::addColumn<int>("firstGameShots"); // 64: played until the fleet is sunk
        for (const auto &[name, level] : levels) {
            QTest::addRow("%s after a won game", name) << level << 64;
            QTest::addRow("%s after a lost game", name) << level << 15;
        }
    }
    void memoryAcrossGames()
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
                for (std::size_t i = 0; i < first.size(); ++i)
                    fresh.record(fresh.nextShot(), false);
                fresh.newGame();
                QVERIFY(play(fresh, fleet) == second);
            } else if (firstGameShots == 64) {
                QCOMPARE(second.size(), std::size_t(12));
            } else {
                // Every cell hit before is fired at before the first miss; known water
                // is never fired at.
                std::uint64_t hits = 0, water = 0, opening = 0;
                for (const auto &[cell, hit] : first)
                    (hit ? hits : water) |= std::uint64_t(1) << cell;
                for (std::size_t i = 0; i < second.size() && second[i].second; ++i)
                    opening |= std::uint64_t(1) << second[i].first;
                QCOMPARE(opening & hits, hits);
                for (const auto &[cell, hit] : second)
                    QVERIFY(!(water >> cell & 1));
            }
        }
    }

    void decisionsFollowOnlyAnswers_data()
    {
        QTest::addColumn<Level>("level");
        for (const auto &[name, level] : levels)
            QTest::newRow(name) << level;
    }
    void decisionsFollowOnlyAnswers()
    {
        QFETCH(Level, level);
        std::mt19937_64 rng(3);
        for (int pair = 0; pair < 30; ++pair) {
            const std::uint64_t a = Strategy::drawFleet(rng).cells(), b = Strategy::drawFleet(rng).cells();
            Strategy againstA(level, 900 + pair), againstB(level, 900 + pair);
            const Game gameA = play(againstA, a), gameB = play(againstB, b);
            // Same shots up to and including the first one answered differently.
            for (std::size_t i = 0; a != b; ++i) {
                QVERIFY(i < gameA.size() && i < gameB.size());
                QCOMPARE(gameA[i].first, gameB[i].first);
                if (gameA[i].second != gameB[i].second)
                    break;
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestStrategy)
#include "tst_strategy.moc"
