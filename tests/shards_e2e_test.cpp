// Runs split by genes (--genes=FIRST-LAST) and the permutation tests drawn
// from a stream of each comparison's own (--streams=comparison), end to end.
//
// A shard reads the whole inputs (or, through the indexes of the tables,
// only its genes' rows and lines) and writes exactly a whole run's lines for
// its genes, so its files, joined in gene order, must be the whole run's
// files byte for byte, and its standard output the whole run's per-gene
// lines after the same once-per-run lines. With streams of their own, the
// permutation nulls must not depend on the thread count nor on where the
// shards are cut; they differ from the single stream's, and nothing else
// does. In the single stream, a shard from gene 1 is the start of the whole
// run, and a later start is refused. Every bad value of the options stops
// with status 2 and one line on standard error.
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstddef>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// The lines a program writes once per run, before any gene's: a shard
// repeats them, so they are set apart from the per-gene lines.
const std::set<std::string> kOncePerRun = {
    "INFO:Permutations will be carried out for each comparison. The program run will be slow",
    "reads file is read in",
    "exonzb file is read in",
    "genezb file is read in",
    "gene parameters read in",
    "exon parameters read in",
    "total unique read is read in",
};

// Standard output cut into the once-per-run lines at its start and the rest.
struct StdoutParts {
    std::string head, body;
};

StdoutParts split_stdout(const std::string& out)
{
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t end = out.find('\n', at);
        if (end == std::string::npos || kOncePerRun.count(out.substr(at, end - at)) == 0) break;
        at = end + 1;
    }
    return {out.substr(0, at), out.substr(at)};
}

// Compares two texts that may be megabytes long (isocmp's diagnostic lines),
// reporting the first differing line rather than both texts.
::testing::AssertionResult same_text(const std::string& got, const std::string& want)
{
    if (got == want) return ::testing::AssertionSuccess();
    const std::vector<std::string> a = split_lines(got), b = split_lines(want);
    std::size_t k = 0;
    while (k < a.size() && k < b.size() && a[k] == b[k]) ++k;
    return ::testing::AssertionFailure() << "texts differ at line " << k + 1 << " (of " << a.size() << " and "
                                         << b.size() << "): got '" << (k < a.size() ? a[k] : "<end>")
                                         << "', want '" << (k < b.size() ? b[k] : "<end>") << "'";
}

// A dataset's seven shared arguments (num_reads .. gene_zb) and mfit's fits of it.
struct Fitted {
    std::vector<std::string> shared;
    std::string gene_re, exon_re, gtt, gene_zb;
};

// Everything one run leaves: standard output, cut as above, and its files.
struct Outcome {
    StdoutParts out;
    std::vector<std::string> files;
};

// A gene range "FIRST-LAST".
using Range = std::pair<int, int>;

std::string genes_option(const Range& r)
{
    return "--genes=" + std::to_string(r.first) + "-" + std::to_string(r.second);
}

// Builds a program's whole argument list around the names of its outputs.
using ArgsFor = std::function<std::vector<std::string>(const std::vector<std::string>& outputs)>;

