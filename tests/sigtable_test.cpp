// sigtable: the p-values against values computed independently, the
// Benjamini-Hochberg adjustment on a hand-checked example with ties and NA,
// and the whole table for both kinds of statistics file, with and without
// the permutation fields, sorted and filtered, plain and gzip; the plots
// rendered to PNG; the refusal of every kind of bad input with its one
// line, a null Boost.Math cannot evaluate, and the gzip table against the
// plain one.
//
// Reference values were computed with SciPy 1.10 (Debian's python3-scipy):
//   python3 -c "from scipy import stats; print(stats.chi2.sf(X, 1))"
//   python3 -c "from scipy import stats; print(stats.gamma.sf(X, SHAPE, scale=SCALE))"
#include "sigtable/plots.h"
#include "sigtable/pvalues.h"
#include "tests/sigtable_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>
#include <zlib.h>

TEST(PValues, ChiSquareAndGammaUpperTailsMatchSciPy)
{
    const struct {
        double x, expected;
    } chi2[] = {{0.5, 0.47950012218695337},   {1.0, 0.31731050786291115},   {3.841459, 0.04999999465319563},
                {10.0, 0.001565402258002549}, {25.0, 5.733031437583875e-07}, {60.0, 9.485737571073857e-15}};
    for (const auto& c : chi2) EXPECT_NEAR(chi_square_upper(c.x) / c.expected, 1.0, 1e-12) << c.x;
    const struct {
        double x, shape, scale, expected;
    } gamma[] = {{1.0, 2.0, 0.5, 0.40600584970983794},
                 {5.0, 1.5, 2.0, 0.1717971442967335},
                 {0.1, 0.8, 1.2, 0.8582333393213465},
                 {30.0, 3.0, 1.0, 4.501016648012131e-11},
                 {10.0, 1.5, 2.0, 0.01856613546304325}};
    for (const auto& g : gamma) EXPECT_NEAR(gamma_upper(g.x, g.shape, g.scale) / g.expected, 1.0, 1e-12) << g.x;

    // Edges: a statistic of 0 or a rounding residue below it, not a number,
    // and nulls that are not distributions.
    EXPECT_EQ(chi_square_upper(0.0), 1.0);
    EXPECT_EQ(chi_square_upper(-1e-9), 1.0);
    EXPECT_TRUE(std::isnan(chi_square_upper(NAN)));
    EXPECT_EQ(chi_square_upper(INFINITY), 0.0);
    EXPECT_TRUE(std::isnan(gamma_upper(1.0, -2.0, 0.5)));
    EXPECT_TRUE(std::isnan(gamma_upper(1.0, 2.0, NAN)));
    EXPECT_TRUE(std::isnan(gamma_upper(1.0, INFINITY, 0.0)));
}

TEST(PValues, BenjaminiHochbergWithTiesAndNotANumber)
{
    // By hand: five p-values; m·p/rank from the largest down is 0.5, 0.05,
    // 0.0667, 0.075, 0.05, and the running minimum gives 0.05 to all four
    // smaller ones, ties included. R: p.adjust(c(.01,.04,.04,.03,.5), "BH").
    const std::vector<double> adjusted = benjamini_hochberg({0.01, 0.04, NAN, 0.04, 0.03, 0.5});
    const std::vector<double> expected = {0.05, 0.05, NAN, 0.05, 0.05, 0.5};
    ASSERT_EQ(adjusted.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        if (std::isnan(expected[k])) {
            EXPECT_TRUE(std::isnan(adjusted[k]));
        } else {
            EXPECT_NEAR(adjusted[k], expected[k], 1e-15) << k;
        }
    }
    // Never above 1.
    EXPECT_EQ(benjamini_hochberg({0.9, 0.8})[0], 0.9);
    EXPECT_EQ(benjamini_hochberg({1.0, 1.0, 0.99})[2], 1.0);
}

