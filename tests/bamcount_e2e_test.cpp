// bamcount end to end: tiny SAM files, written as BAM here with htslib, and
// a hand-made annotation; the count tables checked whole against counts
// worked out by hand for every strand protocol, the filters by flag,
// mapping quality and NH, a pair counted once, reads starting outside the
// exons and on genes of both strands; genes on three chromosomes that each
// file lists in an order of its own, counted at 5' ends and as coverage.
// Then the whole pipeline on the output, run from the command lines it
// prints. Genes split across chromosomes, annotations whose genes hold no
// exon, and the conditions' names.
#include "tests/support/alignments.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string gtf_exon(int start, int end, char strand, const std::string& gene, const std::string& transcript,
                     const std::string& chromosome = "chr1")
{
    return chromosome + "\ttest\texon\t" + std::to_string(start) + "\t" + std::to_string(end) + "\t.\t" + strand +
           "\t.\tgene_id \"" + gene + "\"; transcript_id \"" + transcript + "\"; gene_name \"" + gene + "_name\";\n";
}

// GP (+): 101-110, 121-130; GM (-): 201-210; GB (+): 301-310 and GC (-):
// 305-315, which share 305-310 on opposite strands.
const std::string kAnnotation = gtf_exon(101, 110, '+', "GP", "p1") + gtf_exon(121, 130, '+', "GP", "p1") +
                                gtf_exon(201, 210, '-', "GM", "m1") + gtf_exon(301, 310, '+', "GB", "b1") +
                                gtf_exon(305, 315, '-', "GC", "c1");

// bamcount's warning when no gene has reads in every condition.
const std::string kNoCommonGene =
    "bamcount: warning: no gene has reads in every condition, so size_factors.txt holds the counted totals, as "
    "gtt.txt\n";

const std::string kHeader = "@HD\tVN:1.6\tSO:coordinate\n@SQ\tSN:chr1\tLN:1000\n";

std::string record(const std::string& name, int flag, int pos, int mapq, const std::string& extra = "",
                   const std::string& mate = "*\t0\t0", const std::string& chromosome = "chr1")
{
    const bool unmapped = flag & 4;
    return name + "\t" + std::to_string(flag) + "\t" + (unmapped ? "*" : chromosome) + "\t" + std::to_string(pos) +
           "\t" + std::to_string(mapq) + "\t" + (unmapped ? "*" : "10M") + "\t" + mate + "\t*\t*" + extra + "\n";
}

// Condition 1: every kind of record once.
const std::string kCondition1 = kHeader +
                                record("fwd_at_101", 0, 101, 60) +         // 5' end 101, GP
                                record("rev_ending_110", 16, 101, 60) +    // 5' end 110, GP
                                record("low_quality", 0, 101, 5) +         // 5' end 101 when no minimum
                                record("two_places", 0, 101, 60, "\tNH:i:2") +
                                record("secondary", 256, 101, 60) + record("duplicate", 1024, 101, 60) +
                                record("qc_failed", 512, 101, 60) + record("supplementary", 2048, 101, 60) +
                                record("in_intron", 0, 111, 60) +          // 5' end 111: no exon
                                record("pair", 99, 121, 60, "", "=\t125\t14") +  // first mate, 5' end 121
                                record("pair", 147, 125, 60, "", "=\t121\t-14") + // its second mate
                                record("rev_ending_204", 16, 195, 60) +    // 5' end 204, GM (-)
                                record("both_strands", 0, 306, 60) +       // 306: GB (+) and GC (-)
                                record("unmapped", 4, 0, 0);

// Condition 2: one read on GP and one whose 5' end is only in GC.
const std::string kCondition2 = kHeader + record("fwd_at_101", 0, 101, 60) + record("rev_ending_315", 16, 306, 60);

struct Output {
    RunResult run;
    std::string reads, exon_zb, gene_zb, gtt, summary, features, conditions, size_factors;
};

// Runs bamcount on `annotation` and, as conditions 1 and 2, the SAM texts
// written as c1.bam and c2.bam, into the folder `out` of `dir`; reads every
// table it writes.
Output run_bamcount(const ScratchDir& dir, const std::vector<std::string>& options,
                    const std::string& annotation = kAnnotation, const std::string& condition1 = kCondition1,
                    const std::string& condition2 = kCondition2, const std::string& out_name = "out")
{
    std::vector<std::string> args = {"--gtf", dir.write("genes.gtf", annotation), "--out", dir.file(out_name)};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(write_alignments(dir, "c1", condition1));
    args.push_back(write_alignments(dir, "c2", condition2));
    Output o;
    o.run = run_program(program_path("bamcount"), args);
    const std::string out = dir.file(out_name + "/");
    for (auto [field, name] : {std::pair{&Output::reads, "reads.txt"}, {&Output::exon_zb, "exon_zb.txt"},
                               {&Output::gene_zb, "gene_zb.txt"}, {&Output::gtt, "gtt.txt"},
                               {&Output::summary, "summary.tsv"}, {&Output::features, "features.tsv"},
                               {&Output::conditions, "conditions.tsv"}, {&Output::size_factors, "size_factors.txt"}})
        if (file_exists(out + name)) o.*field = read_file(out + name);
    return o;
}

// The folder of the built programs as bamcount finds its own.
std::string bin_folder() { return std::filesystem::canonical(program_path("bamcount")).parent_path().string(); }

const std::string kNextStepsNotes =
    "# For the permutation nulls, set the 0 of lvcmp and isocmp to 1.\n"
    "# Where a few genes take much of a condition's reads, give lvcmp size_factors.txt in place of gtt.txt;\n"
    "# sigtable --tables finds which of the two lvcmp was given.\n";

// The command lines bamcount prints for tables in `out` (a plain path)
// of the given sizes, and the notes after them; `design`: for tables with
// design.tsv.
std::string next_steps(const std::string& out, const std::string& sizes, bool design = false)
{
    const std::string b = bin_folder() + "/", o = out + "/";
    std::istringstream n(sizes);
    std::string reads, conditions, exons, genes;
    n >> reads >> conditions >> exons >> genes;
    const std::string tables = " " + reads + " " + conditions + " " + o + "reads.txt " + exons + " " + o +
                               "exon_zb.txt " + genes + " " + o + "gene_zb.txt ";
    auto sigtable = [&](const std::string& kind, const std::string& table) {
        return b + "sigtable --stats " + o + kind + "_re.txt" + (design ? " --design " + o + "design.tsv" : "") +
               " --tables " + out + " --out " + o + table + ".tsv --sort --plots " + o + "plots_" +
               (design ? table : kind) + "\n";
    };
    return "next steps:\n" + b + "mfit" + tables + o + "exon_re.txt " + o + "gene_re.txt " + o + "chisq_re.txt\n" +
           b + "lvcmp" + tables + o + "gene_re.txt " + o + "exon_re.txt " + o + "gtt.txt " + o +
           "lvcmp_re.txt 0 -81079\n" + b + "isocmp" + tables + o + "gene_re.txt " + o + "exon_re.txt " + o +
           "isocmp_re.txt 0 -81079\n" + sigtable("lvcmp", design ? "genes_by_condition" : "lvcmp_table") +
           sigtable("isocmp", design ? "exons_by_condition" : "isocmp_table") + kNextStepsNotes +
           (design ? "# Without --design, sigtable compares every pair of samples instead of the design's "
                     "conditions.\n"
                   : "# sigtable ranks by the calibrated p-value in each pair of conditions with at least 200 "
                     "tests, by the\n# plain one elsewhere, and says which.\n");
}

} // namespace

