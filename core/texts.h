// The Japanese texts the game core shows: box texts and titles and status texts.
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

inline const QString phasePlacement = QStringLiteral("Haiti");
inline const QString phaseGame = QStringLiteral("Game");

} // namespace texts
