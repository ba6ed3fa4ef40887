// End-to-end tests of the simcounts generator: each test runs the built
// program on small settings and checks the files it writes as a reader of
// them would, so a table that downstream programs would misread fails here.
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Table = std::vector<std::vector<std::int64_t>>;

RunResult run_simcounts(const std::vector<std::string>& args) { return run_program(program_path("simcounts"), args); }

std::vector<std::string> split_on(const std::string& line, char sep)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = line.find(sep, start);
        fields.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return fields;
}

// Every token must be a plain decimal integer; anything else is recorded as a
// test failure naming the file and line.
Table read_integers(const std::string& p)
{
    const std::string text = read_file(p);
    EXPECT_TRUE(text.empty() || text.back() == '\n') << p << " does not end with a newline";
    Table rows;
    int line_no = 0;
    for (const std::string& line : split_lines(text)) {
        ++line_no;
        std::vector<std::int64_t> row;
        for (const std::string& tok : split_on(line, ' ')) {
            std::int64_t v = 0;
            const auto [ptr, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), v);
            if (tok.empty() || ec != std::errc() || ptr != tok.data() + tok.size()) {
                ADD_FAILURE() << p << " line " << line_no << ": bad integer '" << tok << "'";
                break;
            }
            row.push_back(v);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Conditions are numbers, or with --replicates names c1, c2, ... (`named`),
// read here as their numbers.
struct Truth {
    std::string kind;
    std::int64_t index = 0, id = 0, cond_a = 0, cond_b = 0;
    double effect = 0.0;
    bool named = false;
};

struct Sizes {
    long long reads = -1, conditions = -1, exons = -1, genes = -1;
};

struct Dataset {
    RunResult outcome;
    Sizes sizes;
    Table reads, exons, genes;
    std::vector<std::pair<double, double>> gtt;
    std::string truth_header;
    std::vector<Truth> truth;
};

Sizes parse_sizes(const std::string& out)
{
    Sizes s;
    char tail = 0;
    const int n = std::sscanf(out.c_str(), "num_reads=%lld num_conditions=%lld num_exons=%lld num_genes=%lld%c",
                              &s.reads, &s.conditions, &s.exons, &s.genes, &tail);
    EXPECT_TRUE(n == 5 && tail == '\n') << "sizes line: '" << out << "'";
    const std::string rebuilt = "num_reads=" + std::to_string(s.reads) + " num_conditions=" +
                                std::to_string(s.conditions) + " num_exons=" + std::to_string(s.exons) +
                                " num_genes=" + std::to_string(s.genes) + "\n";
    EXPECT_EQ(out, rebuilt) << "stdout must be exactly the sizes line";
    return s;
}

Dataset generate(const ScratchDir& tmp, const std::string& name, std::vector<std::string> args)
{
    const std::string dir = tmp.file(name) + "/";
    args.push_back("--out");
    args.push_back(tmp.file(name));
    Dataset d;
    d.outcome = run_simcounts(args);
    EXPECT_EQ(d.outcome.status, 0) << d.outcome.err;
    EXPECT_EQ(d.outcome.err, "");
    if (d.outcome.status != 0) return d;
    d.sizes = parse_sizes(d.outcome.out);
    d.reads = read_integers(dir + "reads.txt");
    d.exons = read_integers(dir + "exon_zb.txt");
    d.genes = read_integers(dir + "gene_zb.txt");
    for (const std::string& line : split_lines(read_file(dir + "gtt.txt"))) {
        std::istringstream in(line);
        double a = 0, b = 0;
        std::string extra;
        EXPECT_TRUE(in >> a >> b) << "gtt line '" << line << "'";
        EXPECT_FALSE(in >> extra) << "gtt line '" << line << "'";
        d.gtt.emplace_back(a, b);
    }
    const auto truth_lines = split_lines(read_file(dir + "truth.tsv"));
    if (!truth_lines.empty()) d.truth_header = truth_lines[0];
    for (std::size_t i = 1; i < truth_lines.size(); ++i) {
        const auto f = split_on(truth_lines[i], '\t');
        if (f.size() != 6) {
            ADD_FAILURE() << "truth line '" << truth_lines[i] << "' has " << f.size() << " fields";
            continue;
        }
        Truth t;
        t.kind = f[0];
        t.index = std::stoll(f[1]);
        t.id = std::stoll(f[2]);
        t.named = f[3].rfind('c', 0) == 0 && f[4].rfind('c', 0) == 0;
        t.cond_a = std::stoll(f[3].substr(t.named));
        t.cond_b = std::stoll(f[4].substr(t.named));
        t.effect = std::stod(f[5]);
        d.truth.push_back(t);
    }
    return d;
}

// A run's arguments: those its test's runs share, then its own.
std::vector<std::string> with(std::vector<std::string> common, const std::vector<std::string>& own)
{
    common.insert(common.end(), own.begin(), own.end());
    return common;
}

std::string file_of(const ScratchDir& tmp, const std::string& name, const char* file)
{
    return read_file(tmp.file(name) + "/" + file);
}

constexpr const char* kFiles[] = {"reads.txt", "exon_zb.txt", "gene_zb.txt", "gtt.txt", "truth.tsv"};

// Checks every structural promise of the tables and tallies the features a
// realistic dataset must show (void so that ASSERT_* can stop it early).
struct Features {
    int exons_without_rows = 0;
    int exons_with_zero_tail = 0;
};

// An annotation table tiles the level below it: lines of id, first, last
// and length, the ids positive, unique and unlike their index, the ranges
// following each other from 1 to `last`.
void check_tiling(const Table& table, const char* kind, std::int64_t last)
{
    std::int64_t next = 1;
    std::set<std::int64_t> ids;
    for (std::size_t k = 0; k < table.size(); ++k) {
        const auto& line = table[k];
        ASSERT_EQ(line.size(), 4u) << kind << " " << k + 1;
        EXPECT_EQ(line[1], next) << kind << " " << k + 1 << " does not start after its predecessor";
        EXPECT_GT(line[0], 0);
        EXPECT_NE(line[0], static_cast<std::int64_t>(k + 1)) << kind << " id equals its index";
        ids.insert(line[0]);
        next = line[2] + 1;
    }
    EXPECT_EQ(next, last + 1) << "the last " << kind << " must end at the end of the level below";
    EXPECT_EQ(ids.size(), table.size()) << kind << " ids repeat";
}

void check_layout(const Dataset& d, Features& f)
{
    f = Features{};
    const auto C = static_cast<std::size_t>(d.sizes.conditions);
    EXPECT_EQ(d.reads.size(), static_cast<std::size_t>(d.sizes.reads));
    EXPECT_EQ(d.exons.size(), static_cast<std::size_t>(d.sizes.exons));
    EXPECT_EQ(d.genes.size(), static_cast<std::size_t>(d.sizes.genes));
    EXPECT_EQ(d.gtt.size(), C);

    std::vector<std::int64_t> column_total(C, 0);
    for (std::size_t r = 0; r < d.reads.size(); ++r) {
        const auto& row = d.reads[r];
        ASSERT_EQ(row.size(), 3 + C) << "reads row " << r + 1;
        EXPECT_GE(row[0], 1) << "chromosome, row " << r + 1;
        EXPECT_GE(row[1], 1) << "position, row " << r + 1;
        EXPECT_TRUE(row[2] == 0 || row[2] == 1) << "strand, row " << r + 1;
        bool any = false;
        for (std::size_t c = 0; c < C; ++c) {
            EXPECT_GE(row[3 + c], 0) << "row " << r + 1;
            any = any || row[3 + c] > 0;
            column_total[c] += row[3 + c];
        }
        // Positions without a read in any condition belong to zero tails.
        EXPECT_TRUE(any) << "row " << r + 1 << " has no read at all";
    }

    check_tiling(d.exons, "exon", d.sizes.reads);
    check_tiling(d.genes, "gene", d.sizes.exons);
    if (testing::Test::HasFatalFailure()) return;

    // Rows of one exon are distinct ascending positions of one chromosome
    // and strand, within the exon's length; an exon may have no rows.
    for (std::size_t e = 0; e < d.exons.size(); ++e) {
        const auto& x = d.exons[e];
        const std::int64_t rows = x[2] - x[1] + 1;
        EXPECT_GE(rows, 0) << "exon " << e + 1;
        EXPECT_GE(x[3], std::max<std::int64_t>(rows, 1)) << "exon " << e + 1 << " shorter than its rows";
        f.exons_without_rows += rows == 0;
        f.exons_with_zero_tail += x[3] > rows;
        for (std::int64_t r = x[1] + 1; r <= x[2]; ++r) {
            const auto& prev = d.reads[r - 2];
            const auto& cur = d.reads[r - 1];
            EXPECT_EQ(prev[0], cur[0]);
            EXPECT_EQ(prev[2], cur[2]);
            EXPECT_GT(cur[1], prev[1]);
        }
        if (x[2] >= x[1]) {
            EXPECT_LT(d.reads[x[2] - 1][1] - d.reads[x[1] - 1][1], x[3]);
        }
    }

    for (std::size_t g = 0; g < d.genes.size(); ++g) {
        const auto& y = d.genes[g];
        EXPECT_GE(y[2], y[1]) << "gene " << g + 1 << " has no exon";
        std::int64_t length = 0;
        for (std::int64_t e = y[1]; e <= y[2] && e <= static_cast<std::int64_t>(d.exons.size()); ++e)
            length += d.exons[e - 1][3];
        EXPECT_EQ(y[3], length) << "gene " << g + 1 << " length is not the sum of its exons";
    }

    for (std::size_t c = 0; c < d.gtt.size() && c < C; ++c) {
        EXPECT_GT(d.gtt[c].first, 0.0);
        EXPECT_GT(d.gtt[c].second, 0.0);
        const double expect = static_cast<double>(std::max<std::int64_t>(column_total[c], 1));
        EXPECT_EQ(d.gtt[c].first, expect) << "condition " << c + 1;
        EXPECT_EQ(d.gtt[c].second, expect) << "condition " << c + 1;
    }

    EXPECT_EQ(d.truth_header, "kind\tindex\tid\tcondition_a\tcondition_b\teffect");
    for (const Truth& t : d.truth) {
        EXPECT_GE(t.cond_a, 1);
        EXPECT_LE(t.cond_a, d.sizes.conditions);
        EXPECT_GE(t.cond_b, 1);
        EXPECT_LE(t.cond_b, d.sizes.conditions);
        EXPECT_NE(t.cond_a, t.cond_b);
        EXPECT_GT(t.effect, 0.0);
        EXPECT_NE(t.effect, 1.0);
        const Table& table = t.kind == "gene" ? d.genes : d.exons;
        ASSERT_TRUE(t.kind == "gene" || t.kind == "exon") << t.kind;
        ASSERT_GE(t.index, 1);
        ASSERT_LE(t.index, static_cast<std::int64_t>(table.size()));
        EXPECT_EQ(t.id, table[t.index - 1][0]) << t.kind << " " << t.index;
    }
}

void check_layout(const Dataset& d)
{
    Features ignored;
    check_layout(d, ignored);
}

// ---------------------------------------------------------------------------

TEST(SimcountsLayout, SmallRunHonoursEveryTableInvariant)
{
    ScratchDir tmp;
    const Dataset d = generate(tmp, "small", {"--genes", "30", "--conditions", "3", "--seed", "11"});
    ASSERT_EQ(d.outcome.status, 0);
    EXPECT_EQ(d.sizes.conditions, 3);
    EXPECT_EQ(d.sizes.genes, 30);
    Features f;
    check_layout(d, f);
    EXPECT_GE(f.exons_without_rows, 1);
    EXPECT_GE(f.exons_with_zero_tail, 1);
    EXPECT_GT(d.sizes.exons, d.sizes.genes);
}

// Odd corners: one condition (nothing can be planted), many conditions,
// planting switched off or at its maximum, a row target, and a near-zero
// length scale, which leaves one-position exons and possibly conditions
// without reads.
TEST(SimcountsLayout, InvariantsHoldAtTheCorners)
{
    struct Corner {
        std::vector<std::string> args;
        bool nothing_planted;
    };
    const std::vector<Corner> corners = {
        {{"--genes", "1", "--conditions", "1"}, true},
        {{"--genes", "25", "--conditions", "1", "--planted-genes", "1", "--planted-exons", "1"}, true},
        {{"--genes", "25", "--planted-genes", "0", "--planted-exons", "0"}, true},
        {{"--genes", "12", "--conditions", "9", "--seed", "4", "--planted-genes", "1", "--planted-exons", "1"}, false},
        {{"--genes", "20", "--conditions", "2", "--rows", "700"}, false},
        {{"--genes", "6", "--conditions", "2", "--scale", "0.001", "--depth", "0.01"}, false},
        {{"--genes=8", "--conditions=5", "--seed=18446744073709551615"}, false},
    };
    ScratchDir tmp;
    int n = 0;
    for (const auto& corner : corners) {
        std::string label;
        for (const auto& a : corner.args) label += a + " ";
        SCOPED_TRACE(label);
        const Dataset d = generate(tmp, "corner" + std::to_string(n++), corner.args);
        ASSERT_EQ(d.outcome.status, 0);
        check_layout(d);
        if (corner.nothing_planted) {
            EXPECT_TRUE(d.truth.empty());
        }
    }
}

TEST(SimcountsDeterminism, SeedFixesEveryByteAndOnlyTheSeed)
{
    ScratchDir tmp;
    // --genes N is the count's first name, --num-genes N its own one.
    const Dataset a = generate(tmp, "a", {"--num-genes", "15", "--conditions", "4", "--seed", "99"});
    const Dataset b = generate(tmp, "b", {"--genes", "15", "--conditions", "4", "--seed", "99"});
    ASSERT_EQ(a.outcome.status, 0);
    ASSERT_EQ(b.outcome.status, 0);
    EXPECT_EQ(a.outcome.out, b.outcome.out);
    for (const char* file : kFiles) EXPECT_TRUE(file_of(tmp, "a", file) == file_of(tmp, "b", file)) << file;

    const Dataset c = generate(tmp, "c", {"--genes", "15", "--conditions", "4", "--seed", "100"});
    EXPECT_NE(file_of(tmp, "a", "reads.txt"), file_of(tmp, "c", "reads.txt"));
    EXPECT_NE(file_of(tmp, "a", "exon_zb.txt"), file_of(tmp, "c", "exon_zb.txt"));
}

// With nothing planted a smaller run is an exact prefix of a larger one: a
// fault that lets the gene count leak into the draws or the layout (seeding,
// chromosome placement, id schemes) breaks this.
TEST(SimcountsDeterminism, SmallerRunIsAPrefixOfALargerOne)
{
    ScratchDir tmp;
    const std::vector<std::string> common = {"--conditions", "3", "--planted-genes", "0", "--planted-exons", "0"};
    const Dataset small = generate(tmp, "small", with(common, {"--genes", "10"}));
    const Dataset large = generate(tmp, "large", with(common, {"--genes", "25"}));
    ASSERT_EQ(small.outcome.status, 0);
    ASSERT_EQ(large.outcome.status, 0);
    for (const char* file : {"reads.txt", "exon_zb.txt", "gene_zb.txt"}) {
        const std::string s = file_of(tmp, "small", file);
        const std::string l = file_of(tmp, "large", file);
        EXPECT_TRUE(l.size() > s.size() && l.compare(0, s.size(), s) == 0) << file;
    }
}

// --rows solves for the length scale from the negative binomial's zero
// probability, while the rows come out of the gamma and Poisson samplers; the
// realised count sits within a few standard deviations (about sqrt(N)) of the
// target only if the samplers produce that distribution.
TEST(SimcountsSize, RowTargetIsMetAcrossConditionsAndDepths)
{
    ScratchDir tmp;
    const std::vector<std::vector<std::string>> settings = {
        {"--genes", "50", "--conditions", "3", "--rows", "20000"},
        {"--genes", "40", "--conditions", "1", "--rows", "20000", "--seed", "8"},
        {"--genes", "30", "--conditions", "6", "--rows", "20000", "--depth", "0.05"},
        {"--genes", "30", "--conditions", "2", "--rows", "20000", "--depth", "0.2", "--seed", "3"},
    };
    int n = 0;
    for (const auto& args : settings) {
        std::string label;
        for (const auto& a : args) label += a + " ";
        SCOPED_TRACE(label);
        const Dataset d = generate(tmp, "target" + std::to_string(n++), args);
        ASSERT_EQ(d.outcome.status, 0);
        EXPECT_NEAR(static_cast<double>(d.sizes.reads), 20000.0, 800.0);
    }
}

TEST(SimcountsSize, ScaleMultipliesLengthsAndDepthMultipliesCounts)
{
    ScratchDir tmp;
    const std::vector<std::string> common = {"--genes", "120", "--conditions", "2", "--seed", "6",
                                             "--planted-genes", "0", "--planted-exons", "0"};
    // Base exon lengths are whole numbers, so doubling the scale doubles each
    // length exactly and leaves the exon structure alone.
    const Dataset one = generate(tmp, "one", with(common, {}));
    const Dataset two = generate(tmp, "two", with(common, {"--scale", "2"}));
    ASSERT_EQ(one.outcome.status, 0);
    ASSERT_EQ(one.exons.size(), two.exons.size());
    for (std::size_t e = 0; e < one.exons.size(); ++e) EXPECT_EQ(two.exons[e][3], 2 * one.exons[e][3]) << e + 1;
    EXPECT_GT(two.sizes.reads, one.sizes.reads * 3 / 2);

    // Expected totals are linear in the depth.  Deep runs draw nearly all
    // their counts from the large-mean Poisson branch and shallow ones from
    // the small-mean branch, so a bias in either shows as a ratio away from
    // the depth ratio; sampling noise at this size stays under 2%.
    const Dataset deep = generate(tmp, "deep", with(common, {"--depth", "30"}));
    const Dataset shallow = generate(tmp, "shallow", with(common, {"--depth", "0.1"}));
    ASSERT_EQ(deep.outcome.status, 0);
    ASSERT_EQ(shallow.outcome.status, 0);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE("condition " + std::to_string(c + 1));
        EXPECT_NEAR(deep.gtt[c].first / one.gtt[c].first / 30.0, 1.0, 0.04);
        EXPECT_NEAR(shallow.gtt[c].first / one.gtt[c].first / 0.1, 1.0, 0.04);
        EXPECT_NEAR(deep.gtt[c].first / shallow.gtt[c].first / 300.0, 1.0, 0.035);
    }
}

// Per-exon, per-condition counts over all positions of the exon (listed rows
// plus the zero tail).
struct ExonStats {
    double mean = 0.0;
    double variance = 0.0;
};

ExonStats exon_stats(const Dataset& d, std::size_t e, std::size_t c)
{
    const auto& x = d.exons[e];
    double s = 0.0, s2 = 0.0;
    for (std::int64_t r = x[1]; r <= x[2]; ++r) {
        const double v = static_cast<double>(d.reads[r - 1][3 + c]);
        s += v;
        s2 += v * v;
    }
    const double n = static_cast<double>(x[3]);
    ExonStats st;
    st.mean = s / n;
    st.variance = s2 / n - st.mean * st.mean;
    return st;
}

TEST(SimcountsShape, CountsAreSparseOverdispersedAndSpreadOverLevels)
{
    ScratchDir tmp;
    const Dataset d = generate(tmp, "shape", {"--genes", "120", "--conditions", "2", "--seed", "5"});
    ASSERT_EQ(d.outcome.status, 0);

    std::int64_t zeros = 0, cells = 0, largest = 0;
    for (const auto& row : d.reads)
        for (std::size_t c = 3; c < row.size(); ++c) {
            zeros += row[c] == 0;
            largest = std::max(largest, row[c]);
            ++cells;
        }
    EXPECT_GT(static_cast<double>(zeros), 0.1 * static_cast<double>(cells));
    EXPECT_GE(largest, 50);

    // A Poisson sampler in place of the gamma mixture would put the ratio
    // near one.
    std::vector<double> ratio;
    for (std::size_t e = 0; e < d.exons.size(); ++e) {
        if (d.exons[e][3] < 100) continue;
        for (std::size_t c = 0; c < 2; ++c) {
            const ExonStats st = exon_stats(d, e, c);
            if (st.mean >= 2.0) ratio.push_back(st.variance / st.mean);
        }
    }
    ASSERT_GE(ratio.size(), 20u);
    std::nth_element(ratio.begin(), ratio.begin() + ratio.size() / 2, ratio.end());
    EXPECT_GT(ratio[ratio.size() / 2], 1.5);

    // Gene levels span orders of magnitude.
    double lo = 1e300, hi = 0.0;
    for (const auto& y : d.genes) {
        double total = 0.0;
        for (std::int64_t r = d.exons[y[1] - 1][1]; r <= d.exons[y[2] - 1][2]; ++r)
            total += static_cast<double>(d.reads[r - 1][3] + d.reads[r - 1][4]);
        const double level = total / 2.0 / static_cast<double>(y[3]);
        lo = std::min(lo, level);
        hi = std::max(hi, level);
    }
    EXPECT_GT(hi / std::max(lo, 1e-9), 300.0) << "levels from " << lo << " to " << hi;

    // Library sizes differ between conditions.
    const Dataset six = generate(tmp, "six", {"--genes", "30", "--conditions", "6", "--seed", "2"});
    ASSERT_EQ(six.gtt.size(), 6u);
    const auto [smallest, largest_total] = std::minmax_element(six.gtt.begin(), six.gtt.end());
    EXPECT_GT(largest_total->first / smallest->first, 1.15);
}

double condition_sum(const Dataset& d, std::int64_t first_row, std::int64_t last_row, std::int64_t cond)
{
    double s = 0.0;
    for (std::int64_t r = first_row; r <= last_row; ++r) s += static_cast<double>(d.reads[r - 1][2 + cond]);
    return s;
}

// The truth file is only useful if the effects it lists were really applied
// in the stated direction, in the stated conditions, and nowhere else.
TEST(SimcountsTruth, PlantedEffectsShowInTheCounts)
{
    ScratchDir tmp;
    const Dataset d = generate(tmp, "truth", {"--genes", "200", "--conditions", "3", "--seed", "21",
                                              "--planted-genes", "0.2", "--planted-exons", "0.05"});
    ASSERT_EQ(d.outcome.status, 0);
    check_layout(d);

    int gene_effects = 0, exon_effects = 0;
    int gene_tested = 0, gene_agree = 0, exon_tested = 0, exon_agree = 0;
    std::vector<bool> gene_planted(d.genes.size(), false);
    for (const Truth& t : d.truth) {
        const double na = d.gtt[t.cond_a - 1].first;
        const double nb = d.gtt[t.cond_b - 1].first;
        if (t.kind == "gene") {
            ++gene_effects;
            gene_planted[t.index - 1] = true;
            const auto& y = d.genes[t.index - 1];
            const std::int64_t r0 = d.exons[y[1] - 1][1], r1 = d.exons[y[2] - 1][2];
            const double a = condition_sum(d, r0, r1, t.cond_a), b = condition_sum(d, r0, r1, t.cond_b);
            if (a + b < 200.0) continue;
            ++gene_tested;
            gene_agree += ((b / nb) / (a / na) > 1.0) == (t.effect > 1.0);
        } else {
            ++exon_effects;
            const auto& x = d.exons[t.index - 1];
            const double a = condition_sum(d, x[1], x[2], t.cond_a), b = condition_sum(d, x[1], x[2], t.cond_b);
            if (a + b < 100.0) continue;
            ++exon_tested;
            exon_agree += ((b / nb) / (a / na) > 1.0) == (t.effect > 1.0);
        }
    }
    EXPECT_EQ(gene_effects, 40);
    EXPECT_GT(exon_effects, 0);
    EXPECT_LE(exon_effects, static_cast<int>(std::lround(0.05 * static_cast<double>(d.exons.size()))));
    ASSERT_GE(gene_tested, 15);
    ASSERT_GE(exon_tested, 5);
    EXPECT_GE(gene_agree, gene_tested * 9 / 10) << gene_agree << " of " << gene_tested;
    EXPECT_GE(exon_agree, exon_tested * 8 / 10) << exon_agree << " of " << exon_tested;

    // Unplanted, well-covered genes keep the same normalised level in all
    // conditions, up to sampling noise.
    int steady = 0, steady_total = 0;
    for (std::size_t g = 0; g < d.genes.size(); ++g) {
        if (gene_planted[g]) continue;
        const auto& y = d.genes[g];
        const std::int64_t r0 = d.exons[y[1] - 1][1], r1 = d.exons[y[2] - 1][2];
        const double a = condition_sum(d, r0, r1, 1) / d.gtt[0].first;
        const double b = condition_sum(d, r0, r1, 3) / d.gtt[2].first;
        if (condition_sum(d, r0, r1, 1) < 500.0) continue;
        ++steady_total;
        steady += std::fabs(std::log2(b / a)) < 0.8;
    }
    ASSERT_GE(steady_total, 20);
    EXPECT_GE(steady, steady_total * 9 / 10) << steady << " of " << steady_total;
}

// Each refusal is one line in the shared form of the pipeline's options,
// naming the option and the value, with exit status 2 and nothing written.
TEST(SimcountsOptions, BadValuesExitTwoWithOneLineOnStderr)
{
    ScratchDir tmp;
    const std::string plain_file = tmp.write("plain", "x\n");
    const std::string never = tmp.file("never");
    const auto whole = [](const char* option, const char* range, const char* found) {
        return std::string(option) + " expects a whole number from " + range + ", found '" + found + "'";
    };
    const std::string genes = "1 to 1000000";
    const std::string depths = "--depths expects numbers above 0 and at most 1000 separated by commas, found ";
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--genes", "0"}, whole("--genes", genes.c_str(), "0")},
        {{"--genes", "abc"}, whole("--genes", genes.c_str(), "abc")},
        {{"--genes", "12x"}, whole("--genes", genes.c_str(), "12x")},
        {{"--genes", "-3"}, whole("--genes", genes.c_str(), "-3")},
        {{"--genes", ""}, whole("--genes", genes.c_str(), "")},
        {{"--genes"}, "--genes expects a value"},
        {{"--genes", "1000001"}, whole("--genes", genes.c_str(), "1000001")},
        {{"--num-genes", "0"}, whole("--num-genes", genes.c_str(), "0")},
        {{"--num-genes=1-5"}, whole("--num-genes", genes.c_str(), "1-5")},
        {{"--genes=1-5"}, "--genes in simcounts is the number of genes, as --num-genes, not a range of genes as in "
                          "mfit, lvcmp and isocmp; found '1-5'"},
        {{"--threads", "2"}, "--threads is not an option: the dataset is drawn on one thread"},
        {{"--conditions", "0"}, whole("--conditions", "1 to 1000", "0")},
        {{"--replicates", "0"}, whole("--replicates", "1 to 100", "0")},
        {{"--replicates=101"}, whole("--replicates", "1 to 100", "101")},
        {{"--conditions", "11", "--replicates", "100"},
         "--conditions 11 with --replicates 100 gives 1100 samples, more than 1000"},
        {{"--seed", "18446744073709551616"}, whole("--seed", "0 to 18446744073709551615", "18446744073709551616")},
        {{"--seed", "-1"}, whole("--seed", "0 to 18446744073709551615", "-1")},
        {{"--planted-genes", "1.5"}, "--planted-genes expects a number from 0 to 1, found '1.5'"},
        {{"--planted-exons", "-0.1"}, "--planted-exons expects a number from 0 to 1, found '-0.1'"},
        {{"--planted-exons", "nan"}, "--planted-exons expects a number from 0 to 1, found 'nan'"},
        {{"--scale", "0"}, "--scale expects a number above 0 and at most 100, found '0'"},
        {{"--scale", "inf"}, "--scale expects a number above 0 and at most 100, found 'inf'"},
        {{"--depth", "-1"}, "--depth expects a number above 0 and at most 1000000, found '-1'"},
        {{"--depth", "1000001"}, "--depth expects a number above 0 and at most 1000000, found '1000001'"},
        {{"--rows", "0"}, whole("--rows", "1 to 2000000000", "0")},
        {{"--sample-cv", "-0.1"}, "--sample-cv expects a number from 0 to 10, found '-0.1'"},
        {{"--sample-cv", "abc"}, "--sample-cv expects a number from 0 to 10, found 'abc'"},
        {{"--exon-cv", "11"}, "--exon-cv expects a number from 0 to 10, found '11'"},
        {{"--exon-cv", "0.2x"}, "--exon-cv expects a number from 0 to 10, found '0.2x'"},
        {{"--conditions", "3", "--depths", "1,2"}, "--depths gives 2 factors for 3 conditions"},
        {{"--depths", "1,1.6", "--conditions", "1"}, "--depths gives 2 factors for 1 conditions"},
        {{"--depths", "1,0"}, depths + "'0'"},
        {{"--depths", "1,-2"}, depths + "'-2'"},
        {{"--depths", "1,two"}, depths + "'two'"},
        {{"--depths", "1,,2"}, depths + "'1,,2'"},
        {{"--depths", "1,2,"}, depths + "'1,2,'"},
        {{"--depths="}, depths + "''"},
        {{"--scale", "2", "--rows", "100"}, "--scale and --rows cannot be combined"},
        {{"--bogus", "1"}, "unknown option '--bogus'"},
        {{"-g", "3"}, "unexpected argument '-g'"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"--out="}, "--out expects a folder name"},
        {{"--help=1"}, "--help takes no value"},
        {{"--out", plain_file}, "cannot create the output folder '" + plain_file + "': "},
        {{"--out", plain_file + "/below"}, "cannot create the output folder '" + plain_file + "/below': "},
    };
    for (const auto& [args, message] : bad) {
        std::string label;
        for (const auto& a : args) label += "[" + a + "] ";
        SCOPED_TRACE(label);
        // Keep a run that wrongly succeeds small and out of the way.
        std::vector<std::string> full = {"--genes", "2", "--out", never};
        full.insert(full.end(), args.begin(), args.end());
        const RunResult o = run_simcounts(full);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        // The folder's refusals end in the system's reason.
        if (message.back() == ' ')
            EXPECT_EQ(o.err.rfind("simcounts: " + message, 0), 0u) << o.err;
        else
            EXPECT_EQ(o.err, "simcounts: " + message + " (see simcounts --help)\n");
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_FALSE(fs::exists(never));
    }
}

