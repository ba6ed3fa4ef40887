#include "lrtmfit.h"

#include "gpsupport.h"
#include "histogram.h"
#include "quotients.h"
#include "value_sums.h"

#include <cmath>
#include <cstdint>

namespace {

using value_sums::Span;

// (v - 1)·h[v] exactly: it overflows 32 bits for large counts.
inline double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

// The values of 0..M that a sum must visit although no position holds them:
// those where the denominator v·θ + rate is tiny or 0 (see value_sums.h), or
// all of them when θ or the rate is not finite.
Span visit_every(int M, double theta, double rate)
{
    if (!std::isfinite(theta) || !std::isfinite(rate)) return {0, M};
    return value_sums::tiny_values(0, M, [&](int v) { return v * theta + rate; });
}

// The first value of 0..M at which either log-likelihood's argument v·θ +
// rate or v·θ + alt_rate is 0 or less (M + 1 for none): where the plain pass
// stops. Both are monotone in v, and finite when v·θ is (callers check).
int first_refused(int M, double theta, double rate, double alt_rate)
{
    const int a = value_sums::first_not_positive(0, M, [&](int v) { return v * theta + rate; });
    const int b = value_sums::first_not_positive(0, M, [&](int v) { return v * theta + alt_rate; });
    return a < b ? a : b;
}

// Whether every argument v·θ + rate, v = 0..M, is finite: ln of an infinite
// argument times h = 0 would be NaN, not a zero to skip.
bool finite_arguments(int M, double theta, double rate, double alt_rate)
{
    return std::isfinite(M * theta + rate) && std::isfinite(M * theta + alt_rate) && std::isfinite(rate) &&
           std::isfinite(alt_rate);
}

} // namespace

void lrtmfit(int nx, const int* x, int ny, const int* y, int& valid, double& statistic, double a, double theta_x,
             double theta_y, double lambda_x, double lambda_y)
{
    CountHistogram hx, hy;
    hx.build(nx, x);
    hy.build(ny, y);
    lrtmfit_counts(hx.view(), hy.view(), valid, statistic, a, theta_x, theta_y, lambda_x, lambda_y);
}

void lrtmfit_counts(const CountView& xv, const CountView& yv, int& valid, double& statistic, double a, double theta_x,
                    double theta_y, double lambda_x, double lambda_y)
{
    valid = 0;
    const int nx = xv.n, ny = yv.n;
    const int Mx = xv.max, My = yv.max;
    const double N = static_cast<double>(static_cast<std::int64_t>(nx) + ny);
    // The y terms carry the factors a and a·a, which must be finite for a
    // value no position holds to add a zero.
    const bool a_finite = std::isfinite(a) && std::isfinite(a * a);

    double m = (nx * lambda_x + ny * lambda_y) / N;
    bool converged = false;
    for (int iteration = 1; iteration <= 10000; ++iteration) {
        // A not-a-number m stays one and never converges nor fails a step
        // (both tests compare with it), so the remaining iterations would end
        // the fit unconverged all the same.
        if (std::isnan(m)) break;
        double S = N / m - nx - ny * a;
        double D = -N / (m * m);
        bool failed = false;
        // D only ever subtracts +0 at an absent value, which changes nothing;
        // S adds ±0, which changes a -0.
        const bool plain = value_sums::is_negative_zero(S);
        const Span every_x = plain ? Span{0, Mx} : visit_every(Mx, theta_x, m);
        if (every_x.empty())
            add_quotient_sums(xv, theta_x, m, 1.0, 1.0, S, D); // w·1 is w
        else
            value_sums::visit(xv, 0, Mx, every_x, [&](int v, int h) {
                const double d = v * theta_x + m;
                if (d == 0) {
                    failed = true;
                    return false;
                }
                S = S + weight(v, h) / d;
                D = D - weight(v, h) / (d * d);
                return true;
            });
        const Span every_y =
            plain || !a_finite || value_sums::is_negative_zero(S) ? Span{0, My} : visit_every(My, theta_y, a * m);
        if (every_y.empty())
            add_quotient_sums(yv, theta_y, a * m, a, a * a, S, D);
        else
            value_sums::visit(yv, 0, My, every_y, [&](int w, int h) {
                const double d = w * theta_y + a * m;
                if (d == 0) {
                    failed = true;
                    return false;
                }
                S = S + weight(w, h) * a / d;
                D = D - weight(w, h) * (a * a) / (d * d);
                return true;
            });
        if (failed || D == 0) break;
        const double step = -S / D;
        const double scale = std::fabs(m) > 0.01 ? std::fabs(m) : 0.01;
        m = m + step;
        if (std::fabs(step) / scale <= 1e-6 && m > 0) {
            converged = true;
            break;
        }
    }
    const bool support = gp_supported(m, theta_x) & gp_supported(a * m, theta_y);
    if (!converged || !support) return;

    double l0 = N * std::log(m) - (nx + ny * a) * m + ny * std::log(a);
    double l1 = nx * std::log(lambda_x) + ny * std::log(lambda_y) - nx * lambda_x - ny * lambda_y;
    valid = 1;
    // One condition's terms: the plain pass adds them for v = 0, 1, ... and
    // stops at the first argument of 0 or less. Before that point every
    // argument is positive, and finite where checked, so a value no position
    // holds adds ±0 to sums that are not -0; the stop is found directly.
    auto add_terms = [&](const CountView& c, double theta, double rate, double alt_rate) {
        auto term = [&](int v, int h, bool alt) {
            const double d0 = v * theta + rate;
            if (d0 <= 0) return false;
            l0 = l0 + static_cast<double>(static_cast<std::int64_t>(h) * (v - 1)) * std::log(d0);
            if (!alt) return true;
            const double d1 = v * theta + alt_rate;
            if (d1 <= 0) return false;
            l1 = l1 + static_cast<double>(static_cast<std::int64_t>(h) * (v - 1)) * std::log(d1);
            return true;
        };
        const bool sparse = !value_sums::is_negative_zero(l0) && !value_sums::is_negative_zero(l1) &&
                            finite_arguments(c.max, theta, rate, alt_rate);
        if (!sparse) return value_sums::visit(c, 0, c.max, {0, c.max}, [&](int v, int h) { return term(v, h, true); });
        const int stop = first_refused(c.max, theta, rate, alt_rate);
        if (c.log_terms) {
            // The alternative's terms are the vector's own, kept between comparisons.
            const double* alt = c.log_terms->terms(c, theta, alt_rate);
            for (int i = 0; i < c.distinct && c.values[i] < stop; ++i) {
                const int v = c.values[i];
                const double h_v1 = static_cast<double>(static_cast<std::int64_t>(c.counts[i]) * (v - 1));
                l0 = l0 + h_v1 * std::log(v * theta + rate);
                l1 = l1 + alt[i];
            }
        } else {
            value_sums::visit(c, 0, stop - 1, {}, [&](int v, int h) { return term(v, h, true); });
        }
        if (stop > c.max) return true;
        // The stop itself: its first term still counts when only the second
        // argument is refused (a zero when no position holds the value).
        int h = 0;
        for (int i = 0; i < c.distinct; ++i)
            if (c.values[i] == stop) h = c.counts[i];
        term(stop, h, false);
        return false;
    };
    if (!add_terms(xv, theta_x, m, lambda_x)) valid = 0;
    if (!add_terms(yv, theta_y, a * m, lambda_y)) valid = 0;
    statistic = -2 * (l0 - l1);
}
