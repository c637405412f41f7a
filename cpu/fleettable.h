// Every legal fleet, enumerated once per program and shared read-only: 270,000 of them.
// The computer player draws its own fleet from it and keeps, during a match, the part
// of it that agrees with what its shots have shown. Each fleet is kept twice over: as
// the union of its cells (one bitboard, for counting and filtering) and as the
// placement of each ship (to hand out a whole Fleet). Different fleets may share a
// union, as when the 5-ship and the 3-ship lie end to end on one row; the union list
// keeps every fleet, so counting over it weighs each union by how many fleets have it.
#pragma once

#include "cpu/fleet.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class FleetTable
{
public:
    static constexpr std::size_t expectedSize = 270000;

    // The one table, built on first use (thread-safe).
    static const FleetTable &instance();

    std::size_t size() const { return m_unions.size(); }
    Fleet fleet(std::size_t index) const;
    // The union of each fleet's cells, in table order.
    const std::vector<std::uint64_t> &unions() const { return m_unions; }
    // How many fleets cover each cell.
    const std::array<std::uint32_t, Fleet::cellCount> &cellCounts() const { return m_cellCounts; }
    // The heap memory the table holds.
    std::size_t bytes() const;

private:
    FleetTable();

    // Every place a ship of each length fits, horizontal ones first.
    std::array<std::vector<Fleet::Ship>, Fleet::shipCount> m_placements;
    std::vector<std::uint64_t> m_unions;
    // The placement index of each ship, 8 bits apiece, ship 0 lowest.
    std::vector<std::uint32_t> m_ships;
    std::array<std::uint32_t, Fleet::cellCount> m_cellCounts{};
};
