#include "mfit/mychisq.h"

#include "numcore/arrays.h"
#include "numcore/gammln.h"
#include "numcore/histogram.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

// Two ways to the same numbers
// ============================
// The test needs, for each model, the count values k in 0..M (M the largest
// count) whose expected frequency e(k) is at least 5, their e(k) in ascending
// k, and whether any e(k) is not a number. The direct pass computes e(k) for
// every k. That is the right thing for the usual vectors, where M is a few
// dozen. On deep positions M reaches 10^6 while a vector has a few thousand
// entries, and at most about n / 5 values can be classes at all, since the
// expected frequencies add up to about n.
//
// The deep path therefore evaluates e(k) only on a band of values around the
// peak of the model, and proves that every value outside the band is below 5,
// without evaluating it. Every e(k) it does evaluate comes from the same
// function as in the direct pass, so the classes, their expected frequencies,
// the order of the sums and therefore every output bit are those of the
// direct pass. Where a proof is not at hand (parameters outside the ranges
// the argument below covers, a shape the bounds cannot follow, a band that
// would grow past a quarter of M) the model falls back to evaluating every
// value, which is the direct pass.
//
// Notation. u = 2^-53, the unit roundoff. For the generalized Poisson model
// r(k) = lambda + theta k and, with real arithmetic and the true log-gamma,
//     log P(k) = log lambda + (k - 1) log r(k) - r(k) - ln Gamma(k + 1);
// for the Poisson model log P(k) = k log mu - mu - ln Gamma(k + 1). A(k) is
// the argument of exp as the program computes it, so e(k) = fl(n fl(exp A(k))).
//
// 1. Not a number (generalized Poisson). With lambda in (0, 2^32], theta in
// [-1, 1) and k <= 2^31, the operations are: theta*k and lambda + that, both
// finite; log lambda, finite; log(rate), finite for rate > 0, -inf for rate
// == +0 (lambda + t never gives -0 for lambda > 0), NaN for rate < 0; then
// (k - 1) times it: k = 0 only meets rate = lambda > 0; for k = 1 the product
// is 0 * log(rate), NaN when rate is 0 or negative; for k >= 2 it is -inf or
// NaN or finite (|.| < 2^31 * 745). The sums with finite terms keep -inf as
// -inf and NaN as NaN; gammln(k + 1) is finite for k >= 0 (its series is
// positive there); exp gives a finite value, +inf or 0; and n >= 1 times that
// is never NaN. So e(k) is NaN exactly when rate(k) < 0, or rate(1) == 0 with
// k = 1. The computed rate(k) = fl(lambda + fl(theta k)) is monotone in k,
// since both roundings are monotone: non-decreasing and >= lambda for theta >=
// 0, non-increasing for theta < 0. Hence a NaN exists in 0..M exactly when
// theta < 0 and (rate(M) < 0 or rate(1) == 0). The Poisson e(k) is never NaN
// for mu in [2^-30, 2^32].
//
// 2. How far A(k) is from log P(k). Take lambda in [2^-30, 2^32] and the
// safe limit S: M for theta >= 0, else the largest k <= M with rate(k) >=
// 2^-39 |theta| k^2, which gives r(k) >= 2^-40 |theta| k^2 on 1..S. On 0..S
// each term is off by little: log lambda by 2u * 23; rate(k) by a relative
// rho(k), rho <= 2.1u for theta >= 0 and rho(k) <= 1.01u (1 + |theta| k /
// r(k)) for theta < 0, so that (k - 1) rho(k) <= 1.01u (2^31 + 2^40) < 2^-12;
// r(k) >= 2^-102 (r >= lambda / 2 where |theta| <= 2^-32 lambda, else r >=
// 2^-40 |theta| k^2), so |log r(k)| < 71 and (k - 1) log r(k) carries a
// rounding below 2^31 * 71 * 3u < 6e-5 besides the 1.01 (k - 1) rho(k) above;
// r(k) < 2^33 itself is off by at most 2^-19; gammln(k + 1) by its series'
// 2e-10 plus a rounding below 10u * 2^31 * 22 < 6e-5; each of the three
// additions by at most u (23 + 2^31 * 71 + 2^33 + 2^31 * 22) < 3e-5.
// Altogether |A(k) - log P(k)| < 1e-3 on 0..S. For the Poisson model, with mu
// in [2^-30, 2^32], the same count gives less, and S = M.
//
// 3. The anchor. Let e(R) < 2.5 (computed) and log P(k) <= log P(R) + 0.251
// for k in a range. exp is within an ulp and the product with n is rounded
// once, so n e^A(R) < 2.5 (1 + 4u) (plus a subnormal's absolute 2^-1074 n),
// and for k in the range e(k) <= (1 + 4u) n e^A(k) <= (1 + 4u) n e^A(R)
// e^(0.251 + 2e-3) < 2.5 * 1.2880 < 3.3. No value in the range is a class.
//
// 4. Slopes. For k >= 1 with r(k + 1) > 0, Delta(k) = log P(k + 1) - log P(k)
// is f1(k) + phi(k), where
//     f1(k) = log(r(k + 1) / (k + 1)) - theta,
//     phi(k) = (k - 1) log(r(k + 1) / r(k)) = (k - 1) log(1 + theta / r(k)),
// also for real k = t, where they are smooth. Always f1'(t) = theta / r(t + 1)
// - 1 / (t + 1) = -lambda / ((t + 1) r(t + 1)) < 0. For theta >= 0 that fall
// shrinks as t grows, and phi'(t) = log(1 + theta / r(t)) - (t - 1) theta^2 /
// (r(t) r(t + 1)) lies, by theta / r(t + 1) <= log(1 + theta / r(t)) <= theta
// / r(t), between theta (lambda + theta) / (r(t) r(t + 1)) > 0 and theta
// (lambda + 2 theta) / (r(t) r(t + 1)), both shrinking as t grows. So phi
// increases, and over a block a..b, theta >= 0, two bounds each way:
//     f1(b) + phi(a) <= Delta <= f1(a) + phi(b),
//     Delta(a) + (b - a) min(0, D-) <= Delta <= Delta(a) + (b - a) max(0, D+),
// D+ = theta (lambda + 2 theta) / (r(a) r(a + 1)) - lambda / ((b + 1) r(b + 1)),
// D- = theta (lambda + theta) / (r(b) r(b + 1)) - lambda / ((a + 1) r(a + 1)).
// The first pair is tight where f1 and phi change fast, the second on the
// flat top of a wide model, where D+ and D- are nearly 0.
// For theta < 0, log1p(theta / r) is ill-conditioned near the last positive
// rate, so x / (1 + x) <= log(1 + x) <= x (x > -1) stand in for it:
// f1(k) + h(k) <= Delta(k) <= f1(k) + g(k), with g(k) = (k - 1) theta / r(k)
// and h(k) = (k - 1) theta / r(k + 1). As k - 1 >= 0 grows and r > 0 shrinks,
// (k - 1) / r grows, so g and h decrease, and over a block
//     theta < 0:   f1(b) + h(b) <= Delta <= f1(a) + g(a).
// These are evaluated in double. For theta >= 0 each rate is off by 2.1u at
// most, the log of a quotient by 1.01 * 3.2u + 2u |log|, phi by 3.2u + 3u
// |phi| (log1p's argument x is off by 3.2u x, its slope is at most 1, and
// (k - 1) x < 1), each term of D+ and D- by 6u of itself; the allowance
// 1e-9 (1 + the sizes of the logs, theta, phi and (b - a) times the D terms)
// covers all that and the few sums with room. For theta < 0 each rate up to
// b + 1 is off by a relative rho <= 1.01u (2 + |theta| (b + 1) / r(b + 1))
// (|theta| k / r(k) grows with k), the log by 1.01 (rho + u) + 2u |log|, g
// or h by (rho + 3u) |g or h|; with the sums' roundings the allowance 1e-9
// (1 + |log| + |theta| + |term|) + 2 rho (1 + |term|), rho capped at 2^-20,
// covers it. For Poisson Delta(k) = log mu - log(k + 1) exactly: P falls from
// R on where R + 1 >= mu and rises up to L where L <= mu, compared without
// rounding.
//
// 5. Tails. To the right of an anchor R >= 1 the bounds go block by block over
// R..S-1 and add up width * bound into a bound on log P(k) - log P(R); to
// the left of an anchor L the lower bounds add up the same way down to 1. A
// tail passes when that running bound never exceeds 0.25: short rises near
// the peak of a flat model are allowed, paid for by the falls before them.
// The running bound is held at no less than -1000, which only loosens it and
// keeps the rounding of its additions below 2^-42 each, far below 0.001 over
// the at most 200 blocks of a tail. By 3, no value of a passed tail is a class.
// Values 0 (left) and S+1..M (right, theta < 0 near its last positive rate)
// are outside the bounds and are evaluated like the band.
//
// 6. The walk. From a point near the peak the band grows to the right while
// e(k) >= 2.5, and tries the right tail at the first value below 2.5; after a
// failed try it evaluates on and tries again after 1, 2, 4, ... more values.
// Likewise to the left. In the usual case the band is the values with e(k) >=
// 2.5, at most about n / 2.5 of them, plus a few dozen bound evaluations per
// tail, whatever M is. Observed frequencies are then counted only for the
// classes found.

