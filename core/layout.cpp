// The two control tables of the game window. Only the window-level frames, the status
// frame's contents, Aaa and Label2 differ between the programs; the contents of Frame1
// and of the picture frames are shared.
#include "core/layout.h"

#include "platform/twips.h"

QRect Place::pixels() const
{
    return twips::rect(left, top, width, height);
}

namespace {

using Pictures = std::array<PictureCell, 24>;

// The indices of each horizontal picture do not run from left to right (Command4(6),
// (14) and (21) are the right-hand ends); the pictures look the same either way, and
// the indices are kept as the game numbers them.
constexpr Pictures pictures()
{
    constexpr CellCode L = CellCode::clrLarge, M = CellCode::clrMedium, S = CellCode::clrSmall;
    return {{
        {3, {975, 135, 285, 285}, L},  {3, {975, 435, 285, 285}, L},
        {3, {975, 705, 285, 285}, L},  {3, {975, 990, 285, 285}, L},
        {3, {975, 1275, 285, 285}, L}, {3, {2265, 690, 285, 285}, L},
        {3, {3405, 690, 285, 285}, L}, {3, {2550, 690, 285, 285}, L},
        {3, {2835, 690, 285, 285}, L}, {3, {3120, 690, 285, 285}, L},
        {4, {2865, 345, 285, 285}, M}, {4, {2865, 630, 285, 285}, M},
        {4, {2865, 915, 285, 285}, M}, {4, {2865, 1200, 285, 285}, M},
        {4, {1560, 675, 285, 285}, M}, {4, {705, 675, 285, 285}, M},
        {4, {990, 675, 285, 285}, M},  {4, {1275, 675, 285, 285}, M},
        {5, {1005, 285, 285, 285}, S}, {5, {1005, 570, 285, 285}, S},
        {5, {1005, 855, 285, 285}, S}, {5, {3210, 600, 285, 285}, S},
        {5, {2640, 600, 285, 285}, S}, {5, {2925, 600, 285, 285}, S},
    }};
}

Layout shared()
{
    Layout l;
    l.Option4 = {{{2985, 2985, 1080, 240}, {2985, 3225, 1080, 240}, {2985, 3465, 1080, 240}}};
    l.Command5 = {1965, 3420, 900, 330};
    l.orientation = {{
        {{{120, 735, 240, 285}, {1995, 705, 240, 285}}},
        {{{135, 675, 195, 210}, {2115, 720, 195, 210}}},
        {{{135, 630, 180, 180}, {2085, 660, 180, 180}}},
    }};
    l.Command4 = pictures();
    return l;
}

Layout makeClient()
{
    Layout l = shared();
    l.caption = QStringLiteral("Kelvaro(クライアント側)");
    l.clientWidth = 15360;
    l.clientHeight = 11520;
    l.Frame1 = {3615, 645, 4155, 3855};
    l.Frame2 = {8325, 645, 4155, 3855};
    l.Frame3 = {3585, 4620, 4335, 1815};
    l.Frame4 = {3585, 6495, 4350, 1635};
    l.Frame5 = {3600, 8205, 4335, 1500};
    l.Frame6 = {8235, 4620, 4305, 1575};
    l.Command2 = Place{600, 885, 3075, 420};
    l.Label1 = {225, 450, 3945, 1065};
    l.Aaa = {11745, 7890, 330, 285};
    l.Label2 = {11910, 10020, 1590, 255};
    return l;
}

Layout makeHost()
{
    Layout l = shared();
    l.caption = QStringLiteral("Kelvaro(サーバー側)");
    l.clientWidth = 15360;
    l.clientHeight = 12000;
    l.Frame1 = {3345, 900, 4155, 3855};
    l.Frame2 = {8055, 900, 4155, 3855};
    l.Frame3 = {3315, 4875, 4335, 1815};
    l.Frame4 = {3315, 6750, 4350, 1635};
    l.Frame5 = {3330, 8460, 4335, 1500};
    l.Frame6 = {7890, 4950, 4635, 1995};
    l.Label1 = {60, 420, 4530, 2070};
    l.Aaa = {12000, 9225, 105, 180};
    l.Label2 = {12825, 10065, 1335, 315};
    return l;
}

} // namespace

const Layout &layout::client()
{
    static const Layout l = makeClient();
    return l;
}

const Layout &layout::host()
{
    static const Layout l = makeHost();
    return l;
}

const Layout &layout::of(GameModel::Program program)
{
    return program == GameModel::Program::Host ? host() : client();
}

Place layout::cell(int index)
{
    return {720 + 285 * cell::column(index), 720 + 285 * cell::row(index), 285, 285};
}
