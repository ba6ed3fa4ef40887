// The permutation tests as jobs of the runner against the tests run one
// permutation after another: same nulls bit for bit, same seed afterwards,
// same diagnostic lines, whatever the number of threads and however many
// jobs follow each other on one stream.
#include "isocmp/share_permutation.h"
#include "lvcmp/level_permutation.h"
#include "numcore/random.h"
#include "parallel/permutation_runner.h"

#include "tests/support/numbers.h"
#include "tests/support/test_counts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Counts with a spread, as a gene's positions have them, 1-based.
std::vector<int> gene_counts(int n, unsigned seed, double mean)
{
    std::mt19937 rng(seed);
    return overdispersed_counts(rng, n, mean, 0.0, 2.0);
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Pair {
    std::vector<int> x, y;
    int n() const { return static_cast<int>(x.size()) - 1; }
};

const std::vector<Pair>& level_pairs()
{
    static const std::vector<Pair> pairs = {
        {gene_counts(300, 1, 3.0), gene_counts(300, 2, 4.0)},
        {gene_counts(40, 3, 30.0), gene_counts(40, 4, 10.0)}, // pools above 24: the rejection method
        {gene_counts(120, 5, 0.7), gene_counts(120, 6, 0.5)},
    };
    return pairs;
}

} // namespace

TEST(LevelPermutationJob, GivesTheNullOfTheSequentialTestAtEveryThreadCount)
{
    reset_random_state();
    std::int64_t seed = -81079;
    std::vector<GammaNull> expected;
    for (const Pair& p : level_pairs()) expected.push_back(level_permutation_test(p.x.data(), p.y.data(), p.n(), seed));
    const std::int64_t expected_seed = seed;
    const float next_draw = ran2(seed);

    for (int threads : {1, 2, 3}) {
        reset_random_state();
        seed = -81079;
        std::vector<std::shared_ptr<LevelPermutationJob>> jobs;
        {
            PermutationRunner runner(threads);
            for (const Pair& p : level_pairs()) {
                jobs.push_back(std::make_shared<LevelPermutationJob>(p.x.data(), p.y.data(), p.n()));
                runner.run(jobs.back(), seed);
            }
            runner.wait_all();
        }
        EXPECT_EQ(seed, expected_seed) << threads << " threads";
        EXPECT_TRUE(same_bits(ran2(seed), next_draw)) << "the stream goes on where the sequential one does";
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            ASSERT_TRUE(jobs[k]->finished());
            const GammaNull got = jobs[k]->null();
            EXPECT_TRUE(same_bits(got.scale, expected[k].scale)) << threads << " threads, pair " << k;
            EXPECT_TRUE(same_bits(got.shape, expected[k].shape)) << threads << " threads, pair " << k;
        }
    }
}

namespace {

// A gene of three exons in two conditions with the exon's share at
// positions start..end of the gene vectors.
struct ShareCase {
    std::vector<int> gene_i, gene_l, exon_i, exon_l;
    int start, end;
    ShareVectors vectors() const
    {
        return {static_cast<int>(exon_i.size()) - 1, static_cast<int>(gene_i.size()) - 1, exon_i.data(),
                gene_i.data(), exon_l.data(), gene_l.data(), start, end};
    }
};

ShareCase share_case(int n_e, int n_g, int start, int end)
{
    ShareCase c{gene_counts(n_g, 11, 4.0), gene_counts(n_g, 12, 6.0), {}, {}, start, end};
    c.exon_i.assign(static_cast<std::size_t>(n_e) + 1, 0);
    c.exon_l.assign(static_cast<std::size_t>(n_e) + 1, 0);
    c.exon_i[0] = c.exon_l[0] = -999;
    for (int r = start, j = 1; r <= end; ++r, ++j) {
        c.exon_i[static_cast<std::size_t>(j)] = c.gene_i[static_cast<std::size_t>(r)];
        c.exon_l[static_cast<std::size_t>(j)] = c.gene_l[static_cast<std::size_t>(r)];
    }
    return c;
}

// What the runner's jobs would write to standard output for a job.
std::string diagnostics(const SharePermutationJob& job)
{
    std::string text;
    for (int p = 1; p <= kPermutations; ++p) {
        for (int k = 0; k < job.crap_per_permutation(); ++k) text += "Crap\n";
        for (int k = 0; k < job.screams(p); ++k) text += "Scream!!!!\n";
    }
    return text;
}

} // namespace

