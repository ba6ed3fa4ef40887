// The numeric core: array layout and release, the fatal-error report,
// log-gamma and the generalized Poisson fit.
#include "numcore/numcore.h"

#include "tests/support/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Fit {
    int converged = -1;
    double lambda = -7.0, theta = -7.0, poisson_lambda = -7.0;
};

Fit fit(const std::vector<int>& counts)
{
    std::vector<int> v = one_based(counts);
    Fit f;
    mfitmle(static_cast<int>(counts.size()), v.data(), f.converged, f.lambda, f.theta, f.poisson_lambda);
    return f;
}

} // namespace

TEST(Arrays, VectorsCoverExactlyTheirRangeAndRelease)
{
    int* empty = ivector(1, 0);
    free_ivector(empty, 1, 0);

    int* v = ivector(1, 5);
    for (int i = 1; i <= 5; ++i) v[i] = i * 10;
    v[0] = -1; // the block's first element is part of the allocation
    EXPECT_EQ(v[5], 50);
    free_ivector(v, 1, 5);

    double* d = dvector(1, 3);
    d[1] = 0.5;
    d[3] = 1.5;
    EXPECT_EQ(d[1] + d[3], 2.0);
    free_dvector(d, 1, 3);
}

TEST(Arrays, MatrixRowsFollowEachOtherInOneBlock)
{
    const int R = 4, C = 3;
    int** m = imatrix(1, R, 1, C);
    for (int i = 1; i < R; ++i) EXPECT_EQ(&m[i][C] + 1, &m[i + 1][1]);
    for (int i = 1; i <= R; ++i)
        for (int j = 1; j <= C; ++j) m[i][j] = i * 100 + j;
    // A row is a vector valid at [1..C].
    int* row = m[3];
    EXPECT_EQ(row[1], 301);
    EXPECT_EQ(row[C], 303);
    free_imatrix(m, 1, R, 1, C);

    double** dm = dmatrix(1, 2, 1, 2);
    EXPECT_EQ(&dm[1][2] + 1, &dm[2][1]);
    free_dmatrix(dm, 1, 2, 1, 2);
}

TEST(Arrays, EmptyMatricesAreReleasable)
{
    int** no_rows = imatrix(1, 0, 1, 6);
    free_imatrix(no_rows, 1, 0, 1, 6);
    double** no_columns = dmatrix(1, 5, 1, 0);
    free_dmatrix(no_columns, 1, 5, 1, 0);
}

TEST(Arrays, WrappersReleaseOnceAndMove)
{
    IntVector a(10);
    for (int i = 1; i <= 10; ++i) a[i] = i;
    IntVector b = std::move(a);
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(b[10], 10);
    b = IntVector(2);
    EXPECT_EQ(b.size(), 2);
    RealMatrix m(3, 2);
    m[3][2] = 1.0;
    RealMatrix n = std::move(m);
    EXPECT_EQ(n[3][2], 1.0);
    EXPECT_EQ(m.get(), nullptr);
}

using ArraysDeathTest = ::testing::Test;

