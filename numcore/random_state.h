// The state behind the permutation tests' random stream, shared by
// ran2/bnldev (random.cpp) and the fast re-split of pooled counts
// (split_draw.cpp), which must leave exactly the state the plain routines
// would. Each thread has its own: the run's single stream is drawn on one
// thread, and a comparison with a stream of its own restarts the state of
// the thread that draws it. Not part of the core's public interface.
#pragma once

#include <cstdint>

namespace random_state {

// The combined generator: the second generator's state, the last output and
// the shuffle table. The first generator's state is the caller's seed.
struct GeneratorState {
    std::int64_t idum2 = 123456789;
    std::int64_t iy = 0;
    std::int64_t iv[32] = {};
};

// What bnldev keeps between calls: ln n! for the last n, and the logarithms
// of p and 1 - p for the last p, of the rejection method.
struct BinomialCache {
    int nold = -1;
    float en = 0.0f;
    float oldg = 0.0f;
    float pold = -1.0f;
    float pc = 0.0f;
    float plog = 0.0f;
    float pclog = 0.0f;
};

extern thread_local GeneratorState generator;
extern thread_local BinomialCache binomial;

// The two generators' moduli, multipliers and Schrage decompositions
// (m = a q + r), and the shuffle table's bucket width.
inline constexpr std::int64_t IM1 = 2147483563, IA1 = 40014, IQ1 = 53668, IR1 = 12211;
inline constexpr std::int64_t IM2 = 2147483399, IA2 = 40692, IQ2 = 52774, IR2 = 3791;
inline constexpr std::int64_t IMM1 = IM1 - 1;
inline constexpr std::int64_t NDIV = 1 + IMM1 / 32;

// The uniform deviate ran2 returns for the combined output iy (1..IMM1).
constexpr float uniform_of(std::int64_t iy)
{
    const float u = static_cast<float>(4.656613057391769e-10 * static_cast<double>(iy));
    if (static_cast<double>(u) > 0.99999988) return static_cast<float>(0.99999988);
    return u;
}

// bnldev(0.5f, n) for n <= 24 counts the draws with ran2 < 0.5f. uniform_of
// is non-decreasing in iy (a product by a positive constant, a rounding to
// single precision and a clamp to a value above one half), so that count is
// the count of iy < half_threshold(), the least iy whose uniform is not below
// one half.
constexpr std::int64_t half_threshold()
{
    std::int64_t lo = 1, hi = IMM1; // uniform_of(lo) < 0.5f <= uniform_of(hi)
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (uniform_of(mid) < 0.5f ? lo : hi) = mid;
    }
    return hi;
}
inline constexpr std::int64_t kHalfThreshold = half_threshold();
static_assert(uniform_of(kHalfThreshold - 1) < 0.5f && !(uniform_of(kHalfThreshold) < 0.5f));

} // namespace random_state
