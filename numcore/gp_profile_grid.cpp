// The further tests' nulls searched by grids refined with Brent's method,
// as they were first written: the reference the searches from the slopes
// are checked against, and the rest test's search where the exon has reads
// in one condition only and the rest in the other only (its null is then a
// limit, approached as the grids approach it).
#include "numcore/gp_profile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace gp_profile {

MeanTest mean_test_by_grid(const Fitted& x, const Fitted& y, double a)
{
    MeanTest result;
    double l1 = 0;
    if (!mean_alternative(x, y, a, l1)) return result;
    const Vector &X = x.vector, &Y = y.vector;

    // The null's mean lies between the two conditions' own modes (x's mean
    // and y's mean over a), where one profile rises as the other falls.
    double hint_x = 0, hint_y = 0;
    auto null_loglik = [&](double u) {
        const double mu = std::exp(u);
        return best_theta(X, mu, hint_x).loglik + best_theta(Y, a * mu, hint_y).loglik;
    };
    const double m1 = std::log(X.mean()), m2 = std::log(Y.mean() / a);
    const double u = maximise(null_loglik, std::min(m1, m2) - 0.7, std::max(m1, m2) + 0.7, 17, 1e-11);
    const double mu = std::exp(u);
    const ThetaFit tx = best_theta(X, mu), ty = best_theta(Y, a * mu);
    const double l0 = tx.loglik + ty.loglik;
    if (!std::isfinite(l0)) return result;
    result.ok = true;
    result.statistic = std::max(0.0, 2 * (l1 - l0));
    result.mu = mu;
    result.theta_x = tx.theta;
    result.theta_y = ty.theta;
    return result;
}

namespace {

// max over μ of ℓ_exon(ρμ) + ℓ_rest(μ), the profiles of one condition's
// exon and rest for a share ρ; the modes are the rest's mean and the exon's
// over ρ, those that are positive (at least one is, for a valid test).
double condition_profile(const Vector& exon, const Vector& rest, double rho, double& hint_exon, double& hint_rest)
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (double mode : {rest.mean(), exon.mean() / rho}) {
        if (!(mode > 0)) continue;
        lo = std::min(lo, std::log(mode));
        hi = std::max(hi, std::log(mode));
    }
    auto profile = [&](double u) {
        const double mu = std::exp(u);
        return best_theta(exon, rho * mu, hint_exon).loglik + best_theta(rest, mu, hint_rest).loglik;
    };
    const double u = maximise(profile, lo - 0.7, hi + 0.7, 5, 1e-8);
    return profile(u);
}

} // namespace

RestTest rest_test_by_grid(const Fitted& exon_i, const Fitted& rest_i, const Fitted& exon_j, const Fitted& rest_j)
{
    RestTest result;
    double l1 = 0;
    if (!rest_alternative(exon_i, rest_i, exon_j, rest_j, l1)) return result;
    const Vector &Ei = exon_i.vector, &Ri = rest_i.vector, &Ej = exon_j.vector, &Rj = rest_j.vector;

    // The null's share lies among the conditions' own shares; the pooled
    // share stands in when no condition has one (reads of the exon in one
    // condition only and of the rest in the other only).
    double lo = std::log((Ei.total + Ej.total) / Ei.counts.n / ((Ri.total + Rj.total) / Ri.counts.n)), hi = lo;
    for (const auto& [exon, rest] : {std::pair{&Ei, &Ri}, std::pair{&Ej, &Rj}}) {
        if (exon->total == 0 || rest->total == 0) continue;
        const double share = std::log(exon->mean() / rest->mean());
        lo = std::min(lo, share);
        hi = std::max(hi, share);
    }
    double hints[4] = {0, 0, 0, 0};
    auto null_loglik = [&](double t) {
        const double rho = std::exp(t);
        return condition_profile(Ei, Ri, rho, hints[0], hints[1]) + condition_profile(Ej, Rj, rho, hints[2], hints[3]);
    };
    const double t = maximise(null_loglik, lo - 0.7, hi + 0.7, 9, 1e-9);
    const double l0 = null_loglik(t);
    if (!std::isfinite(l0)) return result;
    result.ok = true;
    result.statistic = std::max(0.0, 2 * (l1 - l0));
    result.rho = std::exp(t);
    return result;
}

} // namespace gp_profile
