#include "platform/random.h"

float LcgRandom::Rnd()
{
    const std::uint64_t next = (std::uint64_t(m_state) * 16598013u + 12820163u) & 0xFFFFFFu;
    m_state = std::uint32_t(next);
    return float(m_state) / 16777216.0f;
}