namespace {

// The expected frequency of the count value k among n positions under each
// model. Both paths compute every expected frequency here, so a value is the
// same double whichever path asked for it.
double genpois_expected(int n, double lambda, double theta, int k)
{
    // Probabilities in log space, so that large counts overflow neither k!
    // nor the powers.
    const double rate = lambda + theta * k;
    return n * std::exp(std::log(lambda) + (k - 1) * std::log(rate) - rate - gammln(k + 1));
}

double poisson_expected(int n, double poisson_lambda, int k)
{
    return n * std::exp(k * std::log(poisson_lambda) - poisson_lambda - gammln(k + 1));
}

// A value is a class of its own from this expected frequency on.
constexpr double kSeparate = 5.0;

// ---------------------------------------------------------------------------
// The deep path.

// A vector goes the deep path when its largest count is beyond the few
// dozen values of usual depths, where the direct pass costs as little and
// has no set-up. The band that can hold classes is at most about n / 2.5 values and
// in practice far narrower than M, so the walk's budget of M / 4 values
// holds it even when M is not far above n; when it does not, the walk gives
// up and the direct pass follows (on the 400-gene dataset 100 times deeper
// than the default, taking every M above 256 rather than only M > 2n cut
// mfit's time by a third). M = INT_MAX stays direct, as k + 1 has to remain
// an int.
constexpr int kDirectLargest = 256;

bool deep_enough(int M)
{
    return M > kDirectLargest && M < std::numeric_limits<int>::max();
}

// An expected frequency below this leaves room, with the rounding and the
// permitted rise of a tail, to stay below kSeparate (note 3 above).
constexpr double kAnchor = 2.5;
// How much a passed tail may rise above its anchor, in log probability.
constexpr double kRise = 0.25;
// The running bound of a tail is held at no less than this.
constexpr double kFloor = -1000.0;
// Bound evaluations allowed for one tail before it is given up.
constexpr int kTailChecks = 200;
// Wider than any range of count values.
constexpr std::int64_t kWidestBlock = std::int64_t{1} << 32;
constexpr double kUnit = 0x1p-53;

// The classes of one model: ascending values, their expected frequencies, and
// whether an expected frequency was not a number (then nothing else counts).
struct Classes {
    bool failed = false;
    std::vector<int> value;
    std::vector<double> expected;

