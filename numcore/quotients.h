// The quotients of a histogram sum, many values at once.
//
// The Newton sums of the fits add, value by value in ascending order, terms
// such as w·f/d and w·g/(d·d). The additions are a chain that must keep its
// order, but the divisions are independent of one another: worked out for a
// block of values first, they run several to a register, and each lane is
// the scalar operation, so the sums are the same bits.
#pragma once

#include "numcore/value_sums.h"

// For j = 0..k-1: q1[j] = w[j]·f / d[j] and q2[j] = w[j]·g / (d[j]·d[j]),
// each evaluated in that order.
void quotients2(int k, const double* w, const double* d, double f, double g, double* q1, double* q2);

// For j = 0..k-1, with d2 = d[j]·d[j]: q1 = w·ρ / d, q2 = w·L / d,
// q3 = w·(ρ·ρ) / d2, q4 = w·v[j]·θ / d2 and q5 = w·(L·L) / d2, each
// evaluated in that order (the terms of an exon in the share fit).
void quotients5(int k, const double* w, const double* v, const double* d, double rho, double L, double theta,
                double* q1, double* q2, double* q3, double* q4, double* q5);

// For the values v present in c, in ascending order, with w = (v - 1)·h and
// d = v·θ + rate: S = S + w·f / d and D = D - w·g / (d·d). For a sum whose
// every absent value may be skipped (see value_sums.h).
void add_quotient_sums(const CountView& c, double theta, double rate, double f, double g, double& S, double& D);

// The same sums over the values present and, within `every`, over all values
// (see value_sums::must_visit): the score S and its derivative D of one
// histogram's share of a rate fit. False, with the sums left part-way, where
// some d is 0, which ends the fit.
bool add_rate_sums(const CountView& c, value_sums::Span every, double theta, double rate, double f, double g,
                   double& S, double& D);

// For j = 0..k-1: q1[j] = w[j] / d[j] and q2[j] = (c[j]·w[j] / d[j]) / d[j],
// each evaluated in that order (the likelihood equation of mfitmle, with
// c = j - m).
void quotients_equation(int k, const double* w, const double* c, const double* d, double* q1, double* q2);

// The same with f = g = 1 for two histograms whose sums are separate: the
// two chains of additions run side by side, each in its own order.
void add_quotient_sums_side_by_side(const CountView& c1, double theta1, double rate1, double& S1, double& D1,
                                    const CountView& c2, double theta2, double rate2, double& S2, double& D2);

// The sums of a generalized Poisson profile's pass (gp_profile.cpp) over k
// values v[j] with weights w[j], with inverse = 1/(λ + θ·v) and
// slope = (v - μ)·inverse: Σ w·inverse, Σ w·v·inverse², Σ w·slope and
// Σ w·slope². Unlike the sums above these are the profile's own, in no
// earlier order: four lanes each add the values j ≡ lane (mod 4) in
// ascending order and the lanes are added as ((0 + 1) + (2 + 3)), so every
// build and register width gives the same bits.
struct ProfileSums {
    double by_d = 0, v_by_d2 = 0, slope_by_d = 0, slope2_by_d2 = 0;
};
ProfileSums profile_sums(int k, const double* w, const double* v, double lambda, double theta, double mu);