namespace {

// Gene 8's comparison has no valid generalized Poisson statistic (-1).
const std::string kLevelRows[] = {
    "7 1 2 1.000000 10.000000 0.500000 0.250000 1.000000 0.500000 100",
    "8 1 2 -1 25.000000 -1 -1 2.000000 2.000000 50",
    "7 1 3 30.000000 0.500000 0.500000 0.500000 1.000000 4.000000 100",
    "9 1 2 3.841459 60.000000 0.500000 0.500000 1.000000 1.000000 10",
};
// The permutation fields (scale, shape) of the same rows.
const std::string kLevelNulls[] = {" 0.500000 2.000000", " -1 -1", " 1.000000 3.000000", " 2.000000 1.500000"};

std::string level_file(bool permutation)
{
    std::string text;
    for (int k = 0; k < 4; ++k) text += kLevelRows[k] + (permutation ? kLevelNulls[k] : "") + "\n";
    return text;
}

// The same comparisons with the Poisson statistics that lvcmp computes from
// their means and lengths when condition 2 is sequenced twice as deep as
// conditions 1 and 3 (kDepths): the totals a table is normalised by must be
// those the statistics were computed with.
const std::string kDepths = "100 100\n200 200\n100 100\n";
const std::string kLevelRowsAtDepths =
    "7 1 2 1.000000 69.314718 0.500000 0.250000 1.000000 0.500000 100\n"
    "8 1 2 -1 23.556607 -1 -1 2.000000 2.000000 50\n"
    "7 1 3 30.000000 192.744757 0.500000 0.500000 1.000000 4.000000 100\n"
    "9 1 2 3.841459 2.355661 0.500000 0.500000 1.000000 1.000000 10\n";

} // namespace

