// simcounts' random streams and samplers. A seed must name the same dataset
// wherever it is rebuilt, so every draw comes from these xoshiro256**
// streams and samplers, never from <random>'s distributions, whose output
// differs between library versions. A stream is keyed by (seed, purpose,
// index): the structure, the counts, the planting, the library sizes and the
// between-sample variation each draw from their own family, so changing how much one of them draws never
// shifts the numbers another sees.
//
// The samplers run once or twice per position and condition, some hundred
// million times at full size, so they are defined here to be inlined.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

enum class Purpose : std::uint64_t {
    structure = 1,
    counts = 2,
    planting = 3,
    library = 4,
    gene_variation = 5,
    exon_variation = 6
};

class Rng {
public:
    Rng(std::uint64_t seed, Purpose purpose, std::uint64_t index);

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Open interval (0,1): callers take logarithms and powers of it.
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; }

    // Uniform integer in [0, n), without modulo bias.
    std::uint64_t below(std::uint64_t n)
    {
        const std::uint64_t threshold = (0 - n) % n;
        for (;;)
            if (const std::uint64_t r = next(); r >= threshold) return r % n;
    }

    // Marsaglia's polar method; the second deviate of each pair is kept.
    double normal()
    {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        double u, v, q;
        do {
            u = 2.0 * uniform() - 1.0;
            v = 2.0 * uniform() - 1.0;
            q = u * u + v * v;
        } while (q >= 1.0 || q == 0.0);
        const double f = std::sqrt(-2.0 * std::log(q) / q);
        spare_ = v * f;
        has_spare_ = true;
        return u * f;
    }

private:
    static constexpr std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t s_[4];
    double spare_ = 0.0;
    bool has_spare_ = false;
};

// Gamma(shape, 1) by Marsaglia and Tsang. The constants depend only on the
// shape, which is fixed per gene, so they are worked out once per gene rather
// than once per position. Shapes below one are drawn as Gamma(shape + 1)
// times U^(1/shape).
class Gamma {
public:
    explicit Gamma(double shape)
        : boost_(shape < 1.0), inv_shape_(1.0 / shape), d_((boost_ ? shape + 1.0 : shape) - 1.0 / 3.0),
          c_(1.0 / std::sqrt(9.0 * d_))
    {
    }

    double operator()(Rng& rng) const
    {
        double x, v;
        for (;;) {
            x = rng.normal();
            v = 1.0 + c_ * x;
            if (v <= 0.0) continue;
            v = v * v * v;
            const double u = rng.uniform();
            const double x2 = x * x;
            if (u < 1.0 - 0.0331 * x2 * x2) break;
            if (std::log(u) < 0.5 * x2 + d_ * (1.0 - v + std::log(v))) break;
        }
        double g = d_ * v;
        if (boost_) g *= std::pow(rng.uniform(), inv_shape_);
        return g;
    }

private:
    bool boost_;
    double inv_shape_, d_, c_;
};

// log(k!) for a whole k: the rejection step of the large-mean Poisson sampler.
double log_factorial(double k);

// Large means, through the rejection loop below, would overflow 32-bit counts
// long before they mattered to anyone; clamping keeps every count in range.
inline constexpr double kMaxMean = 1.0e9;

// Poisson deviate: sequential inversion while exp(-mean) is comfortably
// representable and the expected number of steps small; Hoermann's
// transformed rejection with squeeze (PTRS) above that.
inline std::uint32_t poisson(Rng& rng, double mean)
{
    if (!(mean > 0.0)) return 0;
    if (mean < 12.0) {
        double p = std::exp(-mean);
        double u = rng.uniform();
        std::uint32_t k = 0;
        // Rounding can leave u a hair above the summed mass; the cap ends the
        // walk far beyond any count with non-negligible probability.
        while (u > p && k < 400) {
            u -= p;
            ++k;
            p *= mean / k;
        }
        return k;
    }
    mean = std::min(mean, kMaxMean);
    const double slam = std::sqrt(mean);
    const double loglam = std::log(mean);
    const double b = 0.931 + 2.53 * slam;
    const double a = -0.059 + 0.02483 * b;
    const double inv_alpha = 1.1239 + 1.1328 / (b - 3.4);
    const double vr = 0.9277 - 3.6224 / (b - 2.0);
    for (;;) {
        const double u = rng.uniform() - 0.5;
        const double v = rng.uniform();
        const double us = 0.5 - std::fabs(u);
        const double k = std::floor((2.0 * a / us + b) * u + mean + 0.43);
        if (us >= 0.07 && v <= vr) return static_cast<std::uint32_t>(k);
        if (k < 0.0 || (us < 0.013 && v > us)) continue;
        if (std::log(v) + std::log(inv_alpha) - std::log(a / (us * us) + b) <=
            -mean + k * loglam - log_factorial(k))
            return static_cast<std::uint32_t>(k);
    }
}

inline double log_normal(Rng& rng, double median, double sigma) { return median * std::exp(sigma * rng.normal()); }

// A log-normal factor with mean 1 and coefficient of variation cv.
inline double mean_one_log_normal(Rng& rng, double cv)
{
    const double sigma2 = std::log1p(cv * cv);
    return std::exp(-0.5 * sigma2 + std::sqrt(sigma2) * rng.normal());
}

inline double clamp(double x, double lo, double hi) { return std::min(std::max(x, lo), hi); }