TEST(SimcountsOptions, HelpNamesEveryOptionAndWritesNothing)
{
    ScratchDir tmp;
    // Run from an empty folder: the default output folder is the current one.
    const fs::path back = fs::current_path();
    fs::current_path(tmp.path());
    const RunResult o = run_simcounts({"--help"});
    const RunResult short_form = run_simcounts({"-h"});
    fs::current_path(back);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    for (const char* opt : {"--seed", "--num-genes", "--genes", "--conditions", "--out", "--planted-genes", "--planted-exons",
                            "--scale", "--rows", "--depth", "--depths", "--sample-cv", "--exon-cv", "--help",
                            "condition_a", "condition_b", "effect", "--replicates", "design.tsv"})
        EXPECT_NE(o.out.find(opt), std::string::npos) << opt;
    EXPECT_EQ(short_form.status, 0);
    EXPECT_EQ(short_form.out, o.out);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

// The example datasets in the repository were written by the commands their
// READMEs give; any change to a draw, a sampler or a table's format shows
// here as a difference in a whole file.
TEST(SimcountsDeterminism, ExampleDatasetIsRewrittenByteForByte)
{
    ScratchDir tmp;
    const RunResult o = run_simcounts({"--seed", "7", "--num-genes", "40", "--conditions", "4", "--rows", "6000",
                                       "--depth", "3", "--out", tmp.path()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "num_reads=5983 num_conditions=4 num_exons=391 num_genes=40\n");
    const std::string examples = std::string(TEST_DATA_DIR) + "/../../examples/";
    for (const char* file : kFiles) EXPECT_TRUE(read_file(tmp.file(file)) == read_file(examples + file)) << file;

    // Variation of 0 and depths of 1 draw nothing and multiply nothing.
    const std::string off = tmp.file("off");
    const RunResult zero = run_simcounts({"--seed", "7", "--genes", "40", "--conditions", "4", "--rows", "6000",
                                          "--depth", "3", "--sample-cv", "0", "--exon-cv", "0", "--depths",
                                          "1,1,1,1", "--out", off});
    ASSERT_EQ(zero.status, 0) << zero.err;
    EXPECT_EQ(zero.out, o.out);
    for (const char* file : kFiles) EXPECT_TRUE(read_file(off + "/" + file) == read_file(examples + file)) << file;

    // The example with replicates, by the command of its README.
    const std::string reps = tmp.file("replicates");
    const RunResult r = run_simcounts({"--seed", "11", "--num-genes", "200", "--conditions", "2", "--replicates", "3",
                                       "--rows", "10000", "--depth", "3", "--sample-cv", "0.2", "--exon-cv", "0.1",
                                       "--planted-genes", "0.1", "--planted-exons", "0.05", "--out", reps});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "num_reads=10002 num_conditions=6 num_exons=2114 num_genes=200\n");
    for (const char* file : {"reads.txt", "exon_zb.txt", "gene_zb.txt", "gtt.txt", "truth.tsv", "design.tsv"})
        EXPECT_TRUE(read_file(reps + "/" + file) == read_file(examples + "replicates/" + file)) << file;
}

// A write that fails ends the run with status 255 and one line naming the
// file; the file's final name is left empty, never holding an unfinished table,
// and no temporary file stays behind.
TEST(SimcountsWrites, FailedWriteExitsWithStatus255AndLeavesNoPartialFile)
{
    ScratchDir tmp;
    const std::string out = tmp.file("data");
    // The shell ignores SIGXFSZ, so that a write beyond the size limit fails
    // with EFBIG instead of killing the program.
    const RunResult o = run_program("/bin/sh", {"-c", "ulimit -f 16; trap '' XFSZ; exec \"$0\" \"$@\"",
                                                program_path("simcounts"), "--genes", "50", "--out", out});
    EXPECT_EQ(o.status, 255);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "simcounts: cannot write reads file '" + out + "/reads.txt': File too large\n");
    for (const auto& entry : fs::directory_iterator(out)) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        EXPECT_EQ(fs::file_size(entry.path()), 0u) << entry.path();
    }
}