class Shards : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scratch = new ScratchDir();
        const std::string data = TEST_DATA_DIR;
        example = fit(data + "/../../examples", "5983", "4", "391", "40", "ex");
        small = fit(data + "/mfit_small", "97", "3", "7", "6", "sm");
        first3 = fit(data + "/isocmp_small", "297", "4", "33", "3", "f3");
    }
    static void TearDownTestSuite()
    {
        delete scratch;
        scratch = nullptr;
    }

    static Fitted fit(const std::string& dir, const char* reads, const char* conditions, const char* exons,
                      const char* genes, const std::string& tag)
    {
        Fitted f;
        f.shared = {reads, conditions, dir + "/reads.txt", exons, dir + "/exon_zb.txt", genes, dir + "/gene_zb.txt"};
        f.exon_re = scratch->file(tag + "_exon_re");
        f.gene_re = scratch->file(tag + "_gene_re");
        f.gtt = dir + "/gtt.txt";
        f.gene_zb = dir + "/gene_zb.txt";
        std::vector<std::string> args = f.shared;
        for (const std::string& out : {f.exon_re, f.gene_re, scratch->file(tag + "_chisq_re")}) args.push_back(out);
        const RunResult r = run_program(program_path("mfit"), args);
        EXPECT_EQ(r.status, 0) << r.err;
        return f;
    }

    static ArgsFor mfit_args(const Fitted& f)
    {
        return [f](const std::vector<std::string>& outs) {
            std::vector<std::string> args = f.shared;
            args.insert(args.end(), outs.begin(), outs.end());
            return args;
        };
    }
    static ArgsFor lvcmp_args(const Fitted& f, const std::string& permute)
    {
        return [f, permute](const std::vector<std::string>& outs) {
            std::vector<std::string> args = f.shared;
            for (const std::string& a : {f.gene_re, f.exon_re, f.gtt, outs.at(0), permute, std::string("-81079")})
                args.push_back(a);
            return args;
        };
    }
    static ArgsFor isocmp_args(const Fitted& f, const std::string& permute)
    {
        return [f, permute](const std::vector<std::string>& outs) {
            std::vector<std::string> args = f.shared;
            for (const std::string& a : {f.gene_re, f.exon_re, outs.at(0), permute, std::string("-81079")})
                args.push_back(a);
            return args;
        };
    }

    // Runs `program` with `options` after its arguments, writing `outputs`
    // fresh files; the run must succeed silently on standard error.
    static Outcome run(const std::string& program, const ArgsFor& args, int outputs,
                       const std::vector<std::string>& options)
    {
        std::vector<std::string> names;
        for (int k = 0; k < outputs; ++k) names.push_back(scratch->file("out" + std::to_string(++serial)));
        std::vector<std::string> all = args(names);
        all.insert(all.end(), options.begin(), options.end());
        const RunResult r = run_program(program_path(program), all);
        std::string shown;
        for (const std::string& a : options) shown += " " + a;
        EXPECT_EQ(r.status, 0) << program << shown << ": " << r.err;
        EXPECT_EQ(r.err, "") << program << shown;
        Outcome o{split_stdout(r.out), {}};
        for (const std::string& name : names) o.files.push_back(read_file(name));
        return o;
    }

    // Runs each shard with `options`, joins their files and per-gene lines
    // in order and compares them with `whole`; every shard repeats the whole
    // run's once-per-run lines.
    static void expect_shards_join(const std::string& program, const ArgsFor& args, int outputs,
                                   const std::vector<std::string>& options, const std::vector<Range>& shards,
                                   const Outcome& whole)
    {
        std::string body, cut;
        std::vector<std::string> files(static_cast<std::size_t>(outputs));
        for (const Range& shard : shards) {
            std::vector<std::string> with = options;
            with.push_back(genes_option(shard));
            cut += " " + genes_option(shard);
            const Outcome part = run(program, args, outputs, with);
            EXPECT_EQ(part.out.head, whole.out.head) << program << " " << genes_option(shard);
            body += part.out.body;
            for (std::size_t k = 0; k < files.size(); ++k) files[k] += part.files.at(k);
        }
        EXPECT_TRUE(same_text(body, whole.out.body)) << program << ": standard output of" << cut;
        for (std::size_t k = 0; k < files.size(); ++k)
            EXPECT_TRUE(same_text(files[k], whole.files.at(k))) << program << ": output file " << k + 1 << " of" << cut;
    }

    // The whole run at 1, 2 and 4 threads must be the same; returns it.
    static Outcome same_at_every_thread_count(const std::string& program, const ArgsFor& args, int outputs,
                                              const std::vector<std::string>& options)
    {
        std::vector<std::string> at1 = options;
        at1.push_back("--threads=1");
        const Outcome one = run(program, args, outputs, at1);
        for (int threads : {2, 4}) {
            std::vector<std::string> atn = options;
            atn.push_back("--threads=" + std::to_string(threads));
            const Outcome many = run(program, args, outputs, atn);
            EXPECT_EQ(many.out.head, one.out.head) << threads << " threads";
            EXPECT_TRUE(same_text(many.out.body, one.out.body)) << program << ": standard output at " << threads;
            for (std::size_t k = 0; k < one.files.size(); ++k)
                EXPECT_TRUE(same_text(many.files.at(k), one.files[k]))
                    << program << ": output file " << k + 1 << " at " << threads << " threads";
        }
        return one;
    }

    static void expect_every_program_joins(const Fitted& copy);

    static ScratchDir* scratch;
    static Fitted example, small, first3;
    static int serial;
};

ScratchDir* Shards::scratch = nullptr;
Fitted Shards::example, Shards::small, Shards::first3;
int Shards::serial = 0;

// Shards of the example: three of about equal size, single genes at both
// ends, and a single gene in the middle.
const std::vector<std::vector<Range>> kExampleCuts = {
    {{1, 13}, {14, 27}, {28, 40}},
    {{1, 1}, {2, 39}, {40, 40}},
    {{1, 4}, {5, 5}, {6, 40}},
};

TEST_F(Shards, MfitShardsJoinIntoTheWholeRun)
{
    const ArgsFor args = mfit_args(example);
    const Outcome whole = run("mfit", args, 3, {});
    ASSERT_FALSE(whole.files.at(2).empty());
    int threads = 1;
    for (const auto& cut : kExampleCuts)
        expect_shards_join("mfit", args, 3, {"--threads=" + std::to_string(threads++)}, cut, whole);

    // With several --genes, the last one counts.
    const Outcome last = run("mfit", args, 3, {"--genes=1-40", "--genes=14-27"});
    const Outcome middle = run("mfit", args, 3, {"--genes=14-27"});
    EXPECT_EQ(last.out.body, middle.out.body);
    EXPECT_EQ(last.files, middle.files);
}

TEST_F(Shards, LvcmpShardsWithoutPermutationsJoinIntoTheWholeRun)
{
    const ArgsFor args = lvcmp_args(example, "0");
    const Outcome whole = run("lvcmp", args, 1, {});
    // Gene 5 writes its index to standard output, so the per-gene lines of
    // standard output are put to the test too.
    ASSERT_NE(whole.out.body.find("5\n"), std::string::npos);
    int threads = 1;
    for (const auto& cut : kExampleCuts)
        expect_shards_join("lvcmp", args, 1, {"--threads=" + std::to_string(threads++)}, cut, whole);
}

