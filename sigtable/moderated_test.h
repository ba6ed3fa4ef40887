// The test between conditions with replicates: per feature (a gene's level,
// an exon's share of its gene) one value per sample on a log scale, a mean
// per condition, and the variance of the samples about their condition's
// mean, pooled over the conditions. Each pair of conditions is compared by
// the difference of their means over its standard error, referred to
// Student's t.
//
// A feature has few replicates of its own (2 to 4 per condition), so its
// variance is shrunk towards a prior learnt across all features: the
// variances of features of similar expression (a trend in the expression
// axis, as the variance of log counts falls with depth), worth d0 further
// degrees of freedom, d0 measured from how much the features' variances
// scatter about the trend beyond what sampling alone explains. The
// posterior variance (d0 s0^2 + d s^2) / (d0 + d) takes the place of s^2,
// with d0 + d degrees of freedom. Everything comes from the differences
// between replicates of one condition: nothing assumes that most features
// are unchanged.
#pragma once

#include <vector>

// A feature's values summarised: each condition's mean and the pooled
// variance about them (residual degrees of freedom: the samples less the
// conditions).
struct ConditionFit {
    std::vector<double> mean; // mean[c - 1]
    double variance = 0;
};

// `values[s - 1]` is sample s's, `condition_of[s - 1]` its condition (from
// 1, up to `conditions`, each with a sample).
ConditionFit fit_conditions(const std::vector<double>& values, const std::vector<int>& condition_of, int conditions);

// The prior of the features' variances: a trend of log variance in the
// expression axis, piecewise linear between bins of features, and its
// weight d0 (infinite when the variances scatter no more than sampling
// explains; 0 when too few features to learn it).
struct VariancePrior {
    double d0 = 0;
    std::vector<double> at, log_s2; // the trend's knots: expression and log s0^2, at ascending
    double s0_squared(double expression) const;
    // (d0 s0^2 + d s^2) / (d0 + d), or s0^2 when d0 is infinite.
    double posterior(double variance, double df, double expression) const;
};

// Fewer features than this give no prior: each is tested on its own
// variance (d0 = 0).
inline constexpr int kMinFeaturesForPrior = 10;
// Features per bin of the trend; at most kMaxTrendBins bins.
inline constexpr int kFeaturesPerTrendBin = 100;
inline constexpr int kMaxTrendBins = 20;

// Learns the prior from every tested feature's variance (on df residual
// degrees of freedom, df >= 1) and expression. Deterministic: the features'
// order does not matter.
VariancePrior fit_variance_prior(const std::vector<double>& variance, const std::vector<double>& expression, double df);

struct TTest {
    double t, pvalue;
};

// The moderated t of a difference of condition means (b - a) with
// posterior variance `variance`, n_a and n_b samples, `df` degrees of
// freedom (infinite: the normal distribution): two-sided p-value. A zero
// difference has t = 0 and p = 1, whatever the variance.
TTest moderated_t(double difference, double variance, int n_a, int n_b, double df);

// The inverse of the trigamma function on (0, inf): the y > 0 with
// trigamma(y) = x, for x > 0.
double trigamma_inverse(double x);
