// sigtable with bamcount's output folder (--tables): the exact reads of the
// count table against the statistics file's six-decimal means, the
// conditions' names, the reasons of test_status with and without gene_re;
// the refusal of every input that does not belong to the statistics file,
// each with its whole message; the choice of p-value (--pvalue) for
// sorting, filtering and plots; and the plots' legend, count and ticks.
#include "tests/sigtable_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A small dataset as bamcount, mfit and lvcmp would leave it, two
// conditions (control, treated) and five genes:
//   gene 1: exons 1 (3 positions, reads 1 and 3) and 2 (2997 positions, no
//           row), 3000 positions: its Poisson means 0.000333 and 0.001000
//           stand for 0.999 and 3 reads;
//   gene 2: reads in control only (8 and 0);
//   gene 3: 2 reads in each, its fit in control did not converge;
//   gene 4: reads in treated only (0 and 6);
//   gene 5: no reads at all.
// Condition 1 was sequenced twice as deep as condition 2 (gtt).
std::map<std::string, std::string> dataset()
{
    const std::string features_header =
        "kind\tindex\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\tgene_index\tlength\n";
    return {
        {"reads.txt", "1 100 1 1 2\n1 101 1 0 1\n1 500 1 5 0\n1 501 1 3 0\n2 800 1 2 1\n2 801 1 0 1\n2 900 1 0 6\n"},
        {"exon_zb.txt", "1 1 2 3\n2 3 2 2997\n3 3 4 4\n4 5 6 2\n5 7 7 5\n6 8 7 5\n"},
        {"gene_zb.txt", "1 1 2 3000\n2 3 3 4\n3 4 4 2\n4 5 5 5\n5 6 6 5\n"},
        {"gtt.txt", "200 200\n100 100\n"},
        {"conditions.tsv", "condition\tname\tfile\n1\tcontrol\tc.bam\n2\ttreated\tt.bam\n"},
        {"gene_re.txt", "1 3000 0.000300 0.000333 1 0.100000 0.000900 0.001000 1 0.100000\n"
                        "2 4 1.500000 2.000000 1 0.250000 NA 0.000000 0 NA\n"
                        "3 2 NA 1.000000 0 NA 0.800000 1.000000 1 0.100000\n"
                        "4 5 NA 0.000000 0 NA 1.000000 1.200000 1 0.100000\n"
                        "5 5 NA 0.000000 0 NA NA 0.000000 0 NA\n"},
        {"features.tsv", features_header +
                             "exon\t1\tENSG01\tAlpha\tchr1\t100\t102\t+\tT1\t1\t3\n"
                             "exon\t2\tENSG01\tAlpha\tchr1\t200\t3196\t+\tT1\t1\t2997\n"
                             "gene\t1\tENSG01\tAlpha\tchr1\t100\t3196\t+\tT1\t1\t3000\n"
                             "exon\t3\tENSG02\tBeta\tchr1\t500\t503\t-\tT2\t2\t4\n"
                             "gene\t2\tENSG02\tBeta\tchr1\t500\t503\t-\tT2\t2\t4\n"
                             "exon\t4\tENSG03\tGamma\tchr2\t800\t801\t+\tT3\t3\t2\n"
                             "gene\t3\tENSG03\tGamma\tchr2\t800\t801\t+\tT3\t3\t2\n"
                             "exon\t5\tENSG04\tDelta\tchr2\t900\t904\t+\tT4\t4\t5\n"
                             "gene\t4\tENSG04\tDelta\tchr2\t900\t904\t+\tT4\t4\t5\n"
                             "exon\t6\tENSG05\tEpsilon\tchr2\t950\t954\t+\tT5\t5\t5\n"
                             "gene\t5\tENSG05\tEpsilon\tchr2\t950\t954\t+\tT5\t5\t5\n"},
        {"lvcmp_re.txt", "1 1 2 0.900000 2.903922 0.000300 0.000900 0.000333 0.001000 3000\n"
                         "2 1 2 -1 -nan -1 -1 2.000000 0.000000 4\n"
                         "3 1 2 -1 0.471132 -1 -1 1.000000 1.000000 2\n"
                         "4 1 2 -1 -nan -1 -1 0.000000 1.200000 5\n"
                         "5 1 2 -1 -nan -1 -1 0.000000 0.000000 5\n"},
        // Exon 1 holds all of gene 1's reads in both conditions.
        {"isocmp_re.txt", "1 1 1 2 2.000000 1.500000 0.300000 0.000300 0.900000 0.000900 0.333333 0.000333 1.000000 "
                          "0.001000 3 3000\n"},
    };
}

