// One side's hidden fleet as the computer player sees it: three straight submarines of
// lengths 5, 4 and 3 on the 8 by 8 board, cells numbered 0..63 row by row. Each ship is
// named by its lowest-index (top-left) cell and its direction, which is how a player
// places it with clicks; its cells also come as a bitboard (bit i = cell i).
#pragma once

#include <array>
#include <cstdint>

class Fleet
{
public:
    struct Ship
    {
        int length = 0;
        int start = 0; // the lowest-index (top-left) cell
        bool horizontal = true;

        // The ship's cells as a bitboard, or 0 if it does not fit on the board.
        std::uint64_t cells() const;
        // The k-th cell from start (k < length).
        int cell(int k) const { return start + k * (horizontal ? 1 : 8); }

        friend bool operator==(const Ship &, const Ship &) = default;
    };

    static constexpr int boardSide = 8;
    static constexpr int cellCount = boardSide * boardSide;
    static constexpr int shipCount = 3;
    static constexpr std::array<int, shipCount> shipLengths{5, 4, 3};
    static constexpr int fleetCells = 12;

    Fleet() = default;
    explicit Fleet(const std::array<Ship, shipCount> &ships) : m_ships(ships) { }

    // Ship 0 is the 5-ship, ship 1 the 4-ship, ship 2 the 3-ship.
    const Ship &ship(int index) const { return m_ships[index]; }
    // Every cell of the fleet as one bitboard.
    std::uint64_t cells() const;
    // True when the ships have the right lengths, lie inside the board and do not
    // overlap.
    bool isLegal() const;

    friend bool operator==(const Fleet &, const Fleet &) = default;

private:
    std::array<Ship, shipCount> m_ships{};
};
