// The game procedures over the model. Each procedure keeps the steps of the game in
// their order; where the old behaviour lost a fleet cell or started play twice, the
// deviation is described at the step that makes it.
#include "core/game.h"

#include "core/messagesink.h"
#include "core/texts.h"
#include "platform/dialogs.h"
#include "platform/programexit.h"
#include "platform/random.h"
#include "protocol/messages.h"

using submarine::ships;
using submarine::Ship;

Game::Game(GameModel::Program program, MessageSink &sink, Dialogs &dialogs, ProgramExit &exit,
           RandomSource *random, QObject *parent)
    : QObject(parent), m_model(program), m_sink(sink), m_dialogs(dialogs), m_exit(exit),
      m_random(random)
{
}

// --- handler discipline -------------------------------------------------------------

void Game::run(std::function<void()> handler)
{
    if (m_ended)
        return;
    m_queue.push_back(std::move(handler));
    drain();
}

void Game::drain()
{
    // A handler that is waiting in a box is still running: whatever arrives meanwhile
    // waits in the queue and runs when that handler has ended.
    if (m_busy)
        return;
    m_busy = true;
    while (!m_queue.empty() && !m_ended) {
        std::function<void()> handler = std::move(m_queue.front());
        m_queue.pop_front();
        handler();
        m_model.notify();
    }
    m_busy = false;
}

void Game::post(std::function<void()> step)
{
    run(std::move(step));
}

void Game::send(const QByteArray &message)
{
    if (!m_ended)
        m_sink.send(message);
}

void Game::endProgram(int status)
{
    m_ended = true;
    m_queue.clear();
    m_exit.End(status);
}

void Game::peerLeft(const QString &text)
{
    run([this, text] {
        box(Box::Notice, text);
        endProgram(0);
    });
}

Dialogs::Answer Game::box(Box kind, const QString &text, Dialogs::Buttons buttons,
                          const QString &title)
{
    // The player sees the board as it stands while the box is open.
    m_model.notify();
    m_openBox = kind;
    const Dialogs::Answer answer = m_dialogs.MsgBox(text, buttons, title);
    m_openBox = Box::None;
    return answer;
}

// --- start-up -----------------------------------------------------------------------

void Game::MasHaiti()
{
    // The cells' places are fixed by the window's layout (left and top 720 + 285 per
    // column and row, in twips); what the game owns of this step is that the opponent
    // board is closed until play starts.
    for (OpponentCell &c : m_model.Command3)
        c.enabled = false;
    m_model.notify();
}

void Game::OptionValue()
{
    m_model.orientation = {0, 0, 0};
    m_model.selectShip(0);
    m_model.notify();
}

void Game::beginPlacement()
{
    MasHaiti();
    OptionValue();
    m_model.sPhase = texts::phasePlacement;
    m_model.notify();
}

// --- placement ----------------------------------------------------------------------

bool Game::placementOpen() const
{
    // Once this player has confirmed, the confirmed fleet is the one the peer fires at:
    // nothing may move or remove a submarine any more, also while waiting for the peer.
    return m_model.sPhase == texts::phasePlacement && !m_model.bMyReady;
}

void Game::clearCode(CellCode code)
{
    for (OwnCell &c : m_model.Command1)
        if (c.code == code)
            c.code = CellCode::clrWater;
}

void Game::ownCellMouseMove(int index)
{
    run([this, index] { preview(index); });
}

void Game::preview(int i)
{
    if (i < 0 || i >= cell::count || !placementOpen())
        return;
    const int item = m_model.selectedShip();
    if (item < 0)
        return;
    const Ship &ship = ships[item];
    const bool horizontal = m_model.orientation[item] == ship.horizontalItem;
    const int L = ship.length;

    int step = 0;
    if (horizontal && cell::column(i) <= 8 - L)
        step = 1;
    else if (!horizontal && cell::row(i) <= 8 - L)
        step = 8;
    if (step == 0) {
        clearCode(ship.code);
        return;
    }
    for (int k = 0; k < L; ++k) {
        const CellCode code = m_model.Command1[i + k * step].code;
        if (code != CellCode::clrWater && code != ship.code)
            return;
    }
    clearCode(ship.code);
    for (int k = 0; k < L; ++k)
        m_model.Command1[i + k * step].code = ship.code;
}

