// sigtable --design: the table per pair of conditions of an experiment with
// replicates, from the statistics files to the whole table, and the test
// underneath it. The expected tables were computed apart from the program
// (median-of-ratios depths, log2 values, a pooled two-sample t with
// N - C degrees of freedom: too few features for a prior).
#include "sigtable/moderated_test.h"
#include "tests/sigtable_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Columns ctl_1, trt_1, ctl_2, trt_2: the conditions interleaved, so that a
// design read as "first half, second half" would show.
const char kDesign[] = "sample\tcondition\nctl_1\tcontrol\ntrt_1\ttreated\nctl_2\tcontrol\ntrt_2\ttreated\n";

std::string fixed6(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

// lvcmp's lines for every pair of the 4 samples of genes of length 4 with
// these reads per sample; only the Poisson means and the length matter here.
std::string level_file(const std::vector<std::pair<int, std::vector<int>>>& genes)
{
    std::string text;
    for (const auto& [id, reads] : genes)
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j)
                text += std::to_string(id) + " " + std::to_string(i + 1) + " " + std::to_string(j + 1) +
                        " 1.000000 1.000000 0.500000 0.500000 " + fixed6(reads[i] / 4.0) + " " +
                        fixed6(reads[j] / 4.0) + " 4\n";
    return text;
}

// isocmp's lines: exons of length 2 in genes of length 4 (two exons each).
struct Exon {
    int id, gene;
    std::vector<int> reads, gene_reads;
};
std::string share_file(const std::vector<Exon>& exons)
{
    std::string text;
    for (const Exon& e : exons)
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j)
                text += std::to_string(e.id) + " " + std::to_string(e.gene) + " " + std::to_string(i + 1) + " " +
                        std::to_string(j + 1) + " 1.000000 1.000000 0.5 0.5 0.5 0.5 " + fixed6(e.reads[i] / 2.0) +
                        " " + fixed6(e.gene_reads[i] / 4.0) + " " + fixed6(e.reads[j] / 2.0) + " " +
                        fixed6(e.gene_reads[j] / 4.0) + " 2 4\n";
    return text;
}