TEST_F(Shards, IsocmpShardsWithoutPermutationsJoinIntoTheWholeRun)
{
    const ArgsFor args = isocmp_args(example, "0");
    const Outcome whole = run("isocmp", args, 1, {});
    int threads = 1;
    for (const auto& cut : kExampleCuts)
        expect_shards_join("isocmp", args, 1, {"--threads=" + std::to_string(threads++)}, cut, whole);
    // The comparison streams change nothing without permutations.
    expect_shards_join("isocmp", args, 1, {"--streams=comparison"}, kExampleCuts[0], whole);
}

TEST_F(Shards, LvcmpOwnStreamsGiveTheSameNullsAtAnyThreadCountAndCut)
{
    // The hand-checked dataset, whole.
    const ArgsFor args = lvcmp_args(small, "1");
    const std::vector<std::string> streams = {"--streams=comparison"};
    const Outcome whole = same_at_every_thread_count("lvcmp", args, 1, streams);
    ASSERT_EQ(split_lines(whole.files.at(0)).size(), 18u);
    expect_shards_join("lvcmp", args, 1, {"--streams=comparison", "--threads=2"}, {{1, 1}, {2, 4}, {5, 6}}, whole);
    expect_shards_join("lvcmp", args, 1, {"--streams=comparison", "--threads=4"}, {{1, 5}, {6, 6}}, whole);

    // The example's first eight genes, gene 5's indices on standard output among them.
    const ArgsFor ex = lvcmp_args(example, "1");
    const Outcome first8 = same_at_every_thread_count("lvcmp", ex, 1, {"--streams=comparison", "--genes=1-8"});
    ASSERT_NE(first8.out.body.find("5\n"), std::string::npos);
    expect_shards_join("lvcmp", ex, 1, {"--streams=comparison", "--threads=3"}, {{1, 4}, {5, 5}, {6, 8}}, first8);
}

TEST_F(Shards, IsocmpOwnStreamsGiveTheSameNullsAndDiagnosticsAtAnyThreadCountAndCut)
{
    // The example's first three genes as a table of their own; gene 1's
    // permutations write their diagnostic lines, in permutation order.
    const ArgsFor args = isocmp_args(first3, "1");
    const std::vector<std::string> streams = {"--streams=comparison"};
    const Outcome whole = same_at_every_thread_count("isocmp", args, 1, streams);
    ASSERT_NE(whole.out.body.find("Scream!!!!\n"), std::string::npos);
    expect_shards_join("isocmp", args, 1, {"--streams=comparison", "--threads=2"}, {{1, 1}, {2, 3}}, whole);
    expect_shards_join("isocmp", args, 1, {"--streams=comparison", "--threads=4"}, {{1, 2}, {3, 3}}, whole);

    // The same genes as a shard of the whole example: the genes and exons
    // keep their table numbers, so the streams, and every line, are the same.
    const Outcome shard = run("isocmp", isocmp_args(example, "1"), 1, {"--streams=comparison", "--genes=1-3"});
    EXPECT_EQ(shard.out.head, whole.out.head);
    EXPECT_TRUE(same_text(shard.out.body, whole.out.body));
    EXPECT_TRUE(same_text(shard.files.at(0), whole.files.at(0)));
}

// --- Shards through an index of the reads file ---------------------------

// The example's reads file, as `text`, in the scratch folder with an index of
// every 7th row, so that shards start and end between its offsets; the
// annotation and fits stay the example's.
Fitted indexed_copy(ScratchDir& dir, const Fitted& of, const std::string& tag, const std::string& text)
{
    Fitted f = of;
    f.shared[2] = dir.write(tag + "_reads.txt", text);
    const RunResult r = run_program(program_path("readsindex"), {"--every=7", f.shared[1], f.shared[2]});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return f;
}