// Writes the dataset into the folder `name` of `dir`, with `changes`
// replacing files (an empty text removes the file); returns the folder.
std::string write_dataset(const ScratchDir& dir, const std::string& name,
                          const std::map<std::string, std::string>& changes = {})
{
    std::filesystem::create_directories(dir.file(name));
    std::map<std::string, std::string> files = dataset();
    for (const auto& [file, text] : changes) files[file] = text;
    for (const auto& [file, text] : files)
        if (!text.empty()) dir.write(name + "/" + file, text);
    return dir.file(name);
}

const std::string kLevelHeader = "gene_index\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\tcondition_a\t"
                                 "condition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
                                 "stat_poisson\tpvalue_poisson\tpadj_poisson\tmean_a\tmean_b\tlambda_a\tlambda_b\t"
                                 "length\n";
} // namespace

TEST(SigtableTables, ExactReadsNamesAndReasonsOfTheFolder)
{
    ScratchDir dir;
    const std::string data = write_dataset(dir, "d");
    const RunResult r = sigtable({"--stats", data + "/lvcmp_re.txt", "--tables", data, "--out", dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "lvcmp control treated gp: 1 tested, too few to calibrate (1 < 200)\n"
                             "lvcmp control treated poisson: 4 tested, too few to calibrate (4 < 200)\n");
    // Depths 4/3 and 2/3 of the mean: gene 1's 1 and 3 reads become 0.75
    // and 4.5. Genes with reads on one side have an infinite fold change;
    // gene 3's missing test is told by gene_re.
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("t.tsv"))),
              kLevelHeader +
                  "1\tENSG01\tAlpha\tchr1\t100\t3196\t+\tcontrol\ttreated\t2.625\t2.58496\t0.9\t0.342782\t0.342782\t"
                  "tested\t2.90392\t0.0883643\t0.117819\t0.75\t4.5\t0.0003\t0.0009\t3000\n"
                  "2\tENSG02\tBeta\tchr1\t500\t503\t-\tcontrol\ttreated\t3\t-Inf\tNA\tNA\tNA\tno reads in treated\t"
                  "6.48744\t0.0108639\t0.0217278\t6\t0\tNA\tNA\t4\n"
                  "3\tENSG03\tGamma\tchr2\t800\t801\t+\tcontrol\ttreated\t2.25\t1\tNA\tNA\tNA\tfit did not converge in "
                  "control\t0.471132\t0.492467\t0.492467\t1.5\t3\tNA\tNA\t2\n"
                  "4\tENSG04\tDelta\tchr2\t900\t904\t+\tcontrol\ttreated\t4.5\tInf\tNA\tNA\tNA\tno reads in control\t"
                  "13.1833\t0.000282448\t0.00112979\t0\t9\tNA\tNA\t5\n"
                  "5\tENSG05\tEpsilon\tchr2\t950\t954\t+\tcontrol\ttreated\t0\tNA\tNA\tNA\tNA\tno reads in either "
                  "condition\tNA\tNA\tNA\t0\t0\tNA\tNA\t5\n");

    // Without the count table, the means are the statistics file's six
    // decimals (0.000333 · 3000 = 0.999 reads); without conditions.tsv the
    // conditions are numbers; without gene_re gene 3's test is only "not
    // valid".
    const RunResult rounded = sigtable({"--stats", data + "/lvcmp_re.txt", "--gtt", data + "/gtt.txt", "--out",
                                        dir.file("r.tsv")});
    ASSERT_EQ(rounded.status, 0) << rounded.err;
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("r.tsv"))),
              "gene_index\tcondition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
              "stat_poisson\tpvalue_poisson\tpadj_poisson\tmean_a\tmean_b\tlambda_a\tlambda_b\tlength\n"
              "1\t1\t2\t2.62462\t2.58641\t0.9\t0.342782\t0.342782\ttested\t2.90392\t0.0883643\t0.117819\t0.74925\t4.5\t0.0003\t"
              "0.0009\t3000\n"
              "2\t1\t2\t3\t-Inf\tNA\tNA\tNA\tno reads in condition 2\t6.48744\t0.0108639\t0.0217278\t6\t0\tNA\tNA\t4\n"
              "3\t1\t2\t2.25\t1\tNA\tNA\tNA\ttest not valid\t0.471132\t0.492467\t0.492467\t1.5\t3\tNA\tNA\t2\n"
              "4\t1\t2\t4.5\tInf\tNA\tNA\tNA\tno reads in condition 1\t13.1833\t0.000282448\t0.00112979\t0\t9\tNA\tNA\t5\n"
              "5\t1\t2\t0\tNA\tNA\tNA\tNA\tno reads in either condition\tNA\tNA\tNA\t0\t0\tNA\tNA\t5\n");

    // A folder without conditions.tsv and gene_re.txt (older runs, or mfit
    // not yet run): numbers, and no reason from the fits.
    const std::string bare = write_dataset(dir, "bare", {{"conditions.tsv", ""}, {"gene_re.txt", ""}});
    const RunResult plain = sigtable({"--stats", bare + "/lvcmp_re.txt", "--tables", bare, "--out", dir.file("b.tsv")});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::vector<std::string> lines = split_lines(uncalibrated_columns(read_file(dir.file("b.tsv"))));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "3\tENSG03\tGamma\tchr2\t800\t801\t+\t1\t2\t2.25\t1\tNA\tNA\tNA\ttest not valid\t0.471132\t0.492467\t0.492467\t1.5\t3\t"
                        "NA\tNA\t2");
}

