// Likelihood-ratio statistic for a change of an exon's share of its gene
// between two conditions, under the Poisson model, in closed form. Vectors as
// for lrtmfit2; the alternative uses the means passed in (μe1, μg1, μe2, μg2).
// No validity flag and no guard: zero sums give infinite or not-a-number values.
#pragma once

void lrtp2(int n_e, int n_g, const int* x1, const int* y1, const int* x2, const int* y2, double mu_e1, double mu_g1,
           double mu_e2, double mu_g2, double& T_P);
