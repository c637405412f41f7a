// The state of one game program, as data: the two boards, the selections, the
// visibility of the controls the game shows and hides, the status text, and the
// window-level variables under the names the game gives them. The window mirrors this
// model and keeps no copy of its own; every change ends with changed().
#pragma once

#include <QObject>
#include <QString>
#include <array>

enum class CellCode { clrWater, clrLarge, clrMedium, clrSmall };

namespace cell {
constexpr int count = 64;
constexpr int row(int index) { return index / 8; }
constexpr int column(int index) { return index % 8; }
constexpr int index(int row, int column) { return 8 * row + column; }
} // namespace cell

// The three submarines, by their ship selector item.
namespace submarine {
struct Ship
{
    int length;
    CellCode code;
    int horizontalItem; // the orientation item that means horizontal
};
// Item 0 means vertical for the large and the small submarine but horizontal for the
// medium one; the orientation selectors were laid out that way.
inline constexpr Ship ships[3] = {
    {5, CellCode::clrLarge, 1},
    {4, CellCode::clrMedium, 0},
    {3, CellCode::clrSmall, 1},
};
} // namespace submarine

namespace marks {
inline const QString hit = QStringLiteral("●");   // U+25CF
inline const QString miss = QStringLiteral("×");  // U+00D7
} // namespace marks

struct OwnCell
{
    CellCode code = CellCode::clrWater;
    QString mark;
    bool enabled = true;

    bool operator==(const OwnCell &) const = default;
};

struct OpponentCell
{
    QString mark;
    bool enabled = true;

    bool operator==(const OpponentCell &) const = default;
};

class GameModel : public QObject
{
    Q_OBJECT
public:
    enum class Program { Client, Host };

    explicit GameModel(Program program, QObject *parent = nullptr);

    Program program() const { return m_program; }
    bool isHost() const { return m_program == Program::Host; }

    // Boards, by cell index 0..63.
    std::array<OwnCell, cell::count> Command1;
    std::array<OpponentCell, cell::count> Command3;

    // Ship selector: at most one item on. Items are shown and hidden together.
    std::array<bool, 3> Option4{};
    bool option4Visible = true;
    // Orientation selectors, the item that is on (0 or 1): Option1 large, Option2
    // medium, Option3 small.
    std::array<int, 3> orientation{};

    bool command5Visible = false;              // 配置完了
    bool command2Visible = true;               // client's reconnect button
    QString command2Caption;                   // client's reconnect button caption
    bool frame6Visible = false;                // status frame
    QString Label1;                            // status text

    // Window-level variables.
    QString sPhase;
    bool bMyReady = false;
    bool bPeerReady = false;
    bool bConnected = false;
    bool bMyTurn = false;
    quint8 nLastShot = 0;
    QString sHostIp;

    // The ship item that is on, or -1.
    int selectedShip() const;
    // Turns ship item `item` on and the others off; -1 turns all off.
    void selectShip(int item);
    int waterCount() const;
    int hitCount() const;

    // Tells the window to repaint from the model.
    void notify() { emit changed(); }
    // Asks the window to move the keyboard focus to the hidden button Aaa.
    void focusAaa() { emit focusToAaa(); }

signals:
    void changed();
    void focusToAaa();

private:
    Program m_program;
};