TEST(SigtableTables, EveryFileReadsAlikeGzipCompressedWhateverItsName)
{
    // A file's first bytes tell gzip, not its name: the folder and the
    // statistics file compressed in place give the plain ones' table.
    ScratchDir dir;
    const std::string plain = write_dataset(dir, "plain");
    std::map<std::string, std::string> packed;
    for (const auto& [file, text] : dataset()) packed[file] = gzipped(text);
    const std::string data = write_dataset(dir, "packed", packed);
    for (const auto& [folder, out] : {std::pair{plain, "p.tsv"}, std::pair{data, "z.tsv"}}) {
        const RunResult r = sigtable({"--stats", folder + "/lvcmp_re.txt", "--tables", folder, "--out", dir.file(out)});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_NE(read_file(dir.file("p.tsv")).find("ENSG05\tEpsilon"), std::string::npos);
    EXPECT_EQ(read_file(dir.file("z.tsv")), read_file(dir.file("p.tsv")));
}

TEST(SigtableTables, TheTotalsAndFitsTheStatisticsWereComputedWith)
{
    ScratchDir dir;
    const std::string exact = [&] {
        const std::string data = write_dataset(dir, "d");
        const RunResult r = sigtable({"--stats", data + "/lvcmp_re.txt", "--tables", data, "--out", dir.file("e.tsv")});
        EXPECT_EQ(r.status, 0) << r.err;
        return read_file(dir.file("e.tsv"));
    }();
    // A totals file of the same size from a run with the conditions the
    // other way round: lvcmp's Poisson statistics tell it apart.
    const std::string swapped = "100 100\n200 200\n";
    const std::string other = write_dataset(dir, "other", {{"gtt.txt", swapped}});
    const std::string refusal = "gtt file '" + other + "/gtt.txt' does not belong to statistics file '" + other +
                                "/lvcmp_re.txt': gene 1 in conditions 1 and 2 has a Poisson statistic of 2.903922 in "
                                "the statistics file (line 1), and its reads (1 and 3) with these totals (condition "
                                "2's over condition 1's: 2) give 0.131333: lvcmp computed its statistics with other "
                                "totals";
    expect_refusal(dir, {"--stats", other + "/lvcmp_re.txt", "--tables", other}, refusal);
    // Without the count table the reads come from the six-decimal means.
    expect_refusal(dir, {"--stats", other + "/lvcmp_re.txt", "--gtt", other + "/gtt.txt"}, refusal);

    // lvcmp given the folder's size factors: --tables finds them and says
    // so, and --gtt names them as well.
    const std::string sized = write_dataset(dir, "sized", {{"gtt.txt", swapped}, {"size_factors.txt", "150 150\n75 75\n"}});
    const RunResult found = sigtable({"--stats", sized + "/lvcmp_re.txt", "--tables", sized, "--out", dir.file("s.tsv")});
    ASSERT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(split_lines(found.out).at(0), "normalised by size factors file '" + sized +
                                                "/size_factors.txt', the totals lvcmp's statistics were computed with");
    EXPECT_EQ(read_file(dir.file("s.tsv")), exact);
    const RunResult named = sigtable({"--stats", sized + "/lvcmp_re.txt", "--tables", sized, "--gtt",
                                      sized + "/size_factors.txt", "--out", dir.file("n.tsv")});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(read_file(dir.file("n.tsv")), exact);
    expect_refusal(dir, {"--stats", sized + "/lvcmp_re.txt", "--tables", sized, "--gtt", sized + "/gtt.txt"},
                   "gtt file '" + sized + "/gtt.txt' does not belong to statistics file '" + sized +
                       "/lvcmp_re.txt': gene 1 in conditions 1 and 2 has a Poisson statistic of 2.903922 in the "
                       "statistics file (line 1), and its reads (1 and 3) with these totals (condition 2's over "
                       "condition 1's: 2) give 0.131333: lvcmp computed its statistics with other totals");

    // mfit's gene_re beside the folder (a workflow writes it elsewhere):
    // --gene-re tells gene 3's reason. A folder without features.tsv gives
    // a table without the annotation's columns.
    const std::string bare = write_dataset(dir, "bare", {{"gene_re.txt", ""}, {"features.tsv", ""}});
    const RunResult fits = sigtable({"--stats", bare + "/lvcmp_re.txt", "--tables", bare, "--gene-re",
                                     dir.file("d/gene_re.txt"), "--out", dir.file("f.tsv")});
    ASSERT_EQ(fits.status, 0) << fits.err;
    const std::vector<std::string> lines = split_lines(read_file(dir.file("f.tsv")));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind("gene_index\tcondition_a\t", 0), 0u);
    EXPECT_NE(lines[3].find("\tfit did not converge in control\t"), std::string::npos);
}

