// The fonts of the windows. The game names Windows' Japanese faces; where they are
// missing, a Japanese gothic of the same kind stands in, so that no text falls back to
// a font without kana and kanji (drawn as empty boxes).
#pragma once

#include <QFont>

namespace fonts {

// The windows' default face: a 9 point UI gothic, sized in pixels (9 pt at 96 dpi) so
// that texts fit their twip geometry whatever the screen's resolution.
QFont window();
// The status label's face: "ＭＳ Ｐゴシック", 14.25 pt, regular.
QFont statusLabel();

} // namespace fonts
