#include "numcore/split_draw.h"

#include "numcore/gammln.h"
#include "numcore/random.h"
#include "numcore/random_state.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <unordered_map>

using namespace random_state;

namespace {

// Pools up to this size are split read by read (bnldev's direct method).
constexpr int kDirectPool = 24;
// The most exp values kept for the rejection pools of one comparison.
constexpr std::size_t kExpWindowTotal = std::size_t(1) << 17;
// The most draws of consecutive read-by-read pools drawn in one run.
constexpr int kDirectBlock = 512;

// The stream's hot path never divides. The combined output iy (1..IMM1) and
// the shuffle table's entries are held multiplied by kScale, so that the
// table bucket iy / NDIV is one shift of the scaled value and the scaled
// entries can be subtracted as they are; kScale is odd, so multiplying by its
// inverse modulo 2^64 gives back iy and the table exactly when the state is
// handed back to ran2.
constexpr std::uint64_t kScale = 2147483713; // 2^31 + 65, the least such multiplier for the shift
constexpr int kShift = 57;

constexpr std::uint64_t inverse_mod_2_64(std::uint64_t a)
{
    std::uint64_t x = a; // right to 3 bits for odd a; each step doubles that
    for (int i = 0; i < 5; ++i) x *= 2 - a * x;
    return x;
}
constexpr std::uint64_t kInverse = inverse_mod_2_64(kScale);
static_assert(kScale * kInverse == 1);

constexpr int bucket(std::int64_t iy) { return static_cast<int>((static_cast<std::uint64_t>(iy) * kScale) >> kShift); }

// The shift gives iy / NDIV for every iy = 0..IMM1: both are non-decreasing
// steps of at most one, so they agree everywhere once they agree on both
// sides of every boundary q NDIV and at the ends.
constexpr bool bucket_is_exact()
{
    if (bucket(0) != 0 || bucket(IMM1) != IMM1 / NDIV) return false;
    for (std::int64_t q = 1; q * NDIV <= IMM1; ++q)
        if (bucket(q * NDIV - 1) != q - 1 || bucket(q * NDIV) != q) return false;
    return kScale < (std::uint64_t(1) << kShift);
}
static_assert(bucket_is_exact());
// Scaled values stay well inside int64 either sign: |iv - idum2| < 2^31.
static_assert(static_cast<std::uint64_t>(IMM1) * kScale < (std::uint64_t(1) << 62));

constexpr std::int64_t kScaledIMM1 = IMM1 * static_cast<std::int64_t>(kScale);

constexpr std::int64_t kScaledHalfThreshold = kHalfThreshold * static_cast<std::int64_t>(kScale);

// Both generators step by a·s mod m with m = 2^31 - c: the product's high
// part folds onto the low 31 bits as hi·c. The folded value is held
// unreduced (below 2^31 + 2^24, congruent to the state), which keeps the
// final subtraction of m off the dependency chain from one step to the next;
// the folded value of an unreduced input is the same modulo m. Schrage's
// method gives the same a·s mod m, in 0..m-1, for every s below 2^31.
template <std::uint64_t A, std::uint64_t C>
inline std::uint64_t fold(std::uint64_t s)
{
    const std::uint64_t p = A * s;
    return (p >> 31) * C + (p & 0x7fffffffu);
}
template <std::uint64_t M>
inline std::uint64_t reduced(std::uint64_t s)
{
    return s >= M ? s - M : s;
}

constexpr std::uint64_t kC1 = (std::uint64_t(1) << 31) - IM1;
constexpr std::uint64_t kC2 = (std::uint64_t(1) << 31) - IM2;
static_assert(kC1 == 85 && kC2 == 249);

// The generator's state in locals for the length of one permutation.
struct Stream {
    std::int64_t table[32];  // iv[j] · kScale
    std::uint64_t s1;        // the first generator (the seed), unreduced
    std::uint64_t s2;        // the second generator (idum2), unreduced
    std::int64_t y;          // iy · kScale

    explicit Stream(std::int64_t seed)
        : s1(static_cast<std::uint64_t>(seed)), s2(static_cast<std::uint64_t>(generator.idum2)),
          y(generator.iy * static_cast<std::int64_t>(kScale))
    {
        for (int j = 0; j < 32; ++j) table[j] = generator.iv[j] * static_cast<std::int64_t>(kScale);
    }

