// The game window Form1 that both game programs show: the two grids, the ship selector
// and the confirm button in the own-board frame, the three submarine pictures with
// their orientation items, the status frame, the Esc hint and the hidden focus holder
// Aaa. It is built from the control table of its program (core/layout.h) and mirrors
// the Game's model: it repaints whenever the model changes and keeps no state of its
// own. Every event handler turns the event into one call of the Game.
//
// Assistive technology reads it as a player sees it: the frames by their captions, each
// grid cell by its board, row and column, with the water or submarine on it and the
// mark of a shot as its description, announced whenever the model changes it.
//
// The window is created with its button-face background, the grids placed and the
// focus on Aaa, which stands at its design place until start-up calls
// moveAaaOutOfSight(). It receives every key press before the focused control (unless
// a modal box is open) and hands it to the Game. The client's reconnect button only
// emits command2Clicked(); the window knows nothing of sockets.
//
// The keys play as the pointer does: a keyboard cursor stands on the own grid during
// placement and on the opponent's grid during play. The arrow keys move it (and take
// the focus back to Aaa), Space or Return on Aaa acts on its cell with the calls a
// pointer makes there, and the cell under it is the one assistive technology is told
// has the focus. It is view state only, drawn once a key has shown it and hidden again
// by a pointer press, by the focus going to another control, or by a change of grid;
// the first key after that shows it where it was, without moving or acting.
#pragma once

#include "core/gamemodel.h"

#include <QWidget>
#include <array>
#include <optional>

class CellButton;
class FrameBox;
class Game;
class OptionItem;
class QLabel;
class QPushButton;
struct Layout;

// Whether a game program shows its window: the computer opponent plays the host's or
// the client's side over the network without one.
enum class Presentation { Window, Headless };

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Game &game, QWidget *parent = nullptr);

    // The controls, by the game's names; Command2 is null in the host.
    CellButton *Command1(int index) const { return m_command1.at(index); }
    CellButton *Command3(int index) const { return m_command3.at(index); }
    CellButton *Command4(int index) const { return m_command4.at(index); }
    OptionItem *Option4(int item) const { return m_option4.at(item); }
    // selector 0..2 is Option1..Option3.
    OptionItem *orientationItem(int selector, int item) const { return m_orientation.at(selector).at(item); }
    QPushButton *Command5() const { return m_command5; }
    QPushButton *Command2() const { return m_command2; }
    QPushButton *Aaa() const { return m_aaa; }
    // n is 1..6, as in Frame1..Frame6.
    FrameBox *Frame(int n) const { return m_frames.at(n - 1); }
    QLabel *Label1() const { return m_label1; }
    QLabel *Label2() const { return m_label2; }

    // Start-up's step that parks the focus holder outside the visible area.
    void moveAaaOutOfSight();
    // The window's start-up steps in every game program: the focus holder parked and the
    // window at the top left of the screen.
    void takeStartPositions();

    // The game's key code of a key: 27 for Esc, as the game's Esc handling expects.
    static int keyCodeOf(int qtKey);

signals:
    void command2Clicked();

public slots:
    // Shows the model; touches only the controls whose state differs from it.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildFrames(const Layout &l);
    void buildOwnBoard(const Layout &l);
    void buildOpponentBoard();
    void buildPictures(const Layout &l);
    void buildStatus(const Layout &l);
    // The grid the keyboard cursor stands on, from the phase: 0 own, 1 opponent, -1 none.
    int cursorGrid() const;
    CellButton *cursorCell() const;
    void showCursor(bool shown);
    // Moves or acts with the cursor; true when the key was the cursor's.
    bool cursorKey(int qtKey);

    Game &m_game;
    std::array<FrameBox *, 6> m_frames{};
    std::array<CellButton *, 64> m_command1{};
    std::array<CellButton *, 64> m_command3{};
    std::array<CellButton *, 24> m_command4{};
    std::array<OptionItem *, 3> m_option4{};
    std::array<std::array<OptionItem *, 2>, 3> m_orientation{};
    QPushButton *m_command5 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_aaa = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    std::array<int, 2> m_cursorIndex{}; // per grid: the cell the cursor returns to
    bool m_cursorShown = false;
    CellButton *m_framed = nullptr; // the cell that draws the cursor now
    // What the cells show now, as the model had it; empty before the first refresh.
    std::array<std::optional<OwnCell>, 64> m_shownOwn{};
    std::array<std::optional<OpponentCell>, 64> m_shownOpponent{};
};