void overwrite(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The reads file's lines with field `field` (1-based) of line `line` made `to`.
std::string with_field(const std::string& text, std::size_t line, std::size_t field, const std::string& to)
{
    std::vector<std::string> lines = split_lines(text);
    std::vector<std::string> words = split_words(lines.at(line - 1));
    words.at(field - 1) = to;
    std::string joined;
    for (const std::string& w : words) joined += (joined.empty() ? "" : " ") + w;
    lines[line - 1] = joined;
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

// Every program's shards of the example, run on `copy` (its tables with
// indexes), join into the whole run on the plain example.
void Shards::expect_every_program_joins(const Fitted& copy)
{
    struct Case {
        const char* program;
        ArgsFor whole, indexed;
        int outputs;
    };
    for (const Case& c : {Case{"mfit", mfit_args(example), mfit_args(copy), 3},
                          Case{"lvcmp", lvcmp_args(example, "0"), lvcmp_args(copy, "0"), 1},
                          Case{"isocmp", isocmp_args(example, "0"), isocmp_args(copy, "0"), 1}}) {
        const Outcome whole = run(c.program, c.whole, c.outputs, {});
        for (const auto& cut : kExampleCuts) expect_shards_join(c.program, c.indexed, c.outputs, {}, cut, whole);
    }
}

TEST_F(Shards, ShardsThroughAnIndexJoinIntoTheWholeRun)
{
    const Fitted copy = indexed_copy(*scratch, example, "ix", read_file(example.shared[2]));
    expect_every_program_joins(copy);
}

TEST_F(Shards, ShardThroughAnIndexChecksItsRowsOnlyAndNamesTheFilesLines)
{
    // Gene 20's second row, damaged: the whole read's message names it.
    const std::string text = read_file(example.shared[2]);
    const std::vector<std::string> genes = split_lines(read_file(example.gene_zb));
    const std::vector<std::string> exons = split_lines(read_file(example.shared[4]));
    const std::size_t first_exon = std::stoul(split_words(genes.at(19)).at(1));
    const std::size_t row = std::stoul(split_words(exons.at(first_exon - 1)).at(1)) + 1;
    const std::string inner = with_field(text, row, 5, "x");
    const std::string path = scratch->write("dmg_reads.txt", inner);
    std::vector<std::string> args = mfit_args(example)({scratch->file("d1"), scratch->file("d2"), scratch->file("d3")});
    args[2] = path;
    args.push_back("--genes=20-20");
    const RunResult whole_read = run_program(program_path("mfit"), args);
    ASSERT_EQ(whole_read.status, 2);
    EXPECT_NE(whole_read.err.find("line " + std::to_string(row) + ", field 5"), std::string::npos) << whole_read.err;

    // Row 1 damaged too, and an index: gene 20's shard reads only its own
    // rows, and refuses the same row with the same message.
    ScratchDir dir;
    Fitted copy = indexed_copy(dir, example, "dmg", with_field(inner, 1, 4, "x"));
    args[2] = copy.shared[2];
    const RunResult shard = run_program(program_path("mfit"), args);
    EXPECT_EQ(shard.status, 2);
    std::string want = whole_read.err;
    want.replace(want.find(path), path.size(), copy.shared[2]);
    EXPECT_EQ(shard.err, want);
    // A shard whose rows are sound runs as on the sound file.
    const Outcome sound = run("mfit", mfit_args(example), 3, {"--genes=21-40"});
    const Outcome beside = run("mfit", mfit_args(copy), 3, {"--genes=21-40"});
    EXPECT_EQ(beside.files, sound.files);
}

TEST_F(Shards, IndexThatDoesNotBelongToTheReadsFileIsIgnoredWithAWarning)
{
    const std::string text = read_file(example.shared[2]);
    const Outcome sound = run("mfit", mfit_args(example), 3, {"--genes=5-40"});
    struct Case {
        const char* what;
        std::function<void(const std::string& reads, const std::string& index)> change;
        std::string why;
    };
    const auto edit = [](const std::string& file, const std::string& from, const std::string& to) {
        std::string t = read_file(file);
        t.replace(t.find(from), from.size(), to);
        overwrite(file, t);
    };
    const std::vector<Case> cases = {
        {"same size, other bytes", [&](const std::string& r, const std::string&) { edit(r, "7024", "7025"); },
         "its checksum of the reads file's bytes differs: it was made for another file of the same size"},
        {"other size", [&](const std::string& r, const std::string&) { overwrite(r, text + "\n"); },
         "it was made for a reads file of " + std::to_string(text.size()) + " bytes, this one has " +
             std::to_string(text.size() + 1)},
        {"other conditions", [&](const std::string&, const std::string& i) { edit(i, "conditions 4", "conditions 5"); },
         "it was made for 5 conditions, not 4"},
        {"cut", [&](const std::string&, const std::string& i) {
             std::string t = read_file(i);
             overwrite(i, t.substr(0, t.rfind('\n', t.size() - 2) + 1));
         }, "its offsets are damaged or cut"},
        {"not an index", [&](const std::string&, const std::string& i) { overwrite(i, "hello\n"); },
         "not a reads index of version 1"},
        {"gzip reads", [&](const std::string& r, const std::string&) { overwrite(r, gzipped(text)); },
         "the reads file is gzip-compressed or not a regular file"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const Fitted copy = indexed_copy(dir, example, "st", text);
        const std::string index = copy.shared[2] + ".idx";
        c.change(copy.shared[2], index);
        std::vector<std::string> args = mfit_args(copy)({dir.file("e"), dir.file("g"), dir.file("c")});
        args.push_back("--genes=5-40");
        const RunResult r = run_program(program_path("mfit"), args);
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.err, "mfit: warning: ignoring the index '" + index + "' of reads file '" + copy.shared[2] +
                             "': " + c.why + "; reading the whole reads file\n")
            << c.what;
        EXPECT_EQ(split_stdout(r.out).body, sound.out.body) << c.what;
        EXPECT_EQ((std::vector<std::string>{read_file(dir.file("e")), read_file(dir.file("g")), read_file(dir.file("c"))}),
                  sound.files)
            << c.what;
    }
    // A gzip file gets no index.
    ScratchDir dir;
    const std::string gz = dir.write("reads.txt", gzipped(text));
    const RunResult r = run_program(program_path("readsindex"), {"4", gz});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "readsindex: warning: no index of reads file '" + gz +
                         "': it is not a plain regular file (gzip-compressed data cannot be read from the middle); "
                         "--genes shards will read it whole\n");
    EXPECT_FALSE(file_exists(gz + ".idx"));
}

// --- Shards through indexes of the annotation and the fits ----------------

// The example's five tables in a folder of their own, each text as given
// (the example's by default), with indexes of every 7th row of the reads
// and every 3rd line of the others, so that shards start and end between
// their offsets.
struct IndexedTables {
    std::string reads, exon_zb, gene_zb, gene_re, exon_re;
};

Fitted indexed_tables(ScratchDir& dir, const Fitted& of, IndexedTables text)
{
    const auto or_file = [](std::string& t, const std::string& path) {
        if (t.empty()) t = read_file(path);
    };
    or_file(text.reads, of.shared[2]);
    or_file(text.exon_zb, of.shared[4]);
    or_file(text.gene_zb, of.gene_zb);
    or_file(text.gene_re, of.gene_re);
    or_file(text.exon_re, of.exon_re);
    Fitted f = of;
    f.shared[2] = dir.write("reads.txt", text.reads);
    f.shared[4] = dir.write("exon_zb.txt", text.exon_zb);
    f.shared[6] = f.gene_zb = dir.write("gene_zb.txt", text.gene_zb);
    f.gene_re = dir.write("gene_re.txt", text.gene_re);
    f.exon_re = dir.write("exon_re.txt", text.exon_re);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--every=7", f.shared[1], f.shared[2]},
          std::vector<std::string>{"--tables", "--every=3", f.shared[4], f.gene_zb, f.gene_re, f.exon_re}}) {
        const RunResult r = run_program(program_path("readsindex"), args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
    return f;
}

TEST_F(Shards, ShardsThroughEveryIndexJoinIntoTheWholeRun)
{
    ScratchDir dir;
    const Fitted copy = indexed_tables(dir, example, {});
    for (const std::string& table : {copy.shared[4], copy.gene_zb, copy.gene_re, copy.exon_re})
        ASSERT_TRUE(file_exists(table + ".idx")) << table;
    expect_every_program_joins(copy);
}

TEST_F(Shards, ShardThroughTheIndexesChecksItsLinesOnlyAndNamesTheFilesLines)
{
    // Gene 20 and its first exon, on their lines of each table.
    const std::vector<std::string> genes = split_lines(read_file(example.gene_zb));
    const std::size_t gene = 20, exon = std::stoul(split_words(genes.at(gene - 1)).at(1));
    const std::string exon_zb = read_file(example.shared[4]), gene_zb = read_file(example.gene_zb);
    struct Case {
        const char* what;
        const char* program;
        std::function<void(IndexedTables&)> damage;
    };
    const std::vector<Case> cases = {
        {"exon_zb", "mfit", [&](IndexedTables& t) { t.exon_zb = with_field(exon_zb, exon, 4, "-3"); }},
        {"gene_zb", "mfit", [&](IndexedTables& t) { t.gene_zb = with_field(gene_zb, gene, 2, "x"); }},
        // Found too short only once its exons are read.
        {"gene_zb length", "mfit", [&](IndexedTables& t) { t.gene_zb = with_field(gene_zb, gene, 4, "1"); }},
        // The exons of gene 20 start one late: out of order where a whole
        // read finds it too, the exon before belonging to no gene.
        {"gene_zb order", "isocmp",
         [&](IndexedTables& t) { t.gene_zb = with_field(gene_zb, gene, 2, std::to_string(exon + 1)); }},
        {"gene_re", "isocmp",
         [&](IndexedTables& t) { t.gene_re = with_field(read_file(example.gene_re), gene, 5, "2"); }},
        {"exon_re", "isocmp",
         [&](IndexedTables& t) { t.exon_re = with_field(read_file(example.exon_re), exon, 4, "nan?"); }},
    };
    for (const Case& c : cases) {
        const auto args_of = [&](const Fitted& f, const std::string& genes_option) {
            std::vector<std::string> outs = {scratch->file("dd1"), scratch->file("dd2"), scratch->file("dd3")};
            std::vector<std::string> args = c.program == std::string("mfit") ? mfit_args(f)(outs) : isocmp_args(f, "0")(outs);
            args.push_back(genes_option);
            return args;
        };
        IndexedTables text;
        c.damage(text);
        // A whole run reads the damaged line whatever its shard.
        ScratchDir plain;
        const Fitted p = indexed_tables(plain, example, text);
        for (const std::string& table : {p.shared[2], p.shared[4], p.gene_zb, p.gene_re, p.exon_re})
            std::remove((table + ".idx").c_str());
        const RunResult whole = run_program(program_path(c.program), args_of(p, "--genes=21-40"));
        ASSERT_EQ(whole.status, 2) << c.what << ": " << whole.err;
        // Through the indexes, gene 20's shard refuses the same line with the
        // same message; a shard that starts past the next offset (line 22 of
        // gene_zb) does not read it and runs as on the sound tables.
        ScratchDir dir;
        const Fitted f = indexed_tables(dir, example, text);
        const RunResult shard = run_program(program_path(c.program), args_of(f, "--genes=18-20"));
        EXPECT_EQ(shard.status, 2) << c.what;
        std::string want = whole.err;
        want.replace(want.find(plain.path()), plain.path().size(), dir.path());
        EXPECT_EQ(shard.err, want) << c.what;
        const RunResult beside = run_program(program_path(c.program), args_of(f, "--genes=23-40"));
        const RunResult sound = run_program(program_path(c.program), args_of(example, "--genes=23-40"));
        EXPECT_EQ(beside.status, 0) << c.what << ": " << beside.err;
        EXPECT_EQ(beside.err, "") << c.what;
        EXPECT_EQ(beside.out, sound.out) << c.what;
    }
}

TEST_F(Shards, ShardThroughTheIndexesChecksTheExonOrderWhereItMeetsTheGenesBefore)
{
    // Gene 22's line is one the index points at (every 3rd): its shard reads
    // back to a gene with exons, past genes whose ranges are empty, to see
    // that its exons follow theirs, and refuses as a whole run does.
    const std::string gene_zb = read_file(example.gene_zb);
    const std::vector<std::string> genes = split_lines(gene_zb);
    const auto first_exon = [&](std::size_t g) { return std::stoul(split_words(genes.at(g - 1)).at(1)); };
    const auto emptied = [&](std::string text, std::size_t g) {
        return with_field(text, g, 3, std::to_string(first_exon(g) - 1));
    };
    for (const std::string& text : {with_field(gene_zb, 22, 2, std::to_string(first_exon(22) + 1)),
                                    emptied(emptied(emptied(gene_zb, 19), 20), 21)}) {
        ScratchDir plain, dir;
        const std::string whole_path = plain.write("gene_zb.txt", text);
        std::vector<std::string> args = isocmp_args(example, "0")({plain.file("o")});
        args[6] = whole_path;
        const RunResult whole = run_program(program_path("isocmp"), args);
        ASSERT_EQ(whole.status, 2);
        const Fitted f = indexed_tables(dir, example, {"", "", text, "", ""});
        std::vector<std::string> shard_args = isocmp_args(f, "0")({dir.file("o")});
        shard_args.push_back("--genes=22-40");
        const RunResult shard = run_program(program_path("isocmp"), shard_args);
        EXPECT_EQ(shard.status, 2);
        std::string want = whole.err;
        want.replace(want.find(plain.path()), plain.path().size(), dir.path());
        EXPECT_EQ(shard.err, want);
    }
}

TEST_F(Shards, FitsThatDoNotMatchTheTablesAreReadWholeAndRefused)
{
    // mfit's gene_re and exon_re of the example's first 13 genes, and of the
    // first three genes' table of four conditions with one dropped: a shard
    // given them warns that their index does not fit, reads them whole and
    // refuses them as a whole run does.
    ScratchDir fits;
    std::vector<std::string> outs = {fits.file("e"), fits.file("g"), fits.file("c")};
    std::vector<std::string> args = mfit_args(example)(outs);
    args.push_back("--genes=1-13");
    ASSERT_EQ(run_program(program_path("mfit"), args).status, 0);
    const std::string example_genes = read_file(example.gene_re);
    std::string three_conditions;
    for (const std::string& line : split_lines(example_genes)) {
        const std::vector<std::string> w = split_words(line);
        for (std::size_t k = 0; k + 4 < w.size(); ++k) three_conditions += (k ? " " : "") + w[k];
        three_conditions += "\n";
    }
    struct Case {
        const char* what;
        IndexedTables text;
        std::string file, why;
    };
    const std::vector<Case> cases = {
        {"a shard's gene_re", {"", "", "", read_file(outs[1]), ""}, "gene_re", "it holds 13 lines, fewer than num_genes = 40"},
        {"a shard's exon_re", {"", "", "", "", read_file(outs[0])}, "exon_re",
         "it holds " + std::to_string(split_lines(read_file(outs[0])).size()) + " lines, fewer than num_exons = 391"},
        {"three conditions", {"", "", "", three_conditions, ""}, "gene_re", "it was made for lines of 14 fields, not 18"},
    };
    for (const Case& c : cases) {
        ScratchDir plain, dir;
        const Fitted p = indexed_tables(plain, example, c.text);
        const std::string unindexed = (c.file == "gene_re" ? p.gene_re : p.exon_re) + ".idx";
        std::remove(unindexed.c_str());
        const Fitted f = indexed_tables(dir, example, c.text);
        const auto with_genes = [](std::vector<std::string> a) {
            a.push_back("--genes=5-6");
            return a;
        };
        const RunResult whole = run_program(program_path("isocmp"), with_genes(isocmp_args(p, "0")({plain.file("o")})));
        const RunResult shard = run_program(program_path("isocmp"), with_genes(isocmp_args(f, "0")({dir.file("o")})));
        ASSERT_EQ(whole.status, 2) << c.what;
        EXPECT_EQ(shard.status, 2) << c.what;
        const std::string file = c.file == "gene_re" ? f.gene_re : f.exon_re;
        std::string want = whole.err;
        want.replace(want.find(plain.path()), plain.path().size(), dir.path());
        EXPECT_EQ(shard.err, "isocmp: warning: ignoring the index '" + file + ".idx' of " + c.file + " file '" + file +
                                 "': " + c.why + "; reading the whole " + c.file + " file\n" + want)
            << c.what;
    }
}

// The lines of `whole_file` whose gene id (field `field`, 0-based) is one of `ids`.
std::string lines_of_genes(const std::string& whole_file, std::size_t field, const std::set<std::string>& ids)
{
    std::string kept;
    for (const std::string& line : split_lines(whole_file)) {
        const std::vector<std::string> words = split_words(line);
        if (field < words.size() && ids.count(words[field]) != 0) kept += line + "\n";
    }
    return kept;
}

// The per-gene lines of standard output up to those of gene `last`.
std::string stdout_up_to_gene(const std::string& body, int last)
{
    std::string kept;
    for (const std::string& line : split_lines(body)) {
        const bool number =
            !line.empty() && std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isdigit(c); });
        if (number && std::stol(line) > last) break;
        kept += line + "\n";
    }
    return kept;
}