TEST(SimcountsWrites, FailedWriteToStandardOutputExitsWithStatus255)
{
    ScratchDir tmp;
    const RunResult o = run_program("/bin/sh", {"-c", "exec \"$0\" \"$@\" >/dev/full", program_path("simcounts"),
                                                "--genes", "3", "--out", tmp.path()});
    EXPECT_EQ(o.status, 255);
    EXPECT_EQ(o.err, "simcounts: cannot write standard output: No space left on device\n");
    // The tables were finished before the sizes line.
    EXPECT_EQ(split_lines(read_file(tmp.file("gene_zb.txt"))).size(), 3u);
}

// ---------------------------------------------------------------------------
// Between-sample variation and per-condition depths.

// Natural log of column b's reads over column a's (1-based; conditions 2
// and 1 by default), over every gene (or exon) with at least `least` reads
// in both: their standard deviation.
struct LogRatioSpread {
    std::size_t features = 0;
    double sd = 0.0;
};

LogRatioSpread log_ratio_spread(const Dataset& d, bool genes, double least, std::int64_t col_a = 1,
                                std::int64_t col_b = 2)
{
    std::vector<double> ratios;
    const auto add = [&](std::int64_t first_row, std::int64_t last_row) {
        const double a = condition_sum(d, first_row, last_row, col_a);
        const double b = condition_sum(d, first_row, last_row, col_b);
        if (std::min(a, b) >= least) ratios.push_back(std::log(b / a));
    };
    if (genes)
        for (const auto& y : d.genes) add(d.exons[y[1] - 1][1], d.exons[y[2] - 1][2]);
    else
        for (const auto& x : d.exons) add(x[1], x[2]);
    LogRatioSpread s;
    s.features = ratios.size();
    if (ratios.size() < 2) return s;
    double mean = 0.0;
    for (double r : ratios) mean += r;
    mean /= static_cast<double>(ratios.size());
    double ss = 0.0;
    for (double r : ratios) ss += (r - mean) * (r - mean);
    s.sd = std::sqrt(ss / static_cast<double>(ratios.size() - 1));
    return s;
}

