#include "platform/servicebrowser.h"

#include "platform/avahi.h"

#include <QDBusPendingCallWatcher>
#include <QHostAddress>
#include <QNetworkInterface>

namespace {

const QString browserInterface = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
const QString itemNew = QStringLiteral("ItemNew");
const QString itemRemove = QStringLiteral("ItemRemove");
constexpr std::size_t maxEarly = 256;

} // namespace

QString ServiceBrowser::Item::key() const
{
    return QString::number(interface) + u'/' + QString::number(protocol) + u'/' + domain + u'/' + name;
}

ServiceBrowser::ServiceBrowser(const QString &type, QObject *parent)
    : QObject(parent), m_type(type), m_avahi(std::make_unique<Avahi>())
{
    // Listened to on every path: the daemon sends the first ItemNew right after it made
    // the browser, possibly before its answer telling the path has reached us.
    m_avahi->listen(browserInterface, itemNew);
    m_avahi->listen(browserInterface, itemRemove);
    connect(m_avahi.get(), &Avahi::received, this, [this](const QDBusMessage &signal) {
        const QVariantList a = signal.arguments();
        if (a.size() < 5)
            return;
        const bool removed = signal.member() == itemRemove;
        const Item item{a[0].toInt(), a[1].toInt(), a[2].toString(), a[3].toString(), a[4].toString()};
        if (m_browser.isEmpty()) {
            if (m_creating && m_early.size() < maxEarly)
                m_early.push_back({signal.path(), removed, item});
        } else if (signal.path() == m_browser) {
            handle(removed, item);
        }
    });
    connect(m_avahi.get(), &Avahi::appeared, this, &ServiceBrowser::start);
    connect(m_avahi.get(), &Avahi::gone, this, &ServiceBrowser::stop);
}

ServiceBrowser::~ServiceBrowser()
{
    blockSignals(true); // whoever showed the offers may be gone already
    stop();
}

bool ServiceBrowser::available() const
{
    return m_avahi->busPresent();
}

void ServiceBrowser::start()
{
    m_creating = true;
    m_avahi->makeObject(
        QStringLiteral("ServiceBrowserNew"),
        {Avahi::unspecified, Avahi::unspecified, m_type, QString(), 0u}, this,
        [this] { m_creating = false; },
        [this](const QString &path) {
            m_browser = path;
            std::deque<Early> early;
            early.swap(m_early);
            for (const Early &e : early)
                if (e.path == m_browser)
                    handle(e.removed, e.item);
        });
}

void ServiceBrowser::stop()
{
    if (!m_browser.isEmpty())
        m_avahi->send(m_browser, browserInterface, QStringLiteral("Free"));
    m_creating = false;
    m_browser.clear();
    m_early.clear();
    m_waiting.clear();
    // What is being resolved was asked of this daemon; its answers are dropped.
    m_resolving.clear();
    m_withdrawn.clear();
    changed(m_offers.clear());
}

void ServiceBrowser::handle(bool removed, const Item &item)
{
    const QString key = item.key();
    std::erase_if(m_waiting, [&](const Item &i) { return i.key() == key; });
    if (removed) {
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
            m_avahi->callServer(QStringLiteral("ResolveService"),
                                {item.interface, item.protocol, item.name, item.type,
                                 item.domain, item.protocol, 0u}),
            this);
        connect(call, &QDBusPendingCallWatcher::finished, this,
                [this, item, daemon = m_avahi->owner()](QDBusPendingCallWatcher *c) {
                    c->deleteLater();
                    if (daemon != m_avahi->owner())
                        return;
                    // interface, protocol, name, type, domain, host, aprotocol, address, port, txt, flags
                    const QDBusMessage reply = c->reply();
                    const QVariantList a = reply.arguments();
                    QString address;
                    if (reply.type() == QDBusMessage::ReplyMessage && a.size() >= 8) {
                        address = a[7].toString().left(64);
                        const QHostAddress parsed(address);
                        if (parsed.protocol() == QAbstractSocket::IPv6Protocol && parsed.isLinkLocal())
                            address += u'%' + QNetworkInterface::interfaceNameFromIndex(a[0].toInt());
                    }
                    resolved(item, address);
                });
    }
}

void ServiceBrowser::resolved(const Item &item, const QString &address)
{
    const QString key = item.key();
    m_resolving.remove(key);
    const bool withdrawn = m_withdrawn.remove(key);
    if (!withdrawn && !address.isEmpty())
        changed(m_offers.add(key, item.name, address));
    resolveNext();
}

void ServiceBrowser::changed(bool changed)
{
    if (changed)
        emit offersChanged();
}