TEST(Sigtable, LevelTableWithPermutationFields)
{
    ScratchDir dir;
    const std::string out = dir.file("t.tsv");
    const RunResult r = sigtable({"--stats", dir.write("lv.txt", level_file(true)), "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    // Within pair 1-2: generalized Poisson p-values 0.317311, NA, 0.05 (two
    // tests), Poisson 0.0015654, 5.73303e-07, 9.48574e-15 (three),
    // permutation 0.406006, NA, 0.2791 (two); pair 1-3 alone.
    // Every p-value is followed by its calibrated pair, NA here: a pair of
    // conditions needs 200 tests to be calibrated, and calibration says so
    // with the counts of each test when they differ.
    const std::string few = "too few tests to calibrate (gp 2, poisson 3, permutation 2 < 200)";
    EXPECT_EQ(read_file(out),
              "gene_index\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\tpvalue_cal\t"
              "padj_cal\ttest_status\tstat_poisson\tpvalue_poisson\tpadj_poisson\tpvalue_poisson_cal\t"
              "padj_poisson_cal\tpvalue_permutation\tpadj_permutation\tpvalue_permutation_cal\t"
              "padj_permutation_cal\tcalibration\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength\n"
              "7\t1\t2\t75\t-1\t1\t0.317311\t0.317311\tNA\tNA\ttested\t10\t0.0015654\t0.0015654\tNA\tNA\t0.406006\t"
              "0.406006\tNA\tNA\t" + few + "\t100\t50\t0.5\t0.25\t100\n"
              "8\t1\t2\t100\t0\tNA\tNA\tNA\tNA\tNA\ttest not valid\t25\t5.73303e-07\t8.59955e-07\tNA\tNA\tNA\tNA\t"
              "NA\tNA\ttoo few tests to calibrate (3 < 200)\t100\t100\tNA\tNA\t50\n"
              "7\t1\t3\t250\t2\t30\t4.32046e-08\t4.32046e-08\tNA\tNA\ttested\t0.5\t0.4795\t0.4795\tNA\tNA\t"
              "4.50102e-11\t4.50102e-11\tNA\tNA\ttoo few tests to calibrate (1 < 200)\t100\t400\t0.5\t0.5\t100\n"
              "9\t1\t2\t10\t0\t3.84146\t0.05\t0.1\tNA\tNA\ttested\t60\t9.48574e-15\t2.84572e-14\tNA\tNA\t0.2791\t"
              "0.406006\tNA\tNA\t" + few + "\t10\t10\t0.5\t0.5\t10\n");
    EXPECT_EQ(r.out, "lvcmp 1 2 gp: 2 tested, too few to calibrate (2 < 200)\n"
                     "lvcmp 1 2 poisson: 3 tested, too few to calibrate (3 < 200)\n"
                     "lvcmp 1 2 permutation: 2 tested, too few to calibrate (2 < 200)\n"
                     "lvcmp 1 3 gp: 1 tested, too few to calibrate (1 < 200)\n"
                     "lvcmp 1 3 poisson: 1 tested, too few to calibrate (1 < 200)\n"
                     "lvcmp 1 3 permutation: 1 tested, too few to calibrate (1 < 200)\n");
}

TEST(Sigtable, LevelTableSortedFilteredAndNormalisedWithoutPermutationFields)
{
    ScratchDir dir;
    const std::string out = dir.file("t.tsv.gz");
    // Condition 2 was sequenced twice as deep as conditions 1 and 3.
    const std::string gtt = dir.write("gtt.txt", kDepths);
    const RunResult r = sigtable({"--stats", dir.write("lv.txt", kLevelRowsAtDepths), "--out", out, "--gtt", gtt,
                                  "--sort", "--fdr=0.2"});
    ASSERT_EQ(r.status, 0) << r.err;
    gzFile z = gzopen(out.c_str(), "rb");
    ASSERT_NE(z, nullptr);
    std::string text;
    char buffer[4096];
    for (int n; (n = gzread(z, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    gzclose(z);
    // Mean depth 133.33: condition 1's means are scaled by 4/3, condition
    // 2's by 2/3, 3's by 4/3. Rows with padj above 0.2 and the NA row are
    // left out; the rest ordered by padj.
    EXPECT_EQ(uncalibrated_columns(text), "gene_index\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
                    "stat_poisson\tpvalue_poisson\tpadj_poisson\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength\n"
                    "7\t1\t3\t333.333\t2\t30\t4.32046e-08\t4.32046e-08\ttested\t192.745\t8.00261e-44\t8.00261e-44\t"
                    "133.333\t533.333\t0.5\t0.5\t100\n"
                    "9\t1\t2\t10\t-1\t3.84146\t0.05\t0.1\ttested\t2.35566\t0.124829\t0.124829\t13.3333\t6.66667\t"
                    "0.5\t0.5\t10\n");
}

TEST(Sigtable, ShareTableWithFeaturesAndWithAndWithoutPermutationFields)
{
    ScratchDir dir;
    const std::string row = "11 7 1 2 10.000000 1.000000 0.1 0.2 0.3 0.4 0.5 1.0 0.25 1.0 10 100";
    const std::string features = dir.write(
        "features.tsv", "kind\tid\tgene\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\n"
                        "exon\t11\tENSG1\tABC\tchr2\t1000\t1009\t-\tT1,T2\ngene\t7\tENSG1\tABC\tchr2\t900\t2000\t-\tT1,T2\n");
    const std::string head = "exon_index\tgene_index\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\t"
                             "condition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
                             "stat_poisson\tpvalue_poisson\tpadj_poisson";
    // Shares 0.5·10/(1·100) and 0.25·10/(1·100): a halving.
    const std::string fields = "11\t7\tENSG1\tABC\tchr2\t1000\t1009\t-\t1\t2\t3.75\t-1\t10\t0.0015654\t0.0015654\t"
                               "tested\t1\t0.317311\t0.317311";
    const std::string tail = "\t0.05\t0.025\t10\t100\n";

    const RunResult plain = sigtable({"--stats", dir.write("iso.txt", row + "\n"), "--out", dir.file("a.tsv"),
                                      "--features", features});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("a.tsv"))), head + "\tshare_a\tshare_b\texon_length\tgene_length\n" + fields + tail);

    const RunResult perm = sigtable({"--stats", dir.write("isop.txt", row + " 2.000000 1.500000\n"), "--out",
                                     dir.file("b.tsv"), "--features", features});
    ASSERT_EQ(perm.status, 0) << perm.err;
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("b.tsv"))), head + "\tpvalue_permutation\tpadj_permutation\tshare_a\tshare_b\t"
                                                   "exon_length\tgene_length\n" +
                                                fields + "\t0.0185661\t0.0185661" + tail);
}