    void save(std::int64_t& seed) const
    {
        seed = static_cast<std::int64_t>(reduced<IM1>(s1));
        generator.idum2 = static_cast<std::int64_t>(reduced<IM2>(s2));
        generator.iy = static_cast<std::int64_t>(static_cast<std::uint64_t>(y) * kInverse);
        for (int j = 0; j < 32; ++j)
            generator.iv[j] = static_cast<std::int64_t>(static_cast<std::uint64_t>(table[j]) * kInverse);
    }

    // One ran2 draw; returns the new iy · kScale.
    inline std::int64_t next()
    {
        s1 = fold<IA1, kC1>(s1);
        s2 = fold<IA2, kC2>(s2);
        const std::int64_t first = static_cast<std::int64_t>(reduced<IM1>(s1) * kScale);
        const std::int64_t second = static_cast<std::int64_t>(reduced<IM2>(s2) * kScale);
        const int j = static_cast<int>(y >> kShift);
        std::int64_t v = table[j] - second;
        table[j] = first;
        if (v <= 0) v += kScaledIMM1;
        y = v;
        return v;
    }

    inline float uniform() { return uniform_of(static_cast<std::int64_t>(static_cast<std::uint64_t>(next()) * kInverse)); }
};

// bnldev's proposal tangent, float(tan(double(angle))), for the angles its
// proposals take (single-precision values in (0, pi)), without the cost of
// the library tangent in nearly every case.
//
// The angle is reduced to r in [-pi/4, pi/4] by k halves of pi (k = 0, 1, 2;
// a high part of 31 bits, so that angle - k·high is exact, and a low part);
// tan r is a ratio of two short polynomials in r² (within 2^-50 of it for
// |r| <= 0.8), and the tangent is tan r or -1/tan r. Rounding in these few
// dozen well-conditioned operations keeps the double result within 2^-46 of
// the true tangent.
//
// Rounding to single precision drops the last 29 bits of the double's
// mantissa; unless those bits lie within 2^13 units of the half-way pattern
// (a relative distance of at most 2^-40), every double within 2^-40 of ours
// rounds to the same single-precision value. The library's tangent is within
// a few units of the last place of the true one, far inside that, so the
// rounding of ours is the rounding of the library's. Near a half-way point
// (about one angle in 30000) the library's tangent is taken itself.
inline float tangent_of(float angle)
{
    constexpr double kHalfPiHigh = 1.5707963267341256;  // pi/2 to a multiple of 2^-32
    constexpr double kHalfPiLow = 6.077100506506192e-11; // pi/2 - kHalfPiHigh
    constexpr double kTwoOverPi = 0.6366197723675814;
    const double x = static_cast<double>(angle);
    const int k = static_cast<int>(x * kTwoOverPi + 0.5);
    const double kd = static_cast<double>(k);
    const double r = (x - kd * kHalfPiHigh) - kd * kHalfPiLow;
    // tan r = r P(z) / Q(z), z = r², from the seventh convergent of
    // Lambert's continued fraction, within 2^-50 of tan r for |r| <= 0.8.
    const double z = r * r, z2 = z * z;
    constexpr double p1 = 0.13333333333333333, p2 = 0.003418803418803419, p3 = 1.776001776001776e-05; // 2/15, 2/585, 4/225225
    constexpr double q1 = 0.4666666666666667, q2 = 0.02564102564102564, q3 = 0.0003108003108003108,
                     q4 = 4.9333382666716e-07; // 7/15, 1/39, 2/6435, 1/2027025
    const double pz = (1.0 - z * p1) + z2 * (p2 - z * p3);
    const double qz = ((1.0 - z * q1) + z2 * (q2 - z * q3)) + (z2 * z2) * q4;
    const double rp = r * pz;
    // r P / Q for even k, -Q / (r P) for odd, chosen without a branch (k is
    // odd for half of all angles, in no predictable order).
    const std::uint64_t odd = 0 - static_cast<std::uint64_t>(k & 1);
    const std::uint64_t pb = std::bit_cast<std::uint64_t>(rp), qb = std::bit_cast<std::uint64_t>(qz);
    const std::uint64_t sign = std::uint64_t(1) << 63;
    const double num = std::bit_cast<double>((pb & ~odd) | ((qb ^ sign) & odd));
    const double den = std::bit_cast<double>((qb & ~odd) | (pb & odd));
    const double t = num / den;
    // Within 2^13 of the half-way pattern 2^28, as one unsigned comparison.
    const std::uint64_t low = std::bit_cast<std::uint64_t>(t) & ((std::uint64_t(1) << 29) - 1);
    constexpr std::uint64_t kGuard = std::uint64_t(1) << 13;
    if (low - ((std::uint64_t(1) << 28) - kGuard) <= 2 * kGuard) [[unlikely]]
        return static_cast<float>(std::tan(x));
    return static_cast<float>(t);
}

// The seeds the stream runs through from the first draw on. A seed of 0 or
// less restarts the generator, and IM1 (or above) is not yet reduced (IM1
// itself steps to 0, which restarts it at the next draw): the draws from
// such a seed are left to ran2 until a draw has brought it into range.
bool steady(std::int64_t seed) { return seed >= 1 && seed < IM1; }

} // namespace