std::set<std::string> first_gene_ids(const std::string& gene_zb, int count)
{
    std::set<std::string> ids;
    for (const std::string& line : split_lines(read_file(gene_zb))) {
        if (static_cast<int>(ids.size()) == count) break;
        ids.insert(line.substr(0, line.find(' ')));
    }
    return ids;
}

TEST_F(Shards, SingleStreamShardFromGeneOneIsTheStartOfTheWholeRun)
{
    struct Case {
        const char* program;
        ArgsFor args;
        const Fitted* data;
        std::size_t gene_field;
        std::vector<int> lasts;
    };
    const std::vector<Case> cases = {
        {"lvcmp", lvcmp_args(small, "1"), &small, 0, {1, 4, 6}},
        {"isocmp", isocmp_args(first3, "1"), &first3, 1, {1, 2}},
    };
    for (const Case& c : cases) {
        const Outcome whole = run(c.program, c.args, 1, {"--threads=2"});
        for (int last : c.lasts) {
            const Outcome shard = run(c.program, c.args, 1, {"--genes=1-" + std::to_string(last), "--threads=2"});
            const std::string want = lines_of_genes(whole.files.at(0), c.gene_field, first_gene_ids(c.data->gene_zb, last));
            ASSERT_FALSE(want.empty());
            EXPECT_EQ(whole.files.at(0).substr(0, want.size()), want) << c.program << ": genes in table order";
            EXPECT_TRUE(same_text(shard.files.at(0), want)) << c.program << " --genes=1-" << last;
            EXPECT_EQ(shard.out.head, whole.out.head) << c.program;
            EXPECT_TRUE(same_text(shard.out.body, stdout_up_to_gene(whole.out.body, last)))
                << c.program << " --genes=1-" << last;
        }
    }
}

