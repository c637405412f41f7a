// The computer player's side of the shooting, and its fleet. A Strategy names the next
// cell to fire at and is told whether that shot hit; it knows nothing else of the game,
// so what it decides follows from its own shots, their answers and its random source
// alone. It is a plain value: copy it and both copies go on alike.
//
// Weak fires at random. Normal hunts on a checkerboard and, after a hit, fires next to
// it, first where two hits in a line point. Strong keeps every fleet that agrees with
// all answers so far and fires at the cell most of them cover; as the fleet stays put
// for a whole match, it keeps that knowledge from game to game, and sinks a fleet it
// has sunk before in twelve shots. Answers that no fleet agrees with (a lying or broken
// opponent) make it drop what earlier games taught it, and then hunt as Normal does;
// no answer ever makes it fire at a cell twice in a game.
//
// Every call of nextShot() that names a cell takes exactly one number from the random
// source, so two players with the same seed make the same random choices shot by shot.
#pragma once

#include "cpu/fleet.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

class Strategy
{
public:
    enum class Level { Weak, Normal, Strong };

    Strategy(Level level, std::uint64_t seed);

    // A fleet drawn uniformly from all legal fleets.
    static Fleet drawFleet(std::mt19937_64 &rng);

    Level level() const { return m_level; }

    // The next cell to fire at in this game, never one fired at before in it; -1 once
    // all 64 have been.
    int nextShot();
    // The answer to a shot that nextShot() named in this game; any other call (a cell
    // not named, or already answered) is ignored.
    void record(int cell, bool hit);
    // The next game of the same match, against the same fleet.
    void newGame();

    // The heap memory the player holds now (the shared fleet table not included).
    std::size_t bytes() const { return m_candidates.capacity() * sizeof(std::uint64_t); }

private:
    int strongShot();
    int huntShot();
    void learn(int cell, bool hit);
    void keepAgreeing();
    void forgetMatch();

    Level m_level;
    std::mt19937_64 m_rng;
    // This game: the cells named, those answered, and those answered "hit".
    std::uint64_t m_fired = 0;
    std::uint64_t m_answered = 0;
    std::uint64_t m_hits = 0;
    // Strong, this match: the cells known to hold a ship and known to be water.
    std::uint64_t m_knownHits = 0;
    std::uint64_t m_knownWater = 0;
    // Strong: the unions of the fleets that agree with what is known; unused while
    // nothing is known (every fleet agrees) or once no fleet does.
    bool m_everyFleet = true;
    bool m_noFleet = false;
    std::vector<std::uint64_t> m_candidates;
    // Normal: which colour of the checkerboard it hunts on (0 or 1).
    int m_parity = 0;
};