TEST(SigtableDesign, GenesAndExonsFromTheDesignToTheWholeTable)
{
    ScratchDir dir;
    const std::string design = dir.write("design.tsv", kDesign);
    // 1003 has reads in the treated samples only: a large difference, tested.
    const std::string genes = dir.write("lvcmp_re.txt", level_file({{1001, {10, 40, 12, 44}},
                                                                     {1002, {20, 21, 22, 19}},
                                                                     {1003, {0, 30, 0, 34}},
                                                                     {1004, {0, 0, 0, 0}},
                                                                     {1005, {8, 9, 30, 28}}}));
    RunResult r = sigtable({"--stats", genes, "--design", design, "--out", dir.file("genes.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "genes: 4 of 5 tested; 2 degrees of freedom between replicates, and 0 more from the variance "
                     "of genes of like expression\ngenes treated against control: 0 at padj <= 0.05\n");
    EXPECT_EQ(read_file(dir.file("genes.tsv")),
              "gene_index\tcondition_a\tcondition_b\tmean_a\tmean_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\t"
              "test_status\n"
              "1001\tcontrol\ttreated\t16.9081\t34.9686\t25.9383\t1.04835\t1.92816\t0.193641\t0.293468\ttested\n"
              "1002\tcontrol\ttreated\t32.7935\t17.0966\t24.9451\t-0.939699\t-1.41192\t0.293468\t0.293468\ttested\n"
              "1003\tcontrol\ttreated\t0\t26.5342\t13.2671\tInf\t8.29332\t0.0142297\t0.0569188\ttested\n"
              "1004\tcontrol\ttreated\t0\t0\t0\tNA\tNA\tNA\tNA\tno reads\n"
              "1005\tcontrol\ttreated\t23.9571\t13.4388\t18.6979\t-0.834051\t-1.52685\t0.266351\t0.293468\ttested\n");

    // Exons: the log odds of the share; a gene without reads in a sample
    // leaves its exons untested.
    const std::string exons = dir.write(
        "isocmp_re.txt", share_file({{5001, 1001, {4, 30, 5, 33}, {10, 40, 12, 44}},
                                     {5002, 1001, {6, 10, 7, 11}, {10, 40, 12, 44}},
                                     {5003, 1002, {10, 10, 11, 10}, {20, 21, 22, 19}},
                                     {5004, 1002, {10, 11, 11, 9}, {20, 21, 22, 19}},
                                     {5005, 1003, {0, 15, 0, 17}, {0, 30, 0, 34}},
                                     {5006, 1003, {0, 15, 0, 17}, {0, 30, 0, 34}}}));
    r = sigtable({"--stats", exons, "--design", design, "--out", dir.file("exons.tsv"), "--sort", "--plots",
                  dir.file("plots")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("exons.tsv")),
              "exon_index\tgene_index\tcondition_a\tcondition_b\tshare_a\tshare_b\tbaseMean\tlog2FoldChange\tstat\t"
              "pvalue\tpadj\ttest_status\n"
              "5001\t1001\tcontrol\ttreated\t0.408333\t0.75\t15.2581\t0.877143\t48.8102\t0.000419475\t0.000838949\t"
              "tested\n"
              "5002\t1001\tcontrol\ttreated\t0.591667\t0.25\t8.7198\t-1.24286\t-48.8102\t0.000419475\t0.000838949\t"
              "tested\n"
              "5003\t1002\tcontrol\ttreated\t0.5\t0.501253\t11.4512\t0.00361125\t0.0476913\t0.966296\t0.966296\t"
              "tested\n"
              "5004\t1002\tcontrol\ttreated\t0.5\t0.498747\t11.457\t-0.00362032\t-0.0476913\t0.966296\t0.966296\t"
              "tested\n"
              "5005\t1003\tcontrol\ttreated\tNA\t0.5\t6.09223\tNA\tNA\tNA\tNA\tno reads in its gene in ctl_1\n"
              "5006\t1003\tcontrol\ttreated\tNA\t0.5\t6.09223\tNA\tNA\tNA\tNA\tno reads in its gene in ctl_1\n");
    for (const char* plot : {"volcano_1_2.svg", "ma_1_2.svg", "levels_1_2.svg"})
        EXPECT_TRUE(file_exists(dir.file(std::string("plots/") + plot))) << plot;

    // A design that does not fit the dataset, or cannot be tested, is refused
    // (the totals are checked on isocmp's file, which they do not rescale).
    const std::string gtt = dir.write("gtt.txt", "100 100\n100 100\n100 100\n100 100\n");
    expect_refusals(dir, genes,
                    {{"d.tsv", "a\tx\nb\tx\nc\ty\n", {"--stats", "{s}", "--design", "{f}"},
                      "design file '{f}': expected 4 samples, one per column of statistics file '{s}', found 3"},
                     {"d.tsv", "a\tx\nb\tx\nc\ty\nd\ty\ne\ty\n", {"--stats", exons, "--design", "{f}", "--gtt", gtt},
                      "design file '{f}', line 5, field 1 (sample name): expected no more than 4 samples, the "
                      "columns of gtt file '" + gtt + "', found 'e'"},
                     {"d.tsv", "a\tx\nb\ty\nc\tz\nd\tw\n", {"--stats", "{s}", "--design", "{f}"},
                      "design file '{f}' has one sample per condition: expected a condition with at least two "
                      "samples, whose variation is the test's null (without replicates, leave --design out for the "
                      "table per pair of samples)"},
                     {"d.tsv", "a\tx\nb\tx\n", {"--stats", "{s}", "--design", "{f}"},
                      "design file '{f}' names 1 condition: expected at least two conditions to compare"},
                     {"d.tsv", "sample\tcondition\na\tx\nb\tx y\n", {"--stats", "{s}", "--design", "{f}"},
                      "design file '{f}', line 3, field 2 (condition name of column 2): expected a name without "
                      "blanks, found 'x y'"},
                     {"d.tsv", "a\tx\nb\ty\na\ty\n", {"--stats", "{s}", "--design", "{f}"},
                      "design file '{f}', line 3, field 1 (sample name of column 3): expected a name of its own, "
                      "not that of column 1, found 'a'"},
                     {"d.tsv", "a\tx\nb\n", {"--stats", "{s}", "--design", "{f}"},
                      "design file '{f}', line 2, field 2 (condition name of column 2): expected a tab and the "
                      "sample's condition, found the end of the line"},
                     {"d.tsv", kDesign, {"--stats", "{s}", "--design", "{f}", "--pvalue", "gp"},
                      "--design has one p-value, the test between conditions': give --pvalue without it (see "
                      "sigtable --help)"}});
}

TEST(ModeratedTest, TrigammaInverseAndStudentTails)
{
    // trigamma(y) = x solved to 12 digits (reference values from an
    // arbitrary-precision library).
    const struct {
        double x, y;
    } roots[] = {{0.001, 1000.49991666668}, {0.1, 10.4916818210784}, {1, 1.42625512021508}, {5, 0.496168734704107}};
    for (const auto& r : roots) EXPECT_NEAR(trigamma_inverse(r.x), r.y, 1e-10 * r.y) << r.x;

    // Two degrees of freedom: p = 1 - |t| / sqrt(2 + t^2); infinite: normal.
    EXPECT_NEAR(moderated_t(2, 1, 2, 2, 2).pvalue, 1 - 2 / std::sqrt(6.0), 1e-14);
    EXPECT_NEAR(moderated_t(1.959963984540054, 0.5, 1, 1, INFINITY).pvalue, 0.05, 1e-12);
    EXPECT_EQ(moderated_t(0, 0, 2, 2, 4).pvalue, 1.0);
}

// Variances drawn from the prior the test assumes (s0^2 falling with
// expression, d0 = 8) and then sampled on 4 degrees of freedom: the prior
// learnt from 5,000 features finds d0 and the trend again.
TEST(ModeratedTest, PriorRecoversItsDegreesOfFreedomAndTrend)
{
    std::mt19937_64 random(7);
    const double d0 = 8, df = 4;
    std::chi_squared_distribution<double> prior_draw(d0), sample_draw(df);
    std::vector<double> variance, expression;
    for (int k = 0; k < 5000; ++k) {
        const double x = 10.0 * k / 5000;
        const double s0 = 0.5 * std::exp(-0.2 * x);
        const double sigma2 = s0 * d0 / prior_draw(random);
        variance.push_back(sigma2 * sample_draw(random) / df);
        expression.push_back(x);
    }
    const VariancePrior prior = fit_variance_prior(variance, expression, df);
    EXPECT_NEAR(prior.d0, d0, 2.0);
    for (double x : {1.0, 5.0, 9.0}) EXPECT_NEAR(std::log(prior.s0_squared(x)), std::log(0.5) - 0.2 * x, 0.15) << x;
}

} // namespace