// A line's fields.
std::string without_diagnostics(const std::string& body)
{
    std::string kept;
    for (const std::string& line : split_lines(body))
        if (line != "Scream!!!!" && line != "Crap") kept += line + "\n";
    return kept;
}

TEST_F(Shards, OwnStreamsChangeThePermutationFieldsAndNothingElse)
{
    struct Case {
        const char* program;
        ArgsFor args;
        int tests; // the comparisons with a permutation test
    };
    for (const Case& c : {Case{"lvcmp", lvcmp_args(small, "1"), 8}, Case{"isocmp", isocmp_args(first3, "1"), 76}}) {
        const Outcome single = run(c.program, c.args, 1, {"--threads=2"});
        const Outcome named = run(c.program, c.args, 1, {"--streams=run", "--threads=2"});
        const Outcome own = run(c.program, c.args, 1, {"--streams=comparison", "--threads=2"});
        // --streams=run is the default.
        EXPECT_EQ(named.files, single.files) << c.program;
        EXPECT_TRUE(same_text(named.out.body, single.out.body)) << c.program;

        const std::vector<std::string> a = split_lines(single.files.at(0)), b = split_lines(own.files.at(0));
        ASSERT_EQ(a.size(), b.size()) << c.program;
        int tested = 0;
        for (std::size_t k = 0; k < a.size(); ++k) {
            std::vector<std::string> fa = split_words(a[k]), fb = split_words(b[k]);
            ASSERT_EQ(fa.size(), fb.size()) << c.program << " line " << k + 1;
            ASSERT_GE(fa.size(), 3u);
            const std::vector<std::string> null_a(fa.end() - 2, fa.end()), null_b(fb.end() - 2, fb.end());
            fa.resize(fa.size() - 2);
            fb.resize(fb.size() - 2);
            EXPECT_EQ(fa, fb) << c.program << " line " << k + 1;
            // A comparison without a test has no null in either; every test
            // draws other permutations from its own stream than from the run's.
            if (null_a == std::vector<std::string>{"-1", "-1"}) {
                EXPECT_EQ(null_b, null_a) << c.program << " line " << k + 1;
            } else {
                ++tested;
                EXPECT_NE(null_b, null_a) << c.program << " line " << k + 1 << ": " << b[k];
            }
        }
        EXPECT_EQ(tested, c.tests) << c.program;
        EXPECT_EQ(own.out.head, single.out.head) << c.program;
        EXPECT_EQ(without_diagnostics(own.out.body), without_diagnostics(single.out.body)) << c.program;
    }
}

