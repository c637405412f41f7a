#include "platform/servicebrowser.h"

#include "platform/avahi.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QHostAddress>
#include <QNetworkInterface>

namespace {

const QString browserInterface = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
constexpr std::size_t maxEarly = 256;

} // namespace

using avahi::callTimeoutMs;
using avahi::serverCall;
using avahi::unspecified;

QString ServiceBrowser::Item::key() const
{
    return QString::number(interface) + u'/' + QString::number(protocol) + u'/' + domain + u'/' + name;
}

ServiceBrowser::ServiceBrowser(const QString &type, QObject *parent)
    : QObject(parent), m_type(type)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    m_available = bus.isConnected();
    if (!m_available)
        return;
    // Matched on interface and member alone, for any path and sender: the daemon sends
    // the first ItemNew right after it made the browser, possibly before its answer
    // telling the path has reached us. ours() then keeps what is really ours.
    bus.connect(QString(), QString(), browserInterface, QStringLiteral("ItemNew"), this,
                SLOT(onItemNew(QDBusMessage)));
    bus.connect(QString(), QString(), browserInterface, QStringLiteral("ItemRemove"), this,
                SLOT(onItemRemove(QDBusMessage)));
    m_daemon = new QDBusServiceWatcher(avahi::service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_daemon, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) {
                stop();
                if (!newOwner.isEmpty())
                    start();
            });
    start();
}

ServiceBrowser::~ServiceBrowser()
{
    blockSignals(true); // whoever showed the offers may be gone already
    stop();
}

void ServiceBrowser::start()
{
    m_creating = std::make_unique<QDBusPendingCallWatcher>(
        QDBusConnection::systemBus().asyncCall(
            serverCall(QStringLiteral("ServiceBrowserNew"),
                       {unspecified, unspecified, m_type, QString(), 0u}),
            callTimeoutMs));
    connect(m_creating.get(), &QDBusPendingCallWatcher::finished, this, &ServiceBrowser::browserCreated);
}

void ServiceBrowser::stop()
{
    if (!m_browser.isEmpty()) {
        QDBusMessage free = QDBusMessage::createMethodCall(m_owner, m_browser, browserInterface,
                                                           QStringLiteral("Free"));
        QDBusConnection::systemBus().send(free);
    }
    m_creating.reset(); // an answer still to come is of no interest any more
    m_browser.clear();
    m_owner.clear();
    m_early.clear();
    m_waiting.clear();
    m_withdrawn.unite(m_resolving);
    changed(m_offers.clear());
}

void ServiceBrowser::browserCreated(QDBusPendingCallWatcher *call)
{
    m_creating.release()->deleteLater(); // not from within its own signal
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError())
        return; // no daemon: nothing to find
    m_browser = reply.value().path();
    m_owner = reply.reply().service();
    std::deque<QDBusMessage> early;
    early.swap(m_early);
    for (const QDBusMessage &signal : early)
        if (ours(signal))
            handle(signal);
}

bool ServiceBrowser::ours(const QDBusMessage &signal) const
{
    return signal.path() == m_browser && signal.service() == m_owner;
}

void ServiceBrowser::onItemNew(const QDBusMessage &signal)
{
    if (m_browser.isEmpty()) {
        if (m_creating && m_early.size() < maxEarly)
            m_early.push_back(signal);
    } else if (ours(signal)) {
        handle(signal);
    }
}

void ServiceBrowser::onItemRemove(const QDBusMessage &signal)
{
    onItemNew(signal); // the same path to handle(), which tells them apart
}

void ServiceBrowser::handle(const QDBusMessage &signal)
{
    const QVariantList a = signal.arguments();
    if (a.size() < 5)
        return;
    const Item item{a[0].toInt(), a[1].toInt(), a[2].toString(), a[3].toString(), a[4].toString()};
    const QString key = item.key();
    std::erase_if(m_waiting, [&](const Item &i) { return i.key() == key; });
    if (signal.member() == QStringLiteral("ItemRemove")) {
        if (m_resolving.contains(key))
            m_withdrawn.insert(key);
        changed(m_offers.remove(key));
        return;
    }
    if (m_resolving.contains(key)) {
        m_withdrawn.remove(key);
        return;
    }
    m_waiting.push_back(item);
    if (m_waiting.size() > std::size_t(maxWaiting))
        m_waiting.pop_front();
    resolveNext();
}

void ServiceBrowser::resolveNext()
{
    while (m_resolving.size() < maxResolving && !m_waiting.empty()) {
        // In the order seen, so that the offers' "newest" is the newest announced; a
        // flood overflows the queue at its old end.
        const Item item = m_waiting.front();
        m_waiting.pop_front();
        m_resolving.insert(item.key());
        // The address of the protocol it was seen on: IPv4 where it came over IPv4.
        auto *call = new QDBusPendingCallWatcher(
            QDBusConnection::systemBus().asyncCall(
                serverCall(QStringLiteral("ResolveService"),
                           {item.interface, item.protocol, item.name, item.type, item.domain,
                            item.protocol, 0u}),
                callTimeoutMs),
            this);
        connect(call, &QDBusPendingCallWatcher::finished, this,
                [this, item](QDBusPendingCallWatcher *c) { resolved(item, c); });
    }
}

void ServiceBrowser::resolved(const Item &item, QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QString key = item.key();
    m_resolving.remove(key);
    const bool withdrawn = m_withdrawn.remove(key);
    const QDBusMessage reply = call->reply();
    // interface, protocol, name, type, domain, host, aprotocol, address, port, txt, flags
    const QVariantList a = reply.arguments();
    if (!withdrawn && reply.type() == QDBusMessage::ReplyMessage && a.size() >= 8) {
        QString address = a[7].toString().left(64);
        const QHostAddress parsed(address);
        if (parsed.protocol() == QAbstractSocket::IPv6Protocol && parsed.isLinkLocal())
            address += u'%' + QNetworkInterface::interfaceNameFromIndex(a[0].toInt());
        changed(m_offers.add(key, item.name, address));
    }
    resolveNext();
}

void ServiceBrowser::changed(bool changed)
{
    if (changed)
        emit offersChanged();
}
