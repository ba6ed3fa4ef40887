// Calibrating the p-values of one pair of conditions against the spread the
// tests do not see.
//
// The tests of lvcmp and isocmp treat a gene's positions as independent
// draws from one sample per condition, so the variation between samples
// of a real experiment inflates their statistics, the more so the deeper
// the gene (that variation grows with the level, the count noise only with
// its square root). With one sample per condition the inflation can only be
// learnt across the genes of the pair, on the premise that most of them
// are unchanged: an expression-dependent genomic-control factor.
//
// - Each p-value becomes its chi-square(1) equivalent q = Q^-1(p) (upper
//   tail), so every kind of p-value, the permutation one too, is handled
//   alike.
// - The tested comparisons (a p-value in [0, 1]) with a known baseMean are
//   ordered by baseMean and cut into bins of equal count: as many as give
//   each at least kMinPerBin comparisons, at most kMaxBins. A cut never
//   splits a run of equal baseMeans (it moves to the run's end), so that
//   the bins' contents do not depend on the rows' order; a bin left with
//   fewer than kMinPerBin joins the one before it.
// - Each bin's inflation is median(q) / (chi-square(1) median) (or the
//   ratio of another quantile, see calibrate_pair), floored at 1: a
//   calibration never makes a test more liberal.
// - Inflation grows with expression, so the bins' factors are made
//   non-decreasing in log baseMean (pool adjacent violators, weighted by
//   the bins' counts) and interpolated linearly in log baseMean between the
//   bins' centres (the median log baseMean of each), constant beyond the
//   first and last.
// - The calibrated p-value is P(chi-square(1) >= q / lambda(baseMean)); a
//   factor of exactly 1 hands back the p-value unchanged. A comparison
//   with a p-value but no baseMean takes the largest factor of the pair.
// - With fewer than kMinTested tested comparisons the pair is not
//   calibrated: every calibrated p-value is not-a-number.
//
// Everything is deterministic; the result does not depend on the order of
// comparisons with equal keys. The cost is one sort of the pair's tests.
#pragma once

#include <cstddef>
#include <vector>

inline constexpr std::size_t kMinTested = 200;
inline constexpr std::size_t kMinPerBin = 100;
inline constexpr std::size_t kMaxBins = 10;
// The median of the chi-square distribution with 1 degree of freedom.
inline constexpr double kChiSquare1Median = 0.45493642311957283;

// The inflation factor as a function of baseMean: non-decreasing, at least 1.
struct InflationCurve {
    std::vector<double> log_mean; // the bins' centres, ascending
    std::vector<double> lambda;   // the factor at each centre, non-decreasing
    double at(double base_mean) const;
};

struct PairCalibration {
    std::size_t tested = 0;   // comparisons with a p-value
    bool calibrated = false;  // tested >= kMinTested (counting those with a baseMean)
    InflationCurve curve;     // empty when not calibrated
    double median_lambda = 1; // the median factor over the tested comparisons
    // The share of tested comparisons with p < 0.05, before and after.
    double below_05_before = 0, below_05_after = 0;
    std::vector<double> pvalue_cal; // in the order given; not-a-number where not calibrated
};

// `pvalue` and `base_mean` of the comparisons of one pair, in the same order.
// `statistic`, when given (same order), holds the chi-square(1) statistics
// whose upper tails the p-values are (or, for a p-value of another
// distribution, their chi-square(1) equivalents): where a p-value has
// underflowed to 0 (a chi-square statistic beyond about 1400), q is that
// statistic rather than infinity, so that the factor can still bring it
// back to a finite value, and a bin of such p-values still has a finite
// factor.
//
// `quantile` chooses the bins' estimate: 0.5 (the median, the default)
// gives classical genomic control; a higher one (up to 0.95) measures the
// inflation further into the tail, where genes of one expression that vary
// by different amounts make the null heavier than a scaled chi-square:
// fewer false discoveries, fewer true ones (docs/statistics.md).
PairCalibration calibrate_pair(const std::vector<double>& pvalue, const std::vector<double>& base_mean,
                               const std::vector<double>* statistic = nullptr, double quantile = 0.5);

// The chi-square(1) statistic whose upper tail is p (infinity for 0, 0 for
// 1), and back; not-a-number outside [0, 1].
double chi_square1_from_p(double p);
double chi_square1_upper(double q);
// The same from log p, also for p-values too small for a double (a
// permutation p-value that underflowed to 0, whose logarithm
// log_gamma_upper still gives): infinity for minus infinity.
double chi_square1_from_log_p(double log_p);