TEST(SigtableTables, AnExonHoldingAllOfItsGenesReadsHasAShareOfExactlyOne)
{
    ScratchDir dir;
    const std::string data = write_dataset(dir, "d");
    const std::string head = "exon_index\tgene_index\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\t"
                             "condition_a\tcondition_b\tbaseMean\tlog2FoldChange\tstat\tpvalue\tpadj\ttest_status\t"
                             "stat_poisson\tpvalue_poisson\tpadj_poisson\tshare_a\tshare_b\texon_length\tgene_length\n";
    const RunResult exact = sigtable({"--stats", data + "/isocmp_re.txt", "--tables", data, "--out", dir.file("e.tsv")});
    ASSERT_EQ(exact.status, 0) << exact.err;
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("e.tsv"))),
              // baseMean: 1 and 3 reads at depths 4/3 and 2/3 of the mean, as lvcmp's means.
              head + "1\t1\tENSG01\tAlpha\tchr1\t100\t102\t+\tcontrol\ttreated\t2.625\t0\t2\t0.157299\t0.157299\ttested\t"
                     "1.5\t0.220671\t0.220671\t1\t1\t3\t3000\n");
    // From the six-decimal means: 0.333333 · 3 / (0.000333 · 3000) = 1.001.
    const RunResult rounded = sigtable({"--stats", data + "/isocmp_re.txt", "--features", data + "/features.tsv",
                                        "--out", dir.file("r.tsv")});
    ASSERT_EQ(rounded.status, 0) << rounded.err;
    EXPECT_EQ(uncalibrated_columns(read_file(dir.file("r.tsv"))),
              head + "1\t1\tENSG01\tAlpha\tchr1\t100\t102\t+\t1\t2\t2\t-0.00144197\t2\t0.157299\t0.157299\ttested\t"
                     "1.5\t0.220671\t0.220671\t1.001\t1\t3\t3000\n");
}

TEST(SigtableTables, TheCountTablesTellWhichGenesHaveARestToTest)
{
    // Gene 1 has two exons: a rest-test file without its lines is cut
    // short, which only the count tables can tell from a gene of one exon.
    ScratchDir dir;
    const std::string data = write_dataset(dir, "d");
    const std::string rest = dir.write("rest.txt", "3 2 1 2 -1 -1 -1\n");
    expect_refusal(dir, {"--stats", data + "/isocmp_re.txt", "--tables", data, "--rest-test", rest},
                   "rest-test file '" + rest + "' does not belong to statistics file '" + data +
                       "/isocmp_re.txt': it has no line for exon 1 in conditions 1 and 2 (line 1 of the statistics "
                       "file)");
    const RunResult alone = sigtable({"--stats", data + "/isocmp_re.txt", "--rest-test", rest, "--out", dir.file("t.tsv")});
    EXPECT_EQ(alone.status, 0) << alone.err;
}

