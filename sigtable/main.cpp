// sigtable: from the statistics files of lvcmp and isocmp to ranked,
// annotated tables with p-values and false-discovery-rate adjusted
// p-values, and volcano and MA plots per pair of conditions.
#include "cli/diag.h"
#include "cli/named_options.h"
#include "cli/runoptions.h"
#include "parallel/ordered_parallel.h"
#include "sigtable/belonging.h"
#include "sigtable/calibration.h"
#include "sigtable/condition_plots.h"
#include "sigtable/condition_table.h"
#include "sigtable/design_file.h"
#include "sigtable/extra_tests.h"
#include "sigtable/plots.h"
#include "sigtable/pvalues.h"
#include "sigtable/results_table.h"
#include "sigtable/stats_file.h"
#include "sigtable/tables_dir.h"
#include "tables/textout.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>
#include <zlib.h>

namespace {

const char kHelp[] =
    "usage: sigtable --stats FILE --out TABLE [options]\n"
    "Turns a statistics file of lvcmp (a gene's level between two conditions) or of isocmp (an exon's\n"
    "share of its gene), with or without the permutation fields, into a tab-separated table with a\n"
    "header: per comparison the estimates, a log2 fold change, both likelihood-ratio statistics with\n"
    "their chi-square p-values (1 degree of freedom), the permutation p-value from the gamma null when\n"
    "the file has it, and Benjamini-Hochberg adjusted p-values within each pair of conditions.\n"
    "Each p-value also comes calibrated (pvalue_cal, padj_cal, pvalue_poisson_cal, ...): its statistic\n"
    "divided by an inflation factor learnt across the pair's comparisons, which grows with baseMean\n"
    "(docs/statistics.md); a pair with fewer than 200 tests is not calibrated (column calibration).\n"
    "Standard output has one line per pair of conditions and test with the factors found.\n"
    "Comparisons without a valid statistic carry NA; the column test_status says why the generalized\n"
    "Poisson test is missing (no reads in a condition, a fit that did not converge, a statistic that is\n"
    "not valid). A gene with reads in one condition only has a log2 fold change of Inf or -Inf.\n"
    "Every other input must belong to the statistics file (the same conditions; every gene and exon it\n"
    "names, with its length, gene and reads): a mismatch is refused, naming the file and what disagrees.\n"
    "Every input may be gzip-compressed.\n"
    "\n"
    "options (each also accepted as --name=value):\n"
    "  --stats FILE      the statistics file (lvcmp_re or isocmp_re)\n"
    "  --out TABLE       the table to write; gzip-compressed when the name ends in .gz\n"
    "  --tables DIR      bamcount's output folder: its count tables reads.txt, exon_zb.txt and\n"
    "                    gene_zb.txt, its totals, and, when there, features.tsv (as --features),\n"
    "                    conditions.tsv (the conditions' names, for the table and the plots) and\n"
    "                    gene_re.txt (which fits did not converge). The totals are gtt.txt, or\n"
    "                    size_factors.txt where lvcmp's statistics were computed with those (sigtable\n"
    "                    tells from the statistics and says so), or the file --gtt names. Means, shares\n"
    "                    and baseMean are then the exact sums of the reads; without the count table\n"
    "                    they come from the statistics file's Poisson means, which have six decimals (a\n"
    "                    share may then show as 1.001 and a mean as 71.9999)\n"
    "  --design FILE     the design of an experiment with replicates: a tab-separated line per sample\n"
    "                    (column of the count table), its name and its condition's name, after an\n"
    "                    optional header 'sample<TAB>condition' (bamcount's design.tsv). The table then\n"
    "                    has one row per gene or exon and pair of conditions: each condition's mean\n"
    "                    (genes: normalised reads; exons: share of the gene), baseMean, log2FoldChange\n"
    "                    of the means, a moderated t statistic against the variation between the\n"
    "                    replicates of each condition, its p-value and padj (docs/statistics.md). Needs\n"
    "                    a condition with two samples or more. The samples' depths are the median of\n"
    "                    their genes' ratios to the genes' geometric means (not --gtt's totals, which\n"
    "                    move with the genes that change). The plots are volcano, MA and the top\n"
    "                    features' samples (levels_A_B)\n"
    "  --features FILE   features.tsv from bamcount: adds gene ids, names and coordinates\n"
    "  --gtt FILE        the totals file, a pair of totals per condition of the dataset (gtt.txt, or\n"
    "                    bamcount's size_factors.txt): lvcmp's log2 fold changes and means, and isocmp's\n"
    "                    baseMean, are then normalised to the mean depth of the conditions. lvcmp's\n"
    "                    statistics must have been computed with the same totals, which is checked;\n"
    "                    without --gtt or --tables an lvcmp table warns that its fold changes and means\n"
    "                    are not normalised\n"
    "  --gene-re FILE    mfit's gene result file, for the reasons of test_status (with --tables; by\n"
    "                    default the folder's gene_re.txt when there)\n"
    "  --mean-test FILE  lvcmp's test of the mean level (lvcmp statistics file only): one line per line\n"
    "                    of the statistics file, in its order; adds stat_mean, pvalue_mean, padj_mean\n"
    "  --rest-test FILE  isocmp's test of an exon against the rest of its gene (isocmp statistics file\n"
    "                    only), matched by exon and conditions; adds stat_rest, pvalue_rest, padj_rest\n"
    "                    and their _rest_poisson columns, and rows for the comparisons isocmp wrote no\n"
    "                    line for (test_status 'not valid in isocmp')\n"
    "  --pvalue KIND     the p-value that --sort, --fdr and the plots use, with its padj: auto (the\n"
    "                    default: gp-cal in the pairs of conditions that have enough tests to be\n"
    "                    calibrated, gp in the others; standard output says which, pair by pair), gp (the\n"
    "                    generalized Poisson statistic's chi-square p-value, column pvalue and padj),\n"
    "                    poisson (pvalue_poisson), permutation (pvalue_permutation, for a statistics\n"
    "                    file with the permutation fields), mean (pvalue_mean), rest (pvalue_rest) or\n"
    "                    rest-poisson (pvalue_rest_poisson); each followed by -cal (gp-cal, ...) for its\n"
    "                    calibrated p-value (pvalue_cal, padj_cal, ...)\n"
    "  --sort            order the rows by the chosen padj (NA last), then its p-value\n"
    "  --fdr X           keep only rows whose chosen padj is at most X\n"
    "  --plots DIR       write a volcano, an MA and a QQ plot per pair of conditions into DIR, as SVG\n"
    "                    and, where rsvg-convert is installed, PNG; the QQ plot shows the chosen\n"
    "                    test's p-values before and after calibration\n"
    "  --alpha X         the chosen padj at or below which plots mark a point significant (default 0.05)\n"
    "  --calibration-quantile U\n"
    "                    the quantile of each expression bin's statistics that measures its inflation,\n"
    "                    from 0.5 (the median, the default) to 0.95; 0.9 gives fewer false discoveries\n"
    "                    and fewer true ones (docs/statistics.md)\n"
    "  --threads N       compute the p-values and write the table on N threads (default: every\n"
    "                    hardware thread); the outputs are the same bytes at any number\n"
    "  --help, -h        print this text and exit\n";

// The table's text goes to its OutputFile as it is or, for a name ending
// in .gz, compressed here into the gzip format first (deflate with the gzip
// wrapper). Either way the file is created, checked against the run's other
// files, written and finished by OutputFile, like every output of the
// pipeline.
class TableSink {
public:
    explicit TableSink(const std::string& path)
        : out_(OutputFile::create({"table file", path})),
          gzip_(path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0)
    {
        // Window bits 15 + 16: the largest window, with a gzip header and trailer.
        if (gzip_ && deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            fail_write(out_.name(), ENOMEM);
    }
    ~TableSink()
    {
        if (gzip_) deflateEnd(&z_);
    }
    // zlib's stream state points back at z_, which must not move.
    TableSink(const TableSink&) = delete;
    TableSink& operator=(const TableSink&) = delete;

    void write(std::string_view text)
    {
        if (!gzip_) {
            out_.text(text);
            return;
        }
        // avail_in counts 32 bits.
        constexpr std::size_t kPiece = std::size_t(1) << 30;
        for (std::size_t from = 0; from < text.size(); from += kPiece)
            compress(text.substr(from, kPiece), Z_NO_FLUSH);
    }
    void close()
    {
        if (gzip_) compress({}, Z_FINISH);
        out_.close();
    }

private:
    // Runs deflate over `text` and hands all it gives to the file; with
    // Z_FINISH, to the end of the stream.
    void compress(std::string_view text, int flush)
    {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        z_.avail_in = static_cast<uInt>(text.size());
        do {
            z_.next_out = reinterpret_cast<Bytef*>(block_);
            z_.avail_out = sizeof block_;
            // Only a misused stream gives Z_STREAM_ERROR; Z_BUF_ERROR just
            // says there was nothing to do.
            if (deflate(&z_, flush) == Z_STREAM_ERROR) fail_write(out_.name(), EINVAL);
            out_.text(std::string_view(block_, sizeof block_ - z_.avail_out));
        } while (z_.avail_out == 0);
    }

    OutputFile out_;
    bool gzip_;
    z_stream z_{};
    char block_[1 << 16];
};

// The words of the plots for each kind of p-value.
std::string pvalue_words(PValueKind kind)
{
    std::string words;
    switch (kind.test) {
    case Test::gp: words = "generalized Poisson, chi-square"; break;
    case Test::poisson: words = "Poisson, chi-square"; break;
    case Test::permutation: words = "generalized Poisson, permutation"; break;
    case Test::mean: words = "mean level, chi-square"; break;
    case Test::rest: words = "exon against the rest, generalized Poisson"; break;
    case Test::rest_poisson: words = "exon against the rest, Poisson"; break;
    }
    return kind.calibrated ? words + ", calibrated" : words;
}

// A number for the diagnostics: whole from 100 up, else three digits.
std::string short_number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, v >= 100 ? "%.0f" : "%.3g", v);
    return text;
}