TEST(Bamcount, UnstrandedCountsEveryKindOfRecordAsWorkedOut)
{
    ScratchDir dir;
    const Output o = run_bamcount(dir, {"--threads", "2"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.reads, "1 101 1 2 1\n"  // fwd_at_101 and low_quality; condition 2's read
                       "1 110 1 1 0\n"  // rev_ending_110
                       "1 121 1 1 0\n"  // the pair, once
                       "1 204 -1 1 0\n" // rev_ending_204
                       "1 315 -1 0 1\n");
    EXPECT_EQ(o.exon_zb, "1 1 2 10\n2 3 3 10\n3 4 4 10\n4 5 4 10\n5 5 5 11\n"); // GB's part has no rows
    EXPECT_EQ(o.gene_zb, "1 1 2 20\n2 3 3 10\n3 4 4 10\n4 5 5 11\n");
    EXPECT_EQ(o.gtt, "5 5\n2 2\n");
    // Only GP has reads in both (4 and 1, geometric mean 2): ratios 2 and
    // 0.5 times the mean counted total 3.5.
    EXPECT_EQ(o.size_factors, "7.000000 7.000000\n1.750000 1.750000\n");
    const std::string c1 = dir.file("c1.bam"), c2 = dir.file("c2.bam");
    EXPECT_EQ(o.summary, "records\t" + c1 + "\t" + c2 +
                             "\nassigned\t5\t2\nno_feature\t1\t0\nambiguous_strand\t1\t0\nlow_mapping_quality\t0\t0\n"
                             "multi_mapping\t1\t0\nsecondary\t1\t0\nsupplementary\t1\t0\nduplicate\t1\t0\n"
                             "qc_failed\t1\t0\nunmapped\t1\t0\nsecond_mate\t1\t0\ncounted\t5\t2\n");
    EXPECT_EQ(o.features, "kind\tindex\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\tgene_index\tlength\n"
                          "exon\t1\tGP\tGP_name\tchr1\t101\t110\t+\tp1\t1\t10\n"
                          "exon\t2\tGP\tGP_name\tchr1\t121\t130\t+\tp1\t1\t10\n"
                          "gene\t1\tGP\tGP_name\tchr1\t101\t130\t+\tp1\t1\t20\n"
                          "exon\t3\tGM\tGM_name\tchr1\t201\t210\t-\tm1\t2\t10\n"
                          "gene\t2\tGM\tGM_name\tchr1\t201\t210\t-\tm1\t2\t10\n"
                          "exon\t4\tGB\tGB_name\tchr1\t301\t310\t+\tb1\t3\t10\n"
                          "gene\t3\tGB\tGB_name\tchr1\t301\t310\t+\tb1\t3\t10\n"
                          "exon\t5\tGC\tGC_name\tchr1\t305\t315\t-\tc1\t4\t11\n"
                          "gene\t4\tGC\tGC_name\tchr1\t305\t315\t-\tc1\t4\t11\n");
    EXPECT_EQ(o.conditions, "condition\tname\tfile\n1\tc1\t" + c1 + "\n2\tc2\t" + c2 + "\n");
    // The summary, a column per condition headed by its name, and the
    // ready-to-run command lines with the four sizes.
    EXPECT_EQ(o.run.out, "records                                c1             c2\n"
                         "assigned                                5              2\n"
                         "no_feature                              1              0\n"
                         "ambiguous_strand                        1              0\n"
                         "low_mapping_quality                     0              0\n"
                         "multi_mapping                           1              0\n"
                         "secondary                               1              0\n"
                         "supplementary                           1              0\n"
                         "duplicate                               1              0\n"
                         "qc_failed                               1              0\n"
                         "unmapped                                1              0\n"
                         "second_mate                             1              0\n"
                         "counted                                 5              2\n"
                         "\n" +
                             next_steps(dir.file("out"), "5 2 5 4"));
    EXPECT_EQ(o.run.err, "");
}

// Five one-exon genes; condition 1 is dominated by G1. Counts (c1, c2) and
// each gene's ratios to its geometric mean:
//   G1 (90, 10): 3, 1/3    G2 (2, 8): 1/2, 2    G3 (4, 4): 1, 1
//   G4 (3, 12): 1/2, 2     G5 (0, 5): not read in condition 1, left out
// Medians of four: (1/2 + 1) / 2 = 0.75 and (1 + 2) / 2 = 1.5; the counted
// totals 99 and 39 have the mean 69, so the totals are 51.75 and 103.5:
// condition 2 is twice as deep, where the counted totals say 0.39 times.
TEST(Bamcount, SizeFactorsAreMediansOfRatiosOnTheScaleOfReads)
{
    std::string annotation;
    for (int g = 1; g <= 5; ++g)
        annotation += gtf_exon(100 * g + 1, 100 * g + 10, '+', "G" + std::to_string(g), "t" + std::to_string(g));
    const auto reads = [](std::vector<int> per_gene) {
        std::string sam = kHeader;
        for (std::size_t g = 0; g < per_gene.size(); ++g)
            for (int i = 0; i < per_gene[g]; ++i)
                sam += record("g" + std::to_string(g + 1) + "_" + std::to_string(i), 0,
                              100 * static_cast<int>(g + 1) + 1 + i % 10, 60);
        return sam;
    };
    ScratchDir dir;
    const Output o = run_bamcount(dir, {}, annotation, reads({90, 2, 4, 3, 0}), reads({10, 8, 4, 12, 5}));
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.gtt, "99 99\n39 39\n");
    EXPECT_EQ(o.size_factors, "51.750000 51.750000\n103.500000 103.500000\n");
    EXPECT_EQ(o.run.err, "");

    // Three genes, an odd count: G1, G2 and G3 give medians 1 and 1.
    const Output odd = run_bamcount(dir, {}, annotation, reads({90, 2, 4, 0, 0}), reads({10, 8, 4, 0, 0}), "odd");
    ASSERT_EQ(odd.run.status, 0) << odd.run.err;
    EXPECT_EQ(odd.size_factors, "59.000000 59.000000\n59.000000 59.000000\n");

    // No gene read in both conditions: the counted totals, and one warning.
    const Output apart = run_bamcount(dir, {}, annotation, reads({7, 0, 0, 0, 0}), reads({0, 3, 0, 0, 0}), "apart");
    ASSERT_EQ(apart.run.status, 0) << apart.run.err;
    EXPECT_EQ(apart.size_factors, "7.000000 7.000000\n3.000000 3.000000\n");
    EXPECT_EQ(apart.run.err, kNoCommonGene);
}

TEST(Bamcount, StrandProtocolsPickTheGenesOfTheImpliedStrand)
{
    {
        ScratchDir dir;
        const Output o = run_bamcount(dir, {"--strand", "forward"});
        ASSERT_EQ(o.run.status, 0) << o.run.err;
        // rev_ending_110 implies '-': not GP. both_strands is forward: GB.
        EXPECT_EQ(o.reads, "1 101 1 2 1\n1 121 1 1 0\n1 204 -1 1 0\n1 306 1 1 0\n1 315 -1 0 1\n");
    }
    {
        ScratchDir dir;
        const Output o = run_bamcount(dir, {"--strand=reverse"});
        ASSERT_EQ(o.run.status, 0) << o.run.err;
        // Only reads implying the opposite strand: rev_ending_110 on GP,
        // both_strands on GC; condition 2's reverse read implies '+' (none).
        EXPECT_EQ(o.reads, "1 110 1 1 0\n1 306 -1 1 0\n");
    }
}