TEST(SharePermutationJob, GivesTheNullAndTheLinesOfTheSequentialTest)
{
    // An exon in the middle of the first gene (its permutations scream), one
    // at the start of the gene with a zero tail longer than its rows, and a
    // case whose observed exon counts do not match the gene's (one "Crap"
    // line per permutation).
    std::vector<ShareCase> cases = {share_case(30, 90, 31, 60), share_case(25, 60, 1, 20), share_case(10, 50, 5, 14)};
    cases[2].exon_i[3] += 1;
    const std::vector<int> genes = {1, 1, 2};

    reset_random_state();
    std::int64_t seed = -5;
    std::vector<GammaNull> expected;
    std::vector<std::string> expected_lines;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        testing::internal::CaptureStdout();
        expected.push_back(share_permutation_test(genes[k], cases[k].vectors(), seed));
        std::fflush(stdout);
        expected_lines.push_back(testing::internal::GetCapturedStdout());
    }
    const std::int64_t expected_seed = seed;
    EXPECT_NE(expected_lines[0].find("Scream!!!!\n"), std::string::npos);
    std::string crap_lines;
    for (int p = 0; p < kPermutations; ++p) crap_lines += "Crap\n";
    EXPECT_EQ(expected_lines[2], crap_lines);

    for (int threads : {1, 2, 4}) {
        reset_random_state();
        seed = -5;
        std::vector<std::shared_ptr<SharePermutationJob>> jobs;
        {
            PermutationRunner runner(threads);
            for (std::size_t k = 0; k < cases.size(); ++k) {
                jobs.push_back(std::make_shared<SharePermutationJob>(genes[k], cases[k].vectors()));
                runner.run(jobs.back(), seed);
            }
            runner.wait_all();
        }
        EXPECT_EQ(seed, expected_seed);
        for (std::size_t k = 0; k < cases.size(); ++k) {
            const GammaNull got = jobs[k]->null();
            EXPECT_TRUE(same_bits(got.scale, expected[k].scale)) << threads << " threads, case " << k;
            EXPECT_TRUE(same_bits(got.shape, expected[k].shape)) << threads << " threads, case " << k;
            EXPECT_EQ(diagnostics(*jobs[k]), expected_lines[k]) << threads << " threads, case " << k;
        }
    }
}

TEST(PermutationRunner, ManyShortJobsKeepTheirOrderOnOneStream)
{
    // Jobs far shorter than a batch, many in flight at once.
    std::vector<Pair> pairs;
    for (unsigned k = 0; k < 40; ++k) pairs.push_back({gene_counts(6, 100 + k, 3.0), gene_counts(6, 200 + k, 3.0)});
    reset_random_state();
    std::int64_t seed = -17;
    std::vector<GammaNull> expected;
    for (const Pair& p : pairs) expected.push_back(level_permutation_test(p.x.data(), p.y.data(), p.n(), seed));

    reset_random_state();
    seed = -17;
    PermutationRunner runner(3);
    std::vector<std::shared_ptr<LevelPermutationJob>> jobs;
    for (const Pair& p : pairs) {
        jobs.push_back(std::make_shared<LevelPermutationJob>(p.x.data(), p.y.data(), p.n()));
        runner.run(jobs.back(), seed);
    }
    runner.wait_all();
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const GammaNull got = jobs[k]->null();
        EXPECT_TRUE(same_bits(got.scale, expected[k].scale)) << k;
        EXPECT_TRUE(same_bits(got.shape, expected[k].shape)) << k;
    }
}

