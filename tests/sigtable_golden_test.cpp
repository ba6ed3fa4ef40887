// sigtable end to end against whole outputs kept from an earlier build: the
// table holds a compact record per comparison and makes each row again when
// it writes it, sorts rows as indices, and sums the count table as it reads
// it, and every byte must stay what the tables, standard output and plots
// were.
#include "tests/sigtable_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kData = TEST_DATA_DIR "/";
const std::string kGolden = kData + "sigtable_pairs/";

// One run: its arguments (with {out} and {plots} for the scratch folder's
// files), and the files it must write as they were.
struct GoldenRun {
    std::string name;
    std::vector<std::string> args;
    std::string expected_table, expected_stdout;
    std::vector<std::string> plots; // plot files compared with expected_<name>
    std::string stderr_start;       // what standard error must start with
};

} // namespace

TEST(SigtableGolden, TablesStandardOutputAndPlotsAreWhatTheyWere)
{
    const std::string pairs = kGolden + "lvcmp_re.txt";
    const std::vector<GoldenRun> runs = {
        // Three pairs of 240 genes each, every one calibrated, ranked by
        // padj_cal across the pairs, with ties of statistics within a pair,
        // lines without a valid statistic and permutation nulls with -1.
        {"three pairs, sorted, filtered, plotted",
         {"--stats", pairs, "--sort", "--fdr", "0.05", "--plots", "{plots}"},
         "expected_sorted.tsv", "expected_sorted_stdout", {"volcano_1_3.svg", "qq_2_3.svg"},
         "sigtable: warning: without --gtt or --tables"},
        {"three pairs in file order, by the calibrated permutation p-value",
         {"--stats", pairs, "--pvalue", "permutation-cal", "--fdr", "0.2"},
         "expected_permutation.tsv", "expected_permutation_stdout", {}, "sigtable: warning"},
        // The count table summed as it is read, gene_re's reasons, the
        // share table sorted.
        {"isocmp with its count tables",
         {"--stats", kData + "isocmp_small/expected_isocmp_perm_re", "--tables", kData + "isocmp_small", "--gtt",
          kGolden + "gtt_isocmp_small.txt", "--gene-re", kData + "isocmp_small/expected_gene_re", "--sort"},
         "expected_isocmp_small.tsv", "expected_isocmp_small_stdout", {}, ""},
        {"lvcmp with its count tables and permutation nulls",
         {"--stats", kData + "mfit_small/expected_lvcmp_perm_re", "--tables", kData + "mfit_small", "--gene-re",
          kData + "mfit_small/expected_gene_re"},
         "expected_lvcmp_small.tsv", "expected_lvcmp_small_stdout", {}, ""},
    };
    // The p-values, calibrations and rows are made on several threads: the
    // same bytes at any number of them.
    for (const GoldenRun& run : runs)
        for (const char* threads : {"1", "3"}) {
            SCOPED_TRACE(run.name + ", threads " + threads);
            ScratchDir dir;
            std::vector<std::string> args;
            for (std::string a : run.args) args.push_back(a == "{plots}" ? dir.file("plots") : a);
            args.insert(args.end(), {"--out", dir.file("t.tsv"), "--threads", threads});
            const RunResult r = sigtable(args);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(read_file(dir.file("t.tsv")), read_file(kGolden + run.expected_table));
            EXPECT_EQ(r.out, read_file(kGolden + run.expected_stdout));
            // rsvg-convert may be missing, which adds a warning.
            if (run.stderr_start.empty()) {
                EXPECT_EQ(r.err, "");
            } else {
                EXPECT_EQ(r.err.rfind(run.stderr_start, 0), 0u) << r.err;
            }
            for (const std::string& plot : run.plots)
                EXPECT_EQ(read_file(dir.file("plots/" + plot)), read_file(kGolden + "expected_" + plot)) << plot;
        }
}