    void add(int k, double e)
    {
        value.push_back(k);
        expected.push_back(e);
    }
    void clear()
    {
        failed = false;
        value.clear();
        expected.clear();
    }
};

// Every value 0..M, the direct pass of one model: its classes, into `out`.
template <class Expected>
void every_value(int M, Expected expected, Classes& out)
{
    out.clear();
    for (int k = 0; k <= M; ++k) {
        const double e = expected(k);
        if (std::isnan(e)) {
            out.failed = true;
            break;
        }
        if (e >= kSeparate) out.add(k, e);
    }
}

template <class Expected>
Classes every_value(int M, Expected expected)
{
    Classes out;
    every_value(M, expected, out);
    return out;
}

// The generalized Poisson model on the deep path (notes 2, 4, 5). Needs
// lambda in [2^-30, 2^32], theta in [-1, 1), 1 <= M < INT_MAX, and no NaN in
// 0..M.
class GenPoisModel {
public:
    static constexpr int first = 1; // the slope bounds need k >= 1

    // The walk starts at `from` when that is 0..M, else near the peak.
    GenPoisModel(int n, int M, double lambda, double theta, int from)
        : n_(n), M_(M), lambda_(lambda), theta_(theta)
    {
        safe_ = find_safe_limit();
        start_ = from >= 0 && from <= M ? from : find_peak();
    }