// --- Refusals -------------------------------------------------------------

std::vector<std::string> example_args(const std::string& program, const std::string& scratch, const char* permute)
{
    const std::string ex = std::string(TEST_DATA_DIR) + "/../../examples/";
    std::vector<std::string> args = {"5983", "4", ex + "reads.txt", "391", ex + "exon_zb.txt", "40", ex + "gene_zb.txt"};
    // The fits' contents do not matter: the refusals come before they are read.
    const std::string fits = ex + "gtt.txt";
    if (program == "mfit") {
        for (const char* out : {"/e", "/g", "/c"}) args.push_back(scratch + out);
    } else if (program == "lvcmp") {
        for (const std::string& a : {fits, fits, ex + "gtt.txt", scratch + "/o", std::string(permute), std::string("-81079")})
            args.push_back(a);
    } else {
        for (const std::string& a : {fits, fits, scratch + "/o", std::string(permute), std::string("-81079")})
            args.push_back(a);
    }
    return args;
}

void expect_refusal(const std::string& program, const std::vector<std::string>& args, const std::string& message)
{
    const RunResult r = run_program(program_path(program), args);
    std::string shown;
    for (const std::string& a : args)
        if (a.rfind("--", 0) == 0) shown += " " + a;
    EXPECT_EQ(r.status, 2) << program << shown;
    EXPECT_EQ(r.out, "") << program << shown;
    EXPECT_EQ(r.err, program + ": " + message + "\n") << program << shown;
}

