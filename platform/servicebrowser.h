// Finds the hosts that announce one DNS-SD service type on the local network, through
// the system's Avahi daemon on the D-Bus system bus, and keeps them as HostOffers
// while it lives. Without a system bus or an Avahi daemon it simply finds nothing:
// nothing ever waits for the bus, and nothing is said. The daemon may come and go; its
// hosts go with it and come back with it.
#pragma once

#include "platform/hostoffers.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <deque>
#include <memory>

class Avahi;

class ServiceBrowser : public QObject
{
    Q_OBJECT
public:
    explicit ServiceBrowser(const QString &type, QObject *parent = nullptr);
    ~ServiceBrowser() override;

    // False without a system bus: nothing can ever be found then.
    bool available() const;
    const HostOffers &offers() const { return m_offers; }

    // At most this many resolutions at once, and this many waiting; the oldest waiting
    // are forgotten first, as the offers show the newest.
    static constexpr int maxResolving = 4;
    static constexpr int maxWaiting = 32;

signals:
    void offersChanged();

private:
    struct Item
    {
        int interface = -1;
        int protocol = -1;
        QString name, type, domain;
        QString key() const;
    };
    // A sighting or a removal that came before the browser's path was known.
    struct Early
    {
        QString path;
        bool removed = false;
        Item item;
    };
    void start();
    void stop();
    void handle(bool removed, const Item &item);
    void resolveNext();
    void resolved(const Item &item, const QString &address);
    void changed(bool changed);

    QString m_type;
    const std::unique_ptr<Avahi> m_avahi;
    bool m_creating = false;  // the browser is asked for
    QString m_browser;        // the browser's object path, once known
    std::deque<Early> m_early;
    std::deque<Item> m_waiting;
    QSet<QString> m_resolving;  // keys being resolved now
    QSet<QString> m_withdrawn;  // of those, the ones removed meanwhile
    HostOffers m_offers;
};
