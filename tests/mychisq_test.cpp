// The goodness-of-fit test of both models.
#include "mfit/mychisq.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Chisq {
    int gp_valid = -1, p_valid = -1, gp_df = -5, p_df = -5;
    double gp = -5.0, p = -5.0;
};

Chisq run(const std::vector<int>& counts, double theta, double lambda, double poisson_lambda)
{
    std::vector<int> v(counts.size() + 1, 0);
    for (std::size_t i = 0; i < counts.size(); ++i) v[i + 1] = counts[i];
    Chisq c;
    mychisq(static_cast<int>(counts.size()), v.data(), theta, lambda, poisson_lambda, c.gp_valid, c.p_valid, c.gp_df,
            c.p_df, c.gp, c.p);
    return c;
}

std::vector<int> repeat(std::vector<std::pair<int, int>> value_times)
{
    std::vector<int> out;
    for (auto [value, times] : value_times) out.insert(out.end(), times, value);
    return out;
}

} // namespace

TEST(Mychisq, TwentyEntryPoissonExamplePoolsValueTwoUpward)
{
    // Expected frequencies 8.548, 7.266, 3.088: values 0 and 1 are classes of
    // their own, 2 and above are pooled (observed 5, expected about 4.186).
    Chisq c = run(repeat({{0, 8}, {1, 7}, {2, 5}}), 0.0, 0.85, 0.85);
    EXPECT_EQ(c.p_valid, 1);
    EXPECT_EQ(c.p_df, 1);
    EXPECT_NEAR(c.p, 0.203, 0.0005);
    // With θ = 0 the generalized Poisson model has the same two classes: too few.
    EXPECT_EQ(c.gp_valid, 0);
    EXPECT_EQ(c.gp_df, -5);
    EXPECT_EQ(c.gp, -5.0);
}

TEST(Mychisq, SmallVectorsNeverGiveAValidTest)
{
    Chisq c = run({0, 1, 2, 3, 1, 0, 2, 5, 1, 0}, 0.1, 1.2, 1.5);
    EXPECT_EQ(c.p_valid, 0);
    EXPECT_EQ(c.gp_valid, 0);
    EXPECT_EQ(c.p_df, -5);
}

TEST(Mychisq, NegativeRateAtTheTopCountFailsOnlyTheGeneralizedModel)
{
    // λ + θ·6 < 0 makes an expected frequency not a number.
    std::vector<int> counts = repeat({{0, 6}, {1, 12}, {2, 12}, {3, 6}, {6, 1}});
    Chisq c = run(counts, -0.5, 2.0, 1.6);
    EXPECT_EQ(c.gp_valid, 0);
    EXPECT_EQ(c.gp_df, -5);
    EXPECT_EQ(c.p_valid, 1);
    EXPECT_GE(c.p_df, 1);
}

TEST(Mychisq, GeneralizedPoissonStatisticAndDegreesOfFreedom)
{
    // 60 over-dispersed counts: several separate classes under both models.
    std::vector<int> counts = repeat({{0, 25}, {1, 12}, {2, 8}, {3, 5}, {4, 4}, {6, 3}, {9, 2}, {14, 1}});
    Chisq c = run(counts, 0.45, 0.95, 1.7833333333);
    ASSERT_EQ(c.gp_valid, 1);
    ASSERT_EQ(c.p_valid, 1);
    // Recompute the generalized Poisson statistic independently.
    const int n = 60;
    double stat = 0, sum_e = 0;
    long sum_o = 0;
    int classes = 0;
    std::vector<int> observed(15, 0);
    for (int x : counts) ++observed[x];
    for (int k = 0; k <= 14; ++k) {
        double rate = 0.95 + 0.45 * k;
        double logp = std::log(0.95) + (k - 1) * std::log(rate) - rate - std::lgamma(k + 1.0);
        double e = n * std::exp(logp);
        if (e >= 5.0) {
            ++classes;
            stat += (observed[k] - e) * (observed[k] - e) / e;
            sum_e += e;
            sum_o += observed[k];
        }
    }
    stat += (sum_e - sum_o) * (sum_e - sum_o) / (n - sum_e);
    EXPECT_EQ(c.gp_df, classes - 2);
    EXPECT_NEAR(c.gp, stat, 1e-9);
}