void Game::ownCellMouseDown(int index)
{
    run([this, index] {
        m_model.focusAaa();
        if (index < 0 || index >= cell::count || !placementOpen())
            return;
        const CellCode code = m_model.Command1[index].code;
        if (m_model.Option4[0]) {
            if (code == CellCode::clrLarge)
                m_model.selectShip(1);
        } else if (m_model.Option4[1]) {
            if (code == CellCode::clrMedium)
                m_model.selectShip(2);
        } else if (code == CellCode::clrSmall) {
            m_model.selectShip(-1);
        }
    });
}

void Game::frame1MouseMove()
{
    // The host's floating submarine vanishes when the pointer leaves the cells across
    // the frame's margin. Only while placing: during play it would take a ship off the
    // board the peer's shots are tested against.
    run([this] {
        if (m_model.program() != GameModel::Program::Host || !placementOpen())
            return;
        const int item = m_model.selectedShip();
        if (item >= 0)
            clearCode(ships[item].code);
    });
}

void Game::option4Click(int item)
{
    run([this, item] {
        if (item >= 0 && item < 3 && m_model.option4Visible)
            m_model.selectShip(item);
    });
}

void Game::orientationClick(int selector, int item)
{
    run([this, selector, item] {
        if (selector >= 0 && selector < 3 && (item == 0 || item == 1))
            m_model.orientation[selector] = item;
    });
}

void Game::command5Click()
{
    run([this] { confirm(); });
}

void Game::confirm()
{
    if (m_model.waterCount() != 64 - 12) {
        box(Box::NotAllPlaced, texts::notAllPlaced);
        return;
    }
    if (box(Box::PlacementQuestion, texts::placementOk, Dialogs::Buttons::YesNo, texts::confirmTitle)
        != Dialogs::Answer::Yes)
        return;
    m_model.command5Visible = false;
    m_model.bMyReady = true;
    if (m_model.bConnected)
        send(wire::placed());
    if (m_model.bPeerReady)
        Kaisi();
    m_model.option4Visible = false;
}

// --- start of play ------------------------------------------------------------------

void Game::Kaisi()
{
    // Both confirmations are consumed here, so that each side starts play exactly once
    // per game and the host draws once per game, whatever order the next game's
    // confirmations come in.
    m_model.bMyReady = false;
    m_model.bPeerReady = false;

    m_playing = true;
    m_shotPending = false;
    m_model.sPhase = texts::phaseGame;
    m_model.Label1.clear();
    for (int i = 0; i < cell::count; ++i) {
        m_model.Command1[i].enabled = false;
        m_model.Command3[i].enabled = true;
    }
    if (m_model.program() != GameModel::Program::Host)
        return;

    const float r = m_random ? m_random->Rnd() : 0.0f;
    if (r < 0.5f) {
        send(wire::youFirst());
        m_model.Label1 = texts::theirTurn;
        m_model.bMyTurn = false;
    } else {
        send(wire::meFirst());
        m_model.Label1 = texts::yourTurn;
        m_model.bMyTurn = true;
    }
}

// --- firing -------------------------------------------------------------------------

void Game::command3Click(int n)
{
    run([this, n] {
        m_model.focusAaa();
        // Once a side's fleet is sunk the game is over, although the sunk side still
        // holds the turn until the result arrives: a shot now would land in the next
        // game.
        if (!m_model.bMyTurn || !m_playing)
            return;
        // A disabled cell delivers no click in the window; the same holds for any caller.
        if (n < 0 || n >= cell::count || !m_model.Command3[n].enabled)
            return;
        m_model.nLastShot = quint8(n);
        m_model.Command3[n].enabled = false;
        send(wire::shot(n));
        m_shotPending = true;
        m_model.bMyTurn = false;
        m_model.Label1 = texts::theirTurn;
    });
}

