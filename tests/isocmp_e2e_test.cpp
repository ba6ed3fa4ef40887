// isocmp run as a user runs it, after mfit, on small generated datasets.
#include "tests/support/lcg.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

// A dataset of genes, each a list of exons given as (rows, length); written,
// fitted with mfit, ready for isocmp.
struct Dataset {
    ScratchDir dir;
    int conditions = 3, rows = 0, exons = 0, genes = 0;

    Dataset(const std::vector<std::vector<std::pair<int, int>>>& layout, int conds, std::uint64_t seed = 11)
        : conditions(conds)
    {
        Lcg rng{seed};
        std::string reads, exon_zb, gene_zb;
        for (const auto& gene : layout) {
            int first_exon = exons + 1, gene_length = 0;
            for (auto [n, length] : gene) {
                ++exons;
                exon_zb += std::to_string(100 + exons) + " " + std::to_string(rows + 1) + " " +
                           std::to_string(rows + n) + " " + std::to_string(length) + "\n";
                for (int r = 0; r < n; ++r) {
                    reads += "1 ";
                    reads += std::to_string(rows + r);
                    reads += " 0";
                    for (int c = 0; c < conds; ++c) reads += " " + std::to_string(rng.count(3.0 + exons % 3, 1000));
                    reads += "\n";
                }
                rows += n;
                gene_length += length;
            }
            ++genes;
            gene_zb += std::to_string(500 + genes) + " " + std::to_string(first_exon) + " " + std::to_string(exons) +
                       " " + std::to_string(gene_length) + "\n";
        }
        dir.write("reads", reads);
        dir.write("exon_zb", exon_zb);
        dir.write("gene_zb", gene_zb);
        RunResult r = run_program(program_path("mfit"), {std::to_string(rows), std::to_string(conds), dir.file("reads"),
                                                         std::to_string(exons), dir.file("exon_zb"),
                                                         std::to_string(genes), dir.file("gene_zb"), dir.file("exon_re"),
                                                         dir.file("gene_re"), dir.file("chisq_re")});
        EXPECT_EQ(r.status, 0) << r.err;
    }

    std::vector<std::string> args(const std::string& out, const std::string& permute, const std::string& seed) const
    {
        return {std::to_string(rows), std::to_string(conditions), dir.file("reads"), std::to_string(exons),
                dir.file("exon_zb"), std::to_string(genes), dir.file("gene_zb"), dir.file("gene_re"),
                dir.file("exon_re"), dir.file(out), permute, seed};
    }

    RunResult isocmp(const std::string& out, const std::string& permute = "0", const std::string& seed = "-81079") const
    {
        return run_program(program_path("isocmp"), args(out, permute, seed));
    }

    // Marks the fit of `line` (1-based) in `file` as failed in condition c.
    void fail_fit(const std::string& file, int line, int leading, int c) const
    {
        std::vector<std::string> lines = split_lines(read_file(dir.file(file)));
        std::vector<std::string> f = split_words(lines[line - 1]);
        const int at = leading + 4 * (c - 1);
        f[at] = "NA";
        f[at + 2] = "0";
        f[at + 3] = "NA";
        std::string joined;
        for (std::size_t i = 0; i < f.size(); ++i) {
            if (i) joined += ' ';
            joined += f[i];
        }
        lines[line - 1] = joined;
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        dir.write(file, text);
    }
};

std::vector<std::vector<std::string>> fields(const std::string& text)
{
    std::vector<std::vector<std::string>> out;
    for (const std::string& line : split_lines(text)) out.push_back(split_words(line));
    return out;
}

// (exon_id, i, l) of every line.
std::vector<std::string> keys(const std::string& text)
{
    std::vector<std::string> out;
    for (const auto& f : fields(text)) out.push_back(f[0] + " " + f[2] + " " + f[3]);
    return out;
}

std::size_t count_lines(const std::string& text, const std::string& line)
{
    std::size_t n = 0;
    for (const std::string& l : split_lines(text)) n += l == line;
    return n;
}

const std::vector<std::vector<std::pair<int, int>>> kTwoExonGene = {{{30, 35}, {30, 32}}, {{25, 25}}};

} // namespace