TEST(Bamcount, FiltersFollowTheirOptions)
{
    ScratchDir dir;
    const Output o = run_bamcount(dir, {"--min-mapq", "10", "--multi", "--keep-duplicates"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    // low_quality is skipped now; two_places and duplicate count at 101.
    EXPECT_EQ(o.reads.substr(0, o.reads.find('\n')), "1 101 1 3 1");
    EXPECT_NE(o.summary.find("low_mapping_quality\t1\t0\n"), std::string::npos) << o.summary;
}

TEST(Bamcount, CoverageCountsEveryAlignedBase)
{
    ScratchDir dir;
    const Output o = run_bamcount(dir, {"--coverage", "--strand", "forward"});
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    // Every base of GP's first part is covered by fwd_at_101 and low_quality
    // in condition 1 and by fwd_at_101 in condition 2.
    int covered = 0;
    for (const std::string& line : split_lines(o.reads)) {
        std::istringstream fields(line);
        int chromosome = 0, position = 0, strand = 0, c1 = 0, c2 = 0;
        fields >> chromosome >> position >> strand >> c1 >> c2;
        if (position >= 101 && position <= 110) {
            EXPECT_EQ(c1, 2) << line;
            EXPECT_EQ(c2, 1) << line;
            ++covered;
        }
    }
    EXPECT_EQ(covered, 10) << o.reads;
    // Both mates of the pair cover 125-130; the second mate's reverse
    // strand stands for the forward fragment.
    EXPECT_NE(o.reads.find("\n1 125 1 2 0\n"), std::string::npos) << o.reads;
    EXPECT_NE(o.reads.find("\n1 121 1 1 0\n"), std::string::npos) << o.reads;
}

TEST(Bamcount, RefusesWhatItCannotUse)
{
    ScratchDir dir;
    const std::string gtf = dir.write("genes.gtf", kAnnotation);
    const std::string other = write_alignments(dir, "other", "@HD\tVN:1.6\n@SQ\tSN:1\tLN:1000\n" + record("r", 0, 101, 60));
    const RunResult names = run_program(program_path("bamcount"), {"--gtf", gtf, "--out", dir.file("o"), other});
    EXPECT_EQ(names.status, 2);
    EXPECT_NE(names.err.find("none of its 1 reference names (1) is a chromosome of the annotation"), std::string::npos)
        << names.err;

    const RunResult missing = run_program(program_path("bamcount"), {"--gtf", gtf, "--out", dir.file("o"), dir.file("no.bam")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("bamcount: cannot open alignment file", 0), 0u) << missing.err;

    const RunResult strand = run_program(program_path("bamcount"), {"--gtf", gtf, "--out", dir.file("o"), "--strand", "up", other});
    EXPECT_EQ(strand.status, 2);
    EXPECT_EQ(strand.err, "bamcount: --strand expects unstranded, forward or reverse, found 'up' (see bamcount --help)\n");
    // Every switch is known, and takes no value.
    for (const std::string option : {"--multi", "--keep-duplicates", "--coverage", "--no-merge", "--refuse-split-genes"}) {
        const RunResult valued = run_program(program_path("bamcount"), {"--gtf", gtf, "--out", dir.file("o"), option + "=1", other});
        EXPECT_EQ(valued.status, 2);
        EXPECT_EQ(valued.err, "bamcount: " + option + " takes no value (see bamcount --help)\n");
    }

    const RunResult help = run_program(program_path("bamcount"), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, read_file(std::string(TEST_DATA_DIR) + "/texts/bamcount_help.txt"));
    const RunResult short_form = run_program(program_path("bamcount"), {"-h"});
    EXPECT_EQ(short_form.status, 0);
    EXPECT_EQ(short_form.out, help.out);
}

TEST(Bamcount, NeverOverwritesAnInputNorLosesItsSummary)
{
    ScratchDir dir;
    // The annotation kept in the output folder under a table's name.
    ASSERT_EQ(run_program("/bin/mkdir", {dir.file("out")}).status, 0);
    const std::string gtf = dir.write("out/gene_zb.txt", kAnnotation);
    const std::string bam = write_alignments(dir, "c1", kCondition1);
    const RunResult alias = run_program(program_path("bamcount"), {"--gtf", gtf, "--out", dir.file("out"), bam});
    EXPECT_EQ(alias.status, 2);
    EXPECT_EQ(alias.err, "bamcount: gene_zb file '" + gtf + "' is the same file as annotation file '" + gtf +
                             "': give each output a name of its own, apart from the inputs\n");
    EXPECT_EQ(read_file(gtf), kAnnotation);
    const std::string kept = dir.write("out/size_factors.txt", kAnnotation);
    const RunResult factors = run_program(program_path("bamcount"), {"--gtf", kept, "--out", dir.file("out"), bam});
    EXPECT_EQ(factors.status, 2);
    EXPECT_EQ(factors.err, "bamcount: size factors file '" + kept + "' is the same file as annotation file '" + kept +
                               "': give each output a name of its own, apart from the inputs\n");
    EXPECT_EQ(read_file(kept), kAnnotation);

    // The summary and next steps on standard output are part of the result.
    const RunResult full = run_program(
        "/bin/sh", {"-c", "exec \"$0\" \"$@\" >/dev/full", program_path("bamcount"), "--gtf",
                    dir.write("genes.gtf", kAnnotation), "--out", dir.file("full"), bam});
    EXPECT_EQ(full.status, 255);
    EXPECT_EQ(full.err, "bamcount: cannot write standard output: No space left on device\n");
}

TEST(Bamcount, ItsTablesRunThroughThePipelineFromTheLinesItPrints)
{
    ScratchDir dir;
    // A folder name that the shell would split and unquote.
    const std::string out = "it's out";
    const Output o = run_bamcount(dir, {}, kAnnotation, kCondition1, kCondition2, out);
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    const std::string quoted = "'" + dir.file("it'\\''s out");
    EXPECT_NE(o.run.out.find("/sigtable --stats " + quoted + "/lvcmp_re.txt' --tables " + quoted + "' --out " + quoted +
                             "/lvcmp_table.tsv' --sort --plots " + quoted + "/plots_lvcmp'\n"),
              std::string::npos)
        << o.run.out;
    // Run every line as printed, through the shell, from another folder
    // than the programs': mfit, lvcmp and isocmp, then sigtable over the
    // whole folder, whose checks would refuse tables that do not belong
    // together; the notes after them are comments.
    std::istringstream lines(o.run.out.substr(o.run.out.find("next steps:\n") + 12));
    int ran = 0;
    std::string mfit;
    for (std::string line; std::getline(lines, line);) {
        const RunResult r = run_program("/bin/sh", {"-c", "cd / || exit 1\n" + line});
        EXPECT_EQ(r.status, 0) << line << ": " << r.err;
        ran += line[0] != '#';
        if (mfit.empty() && line.find("/mfit ") != std::string::npos) mfit = line;
    }
    EXPECT_EQ(ran, 5);
    EXPECT_EQ(split_lines(read_file(dir.file(out + "/gene_re.txt"))).size(), 4u);
    // These tables hold no gene with two exons read in both conditions, so
    // isocmp compares none: its table is a header line, and it plots
    // nothing.
    EXPECT_EQ(split_lines(read_file(dir.file(out + "/isocmp_table.tsv"))).size(), 1u);
    EXPECT_TRUE(file_exists(dir.file(out + "/plots_lvcmp/volcano_1_2.svg")));
    // Four genes, one pair of conditions: a line per gene, named as the
    // alignment files are.
    const std::vector<std::string> levels = split_lines(read_file(dir.file(out + "/lvcmp_table.tsv")));
    EXPECT_EQ(levels.size(), 5u);
    EXPECT_NE(levels[1].find("\tc1\tc2\t"), std::string::npos) << levels[1];
    // reads.txt and the annotation have their indexes, which a shard takes
    // without a warning.
    EXPECT_EQ(read_file(dir.file(out + "/reads.txt.idx")).substr(0, 14), "reads-index 1\n");
    for (const char* annotation : {"/exon_zb.txt.idx", "/gene_zb.txt.idx"})
        EXPECT_EQ(read_file(dir.file(out + annotation)).substr(0, 14), "table-index 1\n");
    const RunResult shard = run_program("/bin/sh", {"-c", "cd / || exit 1\n" + mfit + " --genes=2-3"});
    EXPECT_EQ(shard.status, 0);
    EXPECT_EQ(shard.err, "");
}

namespace {

// Genes on three chromosomes, listed chr2, chr1, chr3 (so numbered 1, 2, 3
// in the tables), and on chr2 not in genomic order:
//   chr2: G2M (-) 201-210; G2P (+) with transcripts a1 51-60 and a2 51-55,
//         71-75, so parts 51-55, 56-60, 71-75;
//   chr1: G1M (-) 11-20, 31-40;
//   chr3: G3P (+) 5-14.
// Table order: G2P (exons 1-3), G2M (4), G1M (5, 6), G3P (7).
const std::string kChromosomes =
    gtf_exon(201, 210, '-', "G2M", "m2", "chr2") + gtf_exon(51, 60, '+', "G2P", "a1", "chr2") +
    gtf_exon(51, 55, '+', "G2P", "a2", "chr2") + gtf_exon(71, 75, '+', "G2P", "a2", "chr2") +
    gtf_exon(11, 20, '-', "G1M", "m1", "chr1") + gtf_exon(31, 40, '-', "G1M", "m1", "chr1") +
    gtf_exon(5, 14, '+', "G3P", "p3", "chr3");

std::string read_on(const std::string& chromosome, const std::string& name, int flag, int pos)
{
    return record(name, flag, pos, 60, "", "*\t0\t0", chromosome);
}

// Condition 1's file lists chr1, chr3, chrU (no genes) and chr2; condition
// 2's chr3, chr2 and chr1. Every read is 10 bases long. chr1's 11-20 and
// chr3's 5-14 overlap by number: a read must land on its own chromosome.
const std::string kChromosomes1 =
    "@HD\tVN:1.6\tSO:coordinate\n@SQ\tSN:chr1\tLN:1000\n@SQ\tSN:chr3\tLN:1000\n@SQ\tSN:chrU\tLN:1000\n"
    "@SQ\tSN:chr2\tLN:1000\n" +
    read_on("chr1", "rev_11_20", 16, 11) +  // 5' end 20: G1M
    read_on("chr1", "fwd_12", 0, 12) +      // 12: G1M
    read_on("chr1", "fwd_25", 0, 25) +      // 25: G1M's intron; its 31-34 covered
    read_on("chr1", "fwd_31", 0, 31) +      // 31: G1M
    read_on("chr3", "rev_1_10", 16, 1) +    // 10: G3P
    read_on("chr3", "fwd_5", 0, 5) +        // 5: G3P
    read_on("chrU", "fwd_12_no_genes", 0, 12) +
    read_on("chr2", "fwd_51", 0, 51) + read_on("chr2", "fwd_51_again", 0, 51) + // 51: G2P, 51-60 covered
    read_on("chr2", "rev_62_71", 16, 62) +  // 71: G2P's third part
    read_on("chr2", "rev_196_205", 16, 196); // 205: G2M, 201-205 covered
const std::string kChromosomes2 = "@HD\tVN:1.6\tSO:coordinate\n@SQ\tSN:chr3\tLN:1000\n@SQ\tSN:chr2\tLN:1000\n"
                                  "@SQ\tSN:chr1\tLN:1000\n" +
                                  read_on("chr3", "rev_1_10", 16, 1) +      // 10: G3P
                                  read_on("chr2", "fwd_56", 0, 56) +        // 56: G2P's second part
                                  read_on("chr2", "rev_201_210", 16, 201) + // 210: G2M
                                  read_on("chr1", "fwd_12", 0, 12);         // 12: G1M

// Lines of the reads file for positions `from` to `to` with the same counts.
std::string rows(int chromosome, int from, int to, int strand, int c1, int c2)
{
    std::string text;
    for (int p = from; p <= to; ++p)
        text += std::to_string(chromosome) + " " + std::to_string(p) + " " + std::to_string(strand) + " " +
                std::to_string(c1) + " " + std::to_string(c2) + "\n";
    return text;
}

const std::string kFeaturesHeader =
    "kind\tindex\tgene_id\tgene_name\tchromosome\tstart\tend\tstrand\ttranscripts\tgene_index\tlength\n";
const std::string kChromosomeFeatures = kFeaturesHeader +
                                        "exon\t1\tG2P\tG2P_name\tchr2\t51\t55\t+\ta1,a2\t1\t5\n"
                                        "exon\t2\tG2P\tG2P_name\tchr2\t56\t60\t+\ta1\t1\t5\n"
                                        "exon\t3\tG2P\tG2P_name\tchr2\t71\t75\t+\ta2\t1\t5\n"
                                        "gene\t1\tG2P\tG2P_name\tchr2\t51\t75\t+\ta1,a2\t1\t15\n"
                                        "exon\t4\tG2M\tG2M_name\tchr2\t201\t210\t-\tm2\t2\t10\n"
                                        "gene\t2\tG2M\tG2M_name\tchr2\t201\t210\t-\tm2\t2\t10\n"
                                        "exon\t5\tG1M\tG1M_name\tchr1\t11\t20\t-\tm1\t3\t10\n"
                                        "exon\t6\tG1M\tG1M_name\tchr1\t31\t40\t-\tm1\t3\t10\n"
                                        "gene\t3\tG1M\tG1M_name\tchr1\t11\t40\t-\tm1\t3\t20\n"
                                        "exon\t7\tG3P\tG3P_name\tchr3\t5\t14\t+\tp3\t4\t10\n"
                                        "gene\t4\tG3P\tG3P_name\tchr3\t5\t14\t+\tp3\t4\t10\n";

std::string chromosome_summary(const ScratchDir& dir, int assigned1, int no_feature1, int counted1, int counted2)
{
    return "records\t" + dir.file("c1.bam") + "\t" + dir.file("c2.bam") + "\nassigned\t" + std::to_string(assigned1) +
           "\t4\nno_feature\t" + std::to_string(no_feature1) +
           "\t0\nambiguous_strand\t0\t0\nlow_mapping_quality\t0\t0\nmulti_mapping\t0\t0\nsecondary\t0\t0\n"
           "supplementary\t0\t0\nduplicate\t0\t0\nqc_failed\t0\t0\nunmapped\t0\t0\nsecond_mate\t0\t0\n"
           "counted\t" + std::to_string(counted1) + "\t" + std::to_string(counted2) + "\n";
}

} // namespace

TEST(Bamcount, ChromosomesAreTheAnnotationsWhateverTheOrderOfEachFile)
{
    ScratchDir dir;
    const Output o = run_bamcount(dir, {}, kChromosomes, kChromosomes1, kChromosomes2);
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.reads, "1 51 1 2 0\n"   // G2P
                       "1 56 1 0 1\n"
                       "1 71 1 1 0\n"
                       "1 205 -1 1 0\n" // G2M
                       "1 210 -1 0 1\n"
                       "2 12 -1 1 1\n"  // G1M
                       "2 20 -1 1 0\n"
                       "2 31 -1 1 0\n"
                       "3 5 1 1 0\n"    // G3P
                       "3 10 1 1 1\n");
    EXPECT_EQ(o.exon_zb, "1 1 1 5\n2 2 2 5\n3 3 3 5\n4 4 5 10\n5 6 7 10\n6 8 8 10\n7 9 10 10\n");
    EXPECT_EQ(o.gene_zb, "1 1 3 15\n2 4 4 10\n3 5 6 20\n4 7 7 10\n");
    EXPECT_EQ(o.gtt, "9 9\n4 4\n");
    // Condition 1's read in G1M's intron and its read on chrU count nowhere.
    EXPECT_EQ(o.summary, chromosome_summary(dir, 9, 2, 9, 4));
    EXPECT_EQ(o.features, kChromosomeFeatures);
    EXPECT_EQ(o.run.out.substr(o.run.out.find("next steps:")), next_steps(dir.file("out"), "10 2 7 4"));
}

TEST(Bamcount, CoverageOnSeveralChromosomesCountsEachBaseOnItsOwn)
{
    ScratchDir dir;
    const Output o = run_bamcount(dir, {"--coverage"}, kChromosomes, kChromosomes1, kChromosomes2);
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    // Condition 1 covers G2P's 51-60 twice and 71 once, G2M's 201-205,
    // G1M's 11-20 once and 12-20 again, 31-40 once and 31-34 again, G3P's
    // 5-14 once and 5-10 again; condition 2 G2P's 56-60, G2M's 201-210,
    // G1M's 12-20 and G3P's 5-10.
    EXPECT_EQ(o.reads, rows(1, 51, 55, 1, 2, 0) + rows(1, 56, 60, 1, 2, 1) + rows(1, 71, 71, 1, 1, 0) +
                           rows(1, 201, 205, -1, 1, 1) + rows(1, 206, 210, -1, 0, 1) + rows(2, 11, 11, -1, 1, 0) +
                           rows(2, 12, 20, -1, 2, 1) + rows(2, 31, 34, -1, 2, 0) + rows(2, 35, 40, -1, 1, 0) +
                           rows(3, 5, 10, 1, 2, 1) + rows(3, 11, 14, 1, 1, 0));
    EXPECT_EQ(o.exon_zb, "1 1 5 5\n2 6 10 5\n3 11 11 5\n4 12 21 10\n5 22 31 10\n6 32 41 10\n7 42 51 10\n");
    EXPECT_EQ(o.gene_zb, "1 1 3 15\n2 4 4 10\n3 5 6 20\n4 7 7 10\n");
    // The bases counted: 10 + 10 + 1 + 5 + 19 + 14 + 16, and 5 + 10 + 9 + 6.
    EXPECT_EQ(o.gtt, "75 75\n30 30\n");
    // Only the read on chrU is left: the one starting in the intron
    // reaches G1M's second part.
    EXPECT_EQ(o.summary, chromosome_summary(dir, 10, 1, 75, 30));
    EXPECT_EQ(o.features, kChromosomeFeatures);
}

namespace {

// Features and reads on chrX and chrY. SHOX, PLCXD1 and GENE4 lie on both
// chromosomes, GENE3 on both strands of chrX; GX on chrX only.
const std::string kSplitAnnotation =
    gtf_exon(101, 110, '+', "SHOX", "s1", "chrX") + gtf_exon(101, 110, '+', "SHOX", "s1", "chrY") +
    gtf_exon(201, 210, '+', "PLCXD1", "p1", "chrX") + gtf_exon(201, 210, '+', "PLCXD1", "p1", "chrY") +
    gtf_exon(301, 310, '-', "GENE3", "g3", "chrX") + gtf_exon(401, 410, '+', "GENE3", "g3b", "chrX") +
    gtf_exon(501, 510, '+', "GENE4", "g4", "chrX") + gtf_exon(501, 515, '-', "GENE4", "g4", "chrY") +
    gtf_exon(601, 610, '+', "GX", "x1", "chrX");
const std::string kXYHeader = "@HD\tVN:1.6\n@SQ\tSN:chrX\tLN:1000\n@SQ\tSN:chrY\tLN:1000\n";

} // namespace

TEST(Bamcount, GenesOnSeveralChromosomesOrStrandsCountAsOneGenePerPiece)
{
    ScratchDir dir;
    const Output o = run_bamcount(dir, {}, kSplitAnnotation,
                                  kXYHeader + read_on("chrX", "x101", 0, 101) + read_on("chrY", "y101", 0, 101) +
                                      read_on("chrY", "y201", 0, 201) + read_on("chrX", "x405", 0, 405),
                                  kXYHeader + read_on("chrX", "x201", 0, 201));
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.run.err, "bamcount: warning: 4 genes lie on more than one chromosome or strand and are split into "
                         "one gene per piece, named gene_id@chromosome(strand): 'SHOX', 'PLCXD1', 'GENE3', ...\n" +
                             kNoCommonGene);
    EXPECT_EQ(o.reads, "1 101 1 1 0\n1 201 1 0 1\n1 405 1 1 0\n2 101 1 1 0\n2 201 1 1 0\n");
    EXPECT_EQ(o.features, kFeaturesHeader +
                              "exon\t1\tSHOX@chrX(plus)\tSHOX_name@chrX(plus)\tchrX\t101\t110\t+\ts1\t1\t10\n"
                              "gene\t1\tSHOX@chrX(plus)\tSHOX_name@chrX(plus)\tchrX\t101\t110\t+\ts1\t1\t10\n"
                              "exon\t2\tPLCXD1@chrX(plus)\tPLCXD1_name@chrX(plus)\tchrX\t201\t210\t+\tp1\t2\t10\n"
                              "gene\t2\tPLCXD1@chrX(plus)\tPLCXD1_name@chrX(plus)\tchrX\t201\t210\t+\tp1\t2\t10\n"
                              "exon\t3\tGENE3@chrX(minus)\tGENE3_name@chrX(minus)\tchrX\t301\t310\t-\tg3\t3\t10\n"
                              "gene\t3\tGENE3@chrX(minus)\tGENE3_name@chrX(minus)\tchrX\t301\t310\t-\tg3\t3\t10\n"
                              "exon\t4\tGENE3@chrX(plus)\tGENE3_name@chrX(plus)\tchrX\t401\t410\t+\tg3b\t4\t10\n"
                              "gene\t4\tGENE3@chrX(plus)\tGENE3_name@chrX(plus)\tchrX\t401\t410\t+\tg3b\t4\t10\n"
                              "exon\t5\tGENE4@chrX(plus)\tGENE4_name@chrX(plus)\tchrX\t501\t510\t+\tg4\t5\t10\n"
                              "gene\t5\tGENE4@chrX(plus)\tGENE4_name@chrX(plus)\tchrX\t501\t510\t+\tg4\t5\t10\n"
                              "exon\t6\tGX\tGX_name\tchrX\t601\t610\t+\tx1\t6\t10\n"
                              "gene\t6\tGX\tGX_name\tchrX\t601\t610\t+\tx1\t6\t10\n"
                              "exon\t7\tSHOX@chrY(plus)\tSHOX_name@chrY(plus)\tchrY\t101\t110\t+\ts1\t7\t10\n"
                              "gene\t7\tSHOX@chrY(plus)\tSHOX_name@chrY(plus)\tchrY\t101\t110\t+\ts1\t7\t10\n"
                              "exon\t8\tPLCXD1@chrY(plus)\tPLCXD1_name@chrY(plus)\tchrY\t201\t210\t+\tp1\t8\t10\n"
                              "gene\t8\tPLCXD1@chrY(plus)\tPLCXD1_name@chrY(plus)\tchrY\t201\t210\t+\tp1\t8\t10\n"
                              "exon\t9\tGENE4@chrY(minus)\tGENE4_name@chrY(minus)\tchrY\t501\t515\t-\tg4\t9\t15\n"
                              "gene\t9\tGENE4@chrY(minus)\tGENE4_name@chrY(minus)\tchrY\t501\t515\t-\tg4\t9\t15\n");

    // Asked to, it refuses them, naming the first few and where the first lies.
    ScratchDir refused;
    const Output r = run_bamcount(refused, {"--refuse-split-genes"}, kSplitAnnotation, kXYHeader, kXYHeader);
    EXPECT_EQ(r.run.status, 2);
    EXPECT_EQ(r.run.err, "bamcount: annotation: 4 genes lie on more than one chromosome or strand ('SHOX', 'PLCXD1', "
                         "'GENE3', ...; the first on chrX + and on chrY +); with --refuse-split-genes a gene must lie "
                         "on one chromosome and strand\n");
    EXPECT_EQ(r.features, "");
}

// As RefSeq's 8227 and 438, two genes on chrX and chrY that overlap on both:
// each chromosome's pieces merge. One id holds a '+' and one transcript a
// ',', the tables' own joiners: split at them, the fields decode back into
// the annotation's ids (table_names_test).
TEST(Bamcount, MergedPiecesOfSplitGenesSplitBackIntoTheAnnotationsIds)
{
    const std::string annotation = gtf_exon(101, 110, '+', "8227", "a1", "chrX") +
                                   gtf_exon(105, 120, '+', "438+1", "b,1", "chrX") +
                                   gtf_exon(101, 110, '+', "8227", "a1", "chrY") +
                                   gtf_exon(105, 120, '+', "438+1", "b,1", "chrY");
    ScratchDir dir;
    const Output o = run_bamcount(dir, {}, annotation, kXYHeader + read_on("chrX", "x", 0, 101),
                                  kXYHeader + read_on("chrY", "y", 0, 115));
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    const std::string x = "8227@chrX(plus)+438%2B1@chrX(plus)\t8227_name@chrX(plus)+438%2B1_name@chrX(plus)\tchrX\t";
    const std::string y = "8227@chrY(plus)+438%2B1@chrY(plus)\t8227_name@chrY(plus)+438%2B1_name@chrY(plus)\tchrY\t";
    EXPECT_EQ(o.features, kFeaturesHeader +
                              "exon\t1\t" + x + "101\t104\t+\ta1\t1\t4\n"
                              "exon\t2\t" + x + "105\t110\t+\ta1,b%2C1\t1\t6\n"
                              "exon\t3\t" + x + "111\t120\t+\tb%2C1\t1\t10\n"
                              "gene\t1\t" + x + "101\t120\t+\ta1,b%2C1\t1\t20\n"
                              "exon\t4\t" + y + "101\t104\t+\ta1\t2\t4\n"
                              "exon\t5\t" + y + "105\t110\t+\ta1,b%2C1\t2\t6\n"
                              "exon\t6\t" + y + "111\t120\t+\tb%2C1\t2\t10\n"
                              "gene\t2\t" + y + "101\t120\t+\ta1,b%2C1\t2\t20\n");
    EXPECT_EQ(o.reads, "1 101 1 1 0\n2 115 1 0 1\n");
}

// GFF3 escapes that decode to a tab, a line break, a NUL and a CR in gene
// ids, names and transcript ids: features.tsv keeps its eleven columns and
// its lines, and writes each escape back. The exon names its transcript in
// lower-case hex: Parents match on the decoded text.
TEST(Bamcount, Gff3EscapesOfControlBytesNeverBreakTheFeaturesTable)
{
    const std::string gff = "##gff-version 3\n"
                            "chr1\ts\tgene\t101\t110\t.\t+\t.\tID=gene:g%091;Name=G%091\n"
                            "chr1\ts\tmRNA\t101\t110\t.\t+\t.\tID=t%0A1;Parent=gene:g%091\n"
                            "chr1\ts\texon\t101\t110\t.\t+\t.\tParent=t%0a1\n"
                            "chr1\ts\tgene\t201\t210\t.\t-\t.\tID=g%002;Name=N%0D2\n"
                            "chr1\ts\tmRNA\t201\t210\t.\t-\t.\tID=t%002;Parent=g%002\n"
                            "chr1\ts\texon\t201\t210\t.\t-\t.\tParent=t%002\n";
    ScratchDir dir;
    const Output o = run_bamcount(dir, {}, gff);
    ASSERT_EQ(o.run.status, 0) << o.run.err;
    EXPECT_EQ(o.features, kFeaturesHeader +
                              "exon\t1\tgene:g%091\tG%091\tchr1\t101\t110\t+\tt%0A1\t1\t10\n"
                              "gene\t1\tgene:g%091\tG%091\tchr1\t101\t110\t+\tt%0A1\t1\t10\n"
                              "exon\t2\tg%002\tN%0D2\tchr1\t201\t210\t-\tt%002\t2\t10\n"
                              "gene\t2\tg%002\tN%0D2\tchr1\t201\t210\t-\tt%002\t2\t10\n");
    EXPECT_EQ(o.reads, "1 101 1 2 1\n1 110 1 1 0\n1 204 -1 1 0\n");
}

namespace {

// As NCBI's bacterial GFF3 files: protein-coding genes hold CDS lines
// directly, the tRNA gene a transcript with an exon.
const std::string kCdsOnly =
    "##gff-version 3\n"
    "chr1\tRefSeq\tregion\t1\t1000\t.\t+\t.\tID=chr1:1..1000\n"
    "chr1\tRefSeq\tgene\t101\t130\t.\t+\t.\tID=gene-b0001;Name=thrL;gene_biotype=protein_coding\n"
    "chr1\tRefSeq\tCDS\t101\t110\t.\t+\t0\tID=cds-1;Parent=gene-b0001\n"
    "chr1\tRefSeq\tCDS\t121\t130\t.\t+\t0\tID=cds-1;Parent=gene-b0001\n"
    "chr1\tRefSeq\tgene\t201\t210\t.\t-\t.\tID=gene-b0002;Name=thrA;gene_biotype=protein_coding\n"
    "chr1\tRefSeq\tCDS\t201\t210\t.\t-\t0\tID=cds-2;Parent=gene-b0002\n";
const std::string kWithTrna = kCdsOnly +
                              "chr1\tRefSeq\tgene\t301\t310\t.\t+\t.\tID=gene-b0003;Name=thrW;gene_biotype=tRNA\n"
                              "chr1\tRefSeq\ttRNA\t301\t310\t.\t+\t.\tID=rna-b0003;Parent=gene-b0003\n"
                              "chr1\tRefSeq\texon\t301\t310\t.\t+\t.\tID=exon-b0003;Parent=rna-b0003\n"
                              "chr1\tRefSeq\tgene\t401\t410\t.\t+\t.\tID=gene-b0004;Name=yA;gene_biotype=protein_coding\n"
                              "chr1\tRefSeq\tCDS\t401\t410\t.\t+\t0\tID=cds-4;Parent=gene-b0004\n"
                              "chr1\tRefSeq\tgene\t501\t510\t.\t+\t.\tID=gene-b0005;Name=yB;gene_biotype=protein_coding\n"
                              "chr1\tRefSeq\tCDS\t501\t510\t.\t+\t0\tID=cds-5;Parent=gene-b0005\n";

} // namespace

TEST(Bamcount, GenesWithoutAFeatureOfTheCountedTypeAreNamedWithTheTypeToCount)
{
    {
        ScratchDir dir;
        const Output o = run_bamcount(dir, {}, kWithTrna);
        ASSERT_EQ(o.run.status, 0) << o.run.err;
        EXPECT_EQ(o.run.err, "bamcount: warning: 4 of 5 genes of the annotation have no 'exon' feature and are not "
                             "counted ('gene-b0001', 'gene-b0002', 'gene-b0004', ...); their features are mostly "
                             "'CDS': --feature-type CDS counts those\n" +
                                 kNoCommonGene);
        EXPECT_EQ(o.gene_zb, "1 1 1 10\n");
    }
    {
        ScratchDir dir;
        const Output o = run_bamcount(dir, {"--feature-type", "CDS"}, kWithTrna);
        ASSERT_EQ(o.run.status, 0) << o.run.err;
        EXPECT_EQ(o.run.err, "bamcount: warning: 1 of 5 genes of the annotation has no 'CDS' feature and is not "
                             "counted ('gene-b0003'); its features are mostly 'exon': --feature-type exon counts those\n");
    }
    {
        // Of the kept types every gene is counted: no warning. The CDS lines
        // count as exons would: the same reads as GP and GM of kAnnotation.
        ScratchDir dir;
        const Output o = run_bamcount(dir, {"--feature-type=CDS", "--types", "protein_coding"}, kWithTrna);
        ASSERT_EQ(o.run.status, 0) << o.run.err;
        EXPECT_EQ(o.run.err, "");
        EXPECT_EQ(o.reads, "1 101 1 2 1\n1 110 1 1 0\n1 121 1 1 0\n1 204 -1 1 0\n");
        EXPECT_EQ(o.features, kFeaturesHeader +
                                  "exon\t1\tgene-b0001\tthrL\tchr1\t101\t110\t+\tgene-b0001\t1\t10\n"
                                  "exon\t2\tgene-b0001\tthrL\tchr1\t121\t130\t+\tgene-b0001\t1\t10\n"
                                  "gene\t1\tgene-b0001\tthrL\tchr1\t101\t130\t+\tgene-b0001\t1\t20\n"
                                  "exon\t3\tgene-b0002\tthrA\tchr1\t201\t210\t-\tgene-b0002\t2\t10\n"
                                  "gene\t2\tgene-b0002\tthrA\tchr1\t201\t210\t-\tgene-b0002\t2\t10\n"
                                  "exon\t4\tgene-b0004\tyA\tchr1\t401\t410\t+\tgene-b0004\t3\t10\n"
                                  "gene\t3\tgene-b0004\tyA\tchr1\t401\t410\t+\tgene-b0004\t3\t10\n"
                                  "exon\t5\tgene-b0005\tyB\tchr1\t501\t510\t+\tgene-b0005\t4\t10\n"
                                  "gene\t4\tgene-b0005\tyB\tchr1\t501\t510\t+\tgene-b0005\t4\t10\n");
    }
    {
        // Nothing to count: the refusal says what would count.
        ScratchDir dir;
        const Output o = run_bamcount(dir, {}, kCdsOnly);
        EXPECT_EQ(o.run.status, 2);
        EXPECT_EQ(o.run.err, "bamcount: annotation file '" + dir.file("genes.gtf") + "': no 'exon' feature of a kept "
                             "gene type; the genes' features are mostly 'CDS': --feature-type CDS counts those\n");
    }
}

TEST(Bamcount, ConditionsAreNamedByTheirFilesOrAsGiven)
{
    ScratchDir dir;
    const std::string gtf = dir.write("genes.gtf", kAnnotation);
    const std::string bam = read_file(write_alignments(dir, "c1", kCondition1));
    auto place = [&](const std::string& name) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(name)).parent_path());
        return dir.write(name, bam);
    };
    auto run = [&](std::vector<std::string> args) {
        std::vector<std::string> all = {"--gtf", gtf, "--out", dir.file("out")};
        all.insert(all.end(), args.begin(), args.end());
        return run_program(program_path("bamcount"), all);
    };
    struct Case {
        std::vector<std::string> files, names;
    };
    const std::vector<Case> cases = {
        // Extensions off, blanks and commas made '_'.
        {{place("a/sample 1.bam"), place("a/r,2.sam.gz"), place("a/T3.CRAM"), place("a/notes.txt")},
         {"sample_1", "r_2", "T3", "notes.txt"}},
        // STAR's one name for every sample: the folder tells them apart.
        {{place("s1/Aligned.sortedByCoord.out.bam"), place("s2/Aligned.sortedByCoord.out.bam")},
         {"s1_Aligned.sortedByCoord.out", "s2_Aligned.sortedByCoord.out"}},
        // Not even then: numbered.
        {{place("x/run/A.bam"), place("y/run/A.bam"), place("y/run/B.bam")}, {"condition_1", "condition_2", "condition_3"}},
    };
    for (const Case& c : cases) {
        const RunResult r = run(c.files);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected = "condition\tname\tfile\n";
        for (std::size_t k = 0; k < c.files.size(); ++k)
            expected += std::to_string(k + 1) + "\t" + c.names[k] + "\t" + c.files[k] + "\n";
        EXPECT_EQ(read_file(dir.file("out/conditions.tsv")), expected);
    }

    // Given names, and a column as wide as a long name needs.
    const RunResult named = run({"--names", "control,knockdown_of_a_long_name", place("a/x.bam"), place("a/y.bam")});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(read_file(dir.file("out/conditions.tsv")), "condition\tname\tfile\n1\tcontrol\t" + dir.file("a/x.bam") +
                                                             "\n2\tknockdown_of_a_long_name\t" + dir.file("a/y.bam") + "\n");
    const std::vector<std::string> lines = split_lines(named.out);
    ASSERT_GE(lines.size(), 13u);
    EXPECT_EQ(lines[0], "records                           control knockdown_of_a_long_name");
    EXPECT_EQ(lines[1], "assigned                                5                        5");
    EXPECT_EQ(lines[12], "counted                                 5                        5");

    const std::string x = dir.file("a/x.bam"), y = dir.file("a/y.bam");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"--names", "one", x, y}, "--names gives 1 name for 2 alignment files: one per file, in their order"},
        {{"--names=one,", x, y}, "--names: name 2 is empty"},
        {{"--names=,one", x, y}, "--names: name 1 is empty"},
        {{"--names=", x, y}, "--names gives 1 name for 2 alignment files: one per file, in their order"},
        {{"--names", "a,,b", x, y}, "--names gives 3 names for 2 alignment files: one per file, in their order"},
        {{"--names", "one,t wo", x, y}, "--names: name 't wo' holds a blank, tab or line break: a name is one word"},
        {{"--names", "one,one", x, y}, "--names: 'one' is given twice: each condition needs a name of its own"},
    };
    for (const auto& [args, message] : refusals) {
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.err, "bamcount: " + message + " (see bamcount --help)\n");
    }
    const std::string tab = place("a/t\tb.bam");
    const RunResult tabbed = run({tab});
    EXPECT_EQ(tabbed.status, 2);
    EXPECT_EQ(tabbed.err, "bamcount: alignment file '" + dir.file("a/t\\tb.bam") + "'" +
                              ": its path holds a tab or line break, which conditions.tsv and summary.tsv cannot list\n");

    // conditions.tsv is an output like the tables: never an input's name.
    const std::string kept = dir.write("out/conditions.tsv", kAnnotation);
    const RunResult alias = run_program(program_path("bamcount"), {"--gtf", kept, "--out", dir.file("out"), x});
    EXPECT_EQ(alias.status, 2);
    EXPECT_EQ(alias.err, "bamcount: conditions file '" + kept + "' is the same file as annotation file '" + kept +
                             "': give each output a name of its own, apart from the inputs\n");
}

