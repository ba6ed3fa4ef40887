#include "numcore/random.h"

#include "numcore/gammln.h"
#include "numcore/random_state.h"
#include "numcore/split_draw.h"

#include <cmath>
#include <initializer_list>

namespace random_state {

thread_local GeneratorState generator;
thread_local BinomialCache binomial;

} // namespace random_state

using namespace random_state;

namespace {

// One step of a multiplicative congruential generator by Schrage's method,
// which keeps a·s mod m within 32 bits.
inline void schrage(std::int64_t& s, std::int64_t a, std::int64_t m, std::int64_t q, std::int64_t r)
{
    const std::int64_t k = s / q;
    s = a * (s - k * q) - k * r;
    if (s < 0) s += m;
}

} // namespace

void reset_random_state()
{
    generator = GeneratorState();
    binomial = BinomialCache();
}

float ran2(std::int64_t& seed)
{
    GeneratorState& g = generator;
    if (seed <= 0) {
        seed = (-seed < 1) ? 1 : -seed;
        g.idum2 = seed;
        for (int j = 32 + 7; j >= 0; --j) {
            schrage(seed, IA1, IM1, IQ1, IR1);
            if (j < 32) g.iv[j] = seed;
        }
        g.iy = g.iv[0];
    }
    schrage(seed, IA1, IM1, IQ1, IR1);
    schrage(g.idum2, IA2, IM2, IQ2, IR2);
    const std::int64_t j = g.iy / NDIV;
    g.iy = g.iv[j] - g.idum2;
    g.iv[j] = seed;
    if (g.iy < 1) g.iy += IMM1;
    return uniform_of(g.iy);
}

float bnldev(float pp, int n, std::int64_t& seed)
{
    const float p = (pp <= 0.5) ? pp : static_cast<float>(1.0 - static_cast<double>(pp));
    const float am = static_cast<float>(n) * p;
    float result = 0.0f;
    if (n <= 24) {
        for (int j = 1; j <= n; ++j)
            if (ran2(seed) < p) result = result + 1.0f;
    } else if (am < 1.0f) {
        const float g = static_cast<float>(std::exp(-static_cast<double>(am)));
        float t = 1.0f;
        int j = 0;
        for (; j <= n; ++j) {
            t = t * ran2(seed);
            if (t < g) break;
        }
        result = static_cast<float>(j <= n ? j : n);
    } else {
        BinomialCache& c = binomial;
        if (n != c.nold) {
            c.en = static_cast<float>(n);
            c.oldg = static_cast<float>(gammln(static_cast<double>(c.en) + 1.0));
            c.nold = n;
        }
        if (p != c.pold) {
            c.pc = 1.0f - p;
            c.plog = static_cast<float>(std::log(static_cast<double>(p)));
            c.pclog = static_cast<float>(std::log(static_cast<double>(c.pc)));
            c.pold = p;
        }
        const float sq = static_cast<float>(
            std::sqrt(static_cast<double>(c.pc) * (static_cast<double>(am) + static_cast<double>(am))));
        float em = 0.0f;
        float t = 0.0f;
        do {
            float y = 0.0f;
            do {
                // 3.141592654 as written, not the double nearest pi.
                const float angle = static_cast<float>(3.141592654 * static_cast<double>(ran2(seed)));
                y = static_cast<float>(std::tan(static_cast<double>(angle)));
                em = sq * y + am;
            } while (em < 0.0f || static_cast<double>(em) >= static_cast<double>(c.en) + 1.0);
            em = static_cast<float>(std::floor(static_cast<double>(em)));
            const float yy = y * y;
            const float rest = c.en - em;
            const double exponent =
                (((static_cast<double>(c.oldg) - gammln(static_cast<double>(em) + 1.0)) -
                  gammln(static_cast<double>(rest) + 1.0)) +
                 static_cast<double>(em * c.plog)) +
                static_cast<double>(rest * c.pclog);
            const double factor = (static_cast<double>(sq) * 1.2) * (1.0 + static_cast<double>(yy));
            t = static_cast<float>(factor * std::exp(exponent));
        } while (ran2(seed) > t);
        result = em;
    }
    if (p != pp) result = static_cast<float>(n) - result;
    return result;
}

std::int64_t split_pool(std::int64_t s, std::int64_t& seed)
{
    return split_in_chunks(s, [&](std::int64_t chunk) {
        return static_cast<std::int64_t>(bnldev(0.5f, static_cast<int>(chunk), seed));
    });
}

void fPermuteValues(const int* x, const int* y, int* xp, int* yp, int n, std::int64_t& seed)
{
    for (int i = 1; i <= n; ++i) {
        const std::int64_t s = std::int64_t(x[i]) + y[i];
        const std::int64_t taken = split_pool(s, seed);
        xp[i] = static_cast<int>(taken);
        yp[i] = static_cast<int>(s - taken);
    }
}

namespace {

// SplitMix64's step: an increment by the golden ratio and its finaliser.
std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15u;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
    return x ^ (x >> 31);
}

} // namespace

std::int64_t comparison_seed(std::int64_t run_seed, std::int64_t gene, std::int64_t first, std::int64_t second,
                             std::int64_t exon)
{
    std::uint64_t h = mix(static_cast<std::uint64_t>(run_seed));
    for (std::int64_t field : {gene, first, second, exon}) h = mix(h ^ static_cast<std::uint64_t>(field));
    return -(1 + static_cast<std::int64_t>(h % static_cast<std::uint64_t>(kMaxSeedMagnitude)));
}
