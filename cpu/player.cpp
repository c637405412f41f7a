#include "cpu/player.h"

#include "core/game.h"
#include "core/texts.h"
#include "cpu/computerdialogs.h"

// The strategy knows the fleet without the game core; both must mean the same ships by
// the same selector items.
static_assert(Fleet::shipLengths[0] == submarine::ships[0].length
              && Fleet::shipLengths[1] == submarine::ships[1].length
              && Fleet::shipLengths[2] == submarine::ships[2].length);

Player::Player(Game &game, ComputerDialogs &dialogs, const Settings &settings, QObject *parent)
    : QObject(parent), m_game(game), m_dialogs(dialogs), m_settings(settings),
      m_rng(settings.seed), m_strategy(settings.level, m_rng()),
      m_fleet(Strategy::drawFleet(m_rng))
{
    m_dialogs.setAnswerer([this](const QString &text, Dialogs::Buttons buttons) {
        return answer(text, buttons);
    });
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &Player::act);
    connect(&m_game.model(), &GameModel::changed, this, &Player::look);
    connect(&m_game, &Game::shotAnswered, this, &Player::shotAnswered);
    connect(&m_game, &Game::shotTaken, this, &Player::shotTaken);
    look();
}

Player::~Player()
{
    m_dialogs.setAnswerer({});
}

void Player::look()
{
    const GameModel &m = m_game.model();
    if (!m_connected && m.bConnected) {
        m_connected = true;
        emit connected();
    }
    if (m_pause.isActive() || m_game.ended())
        return;
    const Move move = due();
    if (move == Move::None)
        return;
    int pause = 0;
    if (move != Move::Place && m_settings.thinkMs > 0) {
        std::uniform_int_distribution<int> around(m_settings.thinkMs / 2, m_settings.thinkMs * 3 / 2);
        pause = around(m_rng);
    }
    m_pause.start(pause);
}

Player::Move Player::due() const
{
    const GameModel &m = m_game.model();
    if (m.sPhase == texts::phasePlacement && !m.bMyReady && m.waterCount() == cell::count)
        return Move::Place;
    if (m.command5Visible && !m.bMyReady && m.waterCount() == cell::count - Fleet::fleetCells)
        return Move::Confirm;
    if (m_game.playing() && m.bMyTurn && !m_shotInFlight && !m_over)
        for (const OpponentCell &c : m.Command3)
            if (c.enabled)
                return Move::Fire;
    return Move::None;
}

void Player::act()
{
    // The state may have moved on while the pause ran: decide again now.
    switch (due()) {
    case Move::Place: place(); break;
    case Move::Confirm: m_game.command5Click(); break;
    case Move::Fire: fire(); break;
    case Move::None: break;
    }
    look();
}

void Player::place()
{
    for (int k = 0; k < Fleet::shipCount; ++k) {
        const Fleet::Ship &ship = m_fleet.ship(k);
        const int horizontalItem = submarine::ships[k].horizontalItem;
        m_game.option4Click(k);
        m_game.orientationClick(k, ship.horizontal ? horizontalItem : 1 - horizontalItem);
        m_game.ownCellMouseMove(ship.start);
        m_game.ownCellMouseDown(ship.start);
    }
}

void Player::fire()
{
    // The open cells of the opponent board are exactly those the strategy has not named
    // in this game: the core opens them all at the start of play, every shot fired is
    // the strategy's, and both start the next game at the same rematch answer. So the
    // cell named is open, and the core's answer tells the strategy of it.
    m_shotInFlight = true;
    m_game.command3Click(m_strategy.nextShot());
}

void Player::shotAnswered(int cell, bool hit)
{
    m_strategy.record(cell, hit);
    m_mine << cell;
    m_shotInFlight = false;
}

void Player::shotTaken(int cell)
{
    m_theirs << cell;
}

Dialogs::Answer Player::answer(const QString &text, Dialogs::Buttons buttons)
{
    switch (m_game.openBox()) {
    case Game::Box::PlacementQuestion:
        return Dialogs::Answer::Yes;
    case Game::Box::RematchQuestion:
        if (m_settings.games && m_games >= *m_settings.games)
            return Dialogs::Answer::No;
        nextGame();
        return Dialogs::Answer::Yes;
    case Game::Box::QuitQuestion: // only Esc asks it, and the computer presses no key
        return Dialogs::Answer::No;
    case Game::Box::Won:
    case Game::Box::Lost:
        endOfGame(m_game.openBox() == Game::Box::Won);
        break;
    case Game::Box::Greeting:
    case Game::Box::NotAllPlaced:
        break;
    case Game::Box::Notice:
    case Game::Box::None: // a box of the program around the game: why it cannot go on
        emit notice(text);
        break;
    }
    return buttons == Dialogs::Buttons::Ok ? Dialogs::Answer::Ok : Dialogs::Answer::No;
}

void Player::endOfGame(bool won)
{
    m_over = true;
    ++m_games;
    emit gameOver(m_games, won, m_mine, m_theirs);
}

void Player::nextGame()
{
    m_over = false;
    m_shotInFlight = false;
    m_mine.clear();
    m_theirs.clear();
    m_strategy.newGame();
}