    int safe() const { return safe_; }
    int start() const { return start_; }
    double expected(int k) const { return genpois_expected(n_, lambda_, theta_, k); }

    // Bounds of Delta(k) over k in a..b (1 <= a <= b < safe); see note 4.
    void slope_bounds(std::int64_t a, std::int64_t b, double& below, double& above) const
    {
        below = slope_below(a, b);
        above = slope_above(a, b);
    }

    // Whether log P(k) <= log P(R) + kRise for k in R..safe (1 <= R < safe).
    bool certify_right(int R, std::int64_t& work, std::int64_t budget) const
    {
        double rise = 0.0;
        std::int64_t pos = R;
        std::int64_t width = 1;
        int checks = 0;
        while (pos < safe_) {
            if (++checks > kTailChecks || ++work > budget) return false;
            const std::int64_t b = std::min<std::int64_t>(pos + width - 1, safe_ - 1);
            const double up = slope_above(pos, b);
            const double w = static_cast<double>(b - pos + 1);
            // The highest point within the block is at its end for a rising
            // bound and just after its start for a falling one.
            if (!(rise + std::max(up, w * up) <= kRise)) {
                if (width == 1) return false;
                width = std::max<std::int64_t>(1, width / 4);
                continue;
            }
            rise = std::max(rise + w * up, kFloor);
            pos = b + 1;
            width = std::min<std::int64_t>(2 * width, kWidestBlock);
        }
        return true;
    }

    // Whether log P(k) <= log P(L) + kRise for k in 1..L (1 < L <= safe).
    bool certify_left(int L, std::int64_t& work, std::int64_t budget) const
    {
        double rise = 0.0;
        std::int64_t pos = L - 1;
        std::int64_t width = 1;
        int checks = 0;
        while (pos >= 1) {
            if (++checks > kTailChecks || ++work > budget) return false;
            const std::int64_t a = std::max<std::int64_t>(pos - width + 1, 1);
            const double down = -slope_below(a, pos);
            const double w = static_cast<double>(pos - a + 1);
            if (!(rise + std::max(down, w * down) <= kRise)) {
                if (width == 1) return false;
                width = std::max<std::int64_t>(1, width / 4);
                continue;
            }
            rise = std::max(rise + w * down, kFloor);
            pos = a - 1;
            width = std::min<std::int64_t>(2 * width, kWidestBlock);
        }
        return true;
    }

private:
    // The rate exactly as genpois_expected computes it.
    double rate(std::int64_t k) const { return lambda_ + theta_ * static_cast<double>(k); }

