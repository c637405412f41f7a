// The three ways of shooting. Cells are bits of one 64-bit word throughout: the shots
// of this game, their hits, and for Strong the union of each fleet still possible.
#include "cpu/strategy.h"

#include "cpu/fleettable.h"

#include <algorithm>
#include <array>
#include <bit>

namespace {

using Bits = std::uint64_t;
using CellCounts = std::array<std::uint32_t, Fleet::cellCount>;

constexpr Bits allCells = ~Bits(0);
constexpr Bits firstColumn = 0x0101010101010101ULL;
constexpr Bits lastColumn = 0x8080808080808080ULL;
// The cells whose row and column add up to an even number.
constexpr Bits evenSquares = 0x55AA55AA55AA55AAULL;

constexpr Bits bit(int cell) { return Bits(1) << cell; }

// One of the cells of a non-empty set, each as likely, for one number from `rng`.
int randomCell(Bits cells, std::mt19937_64 &rng)
{
    for (int k = int(rng() % unsigned(std::popcount(cells))); k > 0; --k)
        cells &= cells - 1;
    return std::countr_zero(cells);
}
// Each cell moved one step; cells that would leave the board drop out.
constexpr Bits east(Bits b) { return (b & ~lastColumn) << 1; }
constexpr Bits west(Bits b) { return (b & ~firstColumn) >> 1; }
constexpr Bits south(Bits b) { return b << 8; }
constexpr Bits north(Bits b) { return b >> 8; }

// Three words in, their per-bit sum out as a two-bit number (high, low).
inline void addThree(Bits &high, Bits &low, Bits a, Bits b, Bits c)
{
    const Bits u = a ^ b;
    high = (a & b) | (u & c);
    low = u ^ c;
}

// For each cell, how many of the words have its bit set. The words go through a
// carry-save adder tree eight at a time (Harley and Seal), so that most of the
// counting is a handful of bit operations per word; every eighth of the total is
// carried into a bit-sliced counter, read out once at the end.
CellCounts countCells(const std::vector<Bits> &words)
{
    constexpr int sliceCount = 20; // 2^20 eights are more than the table holds
    std::array<Bits, sliceCount> eightsCount{};
    Bits ones = 0, twos = 0, fours = 0;
    const Bits *w = words.data();
    const std::size_t n = words.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        Bits twosA, twosB, foursA, foursB, eights;
        addThree(twosA, ones, ones, w[i], w[i + 1]);
        addThree(twosB, ones, ones, w[i + 2], w[i + 3]);
        addThree(foursA, twos, twos, twosA, twosB);
        addThree(twosA, ones, ones, w[i + 4], w[i + 5]);
        addThree(twosB, ones, ones, w[i + 6], w[i + 7]);
        addThree(foursB, twos, twos, twosA, twosB);
        addThree(eights, fours, fours, foursA, foursB);
        for (int k = 0; eights != 0; ++k) {
            const Bits carry = eightsCount[k] & eights;
            eightsCount[k] ^= eights;
            eights = carry;
        }
    }
    CellCounts counts{};
    for (; i < n; ++i) {
        for (Bits b = w[i]; b; b &= b - 1)
            ++counts[std::countr_zero(b)];
    }
    const auto addWeighted = [&counts](Bits b, std::uint32_t weight) {
        for (; b; b &= b - 1)
            counts[std::countr_zero(b)] += weight;
    };
    addWeighted(ones, 1);
    addWeighted(twos, 2);
    addWeighted(fours, 4);
    for (int k = 0; k < sliceCount; ++k)
        addWeighted(eightsCount[k], std::uint32_t(8) << k);
    return counts;
}

} // namespace

Strategy::Strategy(Level level, std::uint64_t seed) : m_level(level), m_rng(seed)
{
    m_parity = int(m_rng() & 1);
}

Fleet Strategy::drawFleet(std::mt19937_64 &rng)
{
    const FleetTable &table = FleetTable::instance();
    std::uniform_int_distribution<std::size_t> index(0, table.size() - 1);
    return table.fleet(index(rng));
}

int Strategy::nextShot()
{
    if (m_fired == allCells)
        return -1;
    int cell = -1;
    switch (m_level) {
    case Level::Weak:
        cell = randomCell(~m_fired, m_rng);
        break;
    case Level::Normal:
        cell = huntShot();
        break;
    case Level::Strong:
        cell = strongShot();
        break;
    }
    m_fired |= bit(cell);
    return cell;
}

