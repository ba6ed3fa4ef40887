// Likelihood-ratio statistic for a change of level between two conditions
// under the generalized Poisson model.
//
// x[1..nx] holds the counts of the first condition, y[1..ny] those of the
// second. The alternative gives each condition its own rate (lambda_x,
// lambda_y); the null gives the first the rate m and the second a·m, where
// a is the normalising factor (the second condition's depth over the
// first's). The dispersions theta_x and theta_y are held at the values fitted
// to each condition alone under both hypotheses. m is fitted by Newton's
// method over the counts' histograms.
//
// valid is 1 when the restricted fit converged, its rates pass the support
// constraint of a negative dispersion (truncation point at least 4, and
// θ >= -1 or rate/k <= 1) and every logarithm of the likelihoods has a
// positive argument; statistic is written once the fit has got that far and
// is to be used only when valid is 1.
#pragma once

#include "numcore/histogram.h"

void lrtmfit(int nx, const int* x, int ny, const int* y, int& valid, double& statistic, double a, double theta_x,
             double theta_y, double lambda_x, double lambda_y);

// The same from the two vectors' histograms (see CountView).
void lrtmfit_counts(const CountView& x, const CountView& y, int& valid, double& statistic, double a, double theta_x,
                    double theta_y, double lambda_x, double lambda_y);