namespace {

// Runs isocmp on a dataset's folder of expected files, given its first ten
// arguments, without and with the permutation null: the statistics files
// must be expected_isocmp_re and expected_isocmp_perm_re, and standard
// output expected_isocmp_stdout (with the permutation line and the first
// gene's `screams` "Scream!!!!" lines when permuted).
void expect_golden(const std::string& data, std::vector<std::string> args, long screams = 0)
{
    ScratchDir dir;
    auto run = [&](const std::string& out, const std::string& permute) {
        std::vector<std::string> a = args;
        for (const std::string& more : {dir.file(out), permute, std::string("-81079")}) a.push_back(more);
        return run_program(program_path("isocmp"), a);
    };
    const std::string stdout_lines = read_file(data + "expected_isocmp_stdout");
    const RunResult off = run("off", "0");
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_EQ(off.out, stdout_lines);
    EXPECT_EQ(read_file(dir.file("off")), read_file(data + "expected_isocmp_re"));

    const RunResult on = run("on", "1");
    EXPECT_EQ(on.status, 0) << on.err;
    std::string expected =
        "INFO:Permutations will be carried out for each comparison. The program run will be slow\n" + stdout_lines;
    if (screams > 0) {
        std::string lines;
        for (long k = 0; k < screams; ++k) lines += "Scream!!!!\n";
        expected.insert(expected.find("\n1\n") + 3, lines);
    }
    EXPECT_EQ(on.out, expected);
    EXPECT_EQ(read_file(dir.file("on")), read_file(data + "expected_isocmp_perm_re"));
}

} // namespace

TEST(IsocmpGolden, ExampleGenesWithAndWithoutThePermutationNull)
{
    // The example's first three genes: mfit's fits, then every field of the
    // share comparison, the exon's and the gene's fits side by side.
    const std::string data = std::string(TEST_DATA_DIR) + "/isocmp_small/";
    ScratchDir dir;
    std::vector<std::string> args = {"297", "4", data + "reads.txt", "33", data + "exon_zb.txt", "3",
                                     data + "gene_zb.txt"};
    std::vector<std::string> fit = args;
    for (const char* name : {"exon_re", "gene_re", "chisq_re"}) fit.push_back(dir.file(name));
    ASSERT_EQ(run_program(program_path("mfit"), fit).status, 0);
    for (const char* name : {"exon_re", "gene_re", "chisq_re"})
        EXPECT_EQ(read_file(dir.file(name)), read_file(data + "expected_" + name)) << name;

    args.push_back(dir.file("gene_re"));
    args.push_back(dir.file("exon_re"));
    expect_golden(data, args, 141357);
}

TEST(IsocmpGolden, HandCheckedDatasetWithAndWithoutThePermutationNull)
{
    // mfit's hand-checked fits: only the single-exon genes 900 and 1000
    // converge in two conditions, and exon 17 holds 70 of gene 1000's 75
    // positions, so its exon and gene estimates differ in every field.
    const std::string data = std::string(TEST_DATA_DIR) + "/mfit_small/";
    expect_golden(data, {"97", "3", data + "reads.txt", "7", data + "exon_zb.txt", "6", data + "gene_zb.txt",
                         data + "expected_gene_re", data + "expected_exon_re"});
}

TEST(IsocmpComparisons, LineOrderAndFields)
{
    Dataset d(kTwoExonGene, 3);
    RunResult r = d.isocmp("out");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "reads file is read in\nexonzb file is read in\ngenezb file is read in\n"
                     "gene parameters read in\nexon parameters read in\n1\n2\n");
    std::string out = read_file(d.dir.file("out"));
    std::vector<std::string> k = keys(out);
    ASSERT_GE(k.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(k.begin(), k.begin() + 6),
              (std::vector<std::string>{"101 1 2", "102 1 2", "101 1 3", "102 1 3", "101 2 3", "102 2 3"}));
    for (const auto& f : fields(out)) {
        ASSERT_EQ(f.size(), 16u);
        EXPECT_EQ(f[1], f[0] == "103" ? "502" : "501");
        EXPECT_EQ(f[15], f[0] == "103" ? "25" : "67");
    }
}

TEST(IsocmpComparisons, FailedFitsSkipTheirPairs)
{
    Dataset d(kTwoExonGene, 3);
    d.fail_fit("gene_re", 1, 2, 2);
    d.fail_fit("exon_re", 2, 3, 3);
    ASSERT_EQ(d.isocmp("out").status, 0);
    std::vector<std::string> k = keys(read_file(d.dir.file("out")));
    std::vector<std::string> gene1(k.begin(), k.end());
    gene1.erase(std::remove_if(gene1.begin(), gene1.end(), [](const std::string& s) { return s[2] == '3'; }),
                gene1.end());
    EXPECT_EQ(gene1, (std::vector<std::string>{"101 1 3"}));
}

