// The programs at any number of threads: on a generated dataset every result
// file and standard output must be byte for byte those of one thread, with
// the permutation tests on, for the first gene's diagnostic lines too. And
// the --threads option: taken out before the arguments are counted, refused
// with one line when its value is not a thread count.
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Dataset {
    std::string dir;
    std::vector<std::string> sizes_and_files; // num_reads .. gene_zb, the seven shared arguments
};

class ThreadCounts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scratch = new ScratchDir();
        const RunResult gen = run_program(program_path("simcounts"),
                                          {"--genes", "3", "--conditions", "3", "--rows", "250", "--seed", "5",
                                           "--out", scratch->path()});
        ASSERT_EQ(gen.status, 0) << gen.err;
        std::map<std::string, std::string> size;
        std::istringstream fields(gen.out);
        for (std::string field; fields >> field;) {
            const auto eq = field.find('=');
            size[field.substr(0, eq)] = field.substr(eq + 1);
        }
        data.dir = scratch->path();
        data.sizes_and_files = {size["num_reads"],          size["num_conditions"], scratch->file("reads.txt"),
                                size["num_exons"],          scratch->file("exon_zb.txt"), size["num_genes"],
                                scratch->file("gene_zb.txt")};
        // The fits every comparison run reads.
        std::vector<std::string> args = data.sizes_and_files;
        for (const char* out : {"exon_re.txt", "gene_re.txt", "chisq_re.txt"}) args.push_back(scratch->file(out));
        const RunResult fit = run_program(program_path("mfit"), args);
        ASSERT_EQ(fit.status, 0) << fit.err;
    }
    static void TearDownTestSuite()
    {
        delete scratch;
        scratch = nullptr;
    }

    // Runs `program` with `args` and "--threads=N", returning standard output
    // followed by the whole of every named output file.
    static std::string run_at(int threads, const std::string& program, std::vector<std::string> args,
                              const std::vector<std::string>& outputs)
    {
        args.push_back("--threads=" + std::to_string(threads));
        const RunResult r = run_program(program_path(program), args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::string all = "--- stdout\n" + r.out;
        for (const std::string& out : outputs) all += "--- " + out + "\n" + read_file(out);
        return all;
    }

    static void expect_same_at_every_count(const std::string& program, const std::vector<std::string>& args,
                                           const std::vector<std::string>& outputs)
    {
        const std::string one = run_at(1, program, args, outputs);
        for (int threads : {2, 4}) EXPECT_EQ(run_at(threads, program, args, outputs), one) << threads << " threads";
    }

    static std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more)
    {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    static ScratchDir* scratch;
    static Dataset data;
};

ScratchDir* ThreadCounts::scratch = nullptr;
Dataset ThreadCounts::data;

TEST_F(ThreadCounts, MfitWritesTheSameAtEveryCount)
{
    const std::vector<std::string> outs = {scratch->file("e.txt"), scratch->file("g.txt"), scratch->file("c.txt")};
    expect_same_at_every_count("mfit", with(data.sizes_and_files, outs), outs);
}

TEST_F(ThreadCounts, LvcmpPermutationNullIsTheSameAtEveryCount)
{
    const std::string out = scratch->file("lvcmp_re.txt");
    const auto args = with(data.sizes_and_files, {scratch->file("gene_re.txt"), scratch->file("exon_re.txt"),
                                                  data.dir + "/gtt.txt", out, "1", "-81079"});
    expect_same_at_every_count("lvcmp", args, {out});
    // The lines carry the two permutation fields.
    EXPECT_NE(read_file(out).find(' '), std::string::npos);
}

TEST_F(ThreadCounts, IsocmpPermutationNullAndDiagnosticsAreTheSameAtEveryCount)
{
    const std::string out = scratch->file("isocmp_re.txt");
    const auto args = with(data.sizes_and_files,
                           {scratch->file("gene_re.txt"), scratch->file("exon_re.txt"), out, "1", "-81079"});
    expect_same_at_every_count("isocmp", args, {out});
    // The first gene has several exons, so its permutations write diagnostic
    // lines, whose order the threads must not change.
    const RunResult r = run_program(program_path("isocmp"), with(args, {"--threads=2"}));
    EXPECT_NE(r.out.find("Scream!!!!\n"), std::string::npos);
}

