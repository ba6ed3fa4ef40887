#include "numcore/mfitmle.h"

#include "numcore/gpsupport.h"
#include "numcore/histogram.h"
#include "numcore/newton.h"
#include "numcore/quotients.h"
#include "numcore/value_sums.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include <cstdint>

RunningMoments running_moments(int n, const int* x)
{
    double m = 0.0;
    double S = 0.0;
    int M = 0;
    for (int i = 1; i <= n; ++i) {
        const double xi = x[i];
        S = S + ((i - 1) * (xi - m)) * (xi - m) / i;
        m = ((i - 1) * m + xi) / i;
        if (x[i] > M) M = x[i];
    }
    return {m, S, M};
}

namespace {

// The first passes of K vectors of one length side by side, K even. Each
// pass is a chain of dependent divisions; K chains run in K / 2 registers of
// two lanes, and every lane operation is the scalar operation of
// running_moments, in the same order, so the results are the same bit for
// bit while the chains overlap.
template <int K, bool Count>
void running_moments_side_by_side(int n, const int* const* v, RunningMoments* out, int* const* h)
{
    static_assert(K % 2 == 0);
    int M[K] = {};
#if defined(__SSE2__)
    __m128d m[K / 2], S[K / 2];
    for (int k = 0; k < K / 2; ++k) m[k] = S[k] = _mm_setzero_pd();
    for (int i = 1; i <= n; ++i) {
        const __m128d before = _mm_set1_pd(static_cast<double>(i - 1));
        const __m128d count = _mm_set1_pd(static_cast<double>(i));
        for (int k = 0; k < K / 2; ++k) {
            const __m128d xi = _mm_set_pd(static_cast<double>(v[2 * k + 1][i]), static_cast<double>(v[2 * k][i]));
            const __m128d d = _mm_sub_pd(xi, m[k]);
            S[k] = _mm_add_pd(S[k], _mm_div_pd(_mm_mul_pd(_mm_mul_pd(before, d), d), count));
            m[k] = _mm_div_pd(_mm_add_pd(_mm_mul_pd(before, m[k]), xi), count);
        }
        for (int k = 0; k < K; ++k) {
            const int c = v[k][i];
            if (c > M[k]) M[k] = c;
            if constexpr (Count) ++h[k][c + 1];
        }
    }
    for (int k = 0; k < K / 2; ++k) {
        double ms[2], Ss[2];
        _mm_storeu_pd(ms, m[k]);
        _mm_storeu_pd(Ss, S[k]);
        out[2 * k] = {ms[0], Ss[0], M[2 * k]};
        out[2 * k + 1] = {ms[1], Ss[1], M[2 * k + 1]};
    }
#else
    double m[K] = {}, S[K] = {};
    for (int i = 1; i <= n; ++i) {
        for (int k = 0; k < K; ++k) {
            const double xi = v[k][i];
            S[k] = S[k] + ((i - 1) * (xi - m[k])) * (xi - m[k]) / i;
            m[k] = ((i - 1) * m[k] + xi) / i;
            if (v[k][i] > M[k]) M[k] = v[k][i];
            if constexpr (Count) ++h[k][v[k][i] + 1];
        }
    }
    for (int k = 0; k < K; ++k) out[k] = {m[k], S[k], M[k]};
#endif
}

} // namespace

void running_moments2(int n, const int* x, const int* y, RunningMoments& mx, RunningMoments& my, int* hx, int* hy)
{
    const int* v[2] = {x, y};
    int* h[2] = {hx, hy};
    RunningMoments out[2];
    if (hx)
        running_moments_side_by_side<2, true>(n, v, out, h);
    else
        running_moments_side_by_side<2, false>(n, v, out, h);
    mx = out[0];
    my = out[1];
}

#if defined(__x86_64__) || defined(__i386__)
// Eight chains in two registers of four lanes, on processors with AVX: the
// same lane operations again (AVX has no fused multiply-add, so nothing can
// contract them), twice the chains per division issued.
template <bool Count>
__attribute__((target("avx"))) static void running_moments8_avx(int n, const int* const* v, RunningMoments* out,
                                                               int* const* h)
{
    int M[8] = {};
    __m256d m[2], S[2];
    for (int k = 0; k < 2; ++k) m[k] = S[k] = _mm256_setzero_pd();
    for (int i = 1; i <= n; ++i) {
        const __m256d before = _mm256_set1_pd(static_cast<double>(i - 1));
        const __m256d count = _mm256_set1_pd(static_cast<double>(i));
        for (int k = 0; k < 2; ++k) {
            const int* const* w = v + 4 * k;
            const __m256d xi = _mm256_set_pd(static_cast<double>(w[3][i]), static_cast<double>(w[2][i]),
                                             static_cast<double>(w[1][i]), static_cast<double>(w[0][i]));
            const __m256d d = _mm256_sub_pd(xi, m[k]);
            S[k] = _mm256_add_pd(S[k], _mm256_div_pd(_mm256_mul_pd(_mm256_mul_pd(before, d), d), count));
            m[k] = _mm256_div_pd(_mm256_add_pd(_mm256_mul_pd(before, m[k]), xi), count);
        }
        for (int k = 0; k < 8; ++k) {
            const int c = v[k][i];
            if (c > M[k]) M[k] = c;
            if constexpr (Count) ++h[k][c + 1];
        }
    }
    for (int k = 0; k < 2; ++k) {
        double ms[4], Ss[4];
        _mm256_storeu_pd(ms, m[k]);
        _mm256_storeu_pd(Ss, S[k]);
        for (int j = 0; j < 4; ++j) out[4 * k + j] = {ms[j], Ss[j], M[4 * k + j]};
    }
}
#endif