std::string percent(double share)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100 * share);
    return text;
}

// What a pair's calibration of one test found, for standard output and the
// QQ plot's legend.
std::string calibration_summary(const PairTest& t)
{
    if (!t.calibrated)
        return "too few to calibrate (" + std::to_string(t.tested) + " < " + std::to_string(kMinTested) + ")";
    return "inflation " + short_number(t.lambda_low) + " at baseMean " + short_number(t.mean_low) + " to " +
           short_number(t.lambda_high) + " at baseMean " + short_number(t.mean_high) + " (median " +
           short_number(t.median_lambda) + "); p < 0.05: " + percent(t.below_05_before) + " before, " +
           percent(t.below_05_after) + " after calibration";
}

// "lvcmp 1 2 gp: 3791 tested, inflation 1.08 at baseMean 12 to 3.95 at
// baseMean 4500 (median 1.61); p < 0.05: 18.2% before, 5.1% after
// calibration", one line per pair of conditions and test of the table.
//
// With `ranked`, each pair's lines end with the p-value that --sort, --fdr
// and the plots used there: "lvcmp 1 2: ranked by padj_cal (generalized
// Poisson, chi-square, calibrated)".
void print_calibrations(const StatsFile& stats, const Results& results, const TableTests& tests,
                        const ConditionNames* names, const PValueKind* ranked)
{
    const char* program = stats.kind == StatsKind::level ? "lvcmp" : "isocmp";
    for (const auto& [pair, summary] : results.pairs) {
        const std::string label =
            std::string(program) + " " + condition_label(names, pair.first) + " " + condition_label(names, pair.second);
        for (Test t : kAllTests) {
            if (!tests.has(t)) continue;
            const PairTest& s = summary.tests[index_of(t)];
            const std::string line = label + " " + test_name(t) + ": " + std::to_string(s.tested) + " tested, " +
                                     calibration_summary(s) + "\n";
            std::fputs(line.c_str(), stdout);
            check_standard_output();
        }
        if (!ranked) continue;
        const PValueKind kind = kind_in_pair(*ranked, summary);
        const std::string line = label + ": ranked by padj" + column_suffix(kind.test) +
                                 (kind.calibrated ? "_cal" : "") + " (" + pvalue_words(kind) + ")\n";
        std::fputs(line.c_str(), stdout);
        check_standard_output();
    }
}