float proposal_tangent(float angle) { return tangent_of(angle); }

PooledCounts::RejectionPool PooledCounts::rejection_pool(int n)
{
    // As bnldev(0.5f, n, ...) computes them.
    RejectionPool r;
    r.n = n;
    r.en = static_cast<float>(n);
    r.am = static_cast<float>(n) * 0.5f;
    r.oldg = static_cast<float>(gammln(static_cast<double>(r.en) + 1.0));
    const float pc = 1.0f - 0.5f;
    r.sq = static_cast<float>(std::sqrt(static_cast<double>(pc) * (static_cast<double>(r.am) + static_cast<double>(r.am))));
    r.en_plus_one = static_cast<double>(r.en) + 1.0;
    r.sq_times_1_2 = static_cast<double>(r.sq) * 1.2;
    return r;
}

PooledCounts::PooledCounts(const int* x, const int* y, int n) : n_(n > 0 ? n : 0), pooled_(static_cast<std::size_t>(n_) + 1, 0)
{
    for (int i = 1; i <= n_; ++i) pooled_[static_cast<std::size_t>(i)] = std::int64_t(x[i]) + y[i];
}

void PooledCounts::make_plan() const
{
    full_chunk_ = rejection_pool(static_cast<int>(kExactPool));
    std::int64_t largest = 0;
    int i = 1;
    while (i <= n_) {
        Step step;
        step.first = i;
        const std::int64_t s = pooled_[static_cast<std::size_t>(i)];
        if (s > kDirectPool) {
            step.last = i++;
            if (s <= kExactPool) {
                step.kind = Step::kRejection;
                step.index = static_cast<int>(rejections_.size());
                rejections_.push_back(rejection_pool(static_cast<int>(s)));
                if (s > largest) largest = s;
            } else {
                step.kind = Step::kChunked;
                largest = kExactPool;
            }
        } else {
            // Consecutive read-by-read pools, as many as one block of draws holds.
            step.kind = Step::kDirect;
            step.index = static_cast<int>(ends_.size());
            int draws = 0;
            while (i <= n_) {
                const std::int64_t t = pooled_[static_cast<std::size_t>(i)];
                if (t > kDirectPool || draws + t > kDirectBlock) break;
                draws += static_cast<int>(t);
                ends_.push_back(draws);
                step.last = i++;
            }
            step.draws = draws;
        }
        steps_.push_back(step);
    }
    bool draws_follow = false, proposal_follows = false;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        step->draws_follow = draws_follow;
        step->proposal_follows = proposal_follows;
        if (step->kind != Step::kDirect || step->draws > 0) {
            draws_follow = true;
            proposal_follows = step->kind != Step::kDirect;
        }
    }
    // Windows of +-8 sq about the centre hold 92% of the proposals.
    std::unordered_map<int, RejectionPool> windows;
    std::size_t window_total = 0;
    for (RejectionPool& r : rejections_) {
        auto [it, added] = windows.try_emplace(r.n, r);
        if (added) {
            RejectionPool& w = it->second;
            const double reach = 8.0 * static_cast<double>(w.sq);
            const int lo = std::max(0, static_cast<int>(static_cast<double>(w.am) - reach));
            const int hi = std::min(w.n, static_cast<int>(static_cast<double>(w.am) + reach) + 1);
            if (window_total + static_cast<std::size_t>(hi - lo + 1) <= kExpWindowTotal) {
                w.window_lo = lo;
                w.window_size = hi - lo + 1;
                w.window_offset = window_total;
                window_total += static_cast<std::size_t>(w.window_size);
            }
        }
        r = it->second;
    }
    window_total_ = window_total;
    const std::int64_t table = largest < kLnFactorialTable ? largest : kLnFactorialTable;
    ln_factorial_cells_ = largest > 0 ? static_cast<std::size_t>(table) + 1 : 0;
}