    // The largest k in 0..M with rate(k) >= 2^-39 |theta| k^2; M for theta >=
    // 0. Both sides are monotone in k, so the values that pass are a prefix.
    // Passing gives r(k) >= 2^-40 |theta| k^2 (the two roundings of the right
    // side and rho(k) move it by far less than half), as note 2 needs.
    int find_safe_limit() const
    {
        if (theta_ >= 0) return M_;
        const double scale = -theta_ * 0x1p-39;
        const auto passes = [&](std::int64_t k) {
            const double kk = static_cast<double>(k);
            return rate(k) >= scale * (kk * kk);
        };
        if (passes(M_)) return M_;
        std::int64_t lo = 0, hi = M_; // passes(lo), !passes(hi)
        while (hi - lo > 1) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            (passes(mid) ? lo : hi) = mid;
        }
        return static_cast<int>(lo);
    }

    // Where the walk starts: the first k in 0..safe whose slope, roughly
    // evaluated, is below 0, found by bisection as if the model had a single
    // peak. Only speed depends on it; the tails are proven wherever it lands.
    int find_peak() const
    {
        const auto slope = [&](std::int64_t k) {
            if (k == 0) return std::log(lambda_) - theta_;
            return (log_quotient(k) - theta_) + phi(k);
        };
        std::int64_t lo = 0, hi = safe_;
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (slope(mid) < 0)
                hi = mid;
            else
                lo = mid + 1;
        }
        return static_cast<int>(lo);
    }

    // For theta < 0: the relative error bound rho of every rate up to b + 1
    // (note 4), or a negative value where it is too large to work with.
    double rate_error(std::int64_t b) const
    {
        const double rho = 1.01 * kUnit * (2.0 + -theta_ * static_cast<double>(b + 1) / rate(b + 1));
        return rho <= 0x1p-20 ? rho : -1.0;
    }

    // log(r(k + 1) / (k + 1)) = f1(k) + theta, and phi(k) (note 4).
    double log_quotient(std::int64_t k) const { return std::log(rate(k + 1) / static_cast<double>(k + 1)); }
    double phi(std::int64_t k) const { return static_cast<double>(k - 1) * std::log1p(theta_ / rate(k)); }

    // For theta >= 0: bounds of Delta'(t) over t in a..b, and a size that
    // bounds every term of them.
    struct SlopeChange {
        double low, high, size;
    };
    SlopeChange slope_change(std::int64_t a, std::int64_t b) const
    {
        const double fall_a = lambda_ / (static_cast<double>(a + 1) * rate(a + 1));
        const double fall_b = lambda_ / (static_cast<double>(b + 1) * rate(b + 1));
        const double rise_a = theta_ * (lambda_ + 2 * theta_) / (rate(a) * rate(a + 1));
        const double rise_b = theta_ * (lambda_ + theta_) / (rate(b) * rate(b + 1));
        return {rise_b - fall_a, rise_a - fall_b, fall_a + rise_a};
    }

    // An upper bound of Delta(k) over k in a..b (1 <= a <= b < safe), or +inf.
    double slope_above(std::int64_t a, std::int64_t b) const
    {
        const double fa = log_quotient(a);
        if (theta_ >= 0) {
            const double pa = phi(a), pb = phi(b);
            const SlopeChange d = slope_change(a, b);
            const double span = static_cast<double>(b - a);
            const double ends = (fa - theta_) + pb;
            const double line = ((fa - theta_) + pa) + span * std::max(0.0, d.high);
            const double allowance =
                1e-9 * (1.0 + std::fabs(fa) + theta_ + std::fabs(pa) + std::fabs(pb) + span * d.size);
            return std::min(ends, line) + allowance;
        }
        const double rho = rate_error(b);
        if (rho < 0) return std::numeric_limits<double>::infinity();
        const double g = static_cast<double>(a - 1) * theta_ / rate(a);
        const double allowance =
            1e-9 * (1.0 + std::fabs(fa) - theta_ + std::fabs(g)) + 2.0 * rho * (1.0 + std::fabs(g));
        return (fa - theta_) + g + allowance;
    }

    // A lower bound of Delta(k) over k in a..b (1 <= a <= b < safe), or -inf.
    double slope_below(std::int64_t a, std::int64_t b) const
    {
        const double fb = log_quotient(b);
        if (theta_ >= 0) {
            const double fa = log_quotient(a);
            const double pa = phi(a);
            const SlopeChange d = slope_change(a, b);
            const double span = static_cast<double>(b - a);
            const double ends = (fb - theta_) + pa;
            const double line = ((fa - theta_) + pa) + span * std::min(0.0, d.low);
            const double allowance =
                1e-9 * (1.0 + std::fabs(fa) + std::fabs(fb) + theta_ + std::fabs(pa) + span * d.size);
            return std::max(ends, line) - allowance;
        }
        const double rho = rate_error(b);
        if (rho < 0) return -std::numeric_limits<double>::infinity();
        const double h = static_cast<double>(b - 1) * theta_ / rate(b + 1);
        const double allowance =
            1e-9 * (1.0 + std::fabs(fb) - theta_ + std::fabs(h)) + 2.0 * rho * (1.0 + std::fabs(h));
        return (fb - theta_) + h - allowance;
    }

    int n_;
    int M_;
    double lambda_;
    double theta_;
    int safe_ = 0;
    int start_ = 0;
};