// The points of a QQ plot: the p-values' -log10 against those of the
// uniform quantiles (k + 0.5) / n. Far in the bulk the points crowd into
// one another, so a point is kept only when it moves a thousandth of the
// axes' span from the last one kept: a few thousand points at most, and
// every point of the tail.
std::vector<PlotPoint> qq_points(std::vector<double> p, bool red)
{
    std::erase_if(p, [](double v) { return std::isnan(v); });
    std::sort(p.begin(), p.end());
    std::vector<PlotPoint> points;
    const double n = static_cast<double>(p.size());
    if (p.empty()) return points;
    const double x_span = -std::log10(0.5 / n), y_span = std::max(-std::log10(std::max(p[0], 1e-300)), x_span);
    for (std::size_t k = 0; k < p.size(); ++k) {
        const PlotPoint point{-std::log10((static_cast<double>(k) + 0.5) / n), -std::log10(std::max(p[k], 1e-300)),
                              red};
        if (points.empty() || std::abs(point.x - points.back().x) >= x_span / 1000 ||
            std::abs(point.y - points.back().y) >= y_span / 1000 || k + 1 == p.size())
            points.push_back(point);
    }
    return points;
}

void create_plots_folder(const std::string& dir)
{
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) fail_input("cannot create the plots folder '" + dir + "': " + error.message());
}