// With nothing planted, two conditions differ by their library sizes (one
// factor for all genes) and by counting noise, which is small for genes with
// hundreds of reads. A log-normal factor of coefficient of variation 0.3 on
// each condition's level adds a spread of sqrt(2 ln(1 + 0.3^2)) = 0.415 to
// a gene's log ratio; on exon shares it spreads the exons' log ratios and
// leaves the genes' alone, their level being kept.
TEST(SimcountsVariation, SampleAndExonVariationSpreadNullLogRatiosAsAsked)
{
    ScratchDir tmp;
    const std::vector<std::string> common = {"--genes", "400", "--conditions", "2", "--seed", "4",
                                             "--planted-genes", "0", "--planted-exons", "0", "--scale",
                                             "0.3", "--depth", "5"};
    const double expected = std::sqrt(2.0 * std::log1p(0.3 * 0.3));

    const Dataset none = generate(tmp, "none", with(common, {}));
    const Dataset sample = generate(tmp, "sample", with(common, {"--sample-cv", "0.3"}));
    const Dataset exon = generate(tmp, "exon", with(common, {"--exon-cv", "0.3"}));
    ASSERT_EQ(none.outcome.status, 0);
    ASSERT_EQ(sample.outcome.status, 0);
    ASSERT_EQ(exon.outcome.status, 0);
    check_layout(sample);
    check_layout(exon);

    const LogRatioSpread base = log_ratio_spread(none, true, 500);
    const LogRatioSpread genes = log_ratio_spread(sample, true, 500);
    ASSERT_GE(genes.features, 150u);
    EXPECT_LT(base.sd, 0.15);
    EXPECT_NEAR(genes.sd / expected, 1.0, 0.2) << "sd " << genes.sd;

    const LogRatioSpread exon_genes = log_ratio_spread(exon, true, 500);
    const LogRatioSpread exons = log_ratio_spread(exon, false, 500);
    ASSERT_GE(exons.features, 300u);
    EXPECT_LT(exon_genes.sd, 0.15);
    EXPECT_GT(exons.sd, 0.3);
    EXPECT_LT(exons.sd, 0.5);
    EXPECT_LT(log_ratio_spread(none, false, 500).sd, 0.2);
}

