// The Japanese texts the game core shows: box texts and titles, status texts, and what
// assistive technology reads for the controls that show no text of their own.
#pragma once

#include <QString>

namespace texts {

inline const QString notAllPlaced = QStringLiteral("潜水艦が全て配置されてないよ");
inline const QString placementOk = QStringLiteral("配置はこれでOK?");
inline const QString confirmTitle = QStringLiteral("確認");

inline const QString yourTurn = QStringLiteral("あなたのターンです。砲撃しましょう");
inline const QString theirTurn = QStringLiteral("相手のターンです。");
inline const QString peerPlaced = QStringLiteral("相手の陣地の配置が完了しました。");

inline const QString won = QStringLiteral("あなたは見事に勝ちました！おめでとう！");
inline const QString wonTitle = QStringLiteral("あなたの勝ち");
inline const QString lost = QStringLiteral("あなたは負けました。アナタヨワイ");
inline const QString lostTitle = QStringLiteral("あなたの負け");
inline const QString again = QStringLiteral("もっかいやるならはいをクリック\r\n"
                                            "終了するならいいえをクリックしてください");
inline const QString againTitle = QStringLiteral("アゲイン？");

inline const QString quit = QStringLiteral("Kelvaroを終了しますか?");

inline const QString connected = QStringLiteral("接続されました");
inline const QString connectedTitle = QStringLiteral("接続確認");
inline const QString connectedWith = QStringLiteral("と接続されました");
inline const QString placeSubmarines = QStringLiteral("潜水艦を配置しましょう");

// Frame captions, which also name the boards and the submarines.
inline const QString ownBoard = QStringLiteral("自分の陣地");
inline const QString opponentBoard = QStringLiteral("相手の陣地");
inline const QString large = QStringLiteral("大潜水艦");
inline const QString medium = QStringLiteral("中潜水艦");
inline const QString small = QStringLiteral("小潜水艦");
inline const QString status = QStringLiteral("状態");

// Read out for a grid cell: its board, row and column counted from 1, and what it
// holds: the water or the submarine on it (own board only) and the mark of a shot.
inline QString cellName(const QString &board, int row, int column)
{
    return QStringLiteral("%1 %2行%3列").arg(board).arg(row + 1).arg(column + 1);
}
inline const QString water = QStringLiteral("海");
inline const QString hitMark = QStringLiteral("命中（●）");
inline const QString missMark = QStringLiteral("はずれ（×）");
inline const QString vertical = QStringLiteral("縦向き");
inline const QString horizontal = QStringLiteral("横向き");

inline const QString phasePlacement = QStringLiteral("Haiti");
inline const QString phaseGame = QStringLiteral("Game");

} // namespace texts
