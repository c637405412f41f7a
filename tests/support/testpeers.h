// Test doubles shared by the game tests: a sink that records what a side sends, a
// random source that returns scripted draws, and an in-memory link that joins two game
// cores back to back the way one TCP connection would.
#pragma once

#include "core/game.h"
#include "core/memorylink.h"
#include "core/messagesink.h"
#include "platform/programexit.h"
#include "platform/random.h"
#include "platform/scripteddialogs.h"
#include "protocol/messagestream.h"

#include <QByteArrayList>
#include <deque>
#include <memory>

class RecordingSink : public MessageSink
{
public:
    void send(const QByteArray &message) override { sent << message; }
    QByteArrayList sent;
};

class ScriptedRandom : public RandomSource
{
public:
    explicit ScriptedRandom(std::initializer_list<float> draws = {}) : m_draws(draws) {}
    void push(float r) { m_draws.push_back(r); }
    float Rnd() override
    {
        ++draws;
        if (m_draws.empty())
            return 0.0f;
        const float r = m_draws.front();
        m_draws.pop_front();
        return r;
    }
    int draws = 0;

private:
    std::deque<float> m_draws;
};

// One side of a back-to-back match: an end of the program's in-memory link (the bytes
// sent and not yet delivered), with its game, its boxes and its exit.
class MatchSide : public LinkEnd
{
public:
    MatchSide(GameModel::Program program, RandomSource *random);
    void send(const QByteArray &message) override;

    ScriptedDialogs dialogs;
    RecordingExit exit;
    QByteArrayList sent;  // everything sent, in order
    std::unique_ptr<Game> owned;
    GameModel &model() { return game->model(); }
};

class Link
{
public:
    // The host draws from `hostRandom` (may be null: the LcgRandom of the programs).
    explicit Link(RandomSource *hostRandom = nullptr);

    MatchSide host;
    MatchSide client;

    // Start-up of both programs and the greeting, as over a fresh connection.
    void startUp();
    void greet();
    // Delivers everything in flight, both ways, each side's pending bytes as one read,
    // until nothing is left. Returns the number of reads delivered.
    int pump();
    // Delivers only what `from` has sent so far, to the other side, as one read.
    void deliverFrom(MatchSide &from);

    // Places the standard fleet through the placement procedures: large horizontal at
    // cells 0..4, medium horizontal at 16..19, small vertical at 40, 48, 56.
    static void placeFleet(Game &game);
    static QList<int> fleetCells() { return {0, 1, 2, 3, 4, 16, 17, 18, 19, 40, 48, 56}; }
    // The 52 cells the standard fleet leaves as water, in order.
    static QList<int> waterCells();
    // Confirms the fleet with Yes.
    static void confirm(MatchSide &side);

private:
    LcgRandom m_defaultRandom;
    MemoryLink m_link;
};
