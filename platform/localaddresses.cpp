#include "platform/localaddresses.h"

#include <QNetworkInterface>

namespace {

bool isPrivateIPv4(const QHostAddress &a)
{
    return a.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8)
           || a.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12)
           || a.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
}

bool isGlobalIPv6(const QHostAddress &a)
{
    return a.protocol() == QAbstractSocket::IPv6Protocol && a.isGlobal()
           && !a.isUniqueLocalUnicast() && !a.isLinkLocal()
           && !a.isInSubnet(QHostAddress(QStringLiteral("2001:db8::")), 32);
}

// The addresses of every interface that is up and running, loopback left out.
template<typename Keep>
void collect(Keep keep)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &i : interfaces) {
        const auto flags = i.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)
            || (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &e : i.addressEntries())
            keep(e);
    }
}

} // namespace

namespace localaddresses {

QString pickLan(const QList<QHostAddress> &candidates)
{
    QString other;
    for (const QHostAddress &a : candidates) {
        if (a.protocol() != QAbstractSocket::IPv4Protocol || a.isLoopback() || a.isLinkLocal())
            continue;
        if (isPrivateIPv4(a))
            return a.toString();
        if (other.isEmpty())
            other = a.toString();
    }
    return other;
}

QString pickGlobalIPv6(const QList<QHostAddress> &stable, const QList<QHostAddress> &temporary)
{
    for (const QList<QHostAddress> *list : {&stable, &temporary})
        for (const QHostAddress &a : *list)
            if (isGlobalIPv6(a))
                return a.toString();
    return {};
}

QString lan()
{
    QList<QHostAddress> all;
    collect([&](const QNetworkAddressEntry &e) { all << e.ip(); });
    return pickLan(all);
}

QString globalIPv6()
{
    QList<QHostAddress> stable, temporary;
    collect([&](const QNetworkAddressEntry &e) { (e.isTemporary() ? temporary : stable) << e.ip(); });
    return pickGlobalIPv6(stable, temporary);
}

} // namespace localaddresses