// The rows come in the table's order (`order`, or the rows' own), which is
// the order the points are drawn in.
void write_plots(PlotWriter& writer, const std::string& dir, const StatsFile& stats, const Results& results,
                 const std::vector<std::uint32_t>* order, const ConditionNames* names, PValueKind kind, double alpha)
{
    create_plots_folder(dir);
    const std::string what = stats.kind == StatsKind::level ? "level" : "exon share";
    // Each pair's rows in the table's order.
    std::map<std::pair<int, int>, std::vector<std::uint32_t>> members;
    for (std::size_t n = 0; n < results.size(); ++n) {
        const std::uint32_t k = order ? (*order)[n] : static_cast<std::uint32_t>(n);
        const StatsRow& source = results.source(k);
        members[{source.a, source.b}].push_back(k);
    }
    // One pair at a time, so that only one pair's points are held.
    for (const auto& [pair, summary] : results.pairs) {
        const std::string words = pvalue_words(kind_in_pair(kind, summary));
        const std::string tag = std::to_string(pair.first) + "_" + std::to_string(pair.second);
        const std::string title = (names ? condition_phrase(names, pair.second) + " against " +
                                               condition_phrase(names, pair.first)
                                         : "conditions " + std::to_string(pair.second) + " against " +
                                               std::to_string(pair.first)) +
                                  " (" + what + ")";
        Plot volcano{"Volcano plot, " + title, "log2 fold change", "-log10 p-value (" + words + ")", "", {}, true, false, "", false};
        Plot ma{"MA plot, " + title, "log10 mean", "log2 fold change", "", {}, false, false, "", false};
        // Counted among the tests: the comparisons with a p-value of the
        // chosen kind; a comparison without one has no padj either.
        std::size_t significant = 0, tested = 0;
        std::vector<double> before, after;
        for (std::uint32_t k : members.at(pair)) {
            const ResultRow r = results.row(k);
            const double p = r.chosen_pvalue(kind);
            const bool s = r.chosen_padj(kind) <= alpha;
            tested += !std::isnan(p);
            significant += s;
            volcano.points.push_back({r.log2_fold_change, -std::log10(std::max(p, 1e-300)), s});
            ma.points.push_back({std::log10(r.base_mean), r.log2_fold_change, s});
            before.push_back(r.pvalue[index_of(kind.test)]);
            after.push_back(r.pvalue_cal[index_of(kind.test)]);
        }
        char legend[200];
        std::snprintf(legend, sizeof legend, "padj (%s) <= %g: %zu of %zu tested", words.c_str(), alpha, significant,
                      tested);
        volcano.legend = ma.legend = legend;
        writer.write(dir + "/volcano_" + tag, volcano);
        writer.write(dir + "/ma_" + tag, ma);

        // The QQ plot of the chosen test, as computed (grey) and calibrated (red).
        const PairTest& calibration = summary.tests[index_of(kind.test)];
        const PValueKind plain{kind.test, false};
        Plot qq{"QQ plot, " + title, "expected -log10 p-value", "observed -log10 p-value (" + pvalue_words(plain) + ")",
                "", {}, true, true, "", true};
        qq.points = qq_points(before, false);
        const std::vector<PlotPoint> calibrated = qq_points(after, true);
        qq.points.insert(qq.points.end(), calibrated.begin(), calibrated.end());
        qq.legend = calibration.calibrated
                        ? "calibrated: inflation " + short_number(calibration.lambda_low) + " to " +
                              short_number(calibration.lambda_high) + ", " + percent(calibration.below_05_after) +
                              " of " + std::to_string(calibration.tested) + " below 0.05"
                        : "not calibrated: " + calibration_summary(calibration);
        qq.grey_legend = "as computed: " + percent(calibration.below_05_before) + " of " +
                         std::to_string(calibration.tested) + " below 0.05";
        writer.write(dir + "/qq_" + tag, qq);
    }
}