namespace {

// bamcount run in `dir`, where the paths it is given are relative to.
RunResult bamcount_in(const ScratchDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), {"-c", "cd \"$0\" && exec \"$@\"", dir.path(), program_path("bamcount"), "--gtf",
                               dir.write("genes.gtf", kAnnotation), "--threads", "1"});
    return run_program("/bin/sh", args);
}

} // namespace

// Replicates: a sample sheet in a folder of its own, naming alignment files
// relative to the folder bamcount runs in (a header with a fourth cell, a
// blank line and a note after a file, all passed over), and the same design
// as --groups with --names. The columns are the samples in order, design.tsv
// gives each its condition, and the next steps compare the conditions.
TEST(Bamcount, ReplicatesFromASampleSheetOrGroupsAreColumnsWithTheirConditions)
{
    ScratchDir dir;
    write_alignments(dir, "c1", kCondition1);
    write_alignments(dir, "c2", kCondition2);
    std::filesystem::create_directories(dir.file("sheets"));
    dir.write("sheets/samples.tsv", "sample\tcondition\tfile\tnote\nctl_1\tcontrol\tc1.bam\n\n"
                                    "trt_1\ttreated\tc2.bam\tfirst run\nctl_2\tcontrol\tc2.bam\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--out", "out", "--design", "sheets/samples.tsv"},
          {"--out", "out", "--groups", "control,treated,control", "--names", "ctl_1,trt_1,ctl_2", "c1.bam", "c2.bam",
           "c2.bam"}}) {
        SCOPED_TRACE(args[2]);
        const RunResult r = bamcount_in(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_file(dir.file("out/design.tsv")),
                  "sample\tcondition\nctl_1\tcontrol\ntrt_1\ttreated\nctl_2\tcontrol\n");
        EXPECT_EQ(read_file(dir.file("out/conditions.tsv")),
                  "condition\tname\tfile\n1\tctl_1\tc1.bam\n2\ttrt_1\tc2.bam\n3\tctl_2\tc2.bam\n");
        EXPECT_EQ(read_file(dir.file("out/reads.txt")),
                  "1 101 1 2 1 1\n1 110 1 1 0 0\n1 121 1 1 0 0\n1 204 -1 1 0 0\n1 315 -1 0 1 1\n");
        EXPECT_EQ(r.out.substr(r.out.find("next steps:")), next_steps("out", "5 3 5 4", true));
        // The lines printed run as they are, sigtable --design taking the
        // design and the tables together.
        std::istringstream lines(r.out.substr(r.out.find("next steps:\n") + 12));
        for (std::string line; std::getline(lines, line);) {
            const RunResult step = run_program("/bin/sh", {"-c", "cd \"$0\" || exit 1\n" + line, dir.path()});
            EXPECT_EQ(step.status, 0) << line << ": " << step.err;
        }
        // A row per gene and the one pair of conditions, named by the design.
        const std::vector<std::string> rows = split_lines(read_file(dir.file("out/genes_by_condition.tsv")));
        ASSERT_EQ(rows.size(), 5u);
        for (const std::string& row : rows) EXPECT_EQ(split_words(row)[8], row == rows[0] ? "condition_b" : "treated");
        EXPECT_TRUE(file_exists(dir.file("out/plots_genes_by_condition/volcano_1_2.svg")));
    }
}