void PooledCounts::prepare_draw_caches() const
{
    if (caches_ready_) return;
    make_plan();
    exp_windows_.assign(window_total_, std::numeric_limits<double>::quiet_NaN());
    ln_factorials_.assign(ln_factorial_cells_, std::numeric_limits<double>::quiet_NaN());
    caches_ready_ = true;
}

void PooledCounts::finish_draws()
{
    std::vector<double>().swap(exp_windows_);
    std::vector<double>().swap(ln_factorials_);
    std::vector<Step>().swap(steps_);
    std::vector<int>().swap(ends_);
    std::vector<RejectionPool>().swap(rejections_);
    caches_ready_ = false;
}

double PooledCounts::ln_factorial(int k) const
{
    // gammln(em + 1) as bnldev evaluates it, em being the whole number k.
    if (static_cast<std::size_t>(k) >= ln_factorials_.size()) return gammln(static_cast<double>(k) + 1.0);
    double& v = ln_factorials_[static_cast<std::size_t>(k)];
    if (std::isnan(v)) v = gammln(static_cast<double>(k) + 1.0);
    return v;
}

namespace {

// ln 0.5 as bnldev caches it for p and for 1 - p, both 0.5f.
const float kLogHalf = static_cast<float>(std::log(static_cast<double>(0.5f)));

} // namespace

