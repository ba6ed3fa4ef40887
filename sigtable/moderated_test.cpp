#include "sigtable/moderated_test.h"

#include "sigtable/pvalues.h"

#include <boost/math/special_functions/digamma.hpp>
#include <boost/math/special_functions/polygamma.hpp>
#include <boost/math/special_functions/trigamma.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

ConditionFit fit_conditions(const std::vector<double>& values, const std::vector<int>& condition_of, int conditions)
{
    ConditionFit fit;
    fit.mean.assign(static_cast<std::size_t>(conditions), 0.0);
    std::vector<int> n(static_cast<std::size_t>(conditions), 0);
    for (std::size_t s = 0; s < values.size(); ++s) {
        fit.mean[static_cast<std::size_t>(condition_of[s] - 1)] += values[s];
        ++n[static_cast<std::size_t>(condition_of[s] - 1)];
    }
    for (std::size_t c = 0; c < fit.mean.size(); ++c) fit.mean[c] /= n[c];
    double squares = 0;
    for (std::size_t s = 0; s < values.size(); ++s) {
        const double r = values[s] - fit.mean[static_cast<std::size_t>(condition_of[s] - 1)];
        squares += (r * r);
    }
    const double df = static_cast<double>(values.size()) - conditions;
    fit.variance = df > 0 ? squares / df : NAN;
    return fit;
}

double VariancePrior::s0_squared(double expression) const
{
    if (at.empty()) return NAN;
    if (expression <= at.front()) return std::exp(log_s2.front());
    if (expression >= at.back()) return std::exp(log_s2.back());
    const std::size_t k = static_cast<std::size_t>(std::upper_bound(at.begin(), at.end(), expression) - at.begin());
    const double w = (expression - at[k - 1]) / (at[k] - at[k - 1]);
    return std::exp(log_s2[k - 1] + w * (log_s2[k] - log_s2[k - 1]));
}

double VariancePrior::posterior(double variance, double df, double expression) const
{
    if (d0 == 0) return variance;
    if (std::isinf(d0)) return s0_squared(expression);
    return (d0 * s0_squared(expression) + df * variance) / (d0 + df);
}

double trigamma_inverse(double x)
{
    if (!(x > 0)) return NAN;
    // trigamma(y) is near 1/y + 1/(2 y^2) for large y and 1/y^2 for small:
    // start from 0.5 + 1/x and go by Newton's steps on 1/trigamma, which is
    // nearly a straight line in y.
    if (x > 1e7) return 1 / std::sqrt(x);
    if (x < 1e-6) return 1 / x;
    double y = 0.5 + 1 / x;
    for (int i = 0; i < 100; ++i) {
        const double tri = boost::math::trigamma(y);
        const double step = tri * (1 - tri / x) / boost::math::polygamma(2, y);
        y += step;
        if (std::abs(step) / y < 1e-12) break;
    }
    return y;
}

VariancePrior fit_variance_prior(const std::vector<double>& variance, const std::vector<double>& expression, double df)
{
    VariancePrior prior;
    const std::size_t n = variance.size();
    if (n < static_cast<std::size_t>(kMinFeaturesForPrior)) return prior;

    // A variance of 0 (replicates that agree to the last read, as features
    // without reads in every sample of a condition give) has no logarithm:
    // it is raised to a small share of the median.
    std::vector<double> sorted = variance;
    std::sort(sorted.begin(), sorted.end());
    double floor = 1e-5 * sorted[n / 2];
    if (!(floor > 0)) floor = 1e-5 * sorted.back();
    if (!(floor > 0)) floor = 1e-300;
    // log s^2 less its expectation under sampling alone, so that the trend
    // fitted to it is log s0^2 up to a shift set by d0 below.
    const double half = df / 2;
    const double shift = -boost::math::digamma(half) + std::log(half);
    std::vector<double> e(n);
    for (std::size_t k = 0; k < n; ++k) e[k] = std::log(std::max(variance[k], floor)) + shift;

    // The trend: the mean of e in bins of equal count along the expression
    // axis, placed at the bins' mean expression; ties in expression are
    // ordered by their place in the input, which the callers keep fixed.
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return expression[a] < expression[b]; });
    const std::size_t bins =
        std::clamp<std::size_t>(n / static_cast<std::size_t>(kFeaturesPerTrendBin), 1, static_cast<std::size_t>(kMaxTrendBins));
    for (std::size_t b = 0; b < bins; ++b) {
        const std::size_t from = b * n / bins, to = (b + 1) * n / bins;
        double sum_e = 0, sum_x = 0;
        for (std::size_t i = from; i < to; ++i) {
            sum_e += e[order[i]];
            sum_x += expression[order[i]];
        }
        const double x = sum_x / static_cast<double>(to - from);
        // Bins of one expression (many features with the same few reads)
        // merge into one knot.
        if (!prior.at.empty() && x <= prior.at.back()) {
            prior.log_s2.back() = (prior.log_s2.back() + sum_e / static_cast<double>(to - from)) / 2;
            continue;
        }
        prior.at.push_back(x);
        prior.log_s2.push_back(sum_e / static_cast<double>(to - from));
    }
    auto trend = [&](double x) { return std::log(prior.s0_squared(x)); };

    // The scatter of e about the trend beyond sampling's: trigamma(df/2)
    // of it is sampling's, the rest that of the features' true variances,
    // trigamma(d0/2).
    double squares = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double r = e[k] - trend(expression[k]);
        squares += (r * r);
    }
    const double excess = squares / static_cast<double>(n - prior.at.size()) - boost::math::trigamma(half);
    prior.d0 = excess > 0 ? 2 * trigamma_inverse(excess) : INFINITY;
    // The trend estimated E[log s^2] + shift; under the prior's scaled
    // inverse chi-square, that is log s0^2 + log(d0/2) - digamma(d0/2).
    if (std::isfinite(prior.d0)) {
        const double own = -boost::math::digamma(prior.d0 / 2) + std::log(prior.d0 / 2);
        for (double& v : prior.log_s2) v -= own;
    }
    return prior;
}

TTest moderated_t(double difference, double variance, int n_a, int n_b, double df)
{
    if (std::isnan(difference) || std::isnan(variance)) return {NAN, NAN};
    if (difference == 0) return {0.0, 1.0};
    const double t = difference / std::sqrt(variance * (1.0 / n_a + 1.0 / n_b));
    return {t, student_t_two_sided(t, df)};
}
