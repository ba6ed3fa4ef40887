// The largest counts, lengths and sizes the programs take, at both sides of
// each limit: exactly at a limit every program runs through (with the
// permutation tests, whose pools then reach 2^31 - 2), one above it the
// table is refused with one line naming the field.
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One gene of two exons in two conditions, deep enough that pools of two
// positions at the largest count reach 2^31 - 2, and even enough that the
// fits stay well inside the generalized Poisson's range.
struct AtTheLimit {
    ScratchDir dir;
    std::vector<std::string> shared;

    explicit AtTheLimit(const std::string& largest)
    {
        const std::string reads = "0 0 0 " + largest + " " + largest +
                                  "\n0 0 0 1073700000 1073720000\n0 0 0 1073690000 1073660000\n"
                                  "0 0 0 1073710000 " + largest + "\n0 0 0 " + largest +
                                  " 1073650000\n0 0 0 1073670000 1073700000\n";
        shared = {"6", "2", dir.write("reads", reads), "2", dir.write("exon_zb", "1 1 3 3\n2 4 6 3\n"),
                  "1", dir.write("gene_zb", "1 1 2 6\n")};
    }
    RunResult mfit() const
    {
        std::vector<std::string> args = shared;
        for (const char* name : {"exon_re", "gene_re", "chisq_re"}) args.push_back(dir.file(name));
        return run_program(program_path("mfit"), args);
    }
};

std::vector<std::string> lines_of(const std::string& path) { return split_lines(read_file(path)); }

} // namespace

TEST(Limits, TheLargestCountRunsThroughEveryProgramWithPermutations)
{
    AtTheLimit data("1073741823");
    const RunResult fit = data.mfit();
    ASSERT_EQ(fit.status, 0) << fit.err;
    EXPECT_EQ(lines_of(data.dir.file("gene_re")),
              std::vector<std::string>{"1 6 1342846929.054894 1073708941.000000 1 -0.250662 965485766.014009 "
                                       "1073702274.333333 1 0.100788"});

    std::vector<std::string> args = data.shared;
    const std::string gtt = data.dir.write("gtt", "1 1\n2 2\n");
    for (const std::string& a : {data.dir.file("gene_re"), data.dir.file("exon_re"), gtt, data.dir.file("lv"),
                                 std::string("1"), std::string("-5")})
        args.push_back(a);
    const RunResult level = run_program(program_path("lvcmp"), args);
    ASSERT_EQ(level.status, 0) << level.err;
    EXPECT_EQ(lines_of(data.dir.file("lv")),
              std::vector<std::string>{"1 1 2 4098268851.398682 1517599396.478577 1342846929.054894 "
                                       "965485766.014009 1073708941.000000 1073702274.333333 6 1214145664.000000 "
                                       "0.418727"});

    args = data.shared;
    for (const std::string& a : {data.dir.file("gene_re"), data.dir.file("exon_re"), data.dir.file("iso"),
                                 std::string("1"), std::string("-5")})
        args.push_back(a);
    const RunResult share = run_program(program_path("isocmp"), args);
    ASSERT_EQ(share.status, 0) << share.err;
    EXPECT_EQ(lines_of(data.dir.file("iso")),
              (std::vector<std::string>{
                  "1 1 1 2 13521088.299438 0.010376 1567373209.222483 1342846929.054894 1016990581.435562 "
                  "965485766.014009 1073710607.666667 1073708941.000000 1073707274.333333 1073702274.333333 3 6 "
                  "290223744.000000 0.471886",
                  "2 1 1 2 7603038.020264 0.010254 1197305177.858376 1342846929.054894 937289111.535597 "
                  "965485766.014009 1073707274.333333 1073708941.000000 1073697274.333333 1073702274.333333 3 6 "
                  "430893472.000000 0.453378"}));
}

TEST(Limits, ACountAboveTheLargestIsRefused)
{
    AtTheLimit data("1073741824");
    const RunResult r = data.mfit();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mfit: reads file '" + data.shared[2] +
                         "', line 1, field 4 (count of condition 1 of row 1): expected a non-negative integer up to "
                         "1073741823, found '1073741824'\n");
}

TEST(Limits, SizesOfTheTables)
{
    ScratchDir dir;
    const std::string empty = dir.write("empty", "");
    auto run = [&](const std::string& reads, const std::string& conditions) {
        return run_program(program_path("mfit"), {reads, conditions, empty, "0", empty, "0", empty, dir.file("e"),
                                                  dir.file("g"), dir.file("c")});
    };
    EXPECT_EQ(run("0", "65535").status, 0);
    RunResult r = run("0", "65536");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mfit: num_conditions must be at most 65535, found 65536\n");
    r = run("2147483647", "1");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mfit: num_reads must be at most 2147483646, found 2147483647\n");
}