// The variation is noise, not a planted effect: the structure and the truth
// list stay those of the run without it. Depths scale a condition's reads,
// and gtt's totals with them.
TEST(SimcountsVariation, DepthsScaleReadsAndNothingChangesTheTruth)
{
    ScratchDir tmp;
    const std::vector<std::string> common = {"--genes", "300", "--conditions", "2", "--seed", "8",
                                             "--planted-genes", "0.1", "--planted-exons", "0.05", "--scale", "0.2"};
    const Dataset plain = generate(tmp, "plain", with(common, {}));
    const Dataset deep = generate(tmp, "deep", with(common, {"--depths", "1,1.6"}));
    const Dataset noisy = generate(tmp, "noisy", with(common, {"--sample-cv", "0.4", "--exon-cv", "0.2", "--depths=2,1"}));
    ASSERT_EQ(plain.outcome.status, 0);
    ASSERT_EQ(deep.outcome.status, 0);
    ASSERT_EQ(noisy.outcome.status, 0);
    check_layout(deep);
    check_layout(noisy);
    for (const char* file : {"truth.tsv", "gene_zb.txt"}) {
        EXPECT_TRUE(file_of(tmp, "plain", file) == file_of(tmp, "deep", file)) << file;
        EXPECT_TRUE(file_of(tmp, "plain", file) == file_of(tmp, "noisy", file)) << file;
    }
    EXPECT_GE(plain.truth.size(), 20u);

    // Condition 1 keeps its rates exactly, condition 2's are 1.6 times.
    ASSERT_EQ(plain.gtt.size(), 2u);
    ASSERT_EQ(deep.gtt.size(), 2u);
    EXPECT_NEAR(deep.gtt[0].first / plain.gtt[0].first, 1.0, 0.02);
    EXPECT_NEAR(deep.gtt[1].first / plain.gtt[1].first, 1.6, 0.035);
    EXPECT_NEAR((deep.gtt[1].first / deep.gtt[0].first) / (plain.gtt[1].first / plain.gtt[0].first), 1.6, 0.05);
}

