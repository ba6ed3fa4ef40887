// sigtable's calibrated p-values: a known inflation recovered from
// statistics drawn as lambda times chi-square(1), an inflation that grows
// with expression recovered as a non-decreasing curve, pairs with too few
// tests or none, ties, independence of the rows' order, the uncalibrated
// columns left as they were; and the further tests' files (--mean-test,
// --rest-test): read, matched and refused.
#include "sigtable/calibration.h"
#include "sigtable/pvalues.h"
#include "tests/sigtable_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// A standard normal draw by Box-Muller from a fixed-seed generator, the
// same on every platform (std::normal_distribution is not).
struct Normal {
    std::mt19937_64 bits;
    double uniform() { return (static_cast<double>(bits() >> 11) + 0.5) / 9007199254740992.0; }
    double draw() { return std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); }
};

std::string fixed(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

// An lvcmp statistics file of null genes in conditions 1 and 2: gene k's
// statistic is lambda(mean) times a chi-square(1) draw, its Poisson
// statistic 1.5 times that, its mean reads `mean` in both conditions
// (length 10, so the Poisson means are mean / 10).
template <class Lambda>
std::string null_genes(int genes, std::uint64_t seed, Lambda lambda, double log10_low, double log10_high,
                       int a = 1, int b = 2, int first_id = 1)
{
    Normal normal{std::mt19937_64(seed)};
    std::string text;
    for (int k = 0; k < genes; ++k) {
        const double mean = std::pow(10.0, log10_low + (log10_high - log10_low) * normal.uniform());
        const double z = normal.draw(), stat = lambda(mean) * z * z;
        text += std::to_string(first_id + k) + " " + std::to_string(a) + " " + std::to_string(b) + " " + fixed(stat) +
                " " + fixed(1.5 * stat) + " 0.5 0.5 " + fixed(mean / 10) + " " + fixed(mean / 10) + " 10\n";
    }
    return text;
}

// The table's columns by name.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::size_t at(const std::string& name) const
    {
        const auto it = std::find(header.begin(), header.end(), name);
        EXPECT_NE(it, header.end()) << name;
        return static_cast<std::size_t>(it - header.begin());
    }
    std::vector<std::string> column(const std::string& name) const
    {
        std::vector<std::string> out;
        const std::size_t k = at(name);
        for (const auto& row : rows) out.push_back(row.at(k));
        return out;
    }
};

Table read_table(const std::string& path)
{
    Table t;
    for (const std::string& line : split_lines(read_file(path))) {
        std::vector<std::string> cells;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            cells.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        if (t.header.empty()) t.header = cells;
        else t.rows.push_back(cells);
    }
    return t;
}

double share_below(const std::vector<std::string>& p, double level)
{
    std::size_t below = 0, n = 0;
    for (const std::string& v : p) {
        if (v == "NA") continue;
        ++n;
        below += std::stod(v) < level;
    }
    return static_cast<double>(below) / static_cast<double>(n);
}

const std::string kWarning = "sigtable: warning: without --gtt or --tables, lvcmp's fold changes and means are not "
                             "normalised by depth, while its statistics are\n";

} // namespace

