// lvcmp run as a user runs it, on the hand-checked dataset and on small
// files made for one behaviour each.
#include "tests/support/refusals.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

const std::string kData = std::string(TEST_DATA_DIR) + "/mfit_small/";

std::string lvcmp() { return program_path("lvcmp"); }

// The thirteen arguments for the hand-checked dataset.
std::vector<std::string> small_args(const std::string& out, const std::string& permute, const std::string& seed)
{
    return {"97", "3", kData + "reads.txt", "7", kData + "exon_zb.txt", "6", kData + "gene_zb.txt",
            kData + "expected_gene_re", kData + "expected_exon_re", kData + "gtt.txt", out, permute, seed};
}

const std::string kProgress = "reads file is read in\nexonzb file is read in\ngenezb file is read in\n"
                              "gene parameters read in\nexon parameters read in\ntotal unique read is read in\n";
const std::string kInfo = "INFO:Permutations will be carried out for each comparison. The program run will be slow\n";

// Field k (1-based) of every line.
std::vector<std::string> column(const std::string& text, std::size_t k)
{
    std::vector<std::string> out;
    for (const std::string& line : split_lines(text)) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            std::size_t blank = line.find(' ', start);
            fields.push_back(line.substr(start, blank - start));
            if (blank == std::string::npos) break;
            start = blank + 1;
        }
        out.push_back(k <= fields.size() ? fields[k - 1] : "");
    }
    return out;
}

} // namespace

TEST(LvcmpCommandLine, HandCheckedDatasetWithAndWithoutPermutation)
{
    ScratchDir dir;
    RunResult off = run_program(lvcmp(), small_args(dir.file("off"), "0", "-81079"));
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_EQ(off.err, "");
    EXPECT_EQ(off.out, read_file(kData + "expected_lvcmp_stdout"));
    EXPECT_EQ(read_file(dir.file("off")), read_file(kData + "expected_lvcmp_re"));

    // do_permute 2 counts as on.
    RunResult on = run_program(lvcmp(), small_args(dir.file("on"), "2", "-81079"));
    EXPECT_EQ(on.status, 0) << on.err;
    EXPECT_EQ(on.out, kInfo + read_file(kData + "expected_lvcmp_stdout"));
    EXPECT_EQ(read_file(dir.file("on")), read_file(kData + "expected_lvcmp_perm_re"));

    // The Poisson statistic does not depend on the permutation test.
    EXPECT_EQ(column(read_file(dir.file("on")), 5), column(read_file(dir.file("off")), 5));
    // Not-valid comparisons end in -1 -1; their g lines name the gene's position.
    for (const std::string& line : split_lines(read_file(dir.file("on")))) {
        bool not_valid = line.find(" -1 ") != std::string::npos;
        EXPECT_EQ(not_valid, line.size() > 6 && line.substr(line.size() - 6) == " -1 -1") << line;
    }
}

TEST(LvcmpCommandLine, SameSeedSameFilesAndSeedTextWithTrailingLetters)
{
    ScratchDir dir;
    RunResult a = run_program(lvcmp(), small_args(dir.file("a"), "1", "-81079"));
    RunResult b = run_program(lvcmp(), small_args(dir.file("b"), "1", "-81079xyz"));
    RunResult c = run_program(lvcmp(), small_args(dir.file("c"), "1", "-5"));
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(read_file(dir.file("a")), read_file(dir.file("b")));
    EXPECT_EQ(a.out, b.out);
    // Another seed changes the null summaries only.
    EXPECT_NE(read_file(dir.file("a")), read_file(dir.file("c")));
    for (std::size_t k = 1; k <= 10; ++k) EXPECT_EQ(column(read_file(dir.file("a")), k), column(read_file(dir.file("c")), k));
}

TEST(LvcmpCommandLine, AWordAsDoPermuteTurnsTheTestOff)
{
    ScratchDir dir;
    RunResult r = run_program(lvcmp(), small_args(dir.file("w"), "yes", "-81079"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("INFO"), std::string::npos);
    EXPECT_EQ(read_file(dir.file("w")), read_file(kData + "expected_lvcmp_re"));
}

TEST(LvcmpCommandLine, OneConditionWritesAnEmptyFile)
{
    ScratchDir dir;
    std::string reads = dir.write("reads", "0 0 0 3\n0 0 0 1\n0 0 0 2\n");
    std::string exon_zb = dir.write("exon_zb", "5 1 3 4\n");
    std::string gene_zb = dir.write("gene_zb", "50 1 1 4\n");
    std::string gene_re = dir.write("gene_re", "50 4 1.0 1.5 1 0.2\n");
    std::string exon_re = dir.write("exon_re", "50 5 4 1.0 1.5 1 0.2\n");
    std::string gtt = dir.write("gtt", "10 10\n");
    dir.write("out", "stale\n");
    RunResult r = run_program(lvcmp(), {"3", "1", reads, "1", exon_zb, "1", gene_zb, gene_re, exon_re, gtt,
                                        dir.file("out"), "1", "-1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kInfo + kProgress);
    EXPECT_EQ(read_file(dir.file("out")), "");
}

TEST(LvcmpPrompts, AsksForEveryValueWithTheGivenPrompts)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir.file("out"), "0", "-81079");
    std::string input;
    for (const std::string& v : a) input += v + "\n";
    RunResult r = run_program(lvcmp(), {"--help", "extra"}, input);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string prompts =
        "Number of reads : Number of conditions : Reads File Name : Number of Exons : Exon File Name : Number of "
        "Genes : Gene File Name : File containing Gene Maximum Likelihood Estimates : File containing Exon Maximum "
        "Likelihood Estimates : File containing total unique reads for Generalized Poisson and Poisson Models :Output "
        "File for Test Statistics: Do a Permutation test or not to generate the gamma parameters for the null "
        "distribution (0/1):Enter seed for Random Number generator :";
    EXPECT_EQ(r.out, "You have entered the wrong number of arguments. Please enter the arguments interactively. Please "
                     "type ./lvcmp.out --help for the argument list\n" +
                         prompts + read_file(kData + "expected_lvcmp_stdout"));
    EXPECT_EQ(read_file(dir.file("out")), read_file(kData + "expected_lvcmp_re"));
}

TEST(LvcmpPrompts, NonNumericSeedKeepsTheDefault)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir.file("p"), "1", "ignored");
    std::string input;
    for (std::size_t i = 0; i + 1 < a.size(); ++i) input += a[i] + " ";
    input += "seed?\n";
    RunResult r = run_program(lvcmp(), {}, input);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("p")), read_file(kData + "expected_lvcmp_perm_re"));
}

