#include "sigtable/calibration.h"

#include <boost/math/special_functions/erf.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>
#include <utility>

namespace {

// log baseMean, with a baseMean of 0 (an exon without reads that still has
// a test) kept finite so that it sorts first and interpolates as the lowest.
double log_of_mean(double base_mean)
{
    return std::log(std::max(base_mean, 1e-300));
}

// The median of `values`, which it reorders; the mean of the two middle
// ones for an even count.
double median_of(std::vector<double>& values)
{
    const std::size_t n = values.size(), mid = n / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
    const double upper = values[mid];
    if (n % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid));
    return (lower + upper) / 2;
}

// The value at `u` of the sorted values (the lower one where u falls
// between two).
double quantile_of(std::vector<double>& values, double u)
{
    const std::size_t at = static_cast<std::size_t>(u * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

// Pool adjacent violators: the non-decreasing sequence closest to `value`
// in weighted least squares.
std::vector<double> isotonic(const std::vector<double>& value, const std::vector<double>& weight)
{
    struct Block {
        double sum, weight;
        std::size_t count;
    };
    std::vector<Block> blocks;
    for (std::size_t k = 0; k < value.size(); ++k) {
        blocks.push_back({value[k] * weight[k], weight[k], 1});
        while (blocks.size() > 1) {
            const Block& last = blocks.back();
            const Block& before = blocks[blocks.size() - 2];
            if (before.sum / before.weight <= last.sum / last.weight) break;
            const Block merged{before.sum + last.sum, before.weight + last.weight, before.count + last.count};
            blocks.pop_back();
            blocks.back() = merged;
        }
    }
    std::vector<double> out;
    for (const Block& b : blocks) out.insert(out.end(), b.count, b.sum / b.weight);
    return out;
}

} // namespace

double chi_square1_from_p(double p)
{
    if (!(p >= 0 && p <= 1)) return NAN;
    if (p == 1) return 0;
    if (p == 0) return INFINITY;
    // P(chi-square(1) >= q) = P(|Z| >= sqrt q) = erfc(sqrt(q / 2)).
    try {
        const double z = boost::math::erfc_inv(p);
        return 2 * z * z;
    } catch (const std::exception&) {
        return INFINITY; // a p-value too small for the inverse: as good as 0
    }
}

double chi_square1_from_log_p(double log_p)
{
    if (std::isnan(log_p) || log_p > 0) return NAN;
    // Down to about 1e-300 the p-value itself is a double.
    if (log_p > -690) return chi_square1_from_p(std::exp(log_p));
    if (std::isinf(log_p)) return INFINITY;
    // Beyond, P = erfc(t) with t = sqrt(q / 2) > 26, where
    // log erfc(t) = -t^2 - log(t sqrt(pi)) + log(1 - 1/(2t^2) + 3/(4t^4) - 15/(8t^6) + ...),
    // the series' next term below 1e-10: Newton's method on t.
    auto log_erfc = [](double t) {
        const double u = 1 / (t * t);
        return -t * t - std::log(t * 1.7724538509055160) + std::log(1 - u / 2 + 3 * u * u / 4 - 15 * u * u * u / 8);
    };
    double t = std::sqrt(-log_p);
    for (int k = 0; k < 50; ++k) {
        const double step = (log_erfc(t) - log_p) / (-2 * t - 1 / t);
        t -= step;
        if (std::abs(step) <= 1e-15 * t) break;
    }
    return 2 * t * t;
}

double chi_square1_upper(double q)
{
    if (std::isnan(q)) return NAN;
    if (q <= 0) return 1;
    return std::erfc(std::sqrt(q / 2));
}

double InflationCurve::at(double base_mean) const
{
    if (lambda.empty()) return NAN;
    if (std::isnan(base_mean)) return lambda.back();
    const double x = log_of_mean(base_mean);
    if (x <= log_mean.front()) return lambda.front();
    if (x >= log_mean.back()) return lambda.back();
    const std::size_t k = static_cast<std::size_t>(std::upper_bound(log_mean.begin(), log_mean.end(), x) - log_mean.begin());
    const double x0 = log_mean[k - 1], x1 = log_mean[k];
    const double t = (x - x0) / (x1 - x0);
    return lambda[k - 1] + t * (lambda[k] - lambda[k - 1]);
}

PairCalibration calibrate_pair(const std::vector<double>& pvalue, const std::vector<double>& base_mean,
                               const std::vector<double>* statistic, double quantile)
{
    PairCalibration c;
    const std::size_t n_all = pvalue.size();
    c.pvalue_cal.assign(n_all, NAN);
    std::vector<double> q(n_all, NAN);
    std::vector<std::size_t> binned; // tested, with a baseMean
    for (std::size_t k = 0; k < n_all; ++k) {
        q[k] = chi_square1_from_p(pvalue[k]);
        if (pvalue[k] == 0 && statistic && std::isfinite((*statistic)[k]) && (*statistic)[k] > 0) q[k] = (*statistic)[k];
        if (std::isnan(q[k])) continue;
        ++c.tested;
        if (!std::isnan(base_mean[k])) binned.push_back(k);
    }
    std::size_t below = 0;
    for (std::size_t k = 0; k < n_all; ++k) below += !std::isnan(q[k]) && pvalue[k] < 0.05;
    if (c.tested > 0) c.below_05_before = static_cast<double>(below) / static_cast<double>(c.tested);
    if (binned.size() < kMinTested) return c;
    c.calibrated = true;

    // By baseMean, then the rows' order: each logarithm taken once, and the
    // order made total by the row, which orders ties as a stable sort does.
    {
        std::vector<std::pair<double, std::size_t>> keyed;
        keyed.reserve(binned.size());
        for (std::size_t k : binned) keyed.emplace_back(log_of_mean(base_mean[k]), k);
        std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) {
            if (x.first < y.first) return true;
            if (y.first < x.first) return false;
            return x.second < y.second;
        });
        for (std::size_t m = 0; m < keyed.size(); ++m) binned[m] = keyed[m].second;
    }
    const std::size_t n = binned.size();
    // Equal counts, but a run of equal baseMeans is never cut (the cut
    // moves to its end), so that which of them falls into which bin does
    // not depend on the rows' order; a bin left with fewer than kMinPerBin
    // joins the one before it.
    const std::size_t bins = std::min(kMaxBins, n / kMinPerBin);
    std::vector<std::size_t> cuts{0};
    for (std::size_t b = 1; b <= bins; ++b) {
        std::size_t cut = b * n / bins;
        while (cut < n && log_of_mean(base_mean[binned[cut]]) == log_of_mean(base_mean[binned[cut - 1]])) ++cut;
        if (cut - cuts.back() < kMinPerBin && cuts.size() > 1) cuts.back() = cut;
        else if (cut > cuts.back()) cuts.push_back(cut);
    }
    std::vector<double> centre, lambda, weight;
    std::vector<double> values;
    for (std::size_t b = 0; b + 1 < cuts.size(); ++b) {
        const std::size_t from = cuts[b], to = cuts[b + 1];
        values.clear();
        for (std::size_t k = from; k < to; ++k) values.push_back(q[binned[k]]);
        const double factor = std::max(1.0, quantile == 0.5 ? median_of(values) / kChiSquare1Median
                                                            : quantile_of(values, quantile) /
                                                                  chi_square1_from_p(1 - quantile));
        values.clear();
        for (std::size_t k = from; k < to; ++k) values.push_back(log_of_mean(base_mean[binned[k]]));
        centre.push_back(median_of(values));
        lambda.push_back(factor);
        weight.push_back(static_cast<double>(to - from));
    }
    c.curve.log_mean = centre;
    c.curve.lambda = isotonic(lambda, weight);

    std::vector<double> factors;
    std::size_t below_after = 0;
    for (std::size_t k = 0; k < n_all; ++k) {
        if (std::isnan(q[k])) continue;
        const double factor = c.curve.at(base_mean[k]);
        factors.push_back(factor);
        c.pvalue_cal[k] = factor == 1 ? pvalue[k] : chi_square1_upper(q[k] / factor);
        below_after += c.pvalue_cal[k] < 0.05;
    }
    c.median_lambda = median_of(factors);
    c.below_05_after = static_cast<double>(below_after) / static_cast<double>(c.tested);
    return c;
}
