// Finds the hosts that announce one DNS-SD service type on the local network, through
// the system's Avahi daemon on the D-Bus system bus, and keeps them as HostOffers
// while it lives. Without a system bus or an Avahi daemon it simply finds nothing:
// every call is asynchronous, nothing waits and nothing is said. The daemon may come
// and go; its hosts go with it and come back with it.
#pragma once

#include "platform/hostoffers.h"

#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <deque>
#include <memory>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

class ServiceBrowser : public QObject
{
    Q_OBJECT
public:
    explicit ServiceBrowser(const QString &type, QObject *parent = nullptr);
    ~ServiceBrowser() override;

    // False without a system bus: nothing can ever be found then.
    bool available() const { return m_available; }
    const HostOffers &offers() const { return m_offers; }

    // At most this many resolutions at once, and this many waiting; the oldest waiting
    // are forgotten first, as the offers show the newest.
    static constexpr int maxResolving = 4;
    static constexpr int maxWaiting = 32;

signals:
    void offersChanged();

private slots:
    void onItemNew(const QDBusMessage &signal);
    void onItemRemove(const QDBusMessage &signal);

private:
    struct Item
    {
        int interface = -1;
        int protocol = -1;
        QString name, type, domain;
        QString key() const;
    };
    void start();
    void stop();
    void browserCreated(QDBusPendingCallWatcher *call);
    bool ours(const QDBusMessage &signal) const;
    void handle(const QDBusMessage &signal);
    void resolveNext();
    void resolved(const Item &item, QDBusPendingCallWatcher *call);
    void changed(bool changed);

    QString m_type;
    bool m_available = false;
    QDBusServiceWatcher *m_daemon = nullptr;
    std::unique_ptr<QDBusPendingCallWatcher> m_creating; // asking for the browser
    QString m_owner;         // the daemon's unique name, from its answer
    QString m_browser;       // the browser's object path, once known
    std::deque<QDBusMessage> m_early; // signals that came before the browser's path
    std::deque<Item> m_waiting;
    QSet<QString> m_resolving;  // keys being resolved now
    QSet<QString> m_withdrawn;  // of those, the ones removed meanwhile
    HostOffers m_offers;
};