TEST(ShardOptions, RefusesGeneRangesThatAreNotRanges)
{
    for (const char* value : {"0-3", "5-2", "x", "5-", "-3", "3", "1-2-3", "", " 1-2", "1--2", "99999999999-99999999999"}) {
        const std::string option = std::string("--genes=") + value;
        for (const char* program : {"mfit", "lvcmp", "isocmp"})
            expect_refusal(program, {option, "--help"},
                           std::string("--genes expects FIRST-LAST, two gene numbers from 1 with FIRST at most LAST, "
                                       "found '") + value + "'");
    }
}

TEST(ShardOptions, RefusesRangesBeyondTheTable)
{
    ScratchDir tmp;
    for (const char* program : {"mfit", "lvcmp", "isocmp"}) {
        for (const char* range : {"5-100", "41-41", "40-41"}) {
            std::vector<std::string> args = example_args(program, tmp.path(), "0");
            args.push_back(std::string("--genes=") + range);
            expect_refusal(program, args,
                           std::string("--genes=") + range + " reaches beyond the table's 40 genes (num_genes)");
        }
    }
}

TEST(ShardOptions, SingleStreamPermutationsRefuseAShardAfterGeneOne)
{
    ScratchDir tmp;
    for (const char* program : {"lvcmp", "isocmp"}) {
        for (const std::vector<std::string>& options :
             {std::vector<std::string>{"--genes=5-10"}, {"--streams=run", "--genes=5-10"},
              {"--streams=comparison", "--streams=run", "--genes=5-10"}}) {
            std::vector<std::string> args = example_args(program, tmp.path(), "1");
            args.insert(args.end(), options.begin(), options.end());
            expect_refusal(program, args,
                           "--genes=5-10 with the permutation tests needs --streams=comparison: the run's single "
                           "stream starts at gene 1");
        }
        // Beyond the table is told first.
        std::vector<std::string> args = example_args(program, tmp.path(), "1");
        args.push_back("--genes=5-100");
        expect_refusal(program, args, "--genes=5-100 reaches beyond the table's 40 genes (num_genes)");
    }
}

TEST(ShardOptions, RefusesStreamsOtherThanRunOrComparison)
{
    for (const char* value : {"foo", "", "Comparison", "run ", "comparisons"}) {
        for (const char* program : {"lvcmp", "isocmp"})
            expect_refusal(program, {std::string("--streams=") + value, "--help"},
                           std::string("--streams expects run or comparison, found '") + value + "'");
    }
}

TEST(ShardOptions, MfitTakesNoStreamsOptionSoItCountsAsAnArgument)
{
    ScratchDir tmp;
    std::vector<std::string> args = example_args("mfit", tmp.path(), "0");
    std::vector<std::string> extra = args;
    args.push_back("--streams=comparison");
    extra.push_back("extra");
    const RunResult r = run_program(program_path("mfit"), args, "");
    const RunResult plain = run_program(program_path("mfit"), extra, "");
    const std::vector<std::string> lines = split_lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "You have entered the wrong number of arguments. Please enter the arguments interactively."
                        "Please type ./mfit.out --help for the argument list");
    EXPECT_EQ(r.status, plain.status);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(r.err, plain.err);
    // No file was opened: the prompts stopped at the end of standard input.
    EXPECT_FALSE(file_exists(tmp.file("e")));
}

} // namespace