TEST(IsocmpComparisons, OneConditionWritesNothing)
{
    Dataset d(kTwoExonGene, 1);
    RunResult r = d.isocmp("out", "1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(d.dir.file("out")), "");
    EXPECT_EQ(r.out.substr(r.out.size() - 4), "1\n2\n");
}

TEST(IsocmpPermutation, SameSeedSameBytesOtherSeedOnlyTheNull)
{
    Dataset d(kTwoExonGene, 3);
    RunResult a = d.isocmp("a", "1", "-81079");
    RunResult b = d.isocmp("b", "1", "-81079");
    RunResult c = d.isocmp("c", "1", "-3");
    RunResult off = d.isocmp("off", "0");
    ASSERT_EQ(a.status, 0);
    EXPECT_EQ(read_file(d.dir.file("a")), read_file(d.dir.file("b")));
    EXPECT_EQ(a.out, b.out);
    auto fa = fields(read_file(d.dir.file("a"))), fc = fields(read_file(d.dir.file("c"))),
         fo = fields(read_file(d.dir.file("off")));
    ASSERT_EQ(fa.size(), fc.size());
    ASSERT_EQ(fa.size(), fo.size());
    bool null_differs = false;
    for (std::size_t i = 0; i < fa.size(); ++i) {
        ASSERT_EQ(fa[i].size(), 18u);
        EXPECT_EQ(std::vector<std::string>(fa[i].begin(), fa[i].begin() + 16),
                  std::vector<std::string>(fc[i].begin(), fc[i].begin() + 16));
        EXPECT_EQ(std::vector<std::string>(fa[i].begin(), fa[i].begin() + 16), fo[i]);
        null_differs |= fa[i][16] != fc[i][16];
    }
    EXPECT_TRUE(null_differs);
    // The first gene has two exons: permuted exon vectors differ from the
    // gene's; the second gene gets no diagnostic lines.
    EXPECT_GT(count_lines(a.out, "Scream!!!!"), 0u);
    EXPECT_EQ(count_lines(a.out, "Crap"), 0u);
    EXPECT_EQ(a.out.find("INFO:Permutations will be carried out for each comparison. The program run will be slow\n"),
              0u);
}

TEST(IsocmpPermutation, SingleExonGeneEqualToItsExonScreamsNever)
{
    Dataset d({{{40, 45}}, {{20, 22}, {20, 20}}}, 2);
    RunResult r = d.isocmp("out", "1");
    ASSERT_EQ(r.status, 0);
    EXPECT_FALSE(read_file(d.dir.file("out")).empty());
    EXPECT_EQ(count_lines(r.out, "Scream!!!!"), 0u);
}

TEST(IsocmpBadInput, ExonOrderMustHold)
{
    Dataset d(kTwoExonGene, 2);
    d.dir.write("gene_zb", "501 2 2 32\n502 1 1 35\n");
    d.dir.write("exon_zb", "101 1 30 35\n102 31 60 32\n");
    std::vector<std::string> a = d.args("out", "0", "1");
    a[3] = "2";
    a[5] = "2";
    RunResult r = run_program(program_path("isocmp"), a);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::regex_search(r.err, std::regex("^isocmp: gene_zb file '.*', line 1, field 2 \\(first_exon of gene "
                                                    "1\\): expected exon 1, the one after the previous gene's last exon")))
        << r.err;
}

TEST(IsocmpBadInput, ShortResultFileAndFullDisk)
{
    Dataset d(kTwoExonGene, 2);
    std::string exon_re = read_file(d.dir.file("exon_re"));
    d.dir.write("exon_re", exon_re.substr(0, exon_re.find('\n') + 1));
    RunResult r = d.isocmp("out");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::regex_search(r.err, std::regex("^isocmp: exon_re file '.*', line 1, field 1 \\(leading field of exon "
                                                    "2\\): expected an integer, found the end of the file\n$")))
        << r.err;
    Dataset ok(kTwoExonGene, 2);
    std::vector<std::string> a = ok.args("out", "0", "1");
    a[9] = "/dev/full";
    RunResult full = run_program(program_path("isocmp"), a);
    EXPECT_EQ(full.status, 255);
    EXPECT_EQ(full.err, "isocmp: cannot write isocmp_re file '/dev/full': No space left on device\n");
}

TEST(IsocmpPrompts, AsksForTwelveValues)
{
    Dataset d(kTwoExonGene, 2);
    std::string input;
    for (const std::string& v : d.args("p", "0", "-81079")) input += v + " ";
    RunResult r = run_program(program_path("isocmp"), {"x"}, input + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("You have entered the wrong number of arguments. Please enter the arguments interactively. "
                         "Please type ./isocmp.out --help for the argument list.\nNumber of reads : "),
              0u);
    EXPECT_NE(r.out.find("Output file for differential Splicing :Do you want to use the permutation test:(0/1)\nEnter "
                         "seed for Random Number generator :reads file is read in\n"),
              std::string::npos);
    EXPECT_EQ(d.isocmp("q").status, 0);
    EXPECT_EQ(read_file(d.dir.file("p")), read_file(d.dir.file("q")));
}
