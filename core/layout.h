// Where every control of the game window stands, in twips relative to its container,
// for each of the two game programs. The client and host windows are one class built
// from one of these tables; the numbers are the game's own and are turned into pixels
// only through twips::rect when the window is built.
#pragma once

#include "core/gamemodel.h"

#include <QRect>
#include <QString>
#include <array>
#include <optional>

// A control's left, top, width and height in twips, relative to its container.
struct Place
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    QRect pixels() const;
};

// One submarine picture cell: which of Frame3/4/5 holds it and where.
struct PictureCell
{
    int frame = 3;
    Place place;
    CellCode code = CellCode::clrWater;
};

struct Layout
{
    QString caption;
    int clientWidth = 0;  // twips
    int clientHeight = 0; // twips

    // In the window.
    Place Frame1, Frame2, Frame3, Frame4, Frame5, Frame6;
    Place Aaa;    // where it stands at design, before start-up moves it away
    Place Label2;
    // In Frame6.
    Place Label1;
    std::optional<Place> Command2; // the client's reconnect button; the host has none
    // In Frame1, the same in both programs.
    std::array<Place, 3> Option4;
    Place Command5;
    // Orientation items: Option1 in Frame3, Option2 in Frame4, Option3 in Frame5.
    std::array<std::array<Place, 2>, 3> orientation;
    // The fixed submarine pictures Command4(0..23).
    std::array<PictureCell, 24> Command4;
};

namespace layout {

const Layout &client();
const Layout &host();
const Layout &of(GameModel::Program program);

// MasHaiti's place for cell `index` of either board, inside Frame1 or Frame2.
Place cell(int index);

// Where start-up parks the focus holder: outside the visible area of either window.
inline constexpr Place aaaOutOfSight{15360, 12000, 1, 1};

} // namespace layout
