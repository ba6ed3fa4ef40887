// The p-values of the test statistics and their adjustment for many tests.
// Distributions come from Boost.Math; a value that is not a number, a
// statistic no distribution takes, or a tail Boost.Math cannot evaluate
// (an overflow on the way, say) gives not-a-number: the table shows NA.
// Nothing here throws.
#pragma once

#include <vector>

// P(X >= statistic) for X chi-square with one degree of freedom: the
// asymptotic p-value of a likelihood-ratio statistic for one parameter. A
// statistic below 0 (rounding of a tiny one) counts as 0.
double chi_square_upper(double statistic);

// P(X >= statistic) for X gamma with this shape and scale: the p-value of a
// statistic under a permutation null summarised by a gamma distribution.
// Not a number when the shape or the scale is not a positive finite number,
// or when the tail cannot be evaluated for them (a shape of a million with a
// scale of 1e100 overflows Gamma(shape)).
double gamma_upper(double statistic, double shape, double scale);

// log P(X >= statistic) for X gamma with this shape and scale, also where
// the tail is too small for a double and gamma_upper gives 0: a permutation
// null whose fitted gamma lies far below the observed statistic. From the
// continued fraction of the upper incomplete gamma function, for statistics
// beyond shape + 1 times the scale (below that the tail is above 0.3 and its
// logarithm is taken directly). Not a number where the tail cannot be
// evaluated; minus infinity for an infinite statistic.
double log_gamma_upper(double statistic, double shape, double scale);

// P(|T| >= |t|) for T Student's t with `df` degrees of freedom (the
// normal distribution when df is infinite): a two-sided p-value. 0 for an
// infinite t.
double student_t_two_sided(double t, double df);

// Benjamini-Hochberg adjusted p-values, in the order given; not-a-number
// entries are left out of the count of tests and stay not-a-number.
std::vector<double> benjamini_hochberg(const std::vector<double>& p);
