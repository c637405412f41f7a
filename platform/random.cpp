#include "platform/random.h"

#include <random>

LcgRandom::LcgRandom(std::uint32_t seed) : m_state(seed & stateMask) {}

LcgRandom LcgRandom::fromEntropy()
{
    std::random_device entropy;
    return LcgRandom(std::uint32_t(entropy()));
}

float LcgRandom::Rnd()
{
    const std::uint64_t next = (std::uint64_t(m_state) * 16598013u + 12820163u) & stateMask;
    m_state = std::uint32_t(next);
    return float(m_state) / 16777216.0f;
}
