// Enumerates the fleets: every placement of the 5-ship, then of the 4-ship and the
// 3-ship that overlap nothing placed before.
#include "cpu/fleettable.h"

#include <bit>

const FleetTable &FleetTable::instance()
{
    static const FleetTable table;
    return table;
}

FleetTable::FleetTable()
{
    for (int i = 0; i < Fleet::shipCount; ++i) {
        const int length = Fleet::shipLengths[i];
        for (bool horizontal : {true, false}) {
            for (int start = 0; start < Fleet::cellCount; ++start) {
                const Fleet::Ship ship{length, start, horizontal};
                if (ship.cells() != 0)
                    m_placements[i].push_back(ship);
            }
        }
    }
    m_unions.reserve(expectedSize);
    m_ships.reserve(expectedSize);
    for (std::size_t a = 0; a < m_placements[0].size(); ++a) {
        const std::uint64_t first = m_placements[0][a].cells();
        for (std::size_t b = 0; b < m_placements[1].size(); ++b) {
            const std::uint64_t second = m_placements[1][b].cells();
            if (first & second)
                continue;
            for (std::size_t c = 0; c < m_placements[2].size(); ++c) {
                const std::uint64_t third = m_placements[2][c].cells();
                if ((first | second) & third)
                    continue;
                m_unions.push_back(first | second | third);
                m_ships.push_back(std::uint32_t(a | b << 8 | c << 16));
            }
        }
    }
    for (std::uint64_t bits : m_unions) {
        for (; bits; bits &= bits - 1)
            ++m_cellCounts[std::countr_zero(bits)];
    }
}

Fleet FleetTable::fleet(std::size_t index) const
{
    const std::uint32_t packed = m_ships[index];
    std::array<Fleet::Ship, Fleet::shipCount> ships;
    for (int i = 0; i < Fleet::shipCount; ++i)
        ships[i] = m_placements[i][(packed >> (8 * i)) & 0xff];
    return Fleet(ships);
}

std::size_t FleetTable::bytes() const
{
    std::size_t total = m_unions.capacity() * sizeof(std::uint64_t)
            + m_ships.capacity() * sizeof(std::uint32_t);
    for (const auto &list : m_placements)
        total += list.capacity() * sizeof(Fleet::Ship);
    return total;
}