TEST(Bamcount, RefusesSampleSheetsAndGroupsItCannotUse)
{
    ScratchDir dir;
    write_alignments(dir, "c1", kCondition1);
    write_alignments(dir, "c2", kCondition2);
    const std::string at = "bamcount: sample sheet 's.tsv', line ";
    const struct {
        std::string sheet;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {"a\tA\tc1.bam\nb\tB\n", {},
         at + "2, field 3 (alignment file of sample 2): expected a tab and the sample's BAM, CRAM or SAM file, found "
              "the end of the line"},
        {"a\tA\tc1.bam\nb\tB\tnone.bam\n", {},
         at + "2, field 3 (alignment file of sample 2): expected a BAM, CRAM or SAM file that can be read, found "
              "'none.bam' (No such file or directory)"},
        {"a\tA\tc1.bam\na\tB\tc2.bam\n", {},
         at + "2, field 1 (sample name of sample 2): expected a name of its own, not that of sample 1, found 'a'"},
        {"a b\tA\tc1.bam\n", {},
         at + "1, field 1 (sample name of sample 1): expected a name without blanks, found 'a b'"},
        {"a\tA\tc1.bam\nb\tA\tc2.bam\n", {},
         "bamcount: sample sheet 's.tsv' names 1 condition ('A'): expected at least two conditions to compare"},
        {"", {"c1.bam"}, "bamcount: --design lists the alignment files: give none after the options, found 'c1.bam' "
                         "(see bamcount --help)"},
        {"", {"--names", "a"}, "bamcount: --design names the samples: give no --names with it (see bamcount --help)"},
        {"", {"--groups", "A,B"}, "bamcount: give either --design or --groups, not both (see bamcount --help)"},
    };
    for (const auto& c : cases) {
        dir.write("s.tsv", c.sheet);
        std::vector<std::string> args = {"--out", "out", "--design", "s.tsv"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = bamcount_in(dir, args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err, c.message + "\n");
    }
    const std::vector<std::pair<std::string, std::string>> groups = {
        {"A,B,A", "--groups gives 3 conditions for 2 alignment files: one per file, in their order"},
        {"A,A", "--groups names 1 condition ('A'): expected at least two conditions to compare"},
    };
    for (const auto& [value, message] : groups) {
        const RunResult r = bamcount_in(dir, {"--out", "out", "--groups", value, "c1.bam", "c2.bam"});
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.err, "bamcount: " + message + " (see bamcount --help)\n");
    }
    // design.tsv is an output like the tables: never the sheet it is made from.
    std::filesystem::create_directories(dir.file("out"));
    dir.write("out/design.tsv", "a\tA\tc1.bam\nb\tB\tc2.bam\n");
    const RunResult alias = bamcount_in(dir, {"--out", "out", "--design", "out/design.tsv"});
    EXPECT_EQ(alias.status, 2);
    EXPECT_EQ(alias.err, "bamcount: design file 'out/design.tsv' is the same file as sample sheet 'out/design.tsv': "
                         "give each output a name of its own, apart from the inputs\n");
}
