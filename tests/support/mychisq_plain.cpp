#include "tests/support/mychisq_plain.h"

#include "numcore/arrays.h"
#include "numcore/gammln.h"
#include "numcore/histogram.h"

#include <cmath>
#include <cstdint>

namespace {

double pearson(int n, int M, const IntVector& observed, const RealVector& expected, const IntVector& separate,
               int& valid)
{
    double statistic = 0.0;
    std::int64_t sum_observed = 0;
    double sum_expected = 0.0;
    for (int k = 0; k <= M; ++k) {
        if (!separate[k + 1]) continue;
        const double diff = observed[k + 1] - expected[k + 1];
        statistic = statistic + (diff * diff) / expected[k + 1];
        sum_observed += observed[k + 1];
        sum_expected = sum_expected + expected[k + 1];
    }
    const double pooled = sum_expected - static_cast<double>(sum_observed);
    statistic = statistic + (pooled * pooled) / (n - sum_expected);
    if (n - sum_expected == 0) valid = 0;
    return statistic;
}

// The expected frequency of every value 0..M (`frequency(k)`) and whether
// it is a class of its own (at least 5); the number of such classes, or -1
// when a frequency is not a number, which fails the test.
template <class Frequency>
int expected_classes(int M, RealVector& expected, IntVector& separate, Frequency frequency)
{
    int classes = 0;
    for (int k = 0; k <= M; ++k) {
        const double e = frequency(k);
        if (std::isnan(e)) return -1;
        expected[k + 1] = e;
        separate[k + 1] = e >= 5.0;
        classes += separate[k + 1];
    }
    return classes;
}

} // namespace

void mychisq_plain(int n, const int* counts, double theta, double lambda, double poisson_lambda,
                   int& genpois_valid, int& pois_valid, int& genpois_df, int& pois_df, double& genpois_chisq,
                   double& pois_chisq)
{
    const int M = max_count(n, counts);
    IntVector observed = count_histogram(n, counts, M);

    genpois_valid = 0;
    pois_valid = 0;

    RealVector expected(static_cast<std::int64_t>(M) + 1);
    IntVector separate(static_cast<std::int64_t>(M) + 1);

    int classes = expected_classes(M, expected, separate, [&](int k) {
        const double rate = lambda + theta * k;
        return n * std::exp(std::log(lambda) + (k - 1) * std::log(rate) - rate - gammln(k + 1));
    });
    if (classes > 2) {
        genpois_valid = 1;
        genpois_df = classes - 2;
        genpois_chisq = pearson(n, M, observed, expected, separate, genpois_valid);
    }

    classes = expected_classes(M, expected, separate, [&](int k) {
        return n * std::exp(k * std::log(poisson_lambda) - poisson_lambda - gammln(k + 1));
    });
    if (classes > 1) {
        pois_valid = 1;
        pois_df = classes - 1;
        pois_chisq = pearson(n, M, observed, expected, separate, pois_valid);
    }
}