TEST(Sigtable, RefusesFilesItCannotRead)
{
    ScratchDir dir;
    const RunResult count = sigtable({"--stats", dir.write("s.txt", "1 2 3\n"), "--out", dir.file("o")});
    EXPECT_EQ(count.status, 2);
    EXPECT_EQ(count.err, "sigtable: statistics file '" + dir.file("s.txt") +
                             "', line 1: expected 10 or 12 fields (lvcmp) or 16 or 18 (isocmp), found 3\n");
    const RunResult ragged = sigtable({"--stats", dir.write("r.txt", kLevelRows[0] + "\n" + kLevelRows[1] + " 1\n"),
                                       "--out", dir.file("o")});
    EXPECT_EQ(ragged.status, 2);
    EXPECT_NE(ragged.err.find("line 2: expected 10 fields, as on the first line, found 11"), std::string::npos);
    const RunResult word = sigtable({"--stats", dir.write("w.txt", "7 1 2 x 1 1 1 1 1 10\n"), "--out", dir.file("o")});
    EXPECT_EQ(word.status, 2);
    EXPECT_EQ(word.err, "sigtable: statistics file '" + dir.file("w.txt") +
                            "', line 1, field 4 (gp_statistic of comparison 1): expected a real number, found 'x'\n");
    const RunResult help = sigtable({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--stats", "--out", "--tables", "--design", "--features", "--gtt", "--pvalue",
                               "--sort", "--fdr", "--plots", "--alpha"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const RunResult short_form = sigtable({"-h"});
    EXPECT_EQ(short_form.status, 0);
    EXPECT_EQ(short_form.out, help.out);
}

TEST(Sigtable, PlotsAreRealImagesOfTheirSize)
{
    ScratchDir dir;
    const RunResult r = sigtable({"--stats", dir.write("lv.txt", level_file(true)), "--out", dir.file("t.tsv"),
                                  "--plots", dir.file("plots")});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"volcano_1_2", "ma_1_2", "volcano_1_3", "ma_1_3"}) {
        const std::string svg = read_file(dir.file("plots/") + name + ".svg");
        EXPECT_EQ(svg.rfind("<svg ", 0), 0u) << name;
        EXPECT_NE(svg.find("#d62728"), std::string::npos) << name; // the significant points' colour
        const std::string png = read_file(dir.file("plots/") + name + ".png");
        ASSERT_GT(png.size(), 33u) << name;
        // The PNG signature, then the IHDR chunk with width and height.
        EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << name;
        EXPECT_EQ(png.substr(12, 4), "IHDR");
        auto be32 = [&](std::size_t at) {
            return (std::uint32_t(static_cast<unsigned char>(png[at])) << 24) |
                   (std::uint32_t(static_cast<unsigned char>(png[at + 1])) << 16) |
                   (std::uint32_t(static_cast<unsigned char>(png[at + 2])) << 8) |
                   std::uint32_t(static_cast<unsigned char>(png[at + 3]));
        };
        EXPECT_EQ(be32(16), 720u) << name;
        EXPECT_EQ(be32(20), 540u) << name;
    }
}

namespace {

const std::string kFeaturesHeader = "kind\tid\tgene\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\n";
} // namespace

TEST(Sigtable, RefusesFoldersAsInputs)
{
    // A folder opens for reading but cannot be read, whichever input it is.
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", level_file(false));
    const std::string folder = dir.path();
    expect_refusal(dir, {"--stats", folder}, "cannot read statistics file '" + folder + "': Is a directory");
    expect_refusal(dir, {"--stats", stats, "--features", folder},
                   "cannot read features file '" + folder + "': Is a directory");
    expect_refusal(dir, {"--stats", stats, "--gtt", folder}, "cannot read gtt file '" + folder + "': Is a directory");
    expect_refusal(dir, {"--stats", dir.file("none")},
                   "cannot open statistics file '" + dir.file("none") + "': No such file or directory");
}

TEST(Sigtable, RefusesBadFieldsOfStatistics)
{
    ScratchDir dir;
    // The statistics file: condition numbers count from 1, lengths from 0;
    // a comparison that is not valid still has every field checked.
    expect_refusals(dir, "",
                    {{"zero.txt", "7 0 2 1 1 1 1 1 1 10\n", {"--stats", "{f}"},
                      "statistics file '{f}', line 1, field 2 (condition_i of comparison 1): expected a condition "
                      "number (an integer from 1), found '0'"},
                     {"share.txt", "\n11 7 1 2 1 1 1 1 1 1 1 1 1 1 15 -39\n", {"--stats", "{f}"},
                      "statistics file '{f}', line 2, field 16 (gene_length of comparison 1): expected a non-negative "
                      "integer, found '-39'"},
                     {"invalid.txt", kLevelRows[0] + "\n8 1 2 -1 25 -1 z 2 2 50\n", {"--stats", "{f}"},
                      "statistics file '{f}', line 2, field 7 (lambda_j of comparison 2): expected a real number, "
                      "found 'z'"}});
}

