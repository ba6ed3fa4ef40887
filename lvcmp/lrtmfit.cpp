#include "lvcmp/lrtmfit.h"

#include "numcore/gpsupport.h"
#include "numcore/histogram.h"
#include "numcore/log_terms.h"
#include "numcore/newton.h"
#include "numcore/quotients.h"
#include "numcore/value_sums.h"

#include <cmath>
#include <cstdint>

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
    const double N = static_cast<double>(static_cast<std::int64_t>(nx) + ny);
    // The y terms carry the factors a and a·a, which must be finite for a
    // value no position holds to add a zero.
    const bool a_finite = std::isfinite(a) && std::isfinite(a * a);

    double m = (nx * lambda_x + ny * lambda_y) / N;
    const bool converged = newton::converges([&] {
        // A not-a-number m stays one and never converges nor fails a step
        // (both tests compare with it).
        if (std::isnan(m)) return newton::Step::kStuck;
        // The score S = dl0/dm and its derivative D, from the terms
        // S += w·f/d and D -= w·g/(d·d), d = v·θ + rate, of each condition:
        // f = g = 1 for the first, f = a and g = a·a for the second. D only
        // ever subtracts +0 at an absent value, which changes nothing; S adds
        // ±0, which changes a -0.
        double S = N / m - nx - ny * a;
        double D = -N / (m * m);
        const bool plain = value_sums::is_negative_zero(S);
        if (!add_rate_sums(xv, value_sums::must_visit(xv, theta_x, m, true, plain), theta_x, m, 1.0, 1.0, S, D))
            return newton::Step::kStuck;
        const bool plain_y = plain || value_sums::is_negative_zero(S);
        const value_sums::Span every_y = value_sums::must_visit(yv, theta_y, a * m, a_finite, plain_y);
        if (!add_rate_sums(yv, every_y, theta_y, a * m, a, a * a, S, D) || D == 0) return newton::Step::kStuck;
        const double step = -S / D;
        const bool small = newton::relative_step(step, m) <= newton::kStepTolerance;
        m = m + step;
        return small && m > 0 ? newton::Step::kConverged : newton::Step::kGoOn;
    });
    const bool support = gp_supported(m, theta_x) & gp_supported(a * m, theta_y);
    if (!converged || !support) return;

    double l0 = N * std::log(m) - (nx + ny * a) * m + ny * std::log(a);
    double l1 = nx * std::log(lambda_x) + ny * std::log(lambda_y) - nx * lambda_x - ny * lambda_y;
    valid = 1;
    if (!add_log_terms(xv, theta_x, m, lambda_x, l0, l1)) valid = 0;
    if (!add_log_terms(yv, theta_y, a * m, lambda_y, l0, l1)) valid = 0;
    statistic = -2 * (l0 - l1);
}