void running_moments8(int n, const int* const v[8], RunningMoments out[8], int* const* h, bool wide)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool has_avx = __builtin_cpu_supports("avx");
    if (wide && has_avx) {
        if (h)
            running_moments8_avx<true>(n, v, out, h);
        else
            running_moments8_avx<false>(n, v, out, h);
        return;
    }
#endif
    if (h)
        running_moments_side_by_side<8, true>(n, v, out, h);
    else
        running_moments_side_by_side<8, false>(n, v, out, h);
}

namespace {

// Whether the fit gives up before any iteration (no spread, or no count
// above 1), so that it needs no histogram.
bool gives_up_at_once(int n, const RunningMoments& moments)
{
    const double s2 = moments.S / static_cast<double>(n - 1);
    return s2 == 0 || moments.max <= 1;
}

} // namespace

void mfitmle(int n, const int* x, int& converged, double& lambda, double& theta, double& poisson_lambda)
{
    const RunningMoments moments = running_moments(n, x);
    CountHistogram histogram;
    if (!gives_up_at_once(n, moments)) histogram.build(n, x, moments.max);
    mfitmle_from_moments(n, moments, histogram.view(), converged, lambda, theta, poisson_lambda);
}

namespace {

// (j - 1)·j·h, the weight of the count value j in the likelihood equation,
// rounded once to double: exact in 64 bits up to 2^63, in 128 beyond.
inline double equation_weight(int j, int h)
{
    const std::int64_t jj = static_cast<std::int64_t>(j - 1) * j;
    if (h <= 1 || jj <= INT64_MAX / h) return static_cast<double>(jj * h);
    return static_cast<double>(static_cast<__int128>(jj) * h);
}

// H = H + w/d and D = D + ((j - m)·w/d)/d over the values j >= 2 present,
// in ascending order, for an iteration whose every absent value may be
// skipped: the quotients of a block of values first (see quotients.h), then
// the two chains of additions in order.
void add_equation_terms(const CountView& counts, double m, double th, double& H, double& D)
{
    constexpr int kBlock = 256;
    double w[kBlock], c[kBlock], d[kBlock], q1[kBlock], q2[kBlock];
    int i = 0;
    while (i < counts.distinct && counts.values[i] < 2) ++i;
    while (i < counts.distinct) {
        const int k = counts.distinct - i < kBlock ? counts.distinct - i : kBlock;
        for (int b = 0; b < k; ++b) {
            const int j = counts.values[i + b];
            w[b] = equation_weight(j, counts.counts[i + b]);
            c[b] = j - m;
            d[b] = (j - m) * th + m;
        }
        quotients_equation(k, w, c, d, q1, q2);
        for (int b = 0; b < k; ++b) {
            H = H + q1[b];
            D = D + q2[b];
        }
        i += k;
    }
}

} // namespace

void mfitmle_from_moments(int n, const RunningMoments& moments, const CountView& counts, int& converged,
                          double& lambda, double& theta, double& poisson_lambda)
{
    const double m = moments.mean;
    const int M = moments.max;

    if (gives_up_at_once(n, moments)) {
        converged = 0;
        poisson_lambda = m;
        return;
    }

    // Moment estimate from mean = λ/(1-θ) and variance = λ/(1-θ)^3.
    const double s2 = moments.S / static_cast<double>(n - 1);
    double th = 1 - std::sqrt(m / s2);

    converged = 0;

    for (int iteration = 1; iteration <= newton::kMaxIterations; ++iteration) {
        // A not-a-number θ stays one through every later step and can never
        // converge, so the remaining iterations would change nothing.
        if (std::isnan(th)) break;
        double H = 0.0;
        double D = 0.0;
        bool zero_denominator = false;
        auto term = [&](int j, int h) {
            const double d = (j - m) * th + m;
            if (d == 0) {
                zero_denominator = true;
                return false;
            }
            const double w = equation_weight(j, h);
            H = H + w / d;
            D = D + ((j - m) * w / d) / d;
            return true;
        };
        // Both sums start at +0 and have no d·d, so with a finite θ (m is a
        // mean of counts, finite) a value no position holds adds an exact
        // zero unless d = 0 there, and the values near d = 0 are visited one
        // by one. An infinite θ (at most one iteration before the fit stops)
        // takes the plain pass.
        value_sums::Span every{2, M};
        if (std::isfinite(th)) every = value_sums::tiny_values(2, M, [&](int j) { return (j - m) * th + m; });
        if (every.empty())
            add_equation_terms(counts, m, th, H, D);
        else
            value_sums::visit(counts, 2, M, every, term);
        if (zero_denominator) break;
        H = H - n * m;
        if (D == 0) break;
        const double delta = H / D;
        const double r = newton::relative_step(delta, th);
        th = th + delta;
        if (r <= newton::kStepTolerance && th < 1) {
            converged = 1;
            break;
        }
    }

    const double lam = (1 - th) * m;

    // A negative θ must leave an admissible truncated distribution; the check
    // can only take convergence away.
    if (!gp_supported(lam, th)) converged = 0;
    // With a negative θ the support ends below the first count x where
    // λ + θx reaches 0. Newton can settle on a root of the likelihood equation
    // whose support stops short of the largest count observed: that count
    // would have probability zero, so the root is no fit of these data.
    if (th < 0 && lam + th * M <= 0) converged = 0;

    lambda = lam;
    theta = th;
    poisson_lambda = m;
}