TEST(Sigtable, TotalsCoverEveryConditionAndInputsAreNotOverwritten)
{
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", kLevelRowsAtDepths);
    const std::string gtt = dir.write("gtt.txt", kDepths);
    const std::string genes = "gene\t7\tG7\tA B\tchr1\t10\t20\t+\tT1\ngene\t8\tG8\tC\tchr1\t30\t40\t+\tT2\n"
                              "gene\t9\tG9\tD\tchr1\t50\t60\t+\tT3\n";
    const std::string features = dir.write("f.tsv", kFeaturesHeader + genes);

    // gtt: a pair for each condition the statistics file compares (3), as
    // lvcmp compares every pair: fewer leave a condition without its depth,
    // more change the mean depth that the means are scaled to.
    const std::vector<std::string> with_gtt = {"--stats", "{s}", "--gtt", "{f}"};
    expect_refusals(dir, stats,
                    {{"two.txt", "100 100\n200 200\n", with_gtt,
                      "gtt file '{f}' does not belong to statistics file '{s}': it holds the totals of 2 conditions "
                      "and the statistics file compares 3"},
                     {"more.txt", "100 100\n200 200\n100 100\n50 50\n", with_gtt,
                      "gtt file '{f}' does not belong to statistics file '{s}': it holds the totals of 4 conditions "
                      "and the statistics file compares 3"},
                     {"word.txt", "100 100\n200 abc\n100 100\n", with_gtt,
                      "gtt file '{f}', line 2, field 2 (poisson_total of condition 2): expected a real number, found "
                      "'abc'"},
                     {"odd.txt", "100 100\n200 200\n100\n", with_gtt,
                      "gtt file '{f}', line 3, field 2 (poisson_total of condition 3): expected a real number, found "
                      "the end of the file"}});

    // Every input is known to the run: the table may not overwrite one.
    const RunResult clobber = sigtable({"--stats", stats, "--features", features, "--gtt", gtt, "--out", features});
    EXPECT_EQ(clobber.status, 2);
    EXPECT_EQ(clobber.err, "sigtable: table file '" + features + "' is the same file as features file '" + features +
                               "': give each output a name of its own, apart from the inputs\n");
    EXPECT_EQ(read_file(features), kFeaturesHeader + genes);

    // What passes every check: names with spaces, an empty transcripts
    // field, a blank line.
    const std::string spaced = dir.write("spaced.tsv", kFeaturesHeader + genes.substr(0, genes.find('T')) + "\n" +
                                                           genes.substr(genes.find('\n') + 1) + "\n");
    const RunResult ok = sigtable({"--stats", stats, "--features", spaced, "--gtt", gtt, "--out", dir.file("ok.tsv")});
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(split_lines(uncalibrated_columns(read_file(dir.file("ok.tsv"))))[1].rfind("7\tG7\tA B\tchr1\t10\t20\t+\t1\t2\t", 0), 0u);
}

