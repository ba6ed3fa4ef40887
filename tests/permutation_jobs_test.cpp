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

// A job's null against the sequential test's, bit for bit.
void expect_same_null(const GammaNull& got, const GammaNull& expected, const std::string& where)
{
    EXPECT_TRUE(same_bits(got.scale, expected.scale)) << where;
    EXPECT_TRUE(same_bits(got.shape, expected.shape)) << where;
}

// The jobs make(0) .. make(count - 1), run in that order on a runner of
// `threads` from `seed`, all finished.
template <class Job, class Make>
std::vector<std::shared_ptr<Job>> run_jobs(int threads, std::size_t count, std::int64_t& seed, Make make)
{
    std::vector<std::shared_ptr<Job>> jobs;
    PermutationRunner runner(threads);
    for (std::size_t k = 0; k < count; ++k) {
        jobs.push_back(make(k));
        runner.run(jobs.back(), seed);
    }
    runner.wait_all();
    return jobs;
}

struct Pair {
    std::vector<int> x, y;
    int n() const { return static_cast<int>(x.size()) - 1; }
};

// A level job of the pair.
std::shared_ptr<LevelPermutationJob> level_job(const Pair& p)
{
    return std::make_shared<LevelPermutationJob>(p.x.data(), p.y.data(), p.n());
}

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
        const auto jobs = run_jobs<LevelPermutationJob>(threads, level_pairs().size(), seed,
                                                        [](std::size_t k) { return level_job(level_pairs()[k]); });
        EXPECT_EQ(seed, expected_seed) << threads << " threads";
        EXPECT_TRUE(same_bits(ran2(seed), next_draw)) << "the stream goes on where the sequential one does";
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            ASSERT_TRUE(jobs[k]->finished());
            expect_same_null(jobs[k]->null(), expected[k], std::to_string(threads) + " threads, pair " + std::to_string(k));
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

// The exon of `n_e` positions at start..end of the genes.
ShareCase share_case(const Pair& genes, int n_e, int start, int end)
{
    ShareCase c{genes.x, genes.y, {}, {}, start, end};
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
    auto case_of = [](int n_e, int n_g, int start, int end) {
        return share_case({gene_counts(n_g, 11, 4.0), gene_counts(n_g, 12, 6.0)}, n_e, start, end);
    };
    std::vector<ShareCase> cases = {case_of(30, 90, 31, 60), case_of(25, 60, 1, 20), case_of(10, 50, 5, 14)};
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
        const auto jobs = run_jobs<SharePermutationJob>(threads, cases.size(), seed, [&](std::size_t k) {
            return std::make_shared<SharePermutationJob>(genes[k], cases[k].vectors());
        });
        EXPECT_EQ(seed, expected_seed);
        for (std::size_t k = 0; k < cases.size(); ++k) {
            const std::string where = std::to_string(threads) + " threads, case " + std::to_string(k);
            expect_same_null(jobs[k]->null(), expected[k], where);
            EXPECT_EQ(diagnostics(*jobs[k]), expected_lines[k]) << where;
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
    const auto jobs =
        run_jobs<LevelPermutationJob>(3, pairs.size(), seed, [&](std::size_t k) { return level_job(pairs[k]); });
    for (std::size_t k = 0; k < jobs.size(); ++k) expect_same_null(jobs[k]->null(), expected[k], std::to_string(k));
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
        const auto jobs =
            run_jobs<LevelPermutationJob>(threads, pairs.size(), seed, [&](std::size_t k) { return level_job(pairs[k]); });
        EXPECT_EQ(seed, expected_seed);
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            const std::string where = std::to_string(threads) + " threads, pair " + std::to_string(k);
            // Most permutations of such counts are valid: a refit that gave
            // up on them would change the null, not just agree with it.
            EXPECT_GT(valid_outcomes(*jobs[k]), 500) << where;
            expect_same_null(jobs[k]->null(), expected[k], where);
        }
    }
}

TEST(SharePermutationJob, DeepCountsAndPoolsAbove2To24GiveTheSequentialNull)
{
    std::vector<ShareCase> cases;
    for (bool huge : {false, true}) cases.push_back(share_case(deep_pair(huge ? 53 : 61, huge), 20, 5, 24));
    reset_random_state();
    std::int64_t seed = -7;
    std::vector<GammaNull> expected;
    for (const ShareCase& c : cases) expected.push_back(share_permutation_test(2, c.vectors(), seed));
    const std::int64_t expected_seed = seed;

    for (int threads : {1, 3}) {
        reset_random_state();
        seed = -7;
        const auto jobs = run_jobs<SharePermutationJob>(threads, cases.size(), seed, [&](std::size_t k) {
            return std::make_shared<SharePermutationJob>(2, cases[k].vectors());
        });
        EXPECT_EQ(seed, expected_seed);
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            const std::string where = std::to_string(threads) + " threads, case " + std::to_string(k);
            EXPECT_GT(valid_outcomes(*jobs[k]), 500) << where;
            expect_same_null(jobs[k]->null(), expected[k], where);
        }
    }
}
