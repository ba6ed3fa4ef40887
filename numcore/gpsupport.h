// The parameter constraint of the generalized Poisson model with a negative
// dispersion: the distribution is truncated at k = trunc(rate / -theta), and
// a fit is admissible only with at least four support points (k >= 4) and,
// for theta below -1, with -rate / k at or above -1. The quotient is kept as
// a double, so one beyond the 32-bit range keeps its size and passes. A
// dispersion of 0 or more (or not a number) always passes.
#pragma once

bool gp_supported(double rate, double theta);
