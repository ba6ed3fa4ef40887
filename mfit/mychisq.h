// Pearson chi-square goodness of fit of the generalized Poisson model (with
// the fitted lambda and theta) and of the Poisson model (with poisson_lambda)
// to one count vector.
//
// Each count value whose expected frequency is at least 5 forms a class of its
// own; all other values, and everything above the largest count, are pooled
// into one class. The degrees of freedom are the number of classes less one,
// less the model's fitted parameters (2 and 1). A model's test is valid with
// more than 2 (generalized Poisson) or 1 (Poisson) separate classes, no
// expected frequency that is not a number, and a pooled expected frequency
// other than exactly 0. The df and statistic of a model are written only when
// its test got that far; read them only where the flag is 1.
#pragma once

void mychisq(int n, const int* counts, double theta, double lambda, double poisson_lambda, int& genpois_valid,
             int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq, double& pois_chisq);

// The same test by the path for deep vectors whatever the largest count, with
// the walk over each model's count values started at `from` (when in 0..M)
// instead of near the model's peak. Its outputs are mychisq's for every
// `from`; a start away from the peak puts the proofs about the skipped values
// where they must refuse, which is how the tests exercise them.
void mychisq_walk_from(int from, int n, const int* counts, double theta, double lambda, double poisson_lambda,
                       int& genpois_valid, int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq,
                       double& pois_chisq);

// The bounds the path for deep vectors proves its skipped values with: over
// the count values k in a..b, the slope log P(k + 1) - log P(k) of the
// generalized Poisson model lies in [below, above]. False, with nothing
// written, where that path has no such bounds: parameters it leaves to the
// direct pass, a NaN among 0..M, or a..b not inside 1..S-1, where S is the
// largest count value whose rate it trusts (M unless theta < 0). For the
// tests of that proof.
bool mychisq_slope_bounds(double lambda, double theta, int M, int a, int b, double& below, double& above);
