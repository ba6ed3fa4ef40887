// Maximum-likelihood fit of the generalized Poisson distribution (Consul's
// form, P(x) = λ(λ+θx)^(x-1) e^(-λ-θx) / x!) to one vector of per-position
// counts, together with the Poisson estimate of the same vector.
//
//   n                 number of positions (the feature's length)
//   x[1..n]           the counts, every one 0 or more
//   converged         1 when the generalized Poisson fit succeeded, else 0;
//                     0 also when a negative θ leaves too short a support
//                     (gp_supported) or one ending below the largest count
//   lambda, theta     the fitted λ and θ; meaningful only when converged is 1.
//                     When the data have no spread or no count above 1 the fit
//                     gives up at once and leaves both as the caller had them.
//   poisson_lambda    the sample mean, always written
//
// θ is found by Newton's method on its likelihood equation with λ = (1-θ)·mean,
// summing over the histogram of count values: one iteration costs time in
// the number of distinct counts, neither in n nor in the largest count.
// Reentrant; keeps no state.
#pragma once

#include "numcore/histogram.h"

void mfitmle(int n, const int* x, int& converged, double& lambda, double& theta, double& poisson_lambda);

// The first pass of a fit: the running mean and sum of squared deviations of
// x[1..n], and its largest count. The running form rounds differently from
// total / n, and the fit is defined by this one. Each step divides by the
// previous step's result, so one vector's pass is a chain of dependent
// divisions; running_moments2 runs two such chains side by side, which a
// permutation test's two halves allow, in about the time of one.
struct RunningMoments {
    double mean = 0;
    double S = 0;
    int max = 0;
};
RunningMoments running_moments(int n, const int* x);
// Also counts every x[i] into hx[x[i] + 1] and every y[i] into hy[y[i] + 1],
// at no cost next to the divisions; hx and hy must hold zeroed cells 1..B+1
// for a B at least every count. With hx and hy null nothing is counted (the
// counts are too large for a table; see CountHistogram).
void running_moments2(int n, const int* x, const int* y, RunningMoments& mx, RunningMoments& my, int* hx, int* hy);
// The same for eight vectors of one length (four permutations' halves). With
// `wide`, processors with AVX run them in four-lane registers; the results
// are the same either way. h null: nothing is counted.
void running_moments8(int n, const int* const v[8], RunningMoments out[8], int* const* h, bool wide = true);

// mfitmle for a vector whose first pass is done, from its histogram (not
// read when the fit gives up at once): the same results bit for bit.
void mfitmle_from_moments(int n, const RunningMoments& moments, const CountView& counts, int& converged,
                          double& lambda, double& theta, double& poisson_lambda);

// What mfitmle gives for one feature in one condition, as the result files
// hold it.
struct FitRecord {
    int converged = 0;
    double lambda = 0;
    double theta = 0;
    double poisson_lambda = 0;
};