TEST(LvcmpBadInput, SeedsBeyondTheGeneratorsRangeAreRefused)
{
    ScratchDir dir;
    expect_refusal(run_program(lvcmp(), small_args(dir.file("o"), "1", "2147483648")),
                   "^lvcmp: seed 2147483648 is outside the range -2147483647..2147483647\n$");
    expect_refusal(run_program(lvcmp(), small_args(dir.file("o"), "1", "-9999999999")),
                   "^lvcmp: seed -9999999999 is outside the range");
    std::vector<std::string> a = small_args(dir.file("o"), "1", "");
    std::string input;
    for (std::size_t i = 0; i + 1 < a.size(); ++i) input += a[i] + "\n";
    input += "-2147483648\n";
    expect_refusal(run_program(lvcmp(), {}, input), "^lvcmp: seed -2147483648 is outside the range");
    // The largest magnitude allowed is taken.
    EXPECT_EQ(run_program(lvcmp(), small_args(dir.file("o"), "1", "-2147483647")).status, 0);
}

TEST(LvcmpBadInput, TotalsFileShortOrNotReal)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir.file("o"), "0", "1");
    a[9] = dir.write("gtt", "100 100\n120 110\n90\n");
    expect_refusal(run_program(lvcmp(), a), "^lvcmp: gtt file '.*', line 3, field 2 \\(poisson_total of condition 3\\): "
                                            "expected a real number, found the end of the file\n$");
    a[9] = dir.write("gtt", "100 100\n120 many\n90 95\n");
    expect_refusal(run_program(lvcmp(), a), "field 2 \\(poisson_total of condition 2\\): expected a real number, found 'many'");
}

TEST(LvcmpBadInput, ZeroTotalWarnsAndGoesOn)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir.file("o"), "0", "1");
    a[9] = dir.write("gtt", "100 100\n0 110\n90 95\n");
    RunResult r = run_program(lvcmp(), a);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "lvcmp: warning: gtt file '" + a[9] +
                         "': general_total of condition 2 is not above 0; the normalising factors with this condition "
                         "are infinite or not a number\n");
}

TEST(LvcmpBadInput, ResultFilesAreCheckedByTheSharedReader)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir.file("o"), "0", "1");
    std::string gene_re = read_file(kData + "expected_gene_re");
    a[7] = dir.write("gene_re", gene_re.substr(0, gene_re.rfind(" 1 ")) + "\n");
    expect_refusal(run_program(lvcmp(), a), "^lvcmp: gene_re file '.*', line 6, field .* of gene 6\\): expected an "
                                            "integer, found the end of the file\n$");
    a[7] = dir.write("gene_re", "500 16 NA 1.5 1 NA\n");
    a[1] = "1";
    std::string one_condition;
    for (int r = 1; r <= 97; ++r) one_condition += "1 " + std::to_string(1000 + r) + " 0 0\n";
    a[2] = dir.write("reads", one_condition);
    a[5] = "1";
    a[6] = dir.write("gene_zb", "500 1 2 16\n");
    a[3] = "2";
    expect_refusal(run_program(lvcmp(), a), "field 5 \\(converged of condition 1 of gene 1\\): expected 0, as lambda is NA, found 1");
    a = small_args(dir.file("o"), "0", "1");
    a[8] = dir.write("exon_re", "x\n");
    expect_refusal(run_program(lvcmp(), a), "^lvcmp: exon_re file '.*', line 1, field 1 \\(leading field of exon 1\\)");
    a = small_args(dir.file("o"), "0", "1");
    a[2] = dir.file("nothing");
    expect_refusal(run_program(lvcmp(), a), "^lvcmp: cannot open reads file '.*nothing': No such file or directory\n$");
}

TEST(LvcmpBadInput, AFailedWriteIsNeverSuccess)
{
    RunResult r = run_program(lvcmp(), small_args("/dev/full", "0", "1"));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "lvcmp: cannot write lvcmpgene_re file '/dev/full': No space left on device\n");
}