// ---------------------------------------------------------------------------
// Replicates: N sample columns per condition.

// The planted effects act on a condition, on all its replicates alike; the
// replicates of one condition differ by their library sizes, the variation
// of --sample-cv (drawn per sample) and counting noise. Unplanted genes'
// means over a condition's replicates agree between the conditions; planted
// ones move as truth.tsv says between every replicate of one condition and
// every one of the other.
TEST(SimcountsReplicates, ConditionsShareEffectsAndReplicatesDifferByTheVariation)
{
    ScratchDir tmp;
    const Dataset d = generate(tmp, "rep", {"--genes", "400", "--conditions", "2", "--replicates", "3", "--seed", "4",
                                            "--planted-genes", "0.1", "--planted-exons", "0", "--scale", "0.3",
                                            "--depth", "5", "--sample-cv", "0.3"});
    ASSERT_EQ(d.outcome.status, 0);
    EXPECT_EQ(d.sizes.conditions, 6);
    check_layout(d);
    EXPECT_EQ(file_of(tmp, "rep", "design.tsv"),
              "sample\tcondition\nc1_r1\tc1\nc1_r2\tc1\nc1_r3\tc1\nc2_r1\tc2\nc2_r2\tc2\nc2_r3\tc2\n");
    ASSERT_EQ(d.truth.size(), 40u);
    std::vector<double> planted(d.genes.size(), 1.0);
    for (const Truth& t : d.truth) {
        EXPECT_TRUE(t.named);
        planted[t.index - 1] = t.cond_b == 2 ? t.effect : 1.0 / t.effect;
    }

    // Normalised reads per column; unplanted genes: log2 of condition 2's
    // mean over condition 1's; planted ones: each pair of replicates.
    int steady = 0, steady_total = 0, moved = 0, moved_total = 0;
    for (std::size_t g = 0; g < d.genes.size(); ++g) {
        const auto& y = d.genes[g];
        const std::int64_t r0 = d.exons[y[1] - 1][1], r1 = d.exons[y[2] - 1][2];
        double level[6], reads = 0.0;
        for (std::int64_t j = 1; j <= 6; ++j) {
            reads += condition_sum(d, r0, r1, j);
            level[j - 1] = condition_sum(d, r0, r1, j) / d.gtt[j - 1].first;
        }
        if (reads < 1000.0) continue;
        if (planted[g] == 1.0) {
            ++steady_total;
            steady += std::fabs(std::log2((level[3] + level[4] + level[5]) / (level[0] + level[1] + level[2]))) < 1.0;
        } else {
            for (int a = 0; a < 3; ++a)
                for (int b = 3; b < 6; ++b) {
                    ++moved_total;
                    moved += (level[b] > level[a]) == (planted[g] > 1.0);
                }
        }
    }
    ASSERT_GE(steady_total, 100);
    ASSERT_GE(moved_total, 15 * 9);
    EXPECT_GE(steady, steady_total * 9 / 10) << steady << " of " << steady_total;
    EXPECT_GE(moved, moved_total * 9 / 10) << moved << " of " << moved_total;

    // Two replicates of one condition: the spread of a log-normal factor of
    // coefficient of variation 0.3 on each, as between two conditions.
    const double expected = std::sqrt(2.0 * std::log1p(0.3 * 0.3));
    for (const auto& [a, b] : {std::pair{1, 2}, std::pair{4, 6}}) {
        const LogRatioSpread within = log_ratio_spread(d, true, 500, a, b);
        ASSERT_GE(within.features, 150u);
        EXPECT_NEAR(within.sd / expected, 1.0, 0.2) << "columns " << a << " and " << b << ": sd " << within.sd;
    }
}

