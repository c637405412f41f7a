#include "platform/hostoffers.h"

#include <QHostAddress>
#include <algorithm>

namespace {

// Lower is better; -1 never offered. IPv4 first: it needs no interface and reads
// easily. A loopback, multicast or unspecified address is not a host on the network,
// and an IPv6 link-local one is useless without the interface it belongs to.
int rankOf(const QString &address)
{
    const QHostAddress a(address);
    if (a.isNull() || a.isLoopback() || a.isMulticast() || a.isBroadcast()
        || a == QHostAddress::AnyIPv4 || a == QHostAddress::AnyIPv6)
        return -1;
    if (a.protocol() == QAbstractSocket::IPv4Protocol)
        return 0;
    if (a.isLinkLocal())
        return a.scopeId().isEmpty() ? -1 : 2;
    return 1;
}

} // namespace

QString HostOffers::Offer::text() const
{
    return name.isEmpty() ? address : name + QStringLiteral(" (") + address + u')';
}

QString HostOffers::cleanName(const QString &name)
{
    QList<uint> kept;
    bool space = false;
    for (const uint c : name.toUcs4()) {
        switch (QChar::category(char32_t(c))) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_PrivateUse:
        case QChar::Other_NotAssigned:
            continue;
        default:
            break;
        }
        if (QChar::isSpace(char32_t(c))) {
            space = !kept.isEmpty();
            continue;
        }
        if (space)
            kept.append(' ');
        space = false;
        if (kept.size() == maxNameLength) {
            kept.last() = 0x2026; // …
            break;
        }
        kept.append(c);
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(kept.constData()), kept.size());
}

bool HostOffers::add(const QString &key, const QString &name, const QString &address)
{
    const int rank = rankOf(address);
    if (rank < 0)
        return remove(key);
    const QString kept = key.left(maxKeyLength);
    auto it = std::find_if(m_sightings.begin(), m_sightings.end(),
                           [&](const Sighting &s) { return s.key == kept; });
    if (it != m_sightings.end()) {
        it->name = cleanName(name);
        it->address = address;
        it->rank = rank;
        return update();
    }
    m_sightings.push_back({kept, cleanName(name), address, rank, m_next++});
    if (int(m_sightings.size()) > maxKept)
        m_sightings.erase(m_sightings.begin());
    return update();
}

bool HostOffers::remove(const QString &key)
{
    const QString kept = key.left(maxKeyLength);
    const auto gone = std::remove_if(m_sightings.begin(), m_sightings.end(),
                                     [&](const Sighting &s) { return s.key == kept; });
    if (gone == m_sightings.end())
        return false;
    m_sightings.erase(gone, m_sightings.end());
    return update();
}

bool HostOffers::clear()
{
    m_sightings.clear();
    return update();
}

bool HostOffers::update()
{
    // One entry per name, placed where the name was first seen, with its best address
    // (the earliest seen among equals, so that an entry does not flicker).
    struct Entry { const Sighting *first; const Sighting *best; };
    std::vector<Entry> entries;
    for (const Sighting &s : m_sightings) {
        auto e = std::find_if(entries.begin(), entries.end(),
                              [&](const Entry &x) { return x.first->name == s.name; });
        if (e == entries.end())
            entries.push_back({&s, &s});
        else if (s.rank < e->best->rank)
            e->best = &s;
    }
    QList<Offer> shown;
    for (auto e = entries.rbegin(); e != entries.rend() && shown.size() < maxShown; ++e)
        shown.append({e->best->name, e->best->address});
    if (shown == m_shown)
        return false;
    m_shown = shown;
    return true;
}
