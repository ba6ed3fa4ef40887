// Likelihood-ratio statistic for a change of an exon's share of its gene
// between two conditions, under the generalized Poisson model.
//
// x1[1..n_e] and x2[1..n_e] are the exon's counts in conditions 1 and 2,
// y1[1..n_g] and y2[1..n_g] the gene's (the exon's rows included). The null
// says the exon's rate is the same multiple ρ of the gene's rate in both
// conditions (rates ρΛ1, Λ1, ρΛ2, Λ2); the alternative lets all four rates be
// free, at the separate estimates passed in (λe1, λg1, λe2, λg2). Each vector
// keeps its own dispersion θ under both hypotheses. Λ1, Λ2 and ρ are fitted by
// a three-parameter Newton iteration over the four count histograms, solved in
// closed form through the determinant.
//
// valid is 1 when the fit converged with all three parameters above 0, every
// negative dispersion passes the support check at its null rate, and every
// logarithm of the final likelihoods has a positive argument. T is written
// only when the likelihoods are evaluated; read it only when valid is 1.
#pragma once

#include "numcore/histogram.h"

void lrtmfit2(int n_e, int n_g, const int* x1, const int* y1, const int* x2, const int* y2, double lambda_e1,
              double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1, double theta_g1,
              double theta_e2, double theta_g2, int& valid, double& T);

// The same from the four vectors' histograms (see CountView).
void lrtmfit2_counts(const CountView& x1, const CountView& y1, const CountView& x2, const CountView& y2,
                     double lambda_e1, double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1,
                     double theta_g1, double theta_e2, double theta_g2, int& valid, double& T);