// --pvalue's value: a test's name, with -cal for its calibrated p-value.
bool parse_kind(const std::string& value, PValueKind& kind)
{
    if (value == "auto") {
        kind = {Test::gp, false, true};
        return true;
    }
    const bool calibrated = value.size() > 4 && value.compare(value.size() - 4, 4, "-cal") == 0;
    const std::string name = calibrated ? value.substr(0, value.size() - 4) : value;
    for (Test t : kAllTests)
        if (name == test_name(t)) {
            kind = {t, calibrated};
            return true;
        }
    return false;
}

// The command line: what to read, what to write, and how to rank.
struct Options {
    std::string stats, out, features, gtt, tables, gene_re, plots, mean_test, rest_test, design;
    // With --tables and no --gtt: the folder's size factors, which stand for
    // its totals when lvcmp's statistics were computed with them.
    std::optional<std::string> size_factors;
    bool sort = false;
    double fdr = NAN, alpha = 0.05, calibration_quantile = 0.5;
    PValueKind kind{Test::gp, false, true};
    std::string kind_text = "auto"; // --pvalue as given, for the messages
    bool help = false;              // --help or -h: the help is printed, nothing else done
    bool quantile_given = false;    // --calibration-quantile, which --design has no use for
    int threads = hardware_threads();
    // Whether the rows are ranked by the chosen p-value somewhere, so that
    // standard output says which one each pair used.
    bool ranked() const { return sort || !std::isnan(fdr) || !plots.empty(); }
};