namespace {

// Counts 10^4 to 10^5 deep, with one pool above 2^24 reads when `huge`:
// the refits then sort their histograms out of the vectors, and the draw
// splits the huge pool in chunks.
Pair deep_pair(unsigned seed, bool huge)
{
    Pair p{gene_counts(50, seed, 2e4), gene_counts(50, seed + 1, 5e4)};
    if (huge) {
        p.x[7] = (1 << 24) + 12345;
        p.y[7] = 1 << 23;
    }
    return p;
}

int valid_outcomes(const PermutationJob& job)
{
    int valid = 0;
    for (int p = 1; p <= kPermutations; ++p) valid += job.outcome(p).valid ? 1 : 0;
    return valid;
}

} // namespace

TEST(LevelPermutationJob, DeepCountsAndPoolsAbove2To24GiveTheSequentialNull)
{
    const std::vector<Pair> pairs = {deep_pair(31, false), deep_pair(41, true)};
    reset_random_state();
    std::int64_t seed = -99;
    std::vector<GammaNull> expected;
    for (const Pair& p : pairs) expected.push_back(level_permutation_test(p.x.data(), p.y.data(), p.n(), seed));
    const std::int64_t expected_seed = seed;

    for (int threads : {1, 3}) {
        reset_random_state();
        seed = -99;
        std::vector<std::shared_ptr<LevelPermutationJob>> jobs;
        {
            PermutationRunner runner(threads);
            for (const Pair& p : pairs) {
                jobs.push_back(std::make_shared<LevelPermutationJob>(p.x.data(), p.y.data(), p.n()));
                runner.run(jobs.back(), seed);
            }
            runner.wait_all();
        }
        EXPECT_EQ(seed, expected_seed);
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            // Most permutations of such counts are valid: a refit that gave
            // up on them would change the null, not just agree with it.
            EXPECT_GT(valid_outcomes(*jobs[k]), 500) << threads << " threads, pair " << k;
            const GammaNull got = jobs[k]->null();
            EXPECT_TRUE(same_bits(got.scale, expected[k].scale)) << threads << " threads, pair " << k;
            EXPECT_TRUE(same_bits(got.shape, expected[k].shape)) << threads << " threads, pair " << k;
        }
    }
}

TEST(SharePermutationJob, DeepCountsAndPoolsAbove2To24GiveTheSequentialNull)
{
    std::vector<ShareCase> cases;
    for (bool huge : {false, true}) {
        const Pair genes = deep_pair(huge ? 53 : 61, huge);
        ShareCase c{genes.x, genes.y, {}, {}, 5, 24};
        c.exon_i.assign(21, 0);
        c.exon_l.assign(21, 0);
        c.exon_i[0] = c.exon_l[0] = -999;
        for (int r = c.start, j = 1; r <= c.end; ++r, ++j) {
            c.exon_i[static_cast<std::size_t>(j)] = c.gene_i[static_cast<std::size_t>(r)];
            c.exon_l[static_cast<std::size_t>(j)] = c.gene_l[static_cast<std::size_t>(r)];
        }
        cases.push_back(c);
    }
    reset_random_state();
    std::int64_t seed = -7;
    std::vector<GammaNull> expected;
    for (const ShareCase& c : cases) expected.push_back(share_permutation_test(2, c.vectors(), seed));
    const std::int64_t expected_seed = seed;

    for (int threads : {1, 3}) {
        reset_random_state();
        seed = -7;
        std::vector<std::shared_ptr<SharePermutationJob>> jobs;
        {
            PermutationRunner runner(threads);
            for (const ShareCase& c : cases) {
                jobs.push_back(std::make_shared<SharePermutationJob>(2, c.vectors()));
                runner.run(jobs.back(), seed);
            }
            runner.wait_all();
        }
        EXPECT_EQ(seed, expected_seed);
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            EXPECT_GT(valid_outcomes(*jobs[k]), 500) << threads << " threads, case " << k;
            const GammaNull got = jobs[k]->null();
            EXPECT_TRUE(same_bits(got.scale, expected[k].scale)) << threads << " threads, case " << k;
            EXPECT_TRUE(same_bits(got.shape, expected[k].shape)) << threads << " threads, case " << k;
        }
    }
}