void Strategy::record(int cell, bool hit)
{
    if (cell < 0 || cell >= Fleet::cellCount)
        return;
    const Bits b = bit(cell);
    if ((m_fired & b) == 0 || (m_answered & b) != 0)
        return;
    m_answered |= b;
    if (hit)
        m_hits |= b;
    if (m_level == Level::Strong)
        learn(cell, hit);
}

void Strategy::newGame()
{
    m_fired = 0;
    m_answered = 0;
    m_hits = 0;
    if (m_noFleet)
        forgetMatch();
}

// One unfired cell out of the first non-empty group: the cell just past either end of
// two or more hits in a line; a neighbour of a hit with no hit beside it; an unfired
// cell of its checkerboard colour (every ship covers one, as all are longer than one);
// a neighbour of any hit; any unfired cell.
int Strategy::huntShot()
{
    const Bits open = ~m_fired;
    const Bits hits = m_hits;
    const Bits lineEnds = east(hits & east(hits)) | west(hits & west(hits))
            | south(hits & south(hits)) | north(hits & north(hits));
    const Bits neighbours = east(hits) | west(hits) | south(hits) | north(hits);
    const Bits lonely = hits & ~neighbours;
    const Bits squares = m_parity ? ~evenSquares : evenSquares;
    const std::array<Bits, 4> groups{
        lineEnds & open,
        (east(lonely) | west(lonely) | south(lonely) | north(lonely)) & open,
        squares & open,
        neighbours & open,
    };
    for (Bits group : groups)
        if (group != 0)
            return randomCell(group, m_rng);
    return randomCell(open, m_rng);
}

// The unfired cell that most agreeing fleets cover, a random one of those tied.
int Strategy::strongShot()
{
    if (m_noFleet)
        return huntShot();
    const CellCounts counts = m_everyFleet ? FleetTable::instance().cellCounts()
                                           : countCells(m_candidates);
    std::uint32_t best = 0;
    Bits tied = 0;
    for (Bits open = ~m_fired; open; open &= open - 1) {
        const int cell = std::countr_zero(open);
        if (counts[cell] > best) {
            best = counts[cell];
            tied = bit(cell);
        } else if (counts[cell] == best) {
            tied |= bit(cell);
        }
    }
    // Every agreeing fleet lies on cells fired at already: the answers were false.
    if (best == 0)
        return huntShot();
    return randomCell(tied, m_rng);
}

void Strategy::learn(int cell, bool hit)
{
    if (m_noFleet)
        return;
    Bits &known = hit ? m_knownHits : m_knownWater;
    if (known & bit(cell))
        return;
    known |= bit(cell);
    keepAgreeing();
    if (!m_candidates.empty())
        return;
    // No fleet agrees. Perhaps the fleet was moved between games: start over from
    // this game's answers alone; if even they contradict each other, give up on
    // fleets for the rest of the match.
    m_knownHits = m_hits;
    m_knownWater = m_answered & ~m_hits;
    m_everyFleet = true;
    keepAgreeing();
    if (m_candidates.empty()) {
        forgetMatch();
        m_noFleet = true;
    }
}

void Strategy::keepAgreeing()
{
    const Bits hits = m_knownHits;
    const Bits water = m_knownWater;
    const auto agrees = [hits, water](Bits fleet) {
        return (fleet & hits) == hits && (fleet & water) == 0;
    };
    if (m_everyFleet) {
        // The first filter of a match: copy out only what agrees, sized exactly.
        const std::vector<Bits> &all = FleetTable::instance().unions();
        m_candidates.clear();
        m_candidates.reserve(std::size_t(std::count_if(all.begin(), all.end(), agrees)));
        std::copy_if(all.begin(), all.end(), std::back_inserter(m_candidates), agrees);
        m_everyFleet = false;
    } else {
        std::erase_if(m_candidates, [&agrees](Bits fleet) { return !agrees(fleet); });
    }
}

void Strategy::forgetMatch()
{
    m_knownHits = 0;
    m_knownWater = 0;
    m_everyFleet = true;
    m_noFleet = false;
    m_candidates = {};
}