void Game::Hougeki(quint8 n)
{
    if (n >= cell::count)
        return;
    OwnCell &target = m_model.Command1[n];
    if (target.code == CellCode::clrWater) {
        target.mark = marks::miss;
        send(wire::miss());
    } else {
        target.mark = marks::hit;
        send(wire::hit());
        if (m_model.hitCount() == 12) {
            send(wire::make());
            m_playing = false;
        }
    }
    m_model.bMyTurn = true;
    m_model.Label1 = texts::yourTurn;
    emit shotTaken(n, target.code != CellCode::clrWater);
}

// --- end of a game ------------------------------------------------------------------

void Game::SyuRyou()
{
    if (box(Box::RematchQuestion, texts::again, Dialogs::Buttons::YesNo, texts::againTitle)
        != Dialogs::Answer::Yes) {
        endProgram(0);
        return;
    }
    m_model.bMyTurn = false;
    m_model.bMyReady = false;
    m_model.command5Visible = true;
    m_model.option4Visible = true;
    m_model.selectShip(-1);
    for (int i = 0; i < cell::count; ++i) {
        m_model.Command1[i].mark.clear();
        m_model.Command1[i].enabled = true;
        m_model.Command3[i].enabled = false;
        m_model.Command3[i].mark.clear();
    }
    m_model.command5Visible = true;
}

void Game::keyDown(int keyCode)
{
    if (keyCode != 27)
        return;
    run([this] {
        if (box(Box::QuitQuestion, texts::quit, Dialogs::Buttons::YesNo, texts::confirmTitle)
            == Dialogs::Answer::Yes)
            endProgram(0);
    });
}

// --- greeting -----------------------------------------------------------------------

void Game::greetPeer(const QString &remote)
{
    send(wire::hello());
    m_model.Label1 = remote + texts::connectedWith + QStringLiteral("\r\n") + texts::placeSubmarines;
    // bConnected was set at the accept already.
    m_model.command5Visible = true;
}

// --- received messages --------------------------------------------------------------

void Game::receive(const QByteArray &text)
{
    run([this, text] {
        dispatch(text, m_model.isHost() ? Side::Host : Side::Client, *this);
    });
}

void Game::onHello()
{
    // A second greeting on the same connection would offer the confirm button again in
    // the middle of a game; only the first one counts.
    if (m_model.bConnected)
        return;
    box(Box::Greeting, texts::connected, Dialogs::Buttons::Ok, texts::connectedTitle);
    const QString address = m_remoteAddress ? m_remoteAddress() : QString();
    m_model.Label1 = address + texts::connectedWith + QStringLiteral("\r\n") + texts::placeSubmarines;
    m_model.bConnected = true;
    m_model.command5Visible = true;
    m_model.command2Visible = false;
}

void Game::onPlaced()
{
    if (m_playing)
        return;
    m_model.bPeerReady = true;
    m_model.Label1 = texts::peerPlaced;
    if (m_model.bMyReady)
        Kaisi();
}

void Game::onFirstShot(bool clientFirst)
{
    m_model.bMyTurn = clientFirst;
    m_model.Label1 = clientFirst ? texts::yourTurn : texts::theirTurn;
}

void Game::onShot(int n)
{
    // A shot outside play (before it starts, or one the loser fired after its fleet
    // was sunk, arriving during the rematch) would mark the board of the next game.
    if (m_playing && n >= 0 && n < cell::count)
        Hougeki(quint8(n));
}

void Game::onResult(bool hit)
{
    if (!m_shotPending)
        return;
    m_shotPending = false;
    m_model.Command3[m_model.nLastShot].mark = hit ? marks::hit : marks::miss;
    emit shotAnswered(m_model.nLastShot, hit);
}

void Game::onMake()
{
    m_playing = false;
    box(Box::Won, texts::won, Dialogs::Buttons::Ok, texts::wonTitle);
    send(wire::kati());
    SyuRyou();
}

void Game::onKati()
{
    m_playing = false;
    box(Box::Lost, texts::lost, Dialogs::Buttons::Ok, texts::lostTitle);
    SyuRyou();
}