// --replicates 1 is the run without it, plus design.tsv and conditions
// named in truth.tsv.
TEST(SimcountsReplicates, OneReplicateIsTheRunWithoutTheOption)
{
    ScratchDir tmp;
    const std::vector<std::string> common = {"--genes", "60", "--conditions", "3", "--seed", "11", "--sample-cv",
                                             "0.2", "--depths", "1,2,1", "--planted-genes", "0.2"};
    const Dataset plain = generate(tmp, "plain", common);
    const Dataset one = generate(tmp, "one", with(common, {"--replicates=1"}));
    ASSERT_EQ(plain.outcome.status, 0);
    ASSERT_EQ(one.outcome.status, 0);
    EXPECT_EQ(one.outcome.out, plain.outcome.out);
    for (const char* file : {"reads.txt", "exon_zb.txt", "gene_zb.txt", "gtt.txt"})
        EXPECT_TRUE(file_of(tmp, "plain", file) == file_of(tmp, "one", file)) << file;
    EXPECT_FALSE(fs::exists(tmp.file("plain/design.tsv")));
    EXPECT_EQ(file_of(tmp, "one", "design.tsv"), "sample\tcondition\nc1_r1\tc1\nc2_r1\tc2\nc3_r1\tc3\n");

    ASSERT_GE(plain.truth.size(), 10u);
    ASSERT_EQ(one.truth.size(), plain.truth.size());
    for (std::size_t i = 0; i < plain.truth.size(); ++i) {
        const Truth &p = plain.truth[i], &o = one.truth[i];
        EXPECT_FALSE(p.named);
        EXPECT_TRUE(o.named);
        EXPECT_TRUE(p.kind == o.kind && p.index == o.index && p.cond_a == o.cond_a && p.cond_b == o.cond_b &&
                    p.effect == o.effect)
            << "truth line " << i + 2;
    }
}

} // namespace
