// The goodness-of-fit test as it was computed before the deep-data path: one
// pass over every count value from 0 to the largest count, with tables of that
// size. Kept unchanged for the tests, which hold the production routine to
// this one bit for bit.
#pragma once

void mychisq_plain(int n, const int* counts, double theta, double lambda, double poisson_lambda,
                   int& genpois_valid, int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq,
                   double& pois_chisq);