TEST_F(ThreadCounts, WithoutPermutationsTheComparisonsAreTheSameAtEveryCount)
{
    const std::string lv = scratch->file("lv0.txt"), iso = scratch->file("iso0.txt");
    expect_same_at_every_count("lvcmp",
                               with(data.sizes_and_files, {scratch->file("gene_re.txt"), scratch->file("exon_re.txt"),
                                                           data.dir + "/gtt.txt", lv, "0", "1"}),
                               {lv});
    expect_same_at_every_count(
        "isocmp", with(data.sizes_and_files, {scratch->file("gene_re.txt"), scratch->file("exon_re.txt"), iso, "0", "1"}),
        {iso});
}

// sigtable makes the p-values, the pairs' calibrations and the rows' text in
// blocks of rows on its threads: on a file of many blocks (8,280 exons and
// pairs), sorted and filtered, the same bytes at every count.
TEST(SigtableThreads, TheTableIsTheSameAtEveryCount)
{
    ScratchDir dir;
    const RunResult gen = run_program(program_path("simcounts"), {"--num-genes", "150", "--conditions", "5", "--rows",
                                                                  "30000", "--seed", "5", "--out", dir.path()});
    ASSERT_EQ(gen.status, 0) << gen.err;
    const std::vector<std::string> data = {"29927", "5", dir.file("reads.txt"), "1531", dir.file("exon_zb.txt"), "150",
                                           dir.file("gene_zb.txt")};
    std::vector<std::string> fit = data;
    for (const char* out : {"exon_re.txt", "gene_re.txt", "chisq_re.txt"}) fit.push_back(dir.file(out));
    ASSERT_EQ(run_program(program_path("mfit"), fit).status, 0);
    std::vector<std::string> compare = data;
    for (const std::string& more : {dir.file("gene_re.txt"), dir.file("exon_re.txt"), dir.file("iso.txt")})
        compare.push_back(more);
    compare.insert(compare.end(), {"0", "1"});
    ASSERT_EQ(run_program(program_path("isocmp"), compare).status, 0);
    ASSERT_GT(read_file(dir.file("iso.txt")).size(), 8000u * 20);

    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--sort"}, {"--pvalue", "poisson", "--fdr", "0.05"}}) {
        std::string one;
        for (const char* threads : {"1", "2", "5"}) {
            std::vector<std::string> args = {"--stats", dir.file("iso.txt"), "--tables", dir.path(), "--out",
                                             dir.file("t.tsv"), "--threads", threads};
            args.insert(args.end(), options.begin(), options.end());
            const RunResult r = run_program(program_path("sigtable"), args);
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string all = r.out + read_file(dir.file("t.tsv"));
            if (one.empty()) one = all;
            else EXPECT_EQ(all, one) << options[0] << ", " << threads << " threads";
        }
    }
}

TEST(ThreadsOption, IsTakenOutBeforeTheArgumentsAreCounted)
{
    // With the option, a lone --help is still a lone --help.
    const RunResult help = run_program(program_path("lvcmp"), {"--threads=2", "--help"});
    const RunResult plain = run_program(program_path("lvcmp"), {"--help"});
    EXPECT_EQ(help.status, 1);
    EXPECT_EQ(help.out, plain.out);

    // And a wrong count is still a wrong count: the prompts take over.
    const RunResult prompts = run_program(program_path("mfit"), {"--threads=2", "1"}, "");
    const RunResult prompts_plain = run_program(program_path("mfit"), {"1"}, "");
    EXPECT_EQ(prompts.status, prompts_plain.status);
    EXPECT_EQ(prompts.out, prompts_plain.out);
    EXPECT_EQ(prompts.err, prompts_plain.err);
}

TEST(ThreadsOption, RefusesAValueThatIsNotAThreadCount)
{
    for (const char* bad : {"--threads=0", "--threads=", "--threads=two", "--threads=-3", "--threads=1025",
                            "--threads=4x", "--threads=99999999999"}) {
        for (const char* program : {"mfit", "lvcmp", "isocmp"}) {
            const RunResult r = run_program(program_path(program), {bad, "--help"});
            EXPECT_EQ(r.status, 2) << program << " " << bad;
            EXPECT_EQ(r.out, "") << program << " " << bad;
            const std::string value = std::string(bad).substr(10);
            EXPECT_EQ(r.err, std::string(program) +
                                 ": --threads expects a whole number of threads from 1 to 1024, found '" + value +
                                 "'\n")
                << program << " " << bad;
        }
    }
}

} // namespace
