#include "lrtmfit.h"

#include "gpsupport.h"
#include "histogram.h"
#include "log_terms.h"
#include "quotients.h"
#include "value_sums.h"

#include <cmath>
#include <cstdint>

namespace {

using value_sums::Span;

// (v - 1)·h[v] exactly: it overflows 32 bits for large counts.
inline double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

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
        // One condition's terms, S += w·f/d and D -= w·g/(d·d) with d = v·θ +
        // rate: f = g = 1 for the first (w·1 is w), f = a and g = a·a for the
        // second.
        auto sums = [&](const CountView& c, Span every, double theta, double rate, double f, double g) {
            if (every.empty()) {
                add_quotient_sums(c, theta, rate, f, g, S, D);
                return;
            }
            value_sums::visit(c, 0, c.max, every, [&](int v, int h) {
                const double d = v * theta + rate;
                if (d == 0) {
                    failed = true;
                    return false;
                }
                S = S + weight(v, h) * f / d;
                D = D - weight(v, h) * g / (d * d);
                return true;
            });
        };
        const bool plain = value_sums::is_negative_zero(S);
        sums(xv, plain ? Span{0, Mx} : value_sums::must_visit(xv, theta_x, m), theta_x, m, 1.0, 1.0);
        const bool plain_y = plain || !a_finite || value_sums::is_negative_zero(S);
        sums(yv, plain_y ? Span{0, My} : value_sums::must_visit(yv, theta_y, a * m), theta_y, a * m, a, a * a);
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
    if (!add_log_terms(xv, theta_x, m, lambda_x, l0, l1)) valid = 0;
    if (!add_log_terms(yv, theta_y, a * m, lambda_y, l0, l1)) valid = 0;
    statistic = -2 * (l0 - l1);
}
