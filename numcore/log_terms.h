// The log-likelihood terms of a count vector under two rates, as the
// likelihood-ratio statistics add them.
#pragma once

#include "numcore/histogram.h"

// Adds h[v]·(v - 1)·ln(v·θ + rate) to `sum` and h[v]·(v - 1)·ln(v·θ +
// alt_rate) to `alt_sum`, value by value for v = 0..M in ascending order, the
// first before the second; at the first argument of 0 or less it stops and
// gives false (the first term of that value still counts when only the
// second argument is refused), else true. Values no position holds add ±0
// while the arguments are positive and finite, so they are skipped, and the
// first refused value is found directly (both arguments are monotone in v);
// the plain pass over 0..M runs where that does not hold. With c.log_terms
// the second terms are the ones kept for the vector.
bool add_log_terms(const CountView& c, double theta, double rate, double alt_rate, double& sum, double& alt_sum);