// The options as given, each checked on its own and against the others;
// then the files of --tables' folder stand in for the options not given.
Options parse_options(int argc, char** argv)
{
    Options o;
    NamedOptions in(argc, argv);
    while (in.next()) {
        const std::string& arg = in.current();
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return o;
        } else if (arg == "--stats") o.stats = in.value();
        else if (arg == "--out") o.out = in.value();
        else if (arg == "--features") o.features = in.value();
        else if (arg == "--gtt") o.gtt = in.value();
        else if (arg == "--tables") o.tables = in.value();
        else if (arg == "--gene-re") o.gene_re = in.value();
        else if (arg == "--plots") o.plots = in.value();
        else if (arg == "--mean-test") o.mean_test = in.value();
        else if (arg == "--rest-test") o.rest_test = in.value();
        else if (arg == "--fdr") o.fdr = in.real_number(0, 1);
        else if (arg == "--alpha") o.alpha = in.real_number(0, 1);
        else if (arg == "--design") o.design = in.value();
        else if (arg == "--calibration-quantile") {
            o.calibration_quantile = in.real_number(0.5, 0.95);
            o.quantile_given = true;
        }
        else if (arg == "--pvalue") {
            o.kind_text = in.value();
            if (!parse_kind(o.kind_text, o.kind))
                in.refuse("--pvalue expects auto, or gp, poisson, permutation, mean, rest or rest-poisson, each "
                          "with or without -cal, found " + quote_token(o.kind_text));
        } else if (arg == "--sort") {
            in.no_value();
            o.sort = true;
        } else if (arg == "--threads") {
            o.threads = static_cast<int>(in.whole_number(1, kMaxThreads));
        } else in.refuse("unknown argument " + quote_token(arg));
    }
    if (o.stats.empty()) in.refuse("--stats is required");
    if (o.out.empty()) in.refuse("--out is required");
    if (!o.tables.empty() && !o.features.empty())
        in.refuse("--tables takes features.tsv from its folder: give --features without it");
    if (!o.design.empty()) {
        // The replicates' test has one p-value of its own, and no calibration.
        if (!o.mean_test.empty() || !o.rest_test.empty())
            in.refuse("--design tests the conditions against their replicates' variation: give --mean-test and "
                      "--rest-test without it");
        if (o.kind_text != "auto")
            in.refuse("--design has one p-value, the test between conditions': give --pvalue without it");
        if (o.quantile_given)
            in.refuse("--design is not calibrated: give --calibration-quantile without it");
    }
    if (!o.gene_re.empty() && o.tables.empty())
        in.refuse("--gene-re needs --tables, the count tables its fits are checked against");
    if (!o.tables.empty()) {
        o.features = features_in(o.tables).value_or("");
        if (o.gtt.empty()) {
            o.gtt = gtt_in(o.tables);
            o.size_factors = size_factors_in(o.tables);
        }
        if (o.gene_re.empty()) o.gene_re = gene_re_in(o.tables).value_or("");
    }
    return o;
}

// Everything a run reads, each file checked against the statistics file.
struct Inputs {
    StatsFile stats;
    TableTests tests;
    Features features;
    std::optional<TotalsFile> gtt; // the totals that normalise, when any
    std::optional<TablesDir> dir;
    std::optional<MeanTest> mean_test;
    std::optional<RestTest> rest_test;
    std::optional<GeneFits> fits;

    const ConditionNames* names() const { return dir && dir->names ? &*dir->names : nullptr; }
    const CountTables* tables() const { return dir ? &dir->tables : nullptr; }
    const Features* given_features() const { return features.given ? &features : nullptr; }
};

// The statistics file, and which tests the table has: the further tests'
// files must belong to its program, and --pvalue must name a test it has.
void read_statistics(const Options& o, Inputs& in)
{
    in.stats = read_stats(o.stats);
    const bool level = in.stats.kind == StatsKind::level;
    if (!o.mean_test.empty() && !level)
        fail_input("--mean-test belongs with lvcmp's statistics, and " + describe(in.stats.name) + " is isocmp's");
    if (!o.rest_test.empty() && level)
        fail_input("--rest-test belongs with isocmp's statistics, and " + describe(in.stats.name) + " is lvcmp's");
    in.tests = {in.stats.permutation, !o.mean_test.empty(), !o.rest_test.empty()};
    const Test test = o.kind.test;
    if (test == Test::permutation && !in.stats.permutation)
        fail_input("--pvalue " + o.kind_text + " needs the permutation fields (scale and shape), which " +
                   describe(in.stats.name) + " does not have");
    if (test == Test::mean && !in.tests.mean) fail_input("--pvalue " + o.kind_text + " needs --mean-test");
    if ((test == Test::rest || test == Test::rest_poisson) && !in.tests.rest)
        fail_input("--pvalue " + o.kind_text + " needs --rest-test");
}

// The totals that normalise: with the folder's size factors, those lvcmp's
// statistics were computed with (said on standard output when they are the
// size factors); else --gtt's, which must be those.
void settle_totals(const Options& o, Inputs& in)
{
    if (o.size_factors) {
        in.gtt = folder_totals(in.stats, std::move(*in.gtt), read_totals_file({"size factors file", *o.size_factors}),
                               in.tables());
        if (in.gtt->file.path == *o.size_factors)
            std::printf("%s\n", ("normalised by " + describe(in.gtt->file) +
                                 ", the totals lvcmp's statistics were computed with")
                                    .c_str());
    } else if (in.gtt) {
        check_totals(in.stats, *in.gtt, in.tables());
    }
}

