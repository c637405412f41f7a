// The client program's own texts.
#pragma once

#include <QString>

namespace clienttexts {

inline const QString askAddress = QStringLiteral("接続先のIPアドレスを入力してください。");
inline const QString askAddressTitle = QStringLiteral("接続");
inline const QString connectFailed = QStringLiteral("接続に失敗しました。\r\n"
                                                    "相手のパソコンが待機中になってません。");
inline const QString connectFailedTitle = QStringLiteral("接続エラー");
inline const QString reconnectCaption = QStringLiteral("接続！");
inline const QString disconnected = QStringLiteral("サーバから切断されました\r\n");
inline const QString disconnectedTitle = QStringLiteral("切断されました");

// The status label while an attempt that the reconnect button started is under way, and
// why the last attempt failed, with what the player can do about it.
inline const QString attempting = QStringLiteral("接続しています…");
inline const QString refused = QStringLiteral("相手が待機していません。"
                                              "相手が起動してから再接続してください");
inline const QString unreachable = QStringLiteral("相手のパソコンに届きません。"
                                                  "ネットワークを確かめて再接続してください");
inline const QString unknownHost = QStringLiteral("その名前のパソコンが見つかりません。"
                                                  "入力を確かめて起動し直してください");
inline const QString noAnswer = QStringLiteral("相手から応答がありません。"
                                               "アドレスとネットワークを確かめてください");

} // namespace clienttexts
