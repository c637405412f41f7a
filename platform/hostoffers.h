// The hosts a client may offer its player, from what the local network announces: a
// bounded list of sightings (one service seen on one interface and protocol, with the
// address it resolved to), shown as one entry per announced name with its best
// address, newest first. Anyone on the network can announce anything, so the list
// keeps at most maxKept sightings, shows at most maxShown entries, cleans and shortens
// the names, and drops addresses nobody should be sent to.
#pragma once

#include <QList>
#include <QString>
#include <vector>

class HostOffers
{
public:
    struct Offer
    {
        QString name;    // cleaned, at most maxNameLength characters
        QString address; // what the address box takes: IPv4, or IPv6 (link-local with %interface)
        QString text() const;
        bool operator==(const Offer &) const = default;
    };

    static constexpr int maxShown = 16;
    static constexpr int maxKept = 64;
    static constexpr int maxNameLength = 40;

    // `key` names one sighting (service, interface, protocol); a key seen again replaces
    // its address. Both return whether the entries shown changed.
    bool add(const QString &key, const QString &name, const QString &address);
    bool remove(const QString &key);
    bool clear();

    const QList<Offer> &shown() const { return m_shown; }

    // Without control and format characters (bidi marks included), white space runs
    // made one space, at most maxNameLength characters.
    static QString cleanName(const QString &name);

private:
    struct Sighting
    {
        QString key;
        QString name;
        QString address;
        int rank = 0;
        quint64 order = 0;
    };
    bool update();

    // A key is kept and compared cut to this length, so that an announcement cannot
    // make the list hold much text; keys that agree that far are one sighting.
    static constexpr int maxKeyLength = 512;

    std::vector<Sighting> m_sightings; // oldest first
    quint64 m_next = 0;
    QList<Offer> m_shown;
};
