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

} // namespace clienttexts
