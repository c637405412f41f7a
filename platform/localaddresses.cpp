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

// The address entries of every interface that is up and running, loopback left out.
QList<QNetworkAddressEntry> entries()
{
    QList<QNetworkAddressEntry> all;
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces()) {
        const auto flags = i.flags();
        if ((flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning)
            && !(flags & QNetworkInterface::IsLoopBack))
            all += i.addressEntries();
    }
    return all;
}

} // namespace

namespace localaddresses {

QString lan()
{
    QString other;
    for (const QNetworkAddressEntry &e : entries()) {
        const QHostAddress a = e.ip();
        if (a.protocol() != QAbstractSocket::IPv4Protocol || a.isLoopback() || a.isLinkLocal())
            continue;
        if (isPrivateIPv4(a))
            return a.toString();
        if (other.isEmpty())
            other = a.toString();
    }
    return other;
}

QString globalIPv6()
{
    QString temporary;
    for (const QNetworkAddressEntry &e : entries()) {
        if (!isGlobalIPv6(e.ip()))
            continue;
        if (!e.isTemporary())
            return e.ip().toString();
        if (temporary.isEmpty())
            temporary = e.ip().toString();
    }
    return temporary;
}

} // namespace localaddresses
