// lvcmp --mean-test and isocmp --rest-test end to end: the whole extra file
// on the hand-checked dataset and on a table written here, the main outputs
// untouched by the options, the same file at one and two threads, a shard's
// lines, and the refusal of a name the run already uses.
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kData = std::string(TEST_DATA_DIR) + "/mfit_small/";

std::vector<std::string> lvcmp_args(const std::string& out)
{
    return {"97", "3", kData + "reads.txt", "7", kData + "exon_zb.txt", "6", kData + "gene_zb.txt",
            kData + "expected_gene_re", kData + "expected_exon_re", kData + "gtt.txt", out, "0", "-81079"};
}

std::vector<std::string> isocmp_args(const std::string& out)
{
    return {"97", "3", kData + "reads.txt", "7", kData + "exon_zb.txt", "6", kData + "gene_zb.txt",
            kData + "expected_gene_re", kData + "expected_exon_re", out, "0", "-81079"};
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& options)
{
    // Options anywhere on the line: before the positional arguments here.
    args.insert(args.begin(), options.begin(), options.end());
    return args;
}

const std::string kMeanTests = "500 1 2 0.009392 1.556074 0.495162 -0.361414\n"
                               "500 1 3 7.468491 0.607748 0.406169 -0.158404\n"
                               "500 2 3 8.261538 1.824149 -0.348801 0.703963\n"
                               "600 1 2 -1 -1 -1 -1\n"
                               "600 1 3 -1 -1 -1 -1\n"
                               "600 2 3 -1 -1 -1 -1\n"
                               "700 1 2 1.458172 0.148527 0.706140 -0.046636\n"
                               "700 1 3 -1 -1 -1 -1\n"
                               "700 2 3 -1 -1 -1 -1\n"
                               "800 1 2 0.838921 0.510614 0.433217 -0.180894\n"
                               "800 1 3 0.012083 1.090218 0.543620 0.000347\n"
                               "800 2 3 2.255779 0.735065 -0.225139 0.113252\n"
                               "900 1 2 0.421822 0.769895 -0.196122 -0.245540\n"
                               "900 1 3 12.600960 2.059010 0.500724 -0.432378\n"
                               "900 2 3 14.531387 2.519962 0.627492 -0.451226\n"
                               "1000 1 2 0.361693 1.333508 0.531718 0.577034\n"
                               "1000 1 3 5.194371 1.144835 0.502666 0.578922\n"
                               "1000 2 3 3.218225 1.177976 0.507494 0.514603\n";

const std::string kRestTests = "11 500 1 2 0.202698 0.447953 1.382902\n"
                               "12 500 1 2 0.287144 0.447953 1.972057\n"
                               "11 500 1 3 0.000000 2.577224 1.800000\n"
                               "12 500 1 3 0.000000 2.577224 1.444444\n"
                               "11 500 2 3 0.000000 3.688021 1.200000\n"
                               "12 500 2 3 0.000000 3.688021 2.045144\n"
                               "13 700 1 2 -1 -1 -1\n"
                               "14 700 1 2 -1 -1 -1\n"
                               "13 700 1 3 -1 -1 -1\n"
                               "14 700 1 3 -1 -1 -1\n"
                               "13 700 2 3 -1 -1 -1\n"
                               "14 700 2 3 -1 -1 -1\n";

} // namespace

TEST(FurtherTestOptions, WholeFileAndMainOutputsUnchangedAtOneAndTwoThreads)
{
    // isocmp's rest tests: gene 500 is exon 11 (10 positions), exon 12 (3)
    // and a tail of 3. Exon 11 against its rest in conditions 1 and 2: reads
    // 18 and 6, then 20 and 10; the Poisson column is G of that table by
    // hand: margins 24, 30 and 38, 16 of 54, G = 2 Σ O ln(O/E) = 0.447953.
    // In condition 3 the rest of exon 11 is silent: a generalized Poisson
    // vector of zeros fits any mean as θ nears 1, so the share is not
    // constrained and the statistic is 0.
    const struct {
        std::string program;
        std::vector<std::string> (*args)(const std::string& out);
        std::string option;
        const std::string& further_tests;
    } cases[] = {
        {"lvcmp", lvcmp_args, "--mean-test=", kMeanTests},
        {"isocmp", isocmp_args, "--rest-test=", kRestTests},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        for (const std::string threads : {"1", "2"}) {
            SCOPED_TRACE(c.program + " at " + threads + " threads");
            const std::string main_file = dir.file(c.program + "_re" + threads);
            const std::string file = dir.file(c.program + "_further" + threads);
            // The option before --threads, then after it.
            std::vector<std::string> options = {c.option + file, "--threads=" + threads};
            if (threads == "2") std::swap(options[0], options[1]);
            RunResult r = run_program(program_path(c.program), with(c.args(main_file), options));
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out, read_file(kData + "expected_" + c.program + "_stdout"));
            EXPECT_EQ(read_file(main_file), read_file(kData + "expected_" + c.program + "_re"));
            EXPECT_EQ(read_file(file), c.further_tests);
        }
    }
}

TEST(MeanTestOption, AShardWritesItsGenesLines)
{
    ScratchDir dir;
    RunResult r = run_program(program_path("lvcmp"),
                              with(lvcmp_args(dir.file("re")), {"--genes=2-4", "--mean-test=" + dir.file("mean")}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> all = split_lines(kMeanTests);
    std::string expected;
    for (std::size_t k = 3; k < 12; ++k) expected += all[k] + "\n";
    EXPECT_EQ(read_file(dir.file("mean")), expected);
}

TEST(MeanTestOption, RefusesANameTheRunUsesAndAnEmptyName)
{
    ScratchDir dir;
    const std::string gtt = read_file(kData + "gtt.txt");
    RunResult input = run_program(program_path("lvcmp"),
                                  with(lvcmp_args(dir.file("re")), {"--mean-test=" + kData + "gtt.txt"}));
    EXPECT_EQ(input.status, 2);
    EXPECT_EQ(split_lines(input.err).size(), 1u) << input.err;
    EXPECT_NE(input.err.find("mean-test file"), std::string::npos) << input.err;
    EXPECT_EQ(read_file(kData + "gtt.txt"), gtt);

    RunResult output = run_program(program_path("lvcmp"),
                                   with(lvcmp_args(dir.file("re")), {"--mean-test=" + dir.file("re")}));
    EXPECT_EQ(output.status, 2);
    EXPECT_EQ(split_lines(output.err).size(), 1u) << output.err;

    RunResult empty = run_program(program_path("lvcmp"), with(lvcmp_args(dir.file("re")), {"--mean-test="}));
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "lvcmp: --mean-test expects a file name, found nothing after '='\n");
}