void draw_split(const PooledCounts& pool, int* xp, std::int64_t& seed)
{
    using Step = PooledCounts::Step;
    using RejectionPool = PooledCounts::RejectionPool;
    pool.prepare_draw_caches();
    const std::size_t steps = pool.steps_.size();
    std::size_t k = 0;
    for (; k < steps && !steady(seed); ++k) {
        const Step& step = pool.steps_[k];
        for (int i = step.first; i <= step.last; ++i)
            xp[i] = static_cast<int>(split_pool(pool.pooled_[static_cast<std::size_t>(i)], seed));
    }
    if (k == steps) return;

    Stream stream(seed);
    // The last pool split by rejection, whose ln n! bnldev keeps.
    int cached_n = 0;
    float cached_en = 0, cached_oldg = 0;

    // A rejection's acceptance draw is followed by a proposal: of the same
    // pool when the test rejects, of the next pool when that one is split
    // by rejection too. When a later draw is certain either way, that draw
    // (and, when it will be a proposal, its tangent) is taken before the
    // test is decided, so that the next tangent is worked out while the
    // test's outcome is still pending rather than after it.
    bool pending = false;            // the draw after an acceptance draw is taken
    std::int64_t pending_scaled = 0; // its iy · kScale
    bool pending_proposed = false;   // its tangent is worked out
    float pending_y = 0;             // and is this

    // A proposal's tangent, which does not depend on the pool.
    auto propose = [](std::int64_t scaled) {
        const float u = uniform_of(static_cast<std::int64_t>(static_cast<std::uint64_t>(scaled) * kInverse));
        // 3.141592654 as bnldev has it, not the double nearest pi.
        const float angle = static_cast<float>(3.141592654 * static_cast<double>(u));
        return tangent_of(angle);
    };
    auto next_scaled = [&]() {
        if (pending) {
            pending = false;
            return pending_scaled;
        }
        return stream.next();
    };

    auto by_rejection = [&](const RejectionPool& r, bool draws_follow, bool proposal_follows) -> float {
        cached_n = r.n;
        cached_en = r.en;
        cached_oldg = r.oldg;
        for (;;) {
            float y = 0, em = 0;
            do {
                if (pending) {
                    y = pending_proposed ? pending_y : propose(pending_scaled);
                    pending = false;
                } else {
                    y = propose(stream.next());
                }
                em = r.sq * y + r.am;
            } while (em < 0.0f || static_cast<double>(em) >= r.en_plus_one);
            // em is in [0, n + 1): truncation is its floor, and the whole
            // number is exact in single precision.
            const int kept = static_cast<int>(em);
            em = static_cast<float>(kept);
            // exp of the acceptance exponent, as bnldev works it out; it
            // depends on the pool and the proposal only, and is kept for the
            // proposals of the pool's window.
            auto exp_of_exponent = [&] {
                const float rest = r.en - em;
                const double exponent =
                    (((static_cast<double>(r.oldg) - pool.ln_factorial(kept)) - pool.ln_factorial(r.n - kept)) +
                     static_cast<double>(em * kLogHalf)) +
                    static_cast<double>(rest * kLogHalf);
                return std::exp(exponent);
            };
            const float accept = stream.uniform();
            if (draws_follow) {
                pending = true;
                pending_scaled = stream.next();
                pending_proposed = proposal_follows;
                if (proposal_follows) pending_y = propose(pending_scaled);
            }
            const float yy = y * y;
            const double factor = r.sq_times_1_2 * (1.0 + static_cast<double>(yy));
            double e = 0;
            const unsigned at = static_cast<unsigned>(kept - r.window_lo);
            if (at < static_cast<unsigned>(r.window_size)) {
                double& kept_exp = pool.exp_windows_[r.window_offset + at];
                if (std::isnan(kept_exp)) kept_exp = exp_of_exponent();
                e = kept_exp;
            } else {
                e = exp_of_exponent();
            }
            const float t = static_cast<float>(factor * e);
            if (!(accept > t)) return em;
            // Rejected: the taken draw, if any, is this pool's next proposal.
        }
    };

    int cum[kDirectBlock + 1];
    cum[0] = 0;
    for (; k < steps; ++k) {
        const Step& step = pool.steps_[k];
        switch (step.kind) {
        case Step::kDirect: {
            int c = 0, t = 1;
            if (pending && step.draws > 0) {
                pending = false;
                c = pending_scaled < kScaledHalfThreshold;
                cum[t++] = c;
            }
            for (; t <= step.draws; ++t) {
                c += stream.next() < kScaledHalfThreshold;
                cum[t] = c;
            }
            const int* end = pool.ends_.data() + step.index;
            int before = 0;
            for (int i = step.first; i <= step.last; ++i) {
                const int now = cum[*end++];
                xp[i] = now - before;
                before = now;
            }
            break;
        }
        case Step::kRejection:
            xp[step.first] = static_cast<int>(by_rejection(pool.rejections_[static_cast<std::size_t>(step.index)],
                                                           step.draws_follow, step.proposal_follows));
            break;
        case Step::kChunked:
            // Rare enough to be drawn without looking ahead.
            xp[step.first] = static_cast<int>(
                split_in_chunks(pool.pooled_[static_cast<std::size_t>(step.first)], [&](std::int64_t chunk) {
                    std::int64_t taken = 0;
                    if (chunk <= kDirectPool) {
                        for (std::int64_t t = 0; t < chunk; ++t) taken += next_scaled() < kScaledHalfThreshold;
                    } else {
                        const RejectionPool r = chunk == kExactPool
                                                    ? pool.full_chunk_
                                                    : PooledCounts::rejection_pool(static_cast<int>(chunk));
                        taken = static_cast<std::int64_t>(by_rejection(r, false, false));
                    }
                    return taken;
                }));
            break;
        }
    }
    stream.save(seed);

    if (cached_n != 0) {
        BinomialCache& c = binomial;
        c.nold = cached_n;
        c.en = cached_en;
        c.oldg = cached_oldg;
        c.pold = 0.5f;
        c.pc = 1.0f - 0.5f;
        c.plog = kLogHalf;
        c.pclog = kLogHalf;
    }
}
