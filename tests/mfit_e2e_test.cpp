// mfit run as a user runs it: arguments or prompts, files in, files out,
// messages and exit statuses.
#include "tests/support/refusals.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

const std::string kData = std::string(TEST_DATA_DIR) + "/mfit_small/";

std::string mfit() { return program_path("mfit"); }

// The ten arguments for the hand-checked dataset, outputs in `dir`.
std::vector<std::string> small_args(const ScratchDir& dir)
{
    return {"97", "3", kData + "reads.txt", "7", kData + "exon_zb.txt", "6", kData + "gene_zb.txt",
            dir.file("exon_re"), dir.file("gene_re"), dir.file("chisq_re")};
}

const std::string kProgress = "reads file is read in\nexonzb file is read in\ngenezb file is read in\n";
const std::string kWrongNumber = "You have entered the wrong number of arguments. Please enter the arguments "
                                 "interactively.Please type ./mfit.out --help for the argument list\n";
const std::string kPrompts = "Number of reads : Number of conditions : Reads File Name : Number of Exons : "
                             "Exon File Name : Number of Genes : Gene File Name : Output File for Exon differential "
                             "Expression : Output File for Gene differential Expression : Output File for Chi Square "
                             "statistic Values : ";

// A tiny consistent dataset of one gene with one exon, written into `dir`;
// the pieces can be replaced to make it bad in one place.
struct Tiny {
    std::string reads = "0 0 0 1 2\n0 0 0 3 0\n0 0 0 0 4\n";
    std::string exon_zb = "7 1 3 5\n";
    std::string gene_zb = "70 1 1 6\n";
    int num_reads = 3, num_conditions = 2, num_exons = 1, num_genes = 1;

    // Another annotation, its sizes the numbers of its lines.
    void annotate(const std::string& exons, const std::string& genes)
    {
        exon_zb = exons;
        gene_zb = genes;
        num_exons = static_cast<int>(split_lines(exons).size());
        num_genes = static_cast<int>(split_lines(genes).size());
    }

    // The ten arguments, the inputs written into `dir` and the outputs named
    // there with `prefix`.
    std::vector<std::string> args(const ScratchDir& dir, const std::string& prefix = "") const
    {
        return {std::to_string(num_reads), std::to_string(num_conditions), dir.write("reads", reads),
                std::to_string(num_exons), dir.write("exon_zb", exon_zb), std::to_string(num_genes),
                dir.write("gene_zb", gene_zb), dir.file(prefix + "exon_re"), dir.file(prefix + "gene_re"),
                dir.file(prefix + "chisq_re")};
    }

    RunResult run(const ScratchDir& dir) const { return run_program(mfit(), args(dir)); }
};

} // namespace

TEST(MfitCommandLine, HandCheckedDatasetGivesExactFiles)
{
    ScratchDir dir;
    RunResult r = run_program(mfit(), small_args(dir));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kProgress + "1\n2\n3\n4\n5\n6\n");
    EXPECT_EQ(read_file(dir.file("exon_re")), read_file(kData + "expected_exon_re"));
    EXPECT_EQ(read_file(dir.file("gene_re")), read_file(kData + "expected_gene_re"));
    EXPECT_EQ(read_file(dir.file("chisq_re")), read_file(kData + "expected_chisq_re"));
}

TEST(MfitCommandLine, OutputsAreTruncatedBeforeAnythingIsRead)
{
    ScratchDir dir;
    dir.write("exon_re", "old content\n");
    dir.write("chisq_re", "old content\n");
    Tiny t;
    t.reads = "0 0 0 1 x\n";
    RunResult r = t.run(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(read_file(dir.file("exon_re")), "");
    EXPECT_EQ(read_file(dir.file("chisq_re")), "");
}

TEST(MfitPrompts, WrongNumberOfArgumentsAsksForEveryValue)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir);
    // Several answers on one line, others on lines of their own.
    std::string input = a[0] + " " + a[1] + " " + a[2] + "\n" + a[3] + "\n\n  " + a[4] + " " + a[5] + "\n" + a[6] +
                        "\n" + a[7] + " " + a[8] + "\n" + a[9] + "\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"97"}, std::vector<std::string>{"--help", "x"}}) {
        RunResult r = run_program(mfit(), args, input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, kWrongNumber + kPrompts + kProgress + "1\n2\n3\n4\n5\n6\n");
        EXPECT_EQ(read_file(dir.file("exon_re")), read_file(kData + "expected_exon_re"));
        EXPECT_EQ(read_file(dir.file("chisq_re")), read_file(kData + "expected_chisq_re"));
    }
}

