#include "platform/publicaddress.h"

#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace {

struct Block
{
    std::uint32_t network;
    int prefix;
};

constexpr std::uint32_t ipv4(int a, int b, int c, int d)
{
    return std::uint32_t(a) << 24 | std::uint32_t(b) << 16 | std::uint32_t(c) << 8 | std::uint32_t(d);
}

constexpr std::array reserved{
    Block{ipv4(0, 0, 0, 0), 8},        // this network
    Block{ipv4(10, 0, 0, 0), 8},       // private
    Block{ipv4(100, 64, 0, 0), 10},    // shared by a provider's NAT
    Block{ipv4(127, 0, 0, 0), 8},      // loopback
    Block{ipv4(169, 254, 0, 0), 16},   // link-local
    Block{ipv4(172, 16, 0, 0), 12},    // private
    Block{ipv4(192, 0, 0, 0), 24},     // protocol assignments
    Block{ipv4(192, 0, 2, 0), 24},     // documentation
    Block{ipv4(192, 168, 0, 0), 16},   // private
    Block{ipv4(198, 18, 0, 0), 15},    // benchmarking
    Block{ipv4(198, 51, 100, 0), 24},  // documentation
    Block{ipv4(203, 0, 113, 0), 24},   // documentation
    Block{ipv4(224, 0, 0, 0), 3},      // multicast, reserved and broadcast up to the top
};

// Strict: "1.2.3", "01.2.3.4" with a leading zero (octal to some parsers), signs and
// spaces are all refused, so that a router's odd text never passes as an address.
std::optional<std::uint32_t> parse(const QString &dotted)
{
    const QStringList parts = dotted.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.startsWith(QLatin1Char('0'))))
            return std::nullopt;
        int octet = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            octet = octet * 10 + (c.unicode() - '0');
        }
        if (octet > 255)
            return std::nullopt;
        value = value << 8 | std::uint32_t(octet);
    }
    return value;
}

} // namespace

namespace publicaddress {

bool isPublicIPv4(const QString &dotted)
{
    const std::optional<std::uint32_t> address = parse(dotted);
    if (!address)
        return false;
    for (const Block &block : reserved) {
        const std::uint32_t mask = ~std::uint32_t(0) << (32 - block.prefix);
        if ((*address & mask) == block.network)
            return false;
    }
    return true;
}

} // namespace publicaddress