// Reads every input in the order the checks between them need: the
// statistics file first, every other file then checked against it.
void read_inputs(const Options& o, Inputs& in)
{
    read_statistics(o, in);
    if (!o.features.empty()) in.features = read_features(o.features);
    if (!o.gtt.empty()) in.gtt = read_totals_file({"gtt file", o.gtt});
    if (!o.tables.empty())
        in.dir = read_tables_dir(o.tables, static_cast<std::int32_t>(in.gtt->poisson_totals.size()));
    check_belonging(in.stats, {in.given_features(), in.gtt ? &*in.gtt : nullptr, in.tables(), in.names()});
    settle_totals(o, in);
    if (in.tests.mean) in.mean_test = read_mean_test(o.mean_test, in.stats);
    if (in.tests.rest) in.rest_test = read_rest_test(o.rest_test, in.stats, in.tables());
    if (!o.gene_re.empty()) in.fits = read_gene_fits(o.gene_re, in.dir->tables);
    if (in.fits) check_gene_fits(in.stats, in.dir->tables, *in.fits);
    // lvcmp tests the levels scaled by the totals; without them the table's
    // fold changes and means are the raw ones, which may disagree with the
    // test's verdict when the depths differ.
    if (in.stats.kind == StatsKind::level && !in.gtt && !in.stats.rows.empty() && o.design.empty())
        warn("warning: without --gtt or --tables, lvcmp's fold changes and means are not normalised by depth, while "
             "its statistics are");
}

// The table: its header, then the rows that pass --fdr in the order
// given. Blocks of rows are made into text on every thread and written in
// order; between blocks the plots' conversions are kept going.
void write_table(const Options& o, const Inputs& in, const Results& results, const std::vector<std::uint32_t>* order,
                 PlotWriter& plots)
{
    const TableLabels labels{in.given_features(), in.names(), in.tests};
    TableSink table(o.out);
    table.write(header_line(in.stats, labels));
    constexpr std::size_t kBlock = 1024;
    const long blocks = static_cast<long>((results.size() + kBlock - 1) / kBlock);
    ordered_parallel(
        blocks, o.threads,
        [&](long block) {
            std::string text;
            const std::size_t end = std::min(results.size(), static_cast<std::size_t>(block + 1) * kBlock);
            for (std::size_t n = static_cast<std::size_t>(block) * kBlock; n < end; ++n) {
                const std::size_t k = order ? (*order)[n] : n;
                if (!std::isnan(o.fdr) && !(results.chosen_padj(k, o.kind) <= o.fdr)) continue;
                append_row_line(text, in.stats, labels, results.row(k));
            }
            return text;
        },
        [&](long, std::string&& text) {
            table.write(text);
            plots.poll();
        });
    table.close();
}

// The design, checked against the dataset: its samples must be the
// totals' columns (and carry the names conditions.tsv gives them).
Design read_checked_design(const Options& o, const Inputs& in)
{
    Design design = read_design(o.design);
    check_design_testable(design);
    const std::vector<std::string> none;
    const std::vector<std::string>& names = in.names() ? in.names()->names : none;
    const std::string names_file = in.names() ? describe(in.names()->file) : "";
    if (in.gtt) {
        check_design_columns(design, static_cast<int>(in.gtt->poisson_totals.size()), describe(in.gtt->file), names,
                             names_file);
    } else if (in.stats.kind == StatsKind::level || design.num_samples() < in.stats.conditions) {
        // lvcmp compares every pair of columns, so its file names them all;
        // isocmp's may stop short of the last.
        check_design_columns(design, in.stats.conditions, describe(in.stats.name), names, names_file);
    }
    return design;
}