// The Poisson model on the deep path: its slope is known exactly (note 4).
// Needs mu in [2^-30, 2^32] and 1 <= M < INT_MAX.
class PoissonModel {
public:
    static constexpr int first = 0;

    PoissonModel(int n, int M, double mu, int from)
        : n_(n), M_(M), mu_(mu),
          start_(from >= 0 && from <= M ? from : mu >= M ? M : static_cast<int>(std::floor(mu)))
    {
    }

    int safe() const { return M_; }
    int start() const { return start_; }
    double expected(int k) const { return poisson_expected(n_, mu_, k); }

    // P does not rise anywhere in R..M, or up to L from 0.
    bool certify_right(int R, std::int64_t&, std::int64_t) const { return R + 1.0 >= mu_; }
    bool certify_left(int L, std::int64_t&, std::int64_t) const { return L <= mu_; }

private:
    int n_;
    int M_;
    double mu_;
    int start_;
};

// Note 6: the band from the model's start, the tails proven around it. False
// when the work outgrows `budget`; `out` is then incomplete.
template <class Model>
bool walk(const Model& model, int M, std::int64_t budget, Classes& out)
{
    std::int64_t work = 0;
    const int start = model.start();
    const int safe = model.safe();

    // Leftwards from start - 1; the classes found come out descending.
    Classes left;
    std::int64_t next_try = start - 1;
    std::int64_t gap = 1;
    for (int k = start - 1; k >= 0; --k) {
        if (++work > budget) return false;
        const double e = model.expected(k);
        if (e >= kSeparate) left.add(k, e);
        if (k <= next_try && k > Model::first && k <= safe && e < kAnchor) {
            if (model.certify_left(k, work, budget)) {
                for (int j = Model::first - 1; j >= 0; --j) {
                    const double ej = model.expected(j);
                    if (ej >= kSeparate) left.add(j, ej);
                }
                break;
            }
            next_try = k - gap;
            gap *= 2;
        }
    }
    for (std::size_t i = left.value.size(); i-- > 0;) out.add(left.value[i], left.expected[i]);

    // Rightwards from start; past a proven tail only safe+1..M remain.
    next_try = start;
    gap = 1;
    for (int k = start; k <= M; ++k) {
        if (++work > budget) return false;
        const double e = model.expected(k);
        if (e >= kSeparate) out.add(k, e);
        if (k >= next_try && k >= Model::first && k < safe && e < kAnchor) {
            if (model.certify_right(k, work, budget)) {
                k = safe;
                continue;
            }
            next_try = k + gap;
            gap *= 2;
        }
    }
    return true;
}

std::int64_t walk_budget(int M) { return M / 4 + 64; }

// The parameters the generalized Poisson proofs cover (notes 1 and 2).
bool genpois_covered(double lambda, double theta)
{
    return lambda >= 0x1p-30 && lambda <= 0x1p32 && theta >= -1.0 && theta < 1.0;
}

