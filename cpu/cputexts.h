// The Japanese texts the computer opponent adds to the game's own: the strength
// question, the names of the strengths, and how the window and the status name the
// computer where they would name the opponent's address.
#pragma once

#include "cpu/strategy.h"

#include <QString>

namespace cputexts {

inline const QString chooserTitle = QStringLiteral("Kelvaro CPU対戦");
inline const QString chooserPrompt = QStringLiteral("コンピュータの強さを選んでください");

inline QString levelName(Strategy::Level level)
{
    switch (level) {
    case Strategy::Level::Weak: return QStringLiteral("よわい");
    case Strategy::Level::Normal: return QStringLiteral("ふつう");
    case Strategy::Level::Strong: return QStringLiteral("つよい");
    }
    return {};
}

// The window's title and the name the status gives the opponent.
inline QString windowTitle(Strategy::Level level)
{
    return QStringLiteral("Kelvaro(CPU・%1)").arg(levelName(level));
}
inline QString opponentName(Strategy::Level level)
{
    return QStringLiteral("CPU（%1）").arg(levelName(level));
}

} // namespace cputexts
