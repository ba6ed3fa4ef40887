// Numbers from a small fixed generator, for data that must not depend on
// the code under test (its own generators included): a 64-bit linear
// congruential generator, its uniform draws, and over-dispersed counts.
#pragma once

#include <cmath>
#include <cstdint>

struct Lcg {
    std::uint64_t state;

    // A draw strictly inside (0, 1), from the state's top 53 bits.
    double uniform()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    }

    // A count around `mean`: a gamma-mixed Poisson, the rate exponential
    // (shape 1) about the mean and the count drawn by inversion, stopped
    // at `cap`.
    int count(double mean, int cap)
    {
        const double rate = -mean * std::log(uniform());
        double p = std::exp(-rate), cdf = p;
        const double u = uniform();
        int k = 0;
        while (u > cdf && k < cap) {
            ++k;
            p *= rate / k;
            cdf += p;
        }
        return k;
    }
};