// The table per pair of conditions of a design with replicates, and one
// line per pair on standard output.
void run_conditions(const Options& o, const Inputs& in)
{
    const Design design = read_checked_design(o, in);
    ConditionResults results = compute_condition_results(in.stats, design, in.tables());
    std::size_t unlisted = 0;
    for (const ConditionFeature& f : results.features) unlisted += f.untested.rfind("no line for ", 0) == 0;
    if (unlisted > 0)
        warn("warning: " + std::to_string(unlisted) + (in.stats.kind == StatsKind::level ? " genes" : " exons") +
             " lack a line for some sample in " + describe(in.stats.name) +
             " (isocmp writes none where a fit failed, as for an exon without reads) and are not tested: give "
             "--tables for every sample's reads");
    if (o.sort) sort_condition_rows(results.rows);
    TableSink table(o.out);
    table.write(condition_header(in.stats.kind, in.given_features()));
    std::string chunk;
    for (const ConditionRow& r : results.rows) {
        if (!std::isnan(o.fdr) && !(r.padj <= o.fdr)) continue;
        chunk += condition_row_line(results, in.given_features(), design, r);
        if (chunk.size() > (1u << 20)) {
            table.write(chunk);
            chunk.clear();
        }
    }
    table.write(chunk);
    table.close();

    const char* what = in.stats.kind == StatsKind::level ? "genes" : "exons";
    char text[400];
    const std::string prior =
        std::isinf(results.prior.d0)
            ? std::string(", outweighed by the variance of ") + what +
                  " of like expression (their own variances scatter no more than sampling explains)"
            : ", and " + short_number(results.prior.d0) + " more from the variance of " + what + " of like expression";
    std::snprintf(text, sizeof text, "%s: %zu of %zu tested; %g degrees of freedom between replicates%s\n", what,
                  results.tested, results.features.size(), results.residual_df, prior.c_str());
    std::fputs(text, stdout);
    for (int a = 1; a <= design.num_conditions(); ++a)
        for (int b = a + 1; b <= design.num_conditions(); ++b) {
            std::size_t found = 0;
            for (const ConditionRow& r : results.rows) found += r.a == a && r.b == b && r.padj <= o.alpha;
            std::snprintf(text, sizeof text, "%s %s against %s: %zu at padj <= %g\n", what,
                          design.conditions[static_cast<std::size_t>(b - 1)].c_str(),
                          design.conditions[static_cast<std::size_t>(a - 1)].c_str(), found, o.alpha);
            std::fputs(text, stdout);
        }
    check_standard_output();
    if (!o.plots.empty()) {
        create_plots_folder(o.plots);
        if (!write_condition_plots(o.plots, results, design, o.alpha))
            warn("rsvg-convert could not be run: the plots are written as SVG only");
    }
}

int run(int argc, char** argv)
{
    const Options o = parse_options(argc, argv);
    if (o.help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    Inputs in;
    read_inputs(o, in);
    if (!o.design.empty()) {
        run_conditions(o, in);
        close_standard_output();
        return 0;
    }

    const Results results(in.stats, {in.gtt ? in.gtt->poisson_totals : std::vector<double>{}, in.tables(),
                                     in.fits ? &*in.fits : nullptr, in.mean_test ? &*in.mean_test : nullptr,
                                     in.rest_test ? &*in.rest_test : nullptr, o.calibration_quantile, o.threads});
    // With --sort, the table and the plots take the rows in this order.
    std::vector<std::uint32_t> sorted;
    if (o.sort) sorted = order_by_padj(results, o.kind);
    const std::vector<std::uint32_t>* order = o.sort ? &sorted : nullptr;
    // The plots first, so that their PNGs are converted while the table is
    // written.
    PlotWriter plots;
    if (!o.plots.empty()) write_plots(plots, o.plots, in.stats, results, order, in.names(), o.kind, o.alpha);
    write_table(o, in, results, order, plots);

    print_calibrations(in.stats, results, in.tests, in.names(), o.ranked() ? &o.kind : nullptr);
    if (!plots.finish()) warn("rsvg-convert could not be run: the plots are written as SVG only");
    close_standard_output();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    set_program_name("sigtable");
    stop_when_out_of_memory();
    // The p-values catch what Boost.Math throws, and a failed allocation
    // ends the run; anything else still ends in one line, not an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        warn(std::string("internal error: ") + e.what());
        stop_program(1);
    }
}
