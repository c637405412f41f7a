// The host program's own texts.
#pragma once

#include <QAbstractSocket>
#include <QString>

namespace hosttexts {

inline const QString opponentLeft = QStringLiteral("相手側から切断されました。");

// The box of a host that cannot listen: what failed, the system's reason, and what the
// player can do about it. A port in use is most often a host that already runs; a port
// below 1024 needs a right that `program` (the host's own file) can be given once.
inline QString listenFailed(quint16 port, QAbstractSocket::SocketError error,
                            const QString &reason, const QString &program)
{
    QString remedy;
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        remedy = QStringLiteral("このポートは別のプログラムが使っています。ホスト（morsk）が既に"
                                "起動していないか確かめ、そのプログラムを終了してから、もう一度"
                                "起動してください。");
        break;
    case QAbstractSocket::SocketAccessError:
        remedy = QStringLiteral("このポートを使う権限がありません。管理者が次のコマンドを一度"
                                "実行してから、もう一度起動してください。\r\n"
                                "sudo setcap cap_net_bind_service=+ep %1")
                     .arg(program);
        break;
    default:
        remedy = QStringLiteral("しばらく待ってから、もう一度起動してください。");
        break;
    }
    return QStringLiteral("ポート%1での接続待ちに失敗しました。\r\n原因：%2\r\n\r\n%3")
        .arg(port)
        .arg(reason, remedy);
}

} // namespace hosttexts
