// The pseudo-random numbers of the game: uniform in [0, 1), single precision, from a
// generator that is never seeded, so every run of a program draws the same sequence.
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
// started at 327680. Every value is a multiple of 2^-24, so it is exact in a float
// and never reaches 1.
class LcgRandom : public RandomSource
{
public:
    float Rnd() override;

private:
    std::uint32_t m_state = 327680;
};
