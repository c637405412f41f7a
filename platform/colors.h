// The colours of the game: the system's button-face colour for water and for every
// window and frame background, and the three fixed submarine colours. Colours are
// compared by exact value.
#pragma once

#include <QColor>

namespace colors {

// Resolved from the running application's palette each time, like a system colour
// reference; needs a QGuiApplication.
QColor buttonFace();

inline QColor large() { return QColor(0xFF, 0xFF, 0xFF); }
inline QColor medium() { return QColor(0x00, 0x00, 0xFF); }
inline QColor small() { return QColor(0xFF, 0x00, 0x00); }

} // namespace colors