TEST(SigtableBelonging, RefusesInputsOfAnotherDataset)
{
    ScratchDir dir;
    const std::map<std::string, std::string> d = dataset();
    const std::string old_features =
        "kind\tid\tgene\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\n"
        "exon\t1\tG1\tA\tc\t1\t3\t+\tT\nexon\t2\tG1\tA\tc\t4\t9\t+\tT\nexon\t3\tG2\tB\tc\t1\t3\t+\tT\n"
        "exon\t4\tG3\tC\tc\t1\t3\t+\tT\nexon\t5\tG4\tD\tc\t1\t3\t+\tT\nexon\t6\tG5\tE\tc\t1\t3\t+\tT\n"
        "gene\t1\tG1\tA\tc\t1\t9\t+\tT\ngene\t2\tG2\tB\tc\t1\t3\t+\tT\ngene\t3\tG3\tC\tc\t1\t3\t+\tT\n"
        "gene\t4\tG4\tD\tc\t1\t3\t+\tT\ngene\t5\tG5\tE\tc\t1\t3\t+\tT\n";
    int case_number = 0;
    // Each case: the files changed, the statistics file (lvcmp_re.txt,
    // isocmp_re.txt, or a text of its own), whether --tables is given (else
    // --features and --gtt), and the refusal with {d} for the folder and {s}
    // for the statistics file.
    struct Case {
        std::map<std::string, std::string> changes;
        std::string stats;
        bool tables;
        std::string message;
    };
    const std::vector<Case> cases = {
        // Conditions: lvcmp compares every pair, so exactly as many.
        {{{"gtt.txt", "200 200\n100 100\n100 100\n"}},
         "lvcmp_re.txt",
         true,
         "gtt file '{d}/gtt.txt' does not belong to statistics file '{s}': it holds the totals of 3 conditions and "
         "the statistics file compares 2"},
        {{{"conditions.tsv", d.at("conditions.tsv") + "3\tlate\tl.bam\n"}},
         "lvcmp_re.txt",
         true,
         "conditions file '{d}/conditions.tsv' does not belong to statistics file '{s}': it names 3 conditions and "
         "the statistics file compares 2"},
        {{{"reads.txt", "1 100 1 1 2 0\n1 101 1 0 1 0\n1 500 1 5 0 0\n1 501 1 3 0 0\n2 800 1 2 1 0\n2 801 1 0 1 0\n"
                        "2 900 1 0 6 0\n"},
          {"gene_re.txt", ""}},
         "lvcmp_re.txt",
         true,
         "reads file '{d}/reads.txt' does not belong to statistics file '{s}': it counts reads of 3 conditions and "
         "the statistics file compares 2"},
        // isocmp writes no line for a comparison it cannot make: at least as many.
        {{{"gtt.txt", "200 200\n"}},
         "isocmp_re.txt",
         false,
         "gtt file '{d}/gtt.txt' does not belong to statistics file '{s}': it holds the totals of 1 condition and the "
         "statistics file compares conditions up to 2"},
        // features.tsv: every gene of the statistics file, with its length.
        {{{"features.tsv", d.at("features.tsv").substr(0, d.at("features.tsv").find("exon\t6"))}},
         "lvcmp_re.txt",
         false,
         "features file '{d}/features.tsv' does not belong to statistics file '{s}': gene 5 of the statistics file "
         "(line 5) is not in the features file"},
        {{{"lvcmp_re.txt", "1 1 2 0.900000 2.903922 0.000300 0.000900 0.000333 0.001000 3000\n"
                           "2 1 2 -1 -nan -1 -1 2.000000 0.000000 1200\n"}},
         "lvcmp_re.txt",
         false,
         "features file '{d}/features.tsv' does not belong to statistics file '{s}': gene 2 has length 1200 in the "
         "statistics file (line 2) and 4 in the features file"},
        {{{"features.tsv", d.at("features.tsv") + "gene\t6\tENSG06\tZeta\tchr3\t1\t9\t+\tT6\t6\t9\n"}},
         "lvcmp_re.txt",
         true,
         "features file '{d}/features.tsv' does not belong to gene_zb file '{d}/gene_zb.txt': it lists 6 genes and the "
         "gene_zb file 5"},
        // isocmp: the exon in its gene, and both lengths.
        {{{"isocmp_re.txt", "3 1 1 2 2.0 1.5 0.3 0.0003 0.9 0.0009 0.333333 0.000333 1.0 0.001 4 3000\n"}},
         "isocmp_re.txt",
         true,
         "features file '{d}/features.tsv' does not belong to statistics file '{s}': exon 3 belongs to gene 1 in the "
         "statistics file (line 1) and to gene 2 in the features file"},
        {{{"isocmp_re.txt", "1 1 1 2 2.0 1.5 0.3 0.0003 0.9 0.0009 0.333333 0.000333 1.0 0.001 4 3000\n"}},
         "isocmp_re.txt",
         false,
         "features file '{d}/features.tsv' does not belong to statistics file '{s}': exon 1 has length 4 in the "
         "statistics file (line 1) and 3 in the features file"},
        // Older features.tsv has neither gene_index nor length: gene_zb and
        // exon_zb tell them.
        {{{"features.tsv", old_features},
          {"isocmp_re.txt", "3 1 1 2 2.0 1.5 0.3 0.0003 0.9 0.0009 0.333333 0.000333 1.0 0.001 4 3000\n"}},
         "isocmp_re.txt",
         true,
         "gene_zb file '{d}/gene_zb.txt' does not belong to statistics file '{s}': exon 3 belongs to gene 1 in the "
         "statistics file (line 1) and to gene 2 in the gene_zb file"},
        {{{"features.tsv", old_features}, {"gene_zb.txt", "1 1 2 3000\n2 3 3 4\n3 4 4 2\n4 5 5 6\n5 6 6 5\n"}},
         "lvcmp_re.txt",
         true,
         "gene_zb file '{d}/gene_zb.txt' does not belong to statistics file '{s}': gene 4 has length 5 in the "
         "statistics file (line 4) and 6 in the gene_zb file"},
        {{{"features.tsv", old_features + "exon\t7\tG5\tE\tc\t4\t6\t+\tT\n"}},
         "lvcmp_re.txt",
         true,
         "features file '{d}/features.tsv' does not belong to exon_zb file '{d}/exon_zb.txt': it lists 7 exons and "
         "the exon_zb file 6"},
        // The reads behind the statistics file's means: 2 reads where it
        // says 0.999.
        {{{"reads.txt", "1 100 1 2 2\n" + d.at("reads.txt").substr(d.at("reads.txt").find('\n') + 1)}},
         "lvcmp_re.txt",
         true,
         "reads file '{d}/reads.txt' does not belong to statistics file '{s}': gene 1 has a mean of 0.000333 reads per "
         "position in condition 1 in the statistics file (line 1) and 0.0006666666667 (2 reads over 3000 positions) in "
         "the reads file"},
        {{{"isocmp_re.txt", "1 1 1 2 2.0 1.5 0.3 0.0003 0.9 0.0009 0.333333 0.000333 0.5 0.001 3 3000\n"}},
         "isocmp_re.txt",
         true,
         "reads file '{d}/reads.txt' does not belong to statistics file '{s}': exon 1 has a mean of 0.500000 reads per "
         "position in condition 2 in the statistics file (line 1) and 1 (3 reads over 3 positions) in the reads "
         "file"},
        // gene_re: one line per gene of gene_zb, the same Poisson means.
        {{{"gene_re.txt", "1 3000 0.000300 0.000334 1 0.100000 0.000900 0.001000 1 0.100000\n" +
                              d.at("gene_re.txt").substr(d.at("gene_re.txt").find('\n') + 1)}},
         "lvcmp_re.txt",
         true,
         "gene_re file '{d}/gene_re.txt' does not belong to statistics file '{s}': gene 1 has a Poisson mean of "
         "0.000333 in condition 1 in the statistics file (line 1) and 0.000334 in the gene_re file"},
        {{{"gene_re.txt", d.at("gene_re.txt").substr(0, d.at("gene_re.txt").find("5 5 NA"))}},
         "lvcmp_re.txt",
         true,
         "gene_re file '{d}/gene_re.txt' does not belong to gene_zb file '{d}/gene_zb.txt': it has 4 genes and the "
         "gene_zb file 5"},
        {{{"gene_re.txt", "1 3000 0.000300 0.000333 1 0.100000\n"}},
         "lvcmp_re.txt",
         true,
         "gene_re file '{d}/gene_re.txt' does not belong to reads file '{d}/reads.txt': its line 1 has 6 fields, and a "
         "gene of 2 conditions has 10 (2, then 4 per condition)"},
    };
    for (const Case& c : cases) {
        const std::string data = write_dataset(dir, "case" + std::to_string(++case_number), c.changes);
        const std::string stats = data + "/" + c.stats;
        std::string message = c.message;
        for (std::size_t at; (at = message.find("{d}")) != std::string::npos;) message.replace(at, 3, data);
        for (std::size_t at; (at = message.find("{s}")) != std::string::npos;) message.replace(at, 3, stats);
        if (c.tables) {
            expect_refusal(dir, {"--stats", stats, "--tables", data}, message);
        } else {
            expect_refusal(dir, {"--stats", stats, "--features", data + "/features.tsv", "--gtt", data + "/gtt.txt"},
                           message);
        }
    }
}