// Note 1: whether some e(k), k in 0..M (M >= 1), is not a number.
bool genpois_has_nan(int M, double lambda, double theta)
{
    return theta < 0 && (lambda + theta * M < 0 || lambda + theta * 1 == 0);
}

Classes genpois_classes(int n, int M, double lambda, double theta, int from)
{
    const auto every = [&] {
        return every_value(M, [&](int k) { return genpois_expected(n, lambda, theta, k); });
    };
    if (!genpois_covered(lambda, theta)) return every();
    if (genpois_has_nan(M, lambda, theta)) {
        Classes out;
        out.failed = true;
        return out;
    }
    Classes out;
    if (walk(GenPoisModel(n, M, lambda, theta, from), M, walk_budget(M), out)) return out;
    return every();
}

Classes poisson_classes(int n, int M, double poisson_lambda, int from)
{
    const auto every = [&] {
        return every_value(M, [&](int k) { return poisson_expected(n, poisson_lambda, k); });
    };
    if (!(poisson_lambda >= 0x1p-30 && poisson_lambda <= 0x1p32)) return every();
    Classes out;
    if (walk(PoissonModel(n, M, poisson_lambda, from), M, walk_budget(M), out)) return out;
    return every();
}

// The observed frequencies of a model's classes on the deep path, counted in
// one look per entry: a table over the span of the classes when that is
// compact (the usual single run of values), a search among them otherwise.
class ObservedCounts {
public:
    ObservedCounts(const std::vector<int>& values, int n, const int* counts) : values_(values)
    {
        if (values.empty()) return;
        base_ = values.front();
        const std::int64_t span = static_cast<std::int64_t>(values.back()) - base_ + 1;
        dense_ = span <= 4 * static_cast<std::int64_t>(values.size()) + 1024;
        cells_.assign(static_cast<std::size_t>(dense_ ? span : static_cast<std::int64_t>(values.size())), 0);
        for (int i = 1; i <= n; ++i) add(counts[i]);
    }

    void add(int v)
    {
        if (cells_.empty()) return;
        if (dense_) {
            const std::uint64_t i = static_cast<std::uint64_t>(static_cast<std::int64_t>(v) - base_);
            if (i < cells_.size()) ++cells_[i];
            return;
        }
        const auto it = std::lower_bound(values_.begin(), values_.end(), v);
        if (it != values_.end() && *it == v) ++cells_[static_cast<std::size_t>(it - values_.begin())];
    }

    // The observed frequency of the i-th class.
    int operator[](std::size_t i) const
    {
        return dense_ ? cells_[static_cast<std::size_t>(values_[i] - base_)] : cells_[i];
    }

private:
    const std::vector<int>& values_;
    std::int64_t base_ = 0;
    bool dense_ = true;
    std::vector<int> cells_;
};

// The statistic over the separate classes, in ascending order, and the
// pooled class; `valid` goes to 0 when the pooled class expects exactly
// nothing.
// observed[i] is the observed frequency of the i-th class.
template <class Observed>
double pearson(int n, const Classes& classes, const Observed& observed, int& valid)
{
    double statistic = 0.0;
    std::int64_t sum_observed = 0;
    double sum_expected = 0.0;
    for (std::size_t i = 0; i < classes.value.size(); ++i) {
        const double diff = observed[i] - classes.expected[i];
        statistic = statistic + (diff * diff) / classes.expected[i];
        sum_observed += observed[i];
        sum_expected = sum_expected + classes.expected[i];
    }
    const double pooled = sum_expected - static_cast<double>(sum_observed);
    statistic = statistic + (pooled * pooled) / (n - sum_expected);
    if (n - sum_expected == 0) valid = 0;
    return statistic;
}