TEST(Sigtable, NullsBoostCannotEvaluateGiveNA)
{
    // A shape of a million with a scale of 1e100 overflows Gamma(shape) in
    // Boost.Math, which throws; the p-value is NA, the run goes on.
    EXPECT_TRUE(std::isnan(gamma_upper(10.0, 1e6, 1e100)));
    EXPECT_TRUE(std::isnan(gamma_upper(1e-300, 1e300, 1e300)));
    ScratchDir dir;
    std::string text = level_file(true);
    text += "10 1 3 4.000000 1.000000 0.5 0.5 1.0 1.0 20 1e100 1e6\n";
    const std::string out = dir.file("t.tsv");
    const RunResult r = sigtable({"--stats", dir.write("lv.txt", text), "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "sigtable: warning: without --gtt or --tables, lvcmp's fold changes and means are not normalised "
                     "by depth, while its statistics are\n");
    const std::vector<std::string> lines = split_lines(uncalibrated_columns(read_file(out)));
    ASSERT_EQ(lines.size(), 6u);
    // Pair 1-3 now has two tests: gene 7's padj doubles, its permutation
    // p-value is adjusted alone; gene 10's is NA (chi-square p-values:
    // 0.0455003 for 4, 0.317311 for 1).
    EXPECT_EQ(lines[3], "7\t1\t3\t250\t2\t30\t4.32046e-08\t8.64093e-08\ttested\t0.5\t0.4795\t0.4795\t4.50102e-11\t"
                        "4.50102e-11\t100\t400\t0.5\t0.5\t100");
    // The generalized Poisson test is there; test_status says why its
    // permutation p-value is not.
    EXPECT_EQ(lines[5], "10\t1\t3\t20\t0\t4\t0.0455003\t0.0455003\ttested; permutation null not evaluable\t1\t0.317311\t0.4795\tNA\tNA\t20\t20\t"
                        "0.5\t0.5\t20");
}

TEST(Sigtable, GzipTableIsThePlainTableCompressed)
{
    // Enough rows for several of the writer's chunks and compressed blocks.
    ScratchDir dir;
    std::string text;
    for (int gene = 1; gene <= 10000; ++gene)
        text += std::to_string(gene) + " 1 2 " + std::to_string(gene % 97) + ".5 " + std::to_string(gene % 13) +
                " 0.5 0.25 1.0 0.5 " + std::to_string(gene) + " 2.0 1.5\n";
    const std::string stats = dir.write("lv.txt", text);
    const RunResult plain = sigtable({"--stats", stats, "--out", dir.file("t.tsv")});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const RunResult packed = sigtable({"--stats", stats, "--out", dir.file("t.tsv.gz")});
    ASSERT_EQ(packed.status, 0) << packed.err;
    const std::string expected = read_file(dir.file("t.tsv"));
    ASSERT_GT(expected.size(), std::size_t(1) << 20);

    // One gzip member that inflates to exactly the plain table and ends there.
    const std::string gz = read_file(dir.file("t.tsv.gz"));
    ASSERT_GT(gz.size(), 18u);
    EXPECT_EQ(gz.substr(0, 3), std::string("\x1f\x8b\x08", 3));
    EXPECT_LT(gz.size(), expected.size() / 3);
    z_stream z{};
    ASSERT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
    std::string inflated(expected.size() + 1, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
    z.avail_in = static_cast<uInt>(gz.size());
    z.next_out = reinterpret_cast<Bytef*>(inflated.data());
    z.avail_out = static_cast<uInt>(inflated.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u);
    inflated.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_TRUE(inflated == expected) << inflated.size() << " bytes against " << expected.size();
}

namespace {

// The level rows of level_file(false) as the table shows them after the
// feature's columns, and the share row's (see the tests above).
const std::string kLevelResults[] = {
    "\t1\t2\t75\t-1\t1\t0.317311\t0.317311\ttested\t10\t0.0015654\t0.0015654\t100\t50\t0.5\t0.25\t100\n",
    "\t1\t2\t100\t0\tNA\tNA\tNA\ttest not valid\t25\t5.73303e-07\t8.59955e-07\t100\t100\tNA\tNA\t50\n",
    "\t1\t3\t250\t2\t30\t4.32046e-08\t4.32046e-08\ttested\t0.5\t0.4795\t0.4795\t100\t400\t0.5\t0.5\t100\n",
    "\t1\t2\t10\t0\t3.84146\t0.05\t0.1\ttested\t60\t9.48574e-15\t2.84572e-14\t10\t10\t0.5\t0.5\t10\n",
};
const std::string kShareNumbers = " 1 2 10.000000 1.000000 0.1 0.2 0.3 0.4 0.5 1.0 0.25 1.0 10 100\n";
const std::string kShareResults = "\t1\t2\t3.75\t-1\t10\t0.0015654\t0.0015654\ttested\t1\t0.317311\t0.317311\t0.05\t"
                                  "0.025\t10\t100\n";
const std::string kFeatureColumns = "\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand";

} // namespace

TEST(SigtableFeatures, GenesNameLevelRowsAndExonsNameShareRows)
{
    // Blank lines anywhere after the header, a row with fields past the
    // eighth, one with just eight and no line end, and a gene and an exon
    // of the same number with different names. (A gene or exon missing from
    // the file is refused: SigtableBelonging.)
    ScratchDir dir;
    const std::string features = dir.write("features.tsv", kFeaturesHeader +
                                                               "\n"
                                                               "gene\t7\tENSG7\tSeven A\tchr2\t900\t2000\t-\tT1,T2\n"
                                                               "exon\t7\tENSG9\tNine\tchr5\t1\t10\t+\tT9\n"
                                                               "exon\t11\tENSG7\tSeven A\tchr2\t1000\t1009\t-\tT1\t"
                                                               "more\tstill more\n"
                                                               "\n\n"
                                                               "gene\t8\tENSG8\tEight\tchr3\t5\t60\t+\tT8\n"
                                                               "exon\t12\tENSG9\tNine\tchrM\t0\t0\t.\tT9\n"
                                                               "gene\t9\tENSG9\tNine\tchrM\t0\t0\t.");
    const RunResult level = sigtable({"--stats", dir.write("lv.txt", level_file(false)), "--features", features,
                                      "--out", dir.file("level.tsv")});
    ASSERT_EQ(level.status, 0) << level.err;
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("level.tsv"))),
              "gene_index" + kFeatureColumns +
                  "\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
                  "stat_poisson\tpvalue_poisson\tpadj_poisson\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength\n"
                  "7\tENSG7\tSeven A\tchr2\t900\t2000\t-" + kLevelResults[0] +
                  "8\tENSG8\tEight\tchr3\t5\t60\t+" + kLevelResults[1] +
                  "7\tENSG7\tSeven A\tchr2\t900\t2000\t-" + kLevelResults[2] +
                  "9\tENSG9\tNine\tchrM\t0\t0\t." + kLevelResults[3]);

    // Exons 11, 7 (not gene 7) and 12; equal statistics, so every padj is
    // its p-value.
    const RunResult share = sigtable({"--stats", dir.write("iso.txt", "11 7" + kShareNumbers + "7 9" + kShareNumbers +
                                                                          "12 9" + kShareNumbers),
                                      "--features", features, "--out", dir.file("share.tsv")});
    ASSERT_EQ(share.status, 0) << share.err;
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("share.tsv"))),
              "exon_index\tgene_index" + kFeatureColumns +
                  "\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
                  "stat_poisson\tpvalue_poisson\tpadj_poisson\tshare_a\tshare_b\texon_length\tgene_length\n"
                  "11\t7\tENSG7\tSeven A\tchr2\t1000\t1009\t-" + kShareResults +
                  "7\t9\tENSG9\tNine\tchr5\t1\t10\t+" + kShareResults +
                  "12\t9\tENSG9\tNine\tchrM\t0\t0\t." + kShareResults);
}