TEST(SigtableBelonging, RefusesOptionsThatCannotGoTogether)
{
    ScratchDir dir;
    const std::string data = write_dataset(dir, "d");
    const std::string stats = data + "/lvcmp_re.txt";
    expect_refusal(dir, {"--stats", stats, "--tables", data, "--features", data + "/features.tsv"},
                   "--tables takes features.tsv from its folder: give --features without it (see sigtable --help)");
    expect_refusal(dir, {"--stats", stats, "--gene-re", data + "/gene_re.txt"},
                   "--gene-re needs --tables, the count tables its fits are checked against (see sigtable --help)");
    expect_refusal(dir, {"--stats", stats, "--pvalue", "permutation"},
                   "--pvalue permutation needs the permutation fields (scale and shape), which statistics file '" +
                       stats + "' does not have");
    expect_refusal(dir, {"--stats", stats, "--pvalue", "exact"},
                   "--pvalue expects auto, or gp, poisson, permutation, mean, rest or rest-poisson, each with or "
                   "without -cal, found 'exact' (see sigtable --help)");
    expect_refusal(dir, {"--stats", stats, "--threads=0"},
                   "--threads expects a whole number from 1 to 1024, found '0' (see sigtable --help)");
    // conditions.tsv's own refusals, line and field named ({d}: the folder).
    const struct {
        const char* folder;
        std::string conditions, refusal;
    } conditions[] = {
        {"unnamed", "condition\tname\tfile\n1\t\tc.bam\n",
         "conditions file '{d}/conditions.tsv', line 2, field 2 (name of condition 1): expected a name without "
         "blanks, found ''"},
        {"twice", "condition\tname\tfile\n1\ta1\tc.bam\n2\ta1\tt.bam\n",
         "conditions file '{d}/conditions.tsv', line 3, field 2 (name of condition 2): expected a name of its own, "
         "not that of condition 1, found 'a1'"},
        {"order", "condition\tname\tfile\n2\ttreated\tt.bam\n1\tcontrol\tc.bam\n",
         "conditions file '{d}/conditions.tsv', line 2, field 1 (number of condition 1): expected 1 (the conditions "
         "in order from 1), found '2'"},
    };
    for (const auto& c : conditions) {
        const std::string folder = write_dataset(dir, c.folder, {{"conditions.tsv", c.conditions}});
        std::string refusal = c.refusal;
        refusal.replace(refusal.find("{d}"), 3, folder);
        expect_refusal(dir, {"--stats", folder + "/lvcmp_re.txt", "--tables", folder}, refusal);
    }
    const std::string missing = write_dataset(dir, "missing", {{"gene_zb.txt", ""}});
    expect_refusal(dir, {"--stats", missing + "/lvcmp_re.txt", "--tables", missing},
                   "cannot open gene_zb file '" + missing + "/gene_zb.txt': No such file or directory");
}

