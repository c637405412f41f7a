// The computer as a player of one game core. It plays the core it is given (the host's
// or the client's side) only through the entry points a person's clicks reach: it
// chooses each submarine and its orientation, moves onto a cell and drops it there,
// confirms, and fires at a cell of the opponent board when the model says it is its
// turn. It answers its own boxes by what the core says each box is, never by its text
// (Yes to its placement; Yes to a rematch until the number of games it was asked to
// play is reached).
//
// What it knows of the opponent is what the core tells of its own shots and of the
// peer's: the Strategy it asks for the next cell is told only its shots and their
// answers. Moves come after a pause that looks human (half to one and a half times the
// thinking time, at random), always from the event loop, never inside a handler. The
// answerer it hands its dialogs is taken back when the player goes, so the dialogs may
// outlive it.
#pragma once

#include "cpu/fleet.h"
#include "cpu/strategy.h"
#include "platform/dialogs.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <random>

class ComputerDialogs;
class Game;

class Player : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        Strategy::Level level = Strategy::Level::Normal;
        int thinkMs = 1000;             // 0: move as soon as the event loop allows
        std::optional<int> games;       // stop after this many games (no rematch)
        std::uint64_t seed = 0;
    };

    Player(Game &game, ComputerDialogs &dialogs, const Settings &settings,
           QObject *parent = nullptr);
    ~Player() override;

    const Fleet &fleet() const { return m_fleet; }
    int gamesPlayed() const { return m_games; }

signals:
    // The peer is there: the host accepted it, or the client was greeted.
    void connected();
    // A game is over; the cells each side fired at, in order.
    void gameOver(int number, bool won, const QList<int> &mine, const QList<int> &theirs);
    // A box that tells something other than a game's result: the peer left, the
    // connection failed, the port is taken.
    void notice(const QString &text);

private:
    enum class Move { None, Place, Confirm, Fire };

    void look();
    Move due() const;
    void act();
    void place();
    void fire();
    void shotAnswered(int cell, bool hit);
    void shotTaken(int cell);
    Dialogs::Answer answer(const QString &text, Dialogs::Buttons buttons);
    void endOfGame(bool won);
    void nextGame();

    Game &m_game;
    ComputerDialogs &m_dialogs;
    Settings m_settings;
    std::mt19937_64 m_rng;
    Strategy m_strategy;
    Fleet m_fleet;               // drawn once: the fleet stays in place for the match
    QTimer m_pause;
    bool m_connected = false;
    bool m_over = false;         // this game's result is in, the rematch not yet
    int m_games = 0;             // games finished
    bool m_shotInFlight = false; // our shot awaits its answer
    QList<int> m_mine;
    QList<int> m_theirs;
};