TEST(Calibration, AKnownInflationIsRecoveredAndTheNullBecomesNominal)
{
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", null_genes(2000, 11, [](double) { return 2.0; }, 0, 3));
    const RunResult r = sigtable({"--stats", stats, "--out", dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, kWarning);
    const Table t = read_table(dir.file("t.tsv"));
    ASSERT_EQ(t.rows.size(), 2000u);
    // Inflated about fourfold at 0.05, and nominal once calibrated.
    EXPECT_GT(share_below(t.column("pvalue"), 0.05), 0.12);
    const double gp = share_below(t.column("pvalue_cal"), 0.05), poisson = share_below(t.column("pvalue_poisson_cal"), 0.05);
    EXPECT_GE(gp, 0.03);
    EXPECT_LE(gp, 0.07);
    EXPECT_GE(poisson, 0.03);
    EXPECT_LE(poisson, 0.07);
    for (const std::string& c : t.column("calibration")) ASSERT_EQ(c, "calibrated");

    // The factor: within 10% of 2 (and of 3 for the Poisson statistic, 1.5 times as large).
    std::vector<double> p, mean;
    for (const auto& row : t.rows) {
        p.push_back(std::stod(row[t.at("pvalue")]));
        mean.push_back(std::stod(row[t.at("baseMean")]));
    }
    const PairCalibration c = calibrate_pair(p, mean);
    ASSERT_TRUE(c.calibrated);
    EXPECT_NEAR(c.median_lambda, 2.0, 0.2);
    ASSERT_EQ(c.curve.lambda.size(), 10u); // 2000 tests: ten bins of 200
    for (double lambda : c.curve.lambda) EXPECT_NEAR(lambda, 2.0, 0.4);
    // Standard output reports it, one line per test of the pair.
    const std::vector<std::string> out = split_lines(r.out);
    ASSERT_EQ(out.size(), 2u) << r.out;
    EXPECT_EQ(out[0].rfind("lvcmp 1 2 gp: 2000 tested, inflation ", 0), 0u) << out[0];
    EXPECT_NE(out[0].find(" (median 2.04); p < 0.05: 16.4% before, 4.9% after calibration"), std::string::npos)
        << out[0];
    EXPECT_EQ(out[1].rfind("lvcmp 1 2 poisson: 2000 tested, inflation ", 0), 0u) << out[1];
}

TEST(Calibration, AStatisticWhosePValueUnderflowedIsStillScaledByTheFactor)
{
    // 400 tests inflated by 4; one statistic of 4000, whose chi-square
    // p-value underflows to 0: from the statistic it calibrates to the tail
    // at 1000 (about 1e-219), not to 0.
    Normal normal{std::mt19937_64(5)};
    std::vector<double> p, mean, statistic;
    for (int k = 0; k < 400; ++k) {
        const double z = normal.draw();
        statistic.push_back(4 * z * z);
        p.push_back(chi_square_upper(statistic.back()));
        mean.push_back(100);
    }
    statistic.push_back(4000);
    p.push_back(chi_square_upper(4000));
    mean.push_back(100);
    ASSERT_EQ(p.back(), 0.0);
    const PairCalibration from_p = calibrate_pair(p, mean);
    const PairCalibration from_statistic = calibrate_pair(p, mean, &statistic);
    ASSERT_TRUE(from_statistic.calibrated);
    EXPECT_EQ(from_p.pvalue_cal.back(), 0.0);
    const double lambda = from_statistic.curve.at(100);
    EXPECT_GT(lambda, 2.0);
    EXPECT_DOUBLE_EQ(from_statistic.pvalue_cal.back(), chi_square1_upper(4000 / lambda));
    EXPECT_GT(from_statistic.pvalue_cal.back(), 0.0);
    // The others are as from their p-values.
    for (std::size_t k = 0; k + 1 < p.size(); ++k) EXPECT_EQ(from_statistic.pvalue_cal[k], from_p.pvalue_cal[k]) << k;
}

TEST(Calibration, TailsTooSmallForADoubleKeepTheirLogarithm)
{
    // Reference values from mpmath 1.3.0 at 40 digits:
    //   log(gammainc(shape, x / scale, inf, regularized=True)), log(erfc(sqrt(q / 2))).
    const struct {
        double x, shape, scale, log_tail;
    } gamma[] = {{30, 3, 1, -23.824132729894239}, {2000, 3, 1, -1985.4903422616423},
                 {5000, 2, 1, -4991.4826068285811}, {1e4, 50, 10, -806.03554811842439}};
    for (const auto& g : gamma)
        EXPECT_NEAR(log_gamma_upper(g.x, g.shape, g.scale), g.log_tail, 1e-12 * std::abs(g.log_tail)) << g.x;
    EXPECT_EQ(gamma_upper(2000, 3, 1), 0.0);
    const struct {
        double q, log_p;
    } chi2[] = {{1600, -803.91529483319384}, {5000, -2504.4845878484514}, {1e5, -50005.982264084880}};
    for (const auto& c : chi2) EXPECT_NEAR(chi_square1_from_log_p(c.log_p), c.q, 1e-10 * c.q) << c.q;
    // Where the p-value is a double the two ways agree, on both sides of
    // where they meet.
    for (double q : {1.0, 100.0, 1370.0, 1385.0, 1400.0})
        EXPECT_NEAR(chi_square1_from_log_p(std::log(chi_square1_upper(q))), q, 1e-9 * q) << q;
}

TEST(Calibration, PermutationPValuesThatUnderflowedLeaveTheFactorsFinite)
{
    // 400 null comparisons, and in the most highly expressed bin 150 whose
    // statistics lie far beyond their gamma nulls (p-value 0 in a double):
    // a factor learnt from infinities would be infinite, and calibrate that
    // bin's infinite equivalents to not-a-number and the rest to 1.
    ScratchDir dir;
    Normal normal{std::mt19937_64(3)};
    std::string text;
    for (int k = 0; k < 550; ++k) {
        const bool far = k >= 400;
        const double z = normal.draw(), stat = far ? 3000 + k : z * z;
        const double mean = far ? 100 : std::pow(10.0, 2 * normal.uniform()) / 10;
        text += std::to_string(k + 1) + " 1 2 " + fixed(stat) + " " + fixed(stat) + " 0.5 0.5 " + fixed(mean) + " " +
                fixed(mean) + " 10 1.0 " + (far ? "2.0" : "0.5") + "\n";
    }
    const RunResult r = sigtable({"--stats", dir.write("lv.txt", text), "--out", dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("to inf "), std::string::npos) << r.out;
    const Table t = read_table(dir.file("t.tsv"));
    ASSERT_EQ(t.rows.size(), 550u);
    std::vector<double> far;
    for (std::size_t k = 0; k < 550; ++k) {
        EXPECT_EQ(t.rows[k][t.at("calibration")], "calibrated") << k;
        const std::string p = t.rows[k][t.at("pvalue_permutation_cal")];
        ASSERT_NE(p, "NA") << k;
        if (k >= 400) far.push_back(std::stod(p));
    }
    // The bin's comparisons keep their order: the larger statistic, the
    // smaller calibrated p-value.
    for (std::size_t k = 1; k < far.size(); ++k) EXPECT_LT(far[k], far[k - 1]) << k;
}

TEST(Calibration, AHigherQuantileMeasuresTheSameScaleButAHeavierTailOfMixedInflation)
{
    // A scaled chi-square looks the same from any quantile: lambda 2 from
    // the 0.9 quantile too. Half the genes inflated 1, half 4 (one
    // expression, different variability) is heavier in its tail than any
    // scaled chi-square: the 0.9 quantile sees more of it than the median.
    Normal normal{std::mt19937_64(11)};
    std::vector<double> scaled, mixed, mean;
    for (int k = 0; k < 4000; ++k) {
        const double z = normal.draw();
        scaled.push_back(chi_square_upper(2 * z * z));
        mixed.push_back(chi_square_upper((k % 2 ? 4 : 1) * z * z));
        mean.push_back(50);
    }
    EXPECT_NEAR(calibrate_pair(scaled, mean, nullptr, 0.9).median_lambda, 2.0, 0.3);
    const double median = calibrate_pair(mixed, mean).median_lambda;
    const double tail = calibrate_pair(mixed, mean, nullptr, 0.9).median_lambda;
    EXPECT_GT(tail, median * 1.2) << median;
    // The option reaches the calibration, and stays within its range.
    ScratchDir dir;
    std::string lines;
    for (std::size_t k = 0; k < mixed.size(); ++k) {
        const double z = normal.draw();
        char line[160];
        std::snprintf(line, sizeof line, "%zu 1 2 %.6f 1.000000 0.5 0.5 1.0 1.0 50\n", k + 1, (k % 2 ? 4 : 1) * z * z);
        lines += line;
    }
    const std::string stats = dir.write("lv.txt", lines);
    const RunResult by_median = sigtable({"--stats", stats, "--out", dir.file("a.tsv")});
    const RunResult by_tail = sigtable({"--stats", stats, "--out", dir.file("b.tsv"), "--calibration-quantile", "0.9"});
    ASSERT_EQ(by_tail.status, 0) << by_tail.err;
    EXPECT_NE(by_median.out, by_tail.out);
    expect_refusal(dir, {"--stats", stats, "--calibration-quantile", "0.99"},
                   "--calibration-quantile expects a number from 0.5 to 0.95, found '0.99' (see sigtable --help)");
}

TEST(Calibration, InflationGrowingWithExpressionIsRecoveredAsANonDecreasingCurve)
{
    // lambda = 1 + log10(mean): 1 at a mean of 1, 5 at 10^4.
    auto lambda = [](double mean) { return 1 + std::log10(mean); };
    Normal normal{std::mt19937_64(3)};
    std::vector<double> p, mean;
    for (int k = 0; k < 10000; ++k) {
        const double m = std::pow(10.0, 4 * normal.uniform()), z = normal.draw();
        mean.push_back(m);
        p.push_back(chi_square_upper(lambda(m) * z * z));
    }
    const PairCalibration c = calibrate_pair(p, mean);
    ASSERT_TRUE(c.calibrated);
    ASSERT_EQ(c.curve.lambda.size(), 10u);
    for (std::size_t k = 0; k < c.curve.lambda.size(); ++k) {
        if (k > 0) {
            EXPECT_GE(c.curve.lambda[k], c.curve.lambda[k - 1]);
        }
        EXPECT_GE(c.curve.lambda[k], 1.0);
        const double centre = std::exp(c.curve.log_mean[k]);
        EXPECT_NEAR(c.curve.lambda[k], lambda(centre), 0.25 * lambda(centre)) << centre;
    }
    // Between the centres linear in log baseMean, constant beyond them.
    EXPECT_EQ(c.curve.at(1e-3), c.curve.lambda.front());
    EXPECT_EQ(c.curve.at(1e9), c.curve.lambda.back());
    const double x0 = c.curve.log_mean[2], x1 = c.curve.log_mean[3];
    EXPECT_NEAR(c.curve.at(std::exp((x0 + x1) / 2)), (c.curve.lambda[2] + c.curve.lambda[3]) / 2, 1e-9);
    // Calibrated, the nulls reject at their level in every range of expression.
    for (const auto& [low, high] : {std::pair{1.0, 10.0}, {100.0, 1e4}}) {
        std::size_t n = 0, below = 0;
        for (std::size_t k = 0; k < p.size(); ++k)
            if (mean[k] >= low && mean[k] < high) {
                ++n;
                below += c.pvalue_cal[k] < 0.05;
            }
        EXPECT_NEAR(static_cast<double>(below) / static_cast<double>(n), 0.05, 0.025) << low;
    }
}

TEST(Calibration, PairsWithTooFewTestsOrNoneAreNotCalibratedAndSaySo)
{
    ScratchDir dir;
    // Pair 1-2: 300 tests; pair 1-3: 57; pair 2-3: none valid (-1).
    std::string text = null_genes(300, 5, [](double) { return 1.5; }, 1, 3);
    text += null_genes(57, 6, [](double) { return 1.5; }, 1, 3, 1, 3, 1001);
    for (int k = 0; k < 5; ++k) text += std::to_string(2001 + k) + " 2 3 -1 -1 -1 -1 0 0 10\n";
    const RunResult r = sigtable({"--stats", dir.write("lv.txt", text), "--out", dir.file("t.tsv"), "--plots",
                                  dir.file("plots")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Table t = read_table(dir.file("t.tsv"));
    ASSERT_EQ(t.rows.size(), 362u);
    for (std::size_t k = 0; k < t.rows.size(); ++k) {
        const auto& row = t.rows[k];
        const std::string calibration = row[t.at("calibration")];
        if (k < 300) {
            EXPECT_EQ(calibration, "calibrated");
            EXPECT_NE(row[t.at("pvalue_cal")], "NA");
        } else {
            // Pair 2-3 has no generalized Poisson test, but lvcmp's Poisson
            // statistic is always there.
            EXPECT_EQ(calibration, k < 357 ? "too few tests to calibrate (57 < 200)" : "too few tests to calibrate (5 < 200)")
                << k;
            for (const char* column : {"pvalue_cal", "padj_cal", "pvalue_poisson_cal", "padj_poisson_cal"})
                EXPECT_EQ(row[t.at(column)], "NA") << k << column;
        }
    }
    const std::vector<std::string> out = split_lines(r.out);
    // By default the plots (and --sort and --fdr) use the calibrated
    // p-value where the pair is calibrated, and say so pair by pair.
    ASSERT_EQ(out.size(), 9u);
    EXPECT_EQ(out[2], "lvcmp 1 2: ranked by padj_cal (generalized Poisson, chi-square, calibrated)");
    EXPECT_EQ(out[3], "lvcmp 1 3 gp: 57 tested, too few to calibrate (57 < 200)");
    EXPECT_EQ(out[5], "lvcmp 1 3: ranked by padj (generalized Poisson, chi-square)");
    EXPECT_EQ(out[6], "lvcmp 2 3 gp: 0 tested, too few to calibrate (0 < 200)");
    EXPECT_EQ(out[7], "lvcmp 2 3 poisson: 5 tested, too few to calibrate (5 < 200)");
    EXPECT_NE(read_file(dir.file("plots/volcano_1_2.svg")).find("(generalized Poisson, chi-square, calibrated)"),
              std::string::npos);
    // A QQ plot per pair, with the line y = x; the uncalibrated pair's legend says why.
    const std::string qq = read_file(dir.file("plots/qq_1_2.svg"));
    EXPECT_NE(qq.find("id=\"diagonal\""), std::string::npos);
    EXPECT_NE(qq.find("as computed: "), std::string::npos);
    EXPECT_NE(read_file(dir.file("plots/qq_1_3.svg")).find("not calibrated: too few to calibrate (57 &lt; 200)"),
              std::string::npos);
    EXPECT_TRUE(file_exists(dir.file("plots/qq_2_3.svg")));
}

TEST(Calibration, TiesAndTheRowsOrderChangeNothing)
{
    // 600 genes of one mean with a statistic of 0 (p = 1), 300 more with
    // the same mean and inflated statistics: the median of a bin may be a
    // tie, and bins cut through a run of equal baseMeans.
    std::string genes = null_genes(300, 9, [](double) { return 3.0; }, 2, 2);
    for (int k = 0; k < 600; ++k) genes += std::to_string(1000 + k) + " 1 2 0.000000 0.000000 0.5 0.5 10 10 10\n";
    std::vector<std::string> lines = split_lines(genes);
    std::vector<std::string> reversed(lines.rbegin(), lines.rend());
    ScratchDir dir;
    std::string forward_text, backward_text;
    for (const auto& l : lines) forward_text += l + "\n";
    for (const auto& l : reversed) backward_text += l + "\n";
    const RunResult forward = sigtable({"--stats", dir.write("f.txt", forward_text), "--out", dir.file("f.tsv")});
    const RunResult backward = sigtable({"--stats", dir.write("b.txt", backward_text), "--out", dir.file("b.tsv")});
    ASSERT_EQ(forward.status, 0) << forward.err;
    ASSERT_EQ(backward.status, 0) << backward.err;
    EXPECT_EQ(forward.out, backward.out);
    std::vector<std::string> f = split_lines(read_file(dir.file("f.tsv"))), b = split_lines(read_file(dir.file("b.tsv")));
    std::sort(f.begin(), f.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(f, b);
    // Two thirds of the statistics are 0: every bin's median is 0, floored
    // at a factor of 1, which leaves each p-value exactly as it was.
    EXPECT_EQ(forward.out.find("inflation 1 at baseMean 100 to 1 at baseMean 100 (median 1)"), forward.out.find("inflation"));
    const Table t = read_table(dir.file("f.tsv"));
    EXPECT_EQ(t.column("pvalue_cal"), t.column("pvalue"));
    EXPECT_EQ(t.column("padj_cal"), t.column("padj"));
}

TEST(Calibration, TheUncalibratedColumnsAreThoseOfTheStatistics)
{
    // The p-values and padj of a calibrated table are the chi-square tails
    // of the statistics and their Benjamini-Hochberg adjustment, as without
    // calibration, in every row; sorting by the calibrated padj moves rows
    // but changes no value.
    ScratchDir dir;
    const std::string genes = null_genes(400, 21, [](double m) { return std::sqrt(m); }, 0, 2);
    const std::string stats = dir.write("lv.txt", genes);
    const RunResult r = sigtable({"--stats", stats, "--out", dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Table t = read_table(dir.file("t.tsv"));
    std::vector<double> p, p_poisson;
    for (const std::string& line : split_lines(genes)) {
        double stat = 0, stat_poisson = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%*d %*d %*d %lf %lf", &stat, &stat_poisson), 2);
        p.push_back(chi_square_upper(stat));
        p_poisson.push_back(chi_square_upper(stat_poisson));
    }
    auto text = [](const std::vector<double>& v) {
        std::vector<std::string> out;
        for (double x : v) {
            char cell[32];
            std::snprintf(cell, sizeof cell, "%.6g", x);
            out.push_back(cell);
        }
        return out;
    };
    EXPECT_EQ(t.column("pvalue"), text(p));
    EXPECT_EQ(t.column("padj"), text(benjamini_hochberg(p)));
    EXPECT_EQ(t.column("pvalue_poisson"), text(p_poisson));
    EXPECT_EQ(t.column("padj_poisson"), text(benjamini_hochberg(p_poisson)));

    const RunResult sorted = sigtable({"--stats", stats, "--out", dir.file("s.tsv"), "--sort", "--pvalue", "gp-cal"});
    ASSERT_EQ(sorted.status, 0) << sorted.err;
    std::vector<std::string> a = split_lines(read_file(dir.file("t.tsv"))), b = split_lines(read_file(dir.file("s.tsv")));
    EXPECT_NE(a, b);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
    // Sorted by padj_cal, then pvalue_cal.
    const Table s = read_table(dir.file("s.tsv"));
    for (std::size_t k = 1; k < s.rows.size(); ++k)
        ASSERT_LE(std::stod(s.rows[k - 1][s.at("padj_cal")]), std::stod(s.rows[k][s.at("padj_cal")])) << k;
}

namespace {

const std::string kLevel = "7 1 2 1.000000 10.000000 0.5 0.25 1.0 0.5 100\n"
                           "8 1 2 -1 25.000000 -1 -1 2.0 2.0 50\n"
                           "9 1 2 3.841459 60.000000 0.5 0.5 1.0 1.0 10\n";
const std::string kShare = "11 7 1 2 10.000000 1.000000 0.1 0.2 0.3 0.4 0.5 1.0 0.25 1.0 10 100\n"
                           "13 7 1 2 1.000000 1.000000 0.1 0.2 0.3 0.4 0.5 1.0 0.25 1.0 10 100\n";

} // namespace

TEST(FurtherTests, MeanTestAddsItsColumnsMatchedLineByLine)
{
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", kLevel);
    const std::string mean = dir.write("mean.txt", "7 1 2 3.841459 1.5 0.2 0.3\n8 1 2 -1 -1 -1 -1\n"
                                                   "9 1 2 1.000000 1 0.1 0.1\n");
    const RunResult r = sigtable({"--stats", stats, "--mean-test", mean, "--out", dir.file("t.tsv"), "--sort",
                                  "--pvalue", "mean"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Sorted by padj_mean: gene 7 (p 0.05, padj 0.1), 9 (0.317311), 8 (NA).
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("t.tsv"))),
              "gene_index\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
              "stat_poisson\tpvalue_poisson\tpadj_poisson\tstat_mean\tpvalue_mean\tpadj_mean\tmean_a\tmean_b\t"
              "lambda_a\tlambda_b\tlength\n"
              "7\t1\t2\t75\t-1\t1\t0.317311\t0.317311\ttested\t10\t0.0015654\t0.0015654\t3.84146\t0.05\t0.1\t100\t50\t"
              "0.5\t0.25\t100\n"
              "9\t1\t2\t10\t0\t3.84146\t0.05\t0.1\ttested\t60\t9.48574e-15\t2.84572e-14\t1\t0.317311\t0.317311\t10\t"
              "10\t0.5\t0.5\t10\n"
              "8\t1\t2\t100\t0\tNA\tNA\tNA\ttest not valid\t25\t5.73303e-07\t8.59955e-07\tNA\tNA\tNA\t100\t100\tNA\t"
              "NA\t50\n");
    EXPECT_NE(r.out.find("lvcmp 1 2 mean: 2 tested, too few to calibrate (2 < 200)\n"), std::string::npos);

    // Refused: another gene at a line, a line too few or too many, a bad
    // field, the option with an isocmp file, a kind without its file.
    const std::vector<std::string> with_mean = {"--stats", "{s}", "--mean-test", "{f}"};
    expect_refusals(dir, stats,
                    {{"other.txt", "7 1 2 1 1 1 1\n9 1 2 1 1 1 1\n9 1 2 1 1 1 1\n", with_mean,
                      "mean-test file '{f}' does not belong to statistics file '{s}': its line 2 (gene 9 in "
                      "conditions 1 and 2) stands where the statistics file has gene 8 in conditions 1 and 2 (line 2)"},
                     {"short.txt", "7 1 2 1 1 1 1\n8 1 2 1 1 1 1\n", with_mean,
                      "mean-test file '{f}' does not belong to statistics file '{s}': it ends before gene 9 in "
                      "conditions 1 and 2 (line 3 of the statistics file)"},
                     {"long.txt", "7 1 2 1 1 1 1\n8 1 2 1 1 1 1\n9 1 2 1 1 1 1\n9 1 3 1 1 1 1\n", with_mean,
                      "mean-test file '{f}' does not belong to statistics file '{s}': its line 4 (gene 9 in "
                      "conditions 1 and 3) is past the statistics file's last comparison"},
                     {"word.txt", "7 1 2 1 1 x 1\n", with_mean,
                      "mean-test file '{f}', line 1, field 6 (theta_i_null): expected a real number, found 'x'"},
                     {"fields.txt", "7 1 2 1 1 1\n", with_mean, "mean-test file '{f}', line 1: expected 7 fields, found 6"}});
    const std::string share = dir.write("iso.txt", kShare);
    expect_refusal(dir, {"--stats", share, "--mean-test", mean},
                   "--mean-test belongs with lvcmp's statistics, and statistics file '" + share + "' is isocmp's");
    expect_refusal(dir, {"--stats", stats, "--pvalue", "mean-cal"}, "--pvalue mean-cal needs --mean-test");
}

TEST(FurtherTests, RestTestMatchesByExonAndAddsTheComparisonsIsocmpLeftOut)
{
    ScratchDir dir;
    const std::string stats = dir.write("iso.txt", kShare);
    // Exon 12 has no isocmp line (isocmp could not compare it); it stands
    // between exons 11 and 13 in the rest-test file, and so in the table.
    // Exon 13's Poisson statistic is not valid.
    const std::string rest = dir.write("rest.txt", "11 7 1 2 3.841459 10.000000 0.5\n"
                                                   "12 7 1 2 1.000000 2.000000 0.4\n"
                                                   "13 7 1 2 0.000000 -1 0.3\n");
    const RunResult r = sigtable({"--stats", stats, "--rest-test", rest, "--out", dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("t.tsv"))),
              "exon_index\tgene_index\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\t"
              "test_status\tstat_poisson\tpvalue_poisson\tpadj_poisson\tstat_rest\tpvalue_rest\tpadj_rest\t"
              "stat_rest_poisson\tpvalue_rest_poisson\tpadj_rest_poisson\tshare_a\tshare_b\texon_length\t"
              "gene_length\n"
              "11\t7\t1\t2\t3.75\t-1\t10\t0.0015654\t0.0031308\ttested\t1\t0.317311\t0.317311\t3.84146\t0.05\t0.15\t"
              "10\t0.0015654\t0.0031308\t0.05\t0.025\t10\t100\n"
              "12\t7\t1\t2\tNA\tNA\tNA\tNA\tNA\tnot valid in isocmp\tNA\tNA\tNA\t1\t0.317311\t0.475966\t2\t0.157299\t"
              "0.157299\tNA\tNA\tNA\tNA\n"
              "13\t7\t1\t2\t3.75\t-1\t1\t0.317311\t0.317311\ttested\t1\t0.317311\t0.317311\t0\t1\t1\tNA\tNA\tNA\t0.05\t"
              "0.025\t10\t100\n");
    const Table t = read_table(dir.file("t.tsv"));
    EXPECT_EQ(t.column("calibration"), (std::vector<std::string>{"too few tests to calibrate (gp 2, poisson 2, rest 3, "
                                                                 "rest-poisson 2 < 200)",
                                                                 "too few tests to calibrate (rest 3, rest-poisson 2 "
                                                                 "< 200)",
                                                                 "too few tests to calibrate (gp 2, poisson 2, rest 3 "
                                                                 "< 200)"}));

    // A gene of one exon: isocmp writes its comparison, the rest test has
    // no rest to set it against; its rest columns are NA. The gene may be
    // longer than its exon (positions without an exon of their own).
    const std::string single = dir.write("single.txt", kShare + "21 9 1 2 0.000000 0.000000 0.1 0.1 0.2 0.2 0.1 0.1 "
                                                              "0.2 0.2 40 45\n");
    const RunResult one = sigtable({"--stats", single, "--rest-test", rest, "--out", dir.file("one.tsv")});
    ASSERT_EQ(one.status, 0) << one.err;
    const std::vector<std::string> lines = split_lines(uncalibrated_columns(read_file(dir.file("one.tsv"))));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4].substr(0, 5), "21\t9\t");
    EXPECT_NE(lines[4].find("\ttested\t0\t1\t1\tNA\tNA\tNA\tNA\tNA\tNA\t"), std::string::npos) << lines[4];

    // Refused: an isocmp comparison without its line, an exon in another
    // gene, a comparison twice, the option with an lvcmp file.
    const std::vector<std::string> with_rest = {"--stats", "{s}", "--rest-test", "{f}"};
    expect_refusals(dir, stats,
                    {{"missing.txt", "11 7 1 2 1 1 0.5\n", with_rest,
                      "rest-test file '{f}' does not belong to statistics file '{s}': it has no line for exon 13 in "
                      "conditions 1 and 2 (line 2 of the statistics file)"},
                     {"moved.txt", "11 7 1 2 1 1 0.5\n13 8 1 2 1 1 0.5\n", with_rest,
                      "rest-test file '{f}' does not belong to statistics file '{s}': exon 13 is in gene 8 on its line "
                      "2 and in gene 7 on line 2 of the statistics file"},
                     {"twice.txt", "11 7 1 2 1 1 0.5\n\n11 7 1 2 1 1 0.5\n", with_rest,
                      "rest-test file '{f}', line 3: exon 11 in conditions 1 and 2 again (first on line 1)"},
                     {"zero.txt", "11 7 0 2 1 1 0.5\n", with_rest,
                      "rest-test file '{f}', line 1, field 3 (condition_i): expected a condition number (an integer "
                      "from 1), found '0'"}});
    const std::string level = dir.write("lv.txt", kLevel);
    expect_refusal(dir, {"--stats", level, "--rest-test", rest},
                   "--rest-test belongs with isocmp's statistics, and statistics file '" + level + "' is lvcmp's");
}

TEST(FurtherTests, TestStatusSaysWhyAPermutationPValueIsMissing)
{
    ScratchDir dir;
    // isocmp wrote -1 for the scale and shape of exon 13: no null.
    const std::string stats = dir.write("iso.txt", "11 7 1 2 10.000000 1.000000 0.1 0.2 0.3 0.4 0.5 1.0 0.25 1.0 10 100 "
                                                   "2.0 1.5\n"
                                                   "13 7 1 2 1.000000 1.000000 0.1 0.2 0.3 0.4 0.5 1.0 0.25 1.0 10 100 "
                                                   "-1 -1\n");
    const RunResult r = sigtable({"--stats", stats, "--out", dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Table t = read_table(dir.file("t.tsv"));
    EXPECT_EQ(t.column("test_status"), (std::vector<std::string>{"tested", "tested; no permutation null"}));
    EXPECT_EQ(t.column("pvalue_permutation"), (std::vector<std::string>{"0.0185661", "NA"}));
}
