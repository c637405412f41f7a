// The pseudo-random numbers of the game: uniform in [0, 1), single precision. The
// programs seed the generator once per process from the system's entropy, so that the
// host's draw of who fires first differs from run to run; the tests start it at its
// fixed state or at a seed of their own, so that their draws repeat.
#pragma once

#include <cstdint>

class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual float Rnd() = 0;
};

// The classic 24-bit linear congruential generator
//   x' = (x * 16598013 + 12820163) mod 2^24,  r = x' / 2^24,
// started at 327680 unless seeded. Every value is a multiple of 2^-24, so it is exact
// in a float and never reaches 1.
class LcgRandom : public RandomSource
{
public:
    LcgRandom() = default;
    // Only the low 24 bits of `seed` are the generator's state.
    explicit LcgRandom(std::uint32_t seed);
    // Seeded from std::random_device: one per process, for the programs.
    static LcgRandom fromEntropy();

    float Rnd() override;

private:
    static constexpr std::uint32_t stateMask = 0xFFFFFFu;
    std::uint32_t m_state = 327680;
};