TEST(MfitPrompts, NonNumericAnswerKeepsTheDefaultAndAnswersTheNextPrompt)
{
    // Six conditions, the default: the answer to the conditions prompt is the
    // reads file's name, which then answers the file-name prompt.
    ScratchDir dir;
    Tiny t;
    t.reads = "0 0 0 1 2 3 4 5 6\n0 0 0 3 0 2 2 1 0\n0 0 0 0 4 0 1 1 9\n";
    t.num_conditions = 6;
    std::vector<std::string> answers = t.args(dir, "a_");
    answers.erase(answers.begin() + 1); // no num_conditions
    std::string input;
    for (const std::string& answer : answers) input += answer + " ";
    RunResult r = run_program(mfit(), {}, input + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    RunResult direct = run_program(mfit(), t.args(dir, "b_"));
    EXPECT_EQ(direct.status, 0);
    EXPECT_EQ(read_file(dir.file("a_exon_re")), read_file(dir.file("b_exon_re")));
    EXPECT_EQ(read_file(dir.file("a_gene_re")), read_file(dir.file("b_gene_re")));
    // Six field groups on the gene's line: 2 + 6 * 4 fields.
    const std::string gene_line = split_lines(read_file(dir.file("a_gene_re")))[0];
    EXPECT_EQ(gene_line.find("70 6 "), 0u);
    EXPECT_EQ(std::count(gene_line.begin(), gene_line.end(), ' '), 2 + 6 * 4 - 1);
}

TEST(MfitPrompts, EndOfInputBeforeAllAnswersIsRefused)
{
    ScratchDir dir;
    RunResult r = run_program(mfit(), {}, "97 3 " + kData + "reads.txt 7\n");
    expect_refusal(r, "^mfit: standard input ended before the exon_zb file name was given\n$");
    RunResult none = run_program(mfit(), {"x"});
    expect_refusal(none, "^mfit: standard input ended before num_reads was given\n$");
}

TEST(MfitPrompts, LongFileNamesAreTakenWhole)
{
    ScratchDir dir;
    std::string long_name = std::string(3000, 'n');
    RunResult r = run_program(mfit(), {}, "1 1 " + dir.file(long_name) + "\n");
    expect_refusal(r, "cannot open reads file '" + dir.file(long_name) + "': File name too long");
}

TEST(MfitBadInput, FilesThatCannotBeOpened)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir);
    a[2] = dir.file("missing.txt");
    RunResult r = run_program(mfit(), a);
    expect_refusal(r, "^mfit: cannot open reads file '" + dir.file("missing.txt") + "': No such file or directory\n$");
    EXPECT_FALSE(file_exists(dir.file("exon_re"))); // outputs come after the inputs

    a = small_args(dir);
    a[8] = dir.file("no/such/dir/gene_re");
    r = run_program(mfit(), a);
    expect_refusal(r, "^mfit: cannot create gene_re file '.*no/such/dir/gene_re': No such file or directory\n$");
    EXPECT_EQ(r.out, "");

    a = small_args(dir);
    a[4] = dir.path(); // a folder opens but cannot be read
    r = run_program(mfit(), a);
    expect_refusal(r, "^mfit: cannot read exon_zb file '.*': Is a directory\n$");
}

TEST(MfitBadInput, ABadFieldStopsTheRunWithOneLine)
{
    // Every bad field is refused by the shared readers (table_refusals_test
    // has them all); here the program around them: exit 2, one line.
    ScratchDir dir;
    Tiny t;
    t.reads = "0 0 0 1 2\n0 0 0 3 zero\n0 0 0 0 4\n";
    expect_refusal(t.run(dir), "^mfit: reads file '.*', line 2, field 5 \\(count of condition 2 of row 2\\): "
                               "expected a non-negative integer, found 'zero'\n$");
}

TEST(MfitBadInput, EmptyRangesAreValidWhereverTheyStand)
{
    ScratchDir dir;
    Tiny t;
    t.annotate("7 1 3 5\n8 900 899 2\n", "70 1 2 8\n71 1000 999 3\n");
    RunResult r = t.run(dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(split_lines(read_file(dir.file("exon_re")))[1], "70 8 2 NA 0.000000 0 NA NA 0.000000 0 NA");
    EXPECT_EQ(split_lines(read_file(dir.file("gene_re")))[1], "71 3 NA 0.000000 0 NA NA 0.000000 0 NA");
}

TEST(MfitBadInput, SizesMustBeNonNegativeAndFitIn32Bits)
{
    ScratchDir dir;
    std::vector<std::string> a = small_args(dir);
    a[0] = "-5";
    expect_refusal(run_program(mfit(), a), "^mfit: num_reads must be 0 or more, found -5\n$");
    a = small_args(dir);
    a[5] = "99999999999";
    expect_refusal(run_program(mfit(), a), "^mfit: num_genes '99999999999' is outside the range -2147483648..2147483647\n$");
}

TEST(MfitBadInput, BrokenExonOrderWarnsAndGoesOn)
{
    ScratchDir dir;
    Tiny t;
    t.annotate("7 1 1 1\n8 2 3 5\n", "70 2 2 6\n71 1 1 2\n");
    RunResult r = t.run(dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "mfit: warning: the exon ranges of gene_zb file '" + dir.file("gene_zb") +
                         "' do not list every exon once and in ascending order; the lines of exon_re will not line "
                         "up with the rows of exon_zb file '" + dir.file("exon_zb") + "'\n");
    std::vector<std::string> lines = split_lines(read_file(dir.file("exon_re")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 7), "70 8 5 ");
    EXPECT_EQ(lines[1].substr(0, 7), "71 7 1 ");
}

TEST(MfitBadInput, AFailedWriteIsNeverSuccess)
{
    ScratchDir dir;
    for (int which : {7, 8, 9}) {
        std::vector<std::string> a = small_args(dir);
        a[which] = "/dev/full";
        RunResult r = run_program(mfit(), a);
        EXPECT_EQ(r.status, 255) << which;
        const char* role = which == 7 ? "exon_re" : which == 8 ? "gene_re" : "chisq_re";
        EXPECT_EQ(r.err, std::string("mfit: cannot write ") + role + " file '/dev/full': No space left on device\n");
    }
}
