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