// The test of both models over their classes, which the direct pass and the
// deep path find each in their own way, and observe(classes) counts the
// observed frequencies of; the outputs are written in the direct pass's order.
template <class Observe>
void test_classes(int n, const Classes& genpois, const Classes& pois, Observe observe, int& genpois_valid,
                  int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq, double& pois_chisq)
{
    const int genpois_count = static_cast<int>(genpois.value.size());
    const int pois_count = static_cast<int>(pois.value.size());
    genpois_valid = 0;
    pois_valid = 0;
    if (genpois_count > 2 && !genpois.failed) {
        genpois_valid = 1;
        genpois_df = genpois_count - 2;
        genpois_chisq = pearson(n, genpois, observe(genpois), genpois_valid);
    }
    if (pois_count > 1 && !pois.failed) {
        pois_valid = 1;
        pois_df = pois_count - 1;
        pois_chisq = pearson(n, pois, observe(pois), pois_valid);
    }
}

void deep_path(int n, const int* counts, int M, double theta, double lambda, double poisson_lambda, int from,
               int& genpois_valid, int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq,
               double& pois_chisq)
{
    test_classes(
        n, genpois_classes(n, M, lambda, theta, from), poisson_classes(n, M, poisson_lambda, from),
        [&](const Classes& c) { return ObservedCounts(c.value, n, counts); }, genpois_valid, pois_valid,
        genpois_df, pois_df, genpois_chisq, pois_chisq);
}

// The direct pass: every count value of both models, and the observed
// frequencies from one table of M + 1 cells.
struct TableCounts {
    const IntVector& table; // 1-based, by count value
    const std::vector<int>& value;
    int operator[](std::size_t i) const { return table[value[i] + 1]; }
};

void direct_pass(int n, const int* counts, int M, double theta, double lambda, double poisson_lambda,
                 int& genpois_valid, int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq,
                 double& pois_chisq)
{
    // mfit tests thousands of short vectors on each thread: the classes keep
    // their storage from one to the next rather than allocate it every time.
    thread_local Classes genpois, pois;
    const IntVector observed = count_histogram(n, counts, M);
    every_value(M, [&](int k) { return genpois_expected(n, lambda, theta, k); }, genpois);
    every_value(M, [&](int k) { return poisson_expected(n, poisson_lambda, k); }, pois);
    test_classes(
        n, genpois, pois, [&](const Classes& c) { return TableCounts{observed, c.value}; }, genpois_valid, pois_valid,
        genpois_df, pois_df, genpois_chisq, pois_chisq);
}

} // namespace

void mychisq(int n, const int* counts, double theta, double lambda, double poisson_lambda, int& genpois_valid,
             int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq, double& pois_chisq)
{
    const int M = max_count(n, counts);
    if (deep_enough(M))
        deep_path(n, counts, M, theta, lambda, poisson_lambda, -1, genpois_valid, pois_valid, genpois_df, pois_df,
                  genpois_chisq, pois_chisq);
    else
        direct_pass(n, counts, M, theta, lambda, poisson_lambda, genpois_valid, pois_valid, genpois_df, pois_df,
                    genpois_chisq, pois_chisq);
}

void mychisq_walk_from(int from, int n, const int* counts, double theta, double lambda, double poisson_lambda,
                       int& genpois_valid, int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq,
                       double& pois_chisq)
{
    const int M = max_count(n, counts);
    if (n >= 1 && M >= 1 && M < std::numeric_limits<int>::max())
        deep_path(n, counts, M, theta, lambda, poisson_lambda, from, genpois_valid, pois_valid, genpois_df, pois_df,
                  genpois_chisq, pois_chisq);
    else
        direct_pass(n, counts, M, theta, lambda, poisson_lambda, genpois_valid, pois_valid, genpois_df, pois_df,
                    genpois_chisq, pois_chisq);
}

bool mychisq_slope_bounds(double lambda, double theta, int M, int a, int b, double& below, double& above)
{
    if (!genpois_covered(lambda, theta) || M < 1 || M == std::numeric_limits<int>::max() ||
        genpois_has_nan(M, lambda, theta))
        return false;
    const GenPoisModel model(1, M, lambda, theta, 0);
    if (!(1 <= a && a <= b && b < model.safe())) return false;
    model.slope_bounds(a, b, below, above);
    return true;
}
