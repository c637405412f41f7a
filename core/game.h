// The game procedures of one program over its GameModel: placement (MasHaiti,
// OptionValue, preview, drop, confirmation), firing and Hougeki, Kaisi, the end of a
// game and SyuRyou, the Esc question, and the common handling of received messages.
// Side effects leave only through the three interfaces it is given: the message sink,
// the dialogs and the program exit.
//
// Every entry point is one handler. Handlers run one at a time: a message that arrives
// while a handler waits in a box is queued and handled after that handler ends, in
// arrival order. After End() nothing more runs.
#pragma once

#include "core/gamemodel.h"
#include "platform/dialogs.h"
#include "protocol/dispatch.h"

#include <QByteArray>
#include <deque>
#include <functional>

class MessageSink;
class ProgramExit;
class RandomSource;

class Game : public QObject, public MessageHandler
{
    Q_OBJECT
public:
    // `random` is used only by the host's Kaisi and may be null for the client.
    Game(GameModel::Program program, MessageSink &sink, Dialogs &dialogs, ProgramExit &exit,
         RandomSource *random, QObject *parent = nullptr);

    GameModel &model() { return m_model; }
    const GameModel &model() const { return m_model; }
    bool ended() const { return m_ended; }
    // From the start of play until the game's result: shots count only then.
    bool playing() const { return m_playing; }

    // The box this game has open now, by what it asks or tells, so that a player who
    // answers boxes without reading them (the computer) needs no box text. Notice is a
    // box whose text the caller gives (the peer left); None: no box of this game's.
    enum class Box {
        None, Notice, Greeting, NotAllPlaced, PlacementQuestion, Won, Lost, RematchQuestion,
        QuitQuestion,
    };
    Box openBox() const { return m_openBox; }

    // Start-up procedures.
    void MasHaiti();
    void OptionValue();
    // The start-up steps every game program shares: MasHaiti, OptionValue, then the
    // placement phase.
    void beginPlacement();

    // Window events (one handler each).
    void ownCellMouseMove(int index);    // Command1 MouseMove: preview
    void ownCellMouseDown(int index);    // Command1 MouseDown: drop
    void frame1MouseMove();              // host only: preview vanishes over the margin
    void command5Click();                // confirmation
    void command3Click(int index);       // firing
    void option4Click(int item);         // ship selector item clicked
    void orientationClick(int selector, int item); // Option1..3 (selector 0..2)
    void keyDown(int keyCode);           // key preview: 27 asks whether to quit

    // A whole received message text (from the connection's MessageStream).
    void receive(const QByteArray &text);
    // Runs `step` as a handler of its own: after any handler that is running now, and
    // before the messages that arrive later. Programs route their own socket events
    // (greeting, accept, close) through it.
    void post(std::function<void()> step);

    // Game procedures, also called by the handlers above.
    void Hougeki(quint8 n);
    void Kaisi();
    void SyuRyou();
    // Ends the program at once: nothing else runs afterwards.
    void endProgram(int status = 0);
    // The peer is gone: in its turn (after the messages that came before, and after a
    // box the player is answering now) the player is told `text`, and the program ends.
    void peerLeft(const QString &text);

    // MessageHandler: the branches of a received message.
    void onHello() override;
    void onPlaced() override;
    void onFirstShot(bool clientFirst) override;
    void onShot(int cell) override;
    void onResult(bool hit) override;
    void onMake() override;
    void onKati() override;

    // The host's greeting once it has accepted its opponent at `remote`: says hello and
    // offers the confirm button. The host program and the in-memory link both greet
    // through this one step.
    void greetPeer(const QString &remote);

    // The greeting branch needs the connection's remote address; the client sets it.
    void setRemoteAddressSource(std::function<QString()> source) { m_remoteAddress = std::move(source); }

signals:
    // The peer answered our shot at `cell` (nLastShot), once the opponent board shows it.
    void shotAnswered(int cell, bool hit);
    // The peer's shot at our `cell` was answered, once the own board shows it.
    void shotTaken(int cell, bool hit);

private:
    void send(const QByteArray &message);
    void run(std::function<void()> handler);
    void drain();
    void preview(int index);
    void confirm();
    void clearCode(CellCode code);
    bool placementOpen() const;
    Dialogs::Answer box(Box kind, const QString &text,
                        Dialogs::Buttons buttons = Dialogs::Buttons::Ok, const QString &title = {});

    GameModel m_model;
    MessageSink &m_sink;
    Dialogs &m_dialogs;
    ProgramExit &m_exit;
    RandomSource *m_random;
    std::function<QString()> m_remoteAddress;
    std::deque<std::function<void()>> m_queue;
    bool m_busy = false;
    bool m_ended = false;
    Box m_openBox = Box::None;
    // Guards against what only a misbehaving peer sends: a result nobody asked for
    // would mark a cell never fired at, and a placement notice during play would start
    // the next game before the peer has confirmed it.
    bool m_shotPending = false; // a shot of ours awaits its result
    bool m_playing = false;     // from the start of play until the game's result
};