TEST(SigtableBelonging, ReadsGeneIndexAndLengthOfFeaturesAsNumbers)
{
    // features.tsv with the two newer columns: each a non-negative integer,
    // and a line short of them refused like one short of any field.
    ScratchDir dir;
    const std::string header = dataset().at("features.tsv").substr(0, dataset().at("features.tsv").find('\n') + 1);
    const std::string row = "gene\t2\tENSG02\tBeta\tchr1\t500\t503\t-\tT2";
    const std::string stats = dir.write("lv.txt", "2 1 2 -1 -nan -1 -1 2.000000 0.000000 4\n");
    for (const auto& [cells, message] : std::vector<std::pair<std::string, std::string>>{
             {"\t2", "field 11 (length of feature 1): expected a tab-separated field, found the end of the line"},
             {"\t-2\t4", "field 10 (gene_index of feature 1): expected a non-negative integer, found '-2'"},
             {"\t2\t4.0", "field 11 (length of feature 1): expected a non-negative integer, found '4.0'"},
             {"\t2147483648\t4",
              "field 10 (gene_index of feature 1): expected an integer from 0 to 2147483647, found '2147483648'"}}) {
        const std::string features = dir.write("f.tsv", header + row + cells + "\n");
        expect_refusal(dir, {"--stats", stats, "--features", features},
                       "features file '" + features + "', line 2, " + message);
    }
    // Extra columns after them are left alone.
    const std::string features = dir.write("f.tsv", header + row + "\t2\t4\tmore\n");
    const RunResult r = sigtable({"--stats", stats, "--features", features, "--out", dir.file("t.tsv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(split_lines(uncalibrated_columns(read_file(dir.file("t.tsv")))).at(1),
              "2\tENSG02\tBeta\tchr1\t500\t503\t-\t1\t2\t4\t-Inf\tNA\tNA\tNA\tno reads in condition 2\tNA\tNA\tNA\t"
              "8\t0\tNA\tNA\t4");
}

namespace {

// Pair 1-2 of three genes: generalized Poisson p-values 0.317311, NA and
// 0.05 (padj 0.317311, NA, 0.1); Poisson 0.0015654, 5.73303e-07,
// 9.48574e-15 (padj 0.0015654, 8.59955e-07, 2.84572e-14); permutation
// 0.406006, NA, 0.2791.
const std::string kPair = "7 1 2 1.000000 10.000000 0.500000 0.250000 1.000000 0.500000 100 0.500000 2.000000\n"
                          "8 1 2 -1 25.000000 -1 -1 2.000000 2.000000 50 -1 -1\n"
                          "9 1 2 3.841459 60.000000 0.500000 0.500000 1.000000 1.000000 10 2.000000 1.500000\n";

std::string first_column(const std::string& table)
{
    std::string ids;
    for (const std::string& line : split_lines(table)) ids += line.substr(0, line.find('\t')) + " ";
    return ids;
}

} // namespace

TEST(SigtablePValue, TheChosenPValueSortsAndFilters)
{
    ScratchDir dir;
    const std::string stats = dir.write("lv.txt", kPair);
    // Without --fdr every row stays; --fdr keeps the rows whose chosen padj
    // is at most its value (NA never).
    for (const auto& [kind, fdr, order] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"gp", "", "gene_index 9 7 8 "},          // padj 0.1, 0.317, NA last
             {"poisson", "", "gene_index 9 8 7 "},     // 2.8e-14, 8.6e-07, 0.0016
             {"permutation", "", "gene_index 9 7 8 "}, // both padj 0.406006, then pvalue 0.2791 first
             {"poisson", "1e-6", "gene_index 9 8 "},
             {"gp", "1", "gene_index 9 7 "},
             {"permutation", "0.4", "gene_index "}}) {
        std::vector<std::string> args = {"--stats", stats, "--out", dir.file("t.tsv"), "--sort", "--pvalue", kind};
        if (!fdr.empty()) args.insert(args.end(), {"--fdr", fdr});
        const RunResult r = sigtable(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(first_column(uncalibrated_columns(read_file(dir.file("t.tsv")))), order) << kind << " " << fdr;
    }
}

namespace {

// The number in `attribute="..."` of the first element after `from`.
double attribute(const std::string& svg, std::size_t from, const std::string& name)
{
    const std::size_t at = svg.find(" " + name + "=\"", from);
    EXPECT_NE(at, std::string::npos) << name;
    return at == std::string::npos ? NAN : std::stod(svg.substr(at + name.size() + 3));
}

// The texts of the tick labels of the x axis (text-anchor middle below the
// box) or the y axis (text-anchor end).
std::vector<std::string> tick_texts(const std::string& svg, const std::string& anchor)
{
    std::vector<std::string> texts;
    const std::string mark = "text-anchor=\"" + anchor + "\">";
    for (std::size_t at = 0; (at = svg.find(mark, at)) != std::string::npos; at += mark.size()) {
        const std::size_t from = at + mark.size();
        texts.push_back(svg.substr(from, svg.find('<', from) - from));
    }
    return texts;
}

} // namespace

TEST(SigtablePlots, LegendAboveTheAxesCountingTheTestedComparisons)
{
    ScratchDir dir;
    const std::string data = write_dataset(dir, "d", {{"lvcmp_re.txt", kPair}});
    write_dataset(dir, "named");
    const std::string stats = data + "/lvcmp_re.txt";
    const RunResult r = sigtable({"--stats", stats, "--out", dir.file("t.tsv"), "--plots", dir.file("gp"),
                                  "--alpha", "0.2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = read_file(dir.file("gp/volcano_1_2.svg"));
    // Two of the three comparisons have a generalized Poisson p-value.
    EXPECT_NE(svg.find(">Volcano plot, conditions 2 against 1 (level)</text>"), std::string::npos);
    EXPECT_NE(svg.find(">padj (generalized Poisson, chi-square) &lt;= 0.2: 1 of 2 tested</text>"), std::string::npos);
    EXPECT_NE(svg.find(">-log10 p-value (generalized Poisson, chi-square)</text>"), std::string::npos);

    // The legend's band ends above the axes' box, and every point is inside the box.
    const std::size_t legend = svg.find("<g id=\"legend\">"), axes = svg.find("<rect id=\"axes\"");
    ASSERT_NE(legend, std::string::npos);
    ASSERT_NE(axes, std::string::npos);
    const double top = attribute(svg, axes, "y"), bottom = top + attribute(svg, axes, "height");
    const double left = attribute(svg, axes, "x"), right = left + attribute(svg, axes, "width");
    EXPECT_LT(attribute(svg, legend, "y") + 4, top); // the text's baseline and descent
    EXPECT_LT(attribute(svg, legend, "cy") + 4, top);
    int points = 0;
    for (std::size_t at = svg.find("r=\"2.5\""); at != std::string::npos; at = svg.find("r=\"2.5\"", at + 1)) {
        const std::size_t circle = svg.rfind("<circle", at);
        const double x = attribute(svg, circle, "cx"), y = attribute(svg, circle, "cy");
        EXPECT_TRUE(x > left && x < right && y > top && y < bottom) << x << " " << y;
        ++points;
    }
    EXPECT_EQ(points, 2);
    // -log10 p-values 0.4986 and 1.301: from 0 in steps of 0.2; fold
    // changes -1 and 0 (gene 8 has no p-value and is not drawn). The
    // labels centred below the box: the ticks, then the axis titles.
    EXPECT_EQ(tick_texts(svg, "end"), (std::vector<std::string>{"0", "0.2", "0.4", "0.6", "0.8", "1", "1.2", "1.4"}));
    EXPECT_EQ(tick_texts(svg, "middle"),
              (std::vector<std::string>{"-1", "-0.8", "-0.6", "-0.4", "-0.2", "0", "log2 fold change",
                                        "-log10 p-value (generalized Poisson, chi-square)"}));

    // With --pvalue poisson, genes 1 to 4 of the dataset are tested (2 and
    // 4, with reads on one side only, significantly), and conditions.tsv's
    // names title the plots.
    const RunResult named = sigtable({"--stats", data + "/../named/lvcmp_re.txt", "--tables", data + "/../named",
                                      "--out", dir.file("n.tsv"), "--plots", dir.file("poisson"), "--pvalue",
                                      "poisson"});
    ASSERT_EQ(named.status, 0) << named.err;
    const std::string poisson = read_file(dir.file("poisson/ma_1_2.svg"));
    EXPECT_NE(poisson.find(">MA plot, treated against control (level)</text>"), std::string::npos);
    EXPECT_NE(poisson.find(">padj (Poisson, chi-square) &lt;= 0.05: 2 of 4 tested</text>"), std::string::npos);
}
