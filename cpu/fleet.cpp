// The cells a fleet covers and whether it may stand on the board.
#include "cpu/fleet.h"

std::uint64_t Fleet::Ship::cells() const
{
    if (length <= 0 || start < 0 || start >= cellCount)
        return 0;
    const int row = start / boardSide;
    const int column = start % boardSide;
    if ((horizontal ? column : row) + length > boardSide)
        return 0;
    std::uint64_t bits = 0;
    for (int k = 0; k < length; ++k)
        bits |= std::uint64_t(1) << cell(k);
    return bits;
}

std::uint64_t Fleet::cells() const
{
    std::uint64_t bits = 0;
    for (const Ship &ship : m_ships)
        bits |= ship.cells();
    return bits;
}

bool Fleet::isLegal() const
{
    std::uint64_t taken = 0;
    for (int i = 0; i < shipCount; ++i) {
        const Ship &ship = m_ships[i];
        const std::uint64_t bits = ship.cells();
        if (ship.length != shipLengths[i] || bits == 0 || (bits & taken) != 0)
            return false;
        taken |= bits;
    }
    return true;
}
