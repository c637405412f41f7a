// The host program's own texts.
#pragma once

#include <QString>

namespace hosttexts {

inline const QString opponentLeft = QStringLiteral("相手側から切断されました。");

inline QString listenFailed(quint16 port, const QString &reason)
{
    return QStringLiteral("ポート%1での接続待ちに失敗しました。\r\n%2").arg(port).arg(reason);
}

} // namespace hosttexts