TEST(SigtableFeatures, TheHeaderIsKnownByItsFirstFieldAlone)
{
    // A header of "kind" alone is a header.
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", kLevelRows[3] + "\n");
    const RunResult r = sigtable({"--stats", stats, "--features",
                                  dir.write("f.tsv", "kind\ngene\t9\tENSG9\tNine\tchrM\t0\t0\t."), "--out",
                                  dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(split_lines(uncalibrated_columns(read_file(dir.file("t.tsv")))).at(1),
              "9\tENSG9\tNine\tchrM\t0\t0\t.\t1\t2\t10\t0\t3.84146\t0.05\t0.05\ttested\t60\t9.48574e-15\t"
              "9.48574e-15\t10\t10\t0.5\t0.5\t10");
    // Only the first line may be the header: a blank line before it, or a
    // header of other words, loses it.
    const std::string blank_first = dir.write("blank.tsv", "\n" + kFeaturesHeader);
    expect_refusal(dir, {"--stats", stats, "--features", blank_first},
                   "features file '" + blank_first + "', line 1, field 1 (header): expected 'kind', found ''");
    const std::string headless = dir.write("headless.tsv", "gene\t7\tG7\tA\tchr1\t10\t20\t+\tT1\n");
    expect_refusal(dir, {"--stats", stats, "--features", headless},
                   "features file '" + headless + "', line 1, field 1 (header): expected 'kind', found 'gene'");
    const std::string capital = dir.write("capital.tsv", "Kind\tid\n");
    expect_refusal(dir, {"--stats", stats, "--features", capital},
                   "features file '" + capital + "', line 1, field 1 (header): expected 'kind', found 'Kind'");
}

TEST(SigtableFeatures, RefusesEachBadLineNamingItsLineFieldAndFeature)
{
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", level_file(false));
    const std::string good = "gene\t7\tG7\tA\tchr1\t10\t20\t+\tT1\n";
    // The rows after the header, and the refusal after "features file 'P', ".
    for (const auto& [rows, message] : std::vector<std::pair<std::string, std::string>>{
             // Fields missing: named by the first one missing.
             {"exon\n", "line 2, field 2 (id of feature 1): expected a tab-separated field, found the end of the line"},
             {"gene\t7\tG7\tA\tchr1\t10\n",
              "line 2, field 7 (end of feature 1): expected a tab-separated field, found the end of the line"},
             {"gene\t7\tG7\tA\tchr1\t10\t20\n",
              "line 2, field 8 (strand of feature 1): expected a tab-separated field, found the end of the line"},
             // Blank lines count as lines, not as features.
             {"\n" + good + "\nexon\t8\tG7\tA\tchr1\t10\t-3\t+\tT1\n",
              "line 5, field 7 (end of feature 2): expected a non-negative integer, found '-3'"},
             // Empty fields.
             {"gene\t\tG7\tA\tchr1\t10\t20\t+\tT1\n",
              "line 2, field 2 (id of feature 1): expected an integer, found ''"},
             {"gene\t7\tG7\tA\tchr1\t\t20\t+\tT1\n",
              "line 2, field 6 (start of feature 1): expected a non-negative integer, found ''"},
             {"gene\t7\tG7\tA\tchr1\t10\t20\t\tT1\n",
              "line 2, field 8 (strand of feature 1): expected '+', '-' or '.', found ''"},
             // Words where numbers go, and numbers out of their range.
             {"Gene\t7\tG7\tA\tchr1\t10\t20\t+\tT1\n",
              "line 2, field 1 (kind of feature 1): expected 'gene' or 'exon', found 'Gene'"},
             {"gene\t7.0\tG7\tA\tchr1\t10\t20\t+\tT1\n",
              "line 2, field 2 (id of feature 1): expected an integer, found '7.0'"},
             {"gene\t-2147483649\tG7\tA\tchr1\t10\t20\t+\tT1\n",
              "line 2, field 2 (id of feature 1): expected an integer from -2147483648 to 2147483647, found "
              "'-2147483649'"},
             {"gene\t7\tG7\tA\tchr1\t-1\t20\t+\tT1\n",
              "line 2, field 6 (start of feature 1): expected a non-negative integer, found '-1'"},
             {good + "gene\t8\tG7\tA\tchr1\t10\t20x\t+\tT1\n",
              "line 3, field 7 (end of feature 2): expected a non-negative integer, found '20x'"},
             {"gene\t7\tG7\tA\tchr1\t10\t20\t+ \tT1\n",
              "line 2, field 8 (strand of feature 1): expected '+', '-' or '.', found '+ '"},
             {"gene\t7\tG7\tA\tchr1\t10\t20\tx\tT1\n",
              "line 2, field 8 (strand of feature 1): expected '+', '-' or '.', found 'x'"},
             {"gene\tx7\tG7\tA\tchr1\t10\t20\t+\tT1\n",
              "line 2, field 2 (id of feature 1): expected an integer, found 'x7'"},
             {good + "exon\t99999999999\tG7\tA\tchr1\t10\t20\t+\tT1\n",
              "line 3, field 2 (id of feature 2): expected an integer from -2147483648 to 2147483647, found "
              "'99999999999'"},
             {"gene\t7\tG7\tA\tchr1\t1e3\t20\t+\tT1\n",
              "line 2, field 6 (start of feature 1): expected a non-negative integer, found '1e3'"},
             {"transcript\t7\tG7\tA\tchr1\t10\t20\t+\tT1\n",
              "line 2, field 1 (kind of feature 1): expected 'gene' or 'exon', found 'transcript'"}}) {
        const std::string bad = dir.write("bad.tsv", kFeaturesHeader + rows);
        expect_refusal(dir, {"--stats", stats, "--features", bad}, "features file '" + bad + "', " + message);
    }
}

TEST(SigtableFeatures, RefusesAFileThatIsNotThere)
{
    // A folder is refused with the other inputs' (RefusesFoldersAsInputs).
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", level_file(false));
    expect_refusal(dir, {"--stats", stats, "--features", dir.file("features.tsv")},
                   "cannot open features file '" + dir.file("features.tsv") + "': No such file or directory");
}

// A grey point on the cell of one already drawn is left out; significant
// points are all drawn, even on one spot.
TEST(Sigtable, PlotsThinGreyPointsButDrawEverySignificantOne)
{
    Plot plot{"t", "x", "y", "legend", {}, false, false, "", false};
    for (int k = 0; k < 1000; ++k) plot.points.push_back({0.5 + 1e-9 * k, 0.5, false});
    plot.points.push_back({0.0, 0.0, false});
    plot.points.push_back({1.0, 1.0, false});
    for (int k = 0; k < 3; ++k) plot.points.push_back({0.25, 0.75, true});
    const std::string svg = plot_svg(plot);
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
        return n;
    };
    // The legend's circles have no opacity, so only the points count.
    EXPECT_EQ(count("fill=\"#7f7f7f\" fill-opacity=\"0.5\""), 3u);
    EXPECT_EQ(count("fill=\"#d62728\" fill-opacity=\"0.9\""), 3u);
}