TEST(ArraysDeathTest, FailedAllocationsReportAndExitWithOne)
{
    const std::int64_t huge = std::int64_t(1) << 42;
    // Not anchored at the start: a sanitizer may warn about the failed
    // allocation before the report.
    EXPECT_EXIT(ivector(1, huge), ::testing::ExitedWithCode(1),
                "Numerical Recipes run-time error\\.\\.\\.\nallocation failure in ivector\\(\\)\n"
                "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
    EXPECT_EXIT(dvector(1, huge), ::testing::ExitedWithCode(1), "\nallocation failure in dvector\\(\\)\n");
    EXPECT_EXIT(dmatrix(1, std::int64_t(1) << 61, 1, 1), ::testing::ExitedWithCode(1),
                "Numerical Recipes run-time error\\.\\.\\.\nallocation failure 1 in matrix\\(\\)\n"
                "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
    EXPECT_EXIT(imatrix(1, 2, 1, huge), ::testing::ExitedWithCode(1), "\nallocation failure 2 in matrix\\(\\)\n");
}

TEST(ArraysDeathTest, NrerrorWritesThreeLinesToStandardErrorOnly)
{
    EXPECT_EXIT(nrerror("something broke"), ::testing::ExitedWithCode(1),
                "^Numerical Recipes run-time error\\.\\.\\.\nsomething broke\n\\.\\.\\.now exiting to system\\.\\.\\.\n$");
}

TEST(Gammln, MatchesFactorialsAndKnownValues)
{
    EXPECT_NEAR(gammln(1), 0.0, 1e-10);
    EXPECT_NEAR(gammln(2), 0.0, 1e-10);
    EXPECT_NEAR(gammln(0.5), std::log(std::sqrt(M_PI)), 1e-10);
    double log_factorial = 0;
    for (int k = 1; k <= 170; ++k) {
        log_factorial += std::log(static_cast<double>(k));
        EXPECT_NEAR(gammln(k + 1), log_factorial, 1e-10 * std::max(1.0, log_factorial)) << "k = " << k;
    }
}

TEST(Gammln, BitsAreThoseOfTheSixTermSeries)
{
    // Exact values of this series with its constant 2.5066282746310005; the
    // double nearest sqrt(2 pi) or a reordered sum gives other bits.
    EXPECT_EQ(gammln(0.5), 0x1.250d048e7a34p-1);
    EXPECT_EQ(gammln(11.0), 0x1.e357590954f03p+3);
    EXPECT_EQ(gammln(25.0), 0x1.b6472034e96fcp+5);
    EXPECT_EQ(gammln(1001.0), 0x1.71820d04e2f7ap+12);
    EXPECT_EQ(gammln(100001.0), 0x1.00aa338ce6181p+20);
}

TEST(Mfitmle, WorkedExamples)
{
    struct Case {
        std::vector<int> counts;
        int converged;
        const char *lambda, *theta, *poisson_lambda;
    };
    const Case cases[] = {
        {{0, 0, 1, 3, 0, 7, 2, 0, 0, 5}, 1, "0.797072", "0.557182", "1.800000"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 9}, 1, "0.125000", "0.875000", "1.000000"},
        {{3, 2, 1}, 1, "3.600000", "-0.800000", "2.000000"},
        {{0, 1, 1, 2}, 0, "1.500000", "-0.500000", "1.000000"},   // truncation point 3
        {{3, 3, 4}, 0, "11.564660", "-2.469398", "3.333333"},     // theta below -1
    };
    for (const Case& c : cases) {
        Fit f = fit(c.counts);
        EXPECT_EQ(f.converged, c.converged);
        EXPECT_EQ(six(f.lambda), c.lambda);
        EXPECT_EQ(six(f.theta), c.theta);
        EXPECT_EQ(six(f.poisson_lambda), c.poisson_lambda);
    }
}

namespace {

// Counts from a histogram: hist[v] positions hold the count v.
std::vector<int> from_histogram(const std::vector<int>& hist)
{
    std::vector<int> counts;
    for (std::size_t v = 0; v < hist.size(); ++v) counts.insert(counts.end(), hist[v], static_cast<int>(v));
    return counts;
}

} // namespace

TEST(Mfitmle, RootWhoseSupportEndsBelowTheLargestCountIsNotConverged)
{
    // 54 mostly-2 counts and one 6. Newton settles on θ near -0.82, whose
    // support (λ/-θ = 4.4, four points, so gp_supported passes) leaves the 6
    // with probability zero: reported, but not converged.
    const Fit cut = fit(from_histogram({4, 4, 40, 3, 2, 0, 1}));
    EXPECT_EQ(cut.converged, 0);
    EXPECT_EQ(six(cut.lambda), "3.605910");
    EXPECT_EQ(six(cut.theta), "-0.819805");
    EXPECT_TRUE(gp_supported(cut.lambda, cut.theta));
    EXPECT_LE(cut.lambda + 6 * cut.theta, 0.0);

    // One 2 moved to 3: the iteration finds the admissible root and keeps it.
    const Fit kept = fit(from_histogram({4, 4, 39, 4, 2, 0, 1}));
    EXPECT_EQ(kept.converged, 1);
    EXPECT_EQ(six(kept.lambda), "2.602164");
    EXPECT_EQ(six(kept.theta), "-0.301082");
    EXPECT_GT(kept.lambda + 6 * kept.theta, 0.0);

    // Without the 6 the same shape is fitted inside its support.
    const Fit plain = fit(from_histogram({4, 4, 40, 3, 3}));
    EXPECT_EQ(plain.converged, 1);
    EXPECT_GT(plain.lambda + 4 * plain.theta, 0.0);
}

TEST(Mfitmle, EarlyExitLeavesLambdaAndThetaUntouched)
{
    for (const std::vector<int>& counts :
         {std::vector<int>{4, 4, 4}, std::vector<int>{0, 0, 0, 0}, std::vector<int>{0, 1, 0, 1}, std::vector<int>{},
          std::vector<int>{1}, std::vector<int>{0}}) {
        Fit f = fit(counts);
        EXPECT_EQ(f.converged, 0);
        EXPECT_EQ(f.lambda, -7.0);
        EXPECT_EQ(f.theta, -7.0);
    }
    EXPECT_EQ(fit({4, 4, 4}).poisson_lambda, 4.0);
    EXPECT_EQ(fit({0, 1, 0, 1}).poisson_lambda, 0.5);
    EXPECT_EQ(fit({}).poisson_lambda, 0.0);
}

TEST(Mfitmle, SinglePositionWithALargeCountFailsWithNotANumber)
{
    Fit f = fit({5});
    EXPECT_EQ(f.converged, 0);
    EXPECT_TRUE(std::isnan(f.lambda));
    EXPECT_TRUE(std::isnan(f.theta));
    EXPECT_EQ(f.poisson_lambda, 5.0);
    // A huge count must come back as quickly (the iteration stops once θ is
    // not a number).
    Fit big = fit({100000});
    EXPECT_EQ(big.converged, 0);
    EXPECT_EQ(big.poisson_lambda, 100000.0);
}

TEST(Mfitmle, EquidispersedCountsKeepATinyNegativeTheta)
{
    Fit f = fit({10, 11, 6, 2, 9, 12, 9, 8, 10, 6, 4, 9});
    EXPECT_EQ(f.converged, 1);
    EXPECT_NEAR(f.theta, 0.0, 1e-12);
    EXPECT_EQ(six(f.lambda), "8.000000");
    EXPECT_EQ(f.poisson_lambda, 8.0);
}

TEST(Mfitmle, ConvergedFitSolvesTheLikelihoodEquationForLargeCounts)
{
    // (j-1)·j·h[j] goes far beyond 32 bits here; the fit must still solve
    // Σ x(x-1)/(λ+θx) = n·mean, checked position by position in long double.
    std::vector<int> counts;
    for (int i = 0; i < 400; ++i) counts.push_back((i % 7 == 0) ? 90000 + i : (i % 3) * 1000);
    for (int i = 0; i < 300; ++i) counts.push_back(0);
    Fit f = fit(counts);
    ASSERT_EQ(f.converged, 1);
    long double sum = 0, total = 0;
    for (int x : counts) {
        total += x;
        sum += static_cast<long double>(x) * (x - 1) / (f.lambda + f.theta * x);
    }
    EXPECT_NEAR(static_cast<double>(sum / total), 1.0, 1e-6);
    EXPECT_NEAR(f.lambda, (1 - f.theta) * f.poisson_lambda, 1e-9 * f.poisson_lambda);
}

TEST(Mfitmle, DispersionSignFollowsTheData)
{
    Fit over = fit({0, 0, 0, 5, 0, 9, 1, 0, 12, 0, 0, 3});
    EXPECT_EQ(over.converged, 1);
    EXPECT_GT(over.theta, 0.0);
    EXPECT_LT(over.theta, 1.0);
    Fit under = fit({5, 6, 5, 4, 5, 6, 5, 4, 5, 5});
    EXPECT_LT(under.theta, 0.0);
}

TEST(RunningMoments, SideBySideGivesEachVectorsOwnPassBitForBit)
{
    // Eight vectors with different spreads, also the register paths with and
    // without AVX; the histograms must count every value once.
    constexpr int n = 777;
    std::vector<std::vector<int>> v(8, std::vector<int>(n + 1, -999));
    unsigned state = 99;
    for (int k = 0; k < 8; ++k)
        for (int i = 1; i <= n; ++i) {
            state = state * 1103515245u + 12345u;
            v[k][i] = static_cast<int>((state >> 16) % (1u + 7u * k * k)) * (k == 3 ? 1000 : 1);
        }
    const int bound = 7 * 49 * 1000;
    auto same = [](const RunningMoments& a, const RunningMoments& b) {
        return std::memcmp(&a.mean, &b.mean, sizeof a.mean) == 0 && std::memcmp(&a.S, &b.S, sizeof a.S) == 0 &&
               a.max == b.max;
    };
    for (bool wide : {true, false}) {
        std::vector<std::vector<int>> h(8, std::vector<int>(bound + 2, 0));
        const int* rows[8];
        int* hist[8];
        for (int k = 0; k < 8; ++k) {
            rows[k] = v[k].data();
            hist[k] = h[k].data();
        }
        RunningMoments out[8];
        running_moments8(n, rows, out, hist, wide);
        for (int k = 0; k < 8; ++k) {
            EXPECT_TRUE(same(out[k], running_moments(n, v[k].data()))) << "vector " << k << (wide ? " wide" : "");
            const IntVector expected = count_histogram(n, v[k].data(), out[k].max);
            for (int c = 1; c <= out[k].max + 1; ++c) ASSERT_EQ(h[k][c], expected[c]) << k << " " << c;
        }
    }
    std::vector<int> h0(bound + 2, 0), h1(bound + 2, 0);
    RunningMoments a, b;
    running_moments2(n, v[3].data(), v[6].data(), a, b, h0.data(), h1.data());
    EXPECT_TRUE(same(a, running_moments(n, v[3].data())));
    EXPECT_TRUE(same(b, running_moments(n, v[6].data())));
}
