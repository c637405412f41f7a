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
    : QObject(parent), m_game(game), m_settings(settings), m_rng(settings.seed),
      m_strategy(settings.level, m_rng()), m_fleet(Strategy::drawFleet(m_rng))
{
    dialogs.setAnswerer([this](const QString &text, Dialogs::Buttons buttons) {
        return answer(text, buttons);
    });
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &Player::act);
    connect(&m_game.model(), &GameModel::changed, this, &Player::look);
    look();
}

void Player::look()
{
    const GameModel &m = m_game.model();
    if (!m_connected && m.bConnected) {
        m_connected = true;
        emit connected();
    }
    if (m_pending >= 0 && !m.Command3[m_pending].mark.isEmpty()) {
        m_strategy.record(m_pending, m.Command3[m_pending].mark == marks::hit);
        m_mine << m_pending;
        m_pending = -1;
    }
    for (int i = 0; i < cell::count; ++i) {
        const std::uint64_t bit = std::uint64_t(1) << i;
        if (!m.Command1[i].mark.isEmpty() && !(m_peerShots & bit)) {
            m_peerShots |= bit;
            m_theirs << i;
        }
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
    if (m_game.playing() && m.bMyTurn && m_pending < 0 && !m_over)
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
    const GameModel &m = m_game.model();
    int cell = m_strategy.nextShot();
    // The strategy and the board agree on what was fired at; should they ever not, the
    // board decides, so that no shot is lost or repeated.
    if (cell < 0 || cell >= cell::count || !m.Command3[cell].enabled)
        for (cell = 0; cell < cell::count && !m.Command3[cell].enabled; ++cell) {}
    m_pending = cell;
    m_game.command3Click(cell);
}

Dialogs::Answer Player::answer(const QString &text, Dialogs::Buttons buttons)
{
    if (buttons == Dialogs::Buttons::YesNo) {
        if (text == texts::placementOk)
            return Dialogs::Answer::Yes;
        if (text == texts::again) {
            if (m_settings.games && m_games >= *m_settings.games)
                return Dialogs::Answer::No;
            nextGame();
            return Dialogs::Answer::Yes;
        }
        return Dialogs::Answer::No;
    }
    if (text == texts::won || text == texts::lost)
        endOfGame(text == texts::won);
    else if (text != texts::connected && text != texts::notAllPlaced)
        emit notice(text);
    return Dialogs::Answer::Ok;
}

void Player::endOfGame(bool won)
{
    m_over = true;
    ++m_games;
    emit gameOver(m_games, won, m_mine, m_theirs);
}

void Player::nextGame()
{
    // The marks of the game just played are still on the boards; the rematch clears
    // them right after this answer, before the model next tells of a change.
    m_over = false;
    m_pending = -1;
    m_peerShots = 0;
    m_mine.clear();
    m_theirs.clear();
    m_strategy.newGame();
}
