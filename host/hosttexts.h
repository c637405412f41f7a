// The host program's own texts.
#pragma once

#include "platform/reachability.h"

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

// The check box beside the line below: whether the host asks the router for its port.
inline const QString openRouter = QStringLiteral("ルーターのポートを開く");

// What a player should hand on to be reached, and the router's state, in one line of
// the host window (and on kelvaro-cpu's standard error). `lan` and `ipv6` are this
// machine's own addresses (empty when it has none), `port` the port the host listens
// on. Whatever the state, a player on the same network is told what to type.
inline QString reachLine(const RouterStatus &router, const QString &lan, const QString &ipv6,
                         quint16 port)
{
    using State = RouterStatus::State;
    const QString machine = lan.isEmpty() ? QStringLiteral("このパソコン")
                                          : QStringLiteral("このパソコン（%1）").arg(lan);
    const QString forward = QStringLiteral("インターネットから接続してもらうには、ルーターの設定で"
                                           "TCPポート%1を%2に転送してください。")
                                .arg(port)
                                .arg(machine);
    QString line;
    switch (router.state) {
    case State::Off:
        line = QStringLiteral("ルーターのポートは開けていません。") + forward;
        break;
    case State::Asking:
        line = QStringLiteral("ルーターにポートの転送を頼んでいます…");
        break;
    case State::Mapped:
        line = QStringLiteral("インターネットの相手に伝えるアドレス：%1")
                   .arg(router.externalPort == 1020
                            ? router.externalAddress
                            : QStringLiteral("%1:%2").arg(router.externalAddress).arg(router.externalPort));
        break;
    case State::NoRouter:
        line = QStringLiteral("ルーターが応答しません。このホストに接続できるのは同じネットワークから"
                              "だけです。")
               + forward;
        break;
    case State::NotPublic:
        // A router without a public address may not say which one it has.
        line = QStringLiteral("ルーターの外側のアドレス%1はプロバイダーが共有しているか、もう一つの"
                              "ルーターの内側のアドレスなので、インターネットからは接続できません。")
                   .arg(router.externalAddress.isEmpty()
                            ? QString()
                            : QStringLiteral("（%1）").arg(router.externalAddress));
        if (ipv6.isEmpty())
            line += QStringLiteral("IPv6が使える回線なら、IPv6で接続できます。");
        break;
    case State::Refused:
        line = QStringLiteral("ルーターがポートの転送を断りました（%1）。").arg(router.reason) + forward;
        break;
    }
    if (!ipv6.isEmpty())
        line += QStringLiteral("　IPv6のアドレス：[%1]%2（ルーターのファイアウォールがTCPポート%3への"
                               "接続を通す場合）")
                    .arg(ipv6)
                    .arg(port == 1020 ? QString() : QStringLiteral(":%1").arg(port))
                    .arg(port);
    if (!lan.isEmpty())
        line += QStringLiteral("　同じネットワークからは %1 で接続できます。")
                    .arg(port == 1020 ? lan : QStringLiteral("%1:%2").arg(lan).arg(port));
    return line;
}

} // namespace hosttexts
