// The client program's own texts.
#pragma once

#include "platform/winsock.h"

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

// The status label while an attempt that the reconnect button started is under way,
// and why the last attempt failed. While the reconnect button shows, the label has one
// line above it, 13 characters in the window's font: each text names the cause in that
// line, and the button right below it is what to do.
inline const QString attempting = QStringLiteral("接続しています…");
inline const QString refused = QStringLiteral("相手が待機していません");
inline const QString unreachable = QStringLiteral("相手のパソコンに届きません");
inline const QString unknownHost = QStringLiteral("その名前が見つかりません");
inline const QString noAnswer = QStringLiteral("相手から応答がありません");
// An address typed with a port that is not a number from 1 to 65535: no attempt is made.
inline const QString badPort = QStringLiteral("ポート番号が誤っています");

inline const QString &failure(Winsock::Failure reason)
{
    switch (reason) {
    case Winsock::Failure::Refused:
        return refused;
    case Winsock::Failure::UnknownHost:
        return unknownHost;
    case Winsock::Failure::NoAnswer:
        return noAnswer;
    case Winsock::Failure::Unreachable:
        break;
    }
    return unreachable;
}

} // namespace clienttexts
