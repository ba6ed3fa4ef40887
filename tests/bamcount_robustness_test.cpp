// bamcount on alignment files that are cut short or damaged: a BAM file cut
// inside its header, inside a compressed block and at a block boundary, cut
// and then given an end-of-file marker again, and with a damaged block, each
// refused with one line at one thread and, again and again (where a failure
// surfaces depends on the threads' timing), at two. A CRAM file whose
// reference is gone or cannot be used, refused with our one line and
// nothing of htslib's left behind; an alignment whose CIGAR runs far past its reference,
// in coverage mode; an annotation coordinate beyond what the tables hold,
// annotations holding NUL bytes and GTF quotes that do not close where they
// should.
#include "tests/support/alignments.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>
#include <htslib/sam.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

const std::string kGtf = "chr1\ttest\texon\t1\t5000\t.\t+\t.\tgene_id \"G\"; transcript_id \"t\";\n";

// Reference bases that do not repeat within a read's length.
std::string reference_bases(int length)
{
    std::string bases;
    std::uint32_t state = 12345;
    for (int k = 0; k < length; ++k) {
        state = state * 1103515245u + 12345u;
        bases += "ACGT"[(state >> 16) & 3];
    }
    return bases;
}

// `reads` forward reads of 60 bases on chr1 (5100 bases), every one inside
// the annotated exon and matching the reference.
std::string many_reads_sam(int reads)
{
    const std::string bases = reference_bases(5100);
    std::string sam = "@HD\tVN:1.6\n@SQ\tSN:chr1\tLN:5100\n";
    for (int r = 0; r < reads; ++r) {
        const int pos = 1 + (r * 37) % 4900;
        sam += "read" + std::to_string(r) + "\t0\tchr1\t" + std::to_string(pos) + "\t60\t60M\t*\t0\t0\t" +
               bases.substr(static_cast<std::size_t>(pos - 1), 60) + "\t" + std::string(60, 'I') + "\n";
    }
    return sam;
}

// The offsets at which the BGZF blocks of a file start.
std::vector<std::size_t> block_starts(const std::string& bytes)
{
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at + 18 <= bytes.size();) {
        starts.push_back(at);
        at += (static_cast<unsigned char>(bytes[at + 16]) | static_cast<unsigned char>(bytes[at + 17]) << 8) + 1u;
    }
    return starts;
}

// bamcount under a time limit, so that a hang fails the test (status 124).
RunResult run_limited(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"--kill-after=5", "30", program_path("bamcount")};
    all.insert(all.end(), args.begin(), args.end());
    return run_program("/usr/bin/timeout", all);
}

// `text` gzip-compressed into `dir` as `name`; returns its path.
std::string write_gzip(const ScratchDir& dir, const std::string& name, const std::string& text)
{
    const std::string path = dir.file(name);
    gzFile z = gzopen(path.c_str(), "wb");
    EXPECT_EQ(gzwrite(z, text.data(), static_cast<unsigned>(text.size())), static_cast<int>(text.size()));
    EXPECT_EQ(gzclose(z), Z_OK);
    return path;
}

void expect_one_line_refusal(const RunResult& r, const std::string& path, const std::string& says,
                             const std::string& where)
{
    EXPECT_EQ(r.status, 2) << where << ": " << r.err;
    const std::string start = "bamcount: cannot read alignment file '" + path + "': ";
    EXPECT_EQ(r.err.rfind(start, 0), 0u) << where << ": " << r.err;
    EXPECT_NE(r.err.find(says), std::string::npos) << where << ": " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << where << ": " << r.err;
}

} // namespace

TEST(BamcountRobustness, CutOrDamagedBamFilesAreRefusedAtEveryThreadCount)
{
    ScratchDir dir;
    const std::string gtf = dir.write("genes.gtf", kGtf);
    const int kReads = 3000;
    const std::string bam = read_file(write_alignments(dir, "whole", many_reads_sam(kReads)));
    const std::vector<std::size_t> blocks = block_starts(bam);
    ASSERT_GE(blocks.size(), 5u) << "the test needs records in several blocks";
    const std::string eof_marker = bam.substr(bam.size() - 28);
    ASSERT_EQ(blocks.back(), bam.size() - 28);
    const std::size_t third = blocks[3], middle = (blocks[3] + blocks[4]) / 2;

    // The whole file: every read counted, the same at both thread counts.
    std::string tables;
    for (const char* threads : {"1", "2"}) {
        const RunResult r = run_limited({"--gtf", gtf, "--out", dir.file("out"), "--threads", threads, dir.file("whole.bam")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_file(dir.file("out/gtt.txt")), "3000 3000\n");
        if (tables.empty()) tables = read_file(dir.file("out/reads.txt"));
        EXPECT_EQ(read_file(dir.file("out/reads.txt")), tables) << threads;
    }

    std::string damaged = bam;
    for (std::size_t k = blocks[2] + 40; k < blocks[2] + 80; ++k) damaged[k] = static_cast<char>(damaged[k] ^ 0x5a);
    // Files refused before the decompression threads start run once at each
    // thread count; the others again and again with threads.
    struct Case {
        std::string name, bytes, says;
        bool threads_run = false;
        bool fails_in_a_thread = false; // a block that fails to decompress
    };
    const std::string missing_marker = "the file is truncated or damaged (its end-of-file marker is missing)";
    const std::string unreadable = "the file is truncated or damaged (a compressed block or a record cannot be read)";
    const std::vector<Case> cases = {
        {"cut_in_header", bam.substr(0, 40), missing_marker},
        {"cut_in_block", bam.substr(0, middle), missing_marker},
        {"cut_at_boundary", bam.substr(0, third), missing_marker},
        {"without_marker", bam.substr(0, blocks.back()), missing_marker},
        // Cut, then given a marker: only the blocks themselves tell.
        {"header_cut_marked", bam.substr(0, 40) + eof_marker, "its header is truncated or damaged", true},
        {"block_cut_marked", bam.substr(0, middle) + eof_marker, unreadable, true, true},
        {"damaged_block", damaged, unreadable, true, true},
    };
    // htslib 1.16 loses 32 bytes when a block fails to decompress in one of
    // its threads: its reader drops the failed job's result (a plain htslib
    // program reading the file leaks it too, closing everything or not),
    // out of bamcount's reach. The sanitizer build is told to pass over
    // htslib's leaks for those files only.
    const std::string htslib_leaks = dir.write("htslib.supp", "leak:libhts.so\n");
    for (const Case& c : cases) {
        const std::string path = dir.write(c.name + ".bam", c.bytes);
        if (c.fails_in_a_thread) setenv("LSAN_OPTIONS", ("print_suppressions=0:suppressions=" + htslib_leaks).c_str(), 1);
        const std::vector<std::string> runs = c.threads_run ? std::vector<std::string>{"1", "2", "2", "2", "2", "2"}
                                                            : std::vector<std::string>{"1", "2"};
        for (const std::string& threads : runs) {
            const RunResult r = run_limited({"--gtf", gtf, "--out", dir.file("out"), "--threads", threads, path});
            expect_one_line_refusal(r, path, c.says, c.name + " at " + threads + " threads");
        }
        unsetenv("LSAN_OPTIONS");
    }
}

TEST(BamcountRobustness, CramWithoutItsReferenceSaysSo)
{
    ScratchDir dir;
    // htslib looks a reference up by checksum in REF_PATH (by default on
    // the network) when the file's own path to it fails: nowhere, here.
    setenv("REF_PATH", dir.file("no-references").c_str(), 1);
    setenv("REF_CACHE", dir.file("no-references").c_str(), 1);
    const std::string gtf = dir.write("genes.gtf", kGtf);
    const std::string bases = reference_bases(5100);
    std::string fasta_text = ">chr1\n";
    for (std::size_t at = 0; at < bases.size(); at += 60) fasta_text += bases.substr(at, 60) + "\n";
    const std::string fasta = dir.write("chr1.fa", fasta_text);
    const std::string other = dir.write("other.fa", ">chr2\n" + bases.substr(0, 60) + "\n");
    const std::string sam = many_reads_sam(500);
    const std::string cram = write_alignments(dir, "reads", sam, fasta);
    const std::string bam = write_alignments(dir, "reads", sam);

    // With its reference, the same tables as the BAM file.
    ASSERT_EQ(run_limited({"--gtf", gtf, "--out", dir.file("from_bam"), bam}).status, 0);
    for (const char* threads : {"1", "2"}) {
        const RunResult r =
            run_limited({"--gtf", gtf, "--out", dir.file("from_cram"), "--threads", threads, "--reference", fasta, cram});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_file(dir.file("from_cram/reads.txt")), read_file(dir.file("from_bam/reads.txt")));
    }

    // The FASTA gone and then its index too: with the index left, htslib
    // finds it through the file's header and writes a line of its own for
    // the missing FASTA at every attempt. Only ours is left.
    std::remove(fasta.c_str());
    for (const bool index_left : {true, false}) {
        if (!index_left) std::remove((fasta + ".fai").c_str());
        for (const char* threads : {"1", "2", "2", "2"}) {
            const RunResult r = run_limited({"--gtf", gtf, "--out", dir.file("o"), "--threads", threads, cram});
            EXPECT_EQ(r.err, "bamcount: cannot read alignment file '" + cram + "': the reference sequence its bases "
                             "are compressed against cannot be found; name its FASTA file with --reference\n");
            EXPECT_EQ(r.status, 2) << threads;
        }
    }
    const RunResult wrong = run_limited({"--gtf", gtf, "--out", dir.file("o"), "--reference", other, cram});
    expect_one_line_refusal(wrong, cram,
                            "the reference '" + other +
                                "' given with --reference lacks the sequence its bases are compressed against",
                            "another reference");
    // A reference that cannot be used is refused before htslib takes it
    // (handed one, it loses the handle's references, which the sanitizer
    // build's leak check counts).
    for (const std::string& reference : {fasta, dir.path()}) {
        const RunResult r = run_limited({"--gtf", gtf, "--out", dir.file("o"), "--reference", reference, cram});
        EXPECT_EQ(r.status, 2) << reference;
        EXPECT_EQ(r.err, "bamcount: cannot use the reference '" + reference + "' for alignment file '" + cram + "': " +
                             (reference == fasta ? "No such file or directory"
                                                 : "it is not a FASTA file, plain or bgzip-compressed, whose index "
                                                   "can be read or made") +
                             "\n");
    }

    const std::string whole = read_file(cram);
    const std::string cut = dir.write("cut.cram", whole.substr(0, whole.size() / 2));
    expect_one_line_refusal(run_limited({"--gtf", gtf, "--out", dir.file("o"), cut}), cut,
                            "the file is truncated or damaged (its end-of-file marker is missing)", "cut CRAM");
}

TEST(BamcountRobustness, CoverageOfACigarFarPastItsReferenceTakesTheAnnotatedBasesOnly)
{
    ScratchDir dir;
    // G (+): 101-110, 121-130; H (-): 201-210.
    const std::string gtf = dir.write(
        "genes.gtf", "chr1\tt\texon\t101\t110\t.\t+\t.\tgene_id \"G\"; transcript_id \"g\";\n"
                     "chr1\tt\texon\t121\t130\t.\t+\t.\tgene_id \"G\"; transcript_id \"g\";\n"
                     "chr1\tt\texon\t201\t210\t.\t-\t.\tgene_id \"H\"; transcript_id \"h\";\n");
    const std::string huge = "268435455M";
    const std::string bam = write_alignments(
        dir, "long",
        "@HD\tVN:1.6\n@SQ\tSN:chr1\tLN:1000\n"
        "claims_two_billion_bases\t0\tchr1\t101\t60\t" + huge + huge + huge + huge + huge + huge + huge + huge +
            "\t*\t0\t0\t*\t*\n"
        "skips_far\t16\tchr1\t96\t60\t5S30M268435455N10M\t*\t0\t0\t*\t*\n");
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = run_limited({"--gtf", gtf, "--out", dir.file("out"), "--coverage", bam});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.err;
    // Walking every claimed base took about 20 seconds; the annotated ones
    // are a few dozen.
    EXPECT_LT(seconds, 5.0);
    std::string expected;
    for (int p = 101; p <= 110; ++p) expected += "1 " + std::to_string(p) + " 1 2\n";
    for (int p = 121; p <= 130; ++p) expected += "1 " + std::to_string(p) + " 1 " + (p <= 125 ? "2\n" : "1\n");
    for (int p = 201; p <= 210; ++p) expected += "1 " + std::to_string(p) + " -1 1\n";
    EXPECT_EQ(read_file(dir.file("out/reads.txt")), expected);
    EXPECT_EQ(read_file(dir.file("out/gtt.txt")), "45 45\n");
}

TEST(BamcountRobustness, CoordinatesBeyondTheTablesAreRefused)
{
    ScratchDir dir;
    const std::string bam = write_alignments(dir, "reads", many_reads_sam(10));
    for (const char* position : {"9223372036854775807", "2147483648"}) {
        const std::string gtf = dir.write("huge.gtf", kGtf + "chr1\ttest\texon\t1\t" + position +
                                                          "\t.\t+\t.\tgene_id \"G\"; transcript_id \"t\";\n");
        const RunResult r = run_limited({"--gtf", gtf, "--out", dir.file("out"), bam});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "bamcount: annotation file '" + gtf + "', line 2, field 5 (end): expected a position, a whole "
                         "number from 1 to 2147483647, found '" + position + "'\n");
    }
}

TEST(BamcountRobustness, ANulByteInTheAnnotationIsRefusedAtItsLineAndByte)
{
    ScratchDir dir;
    const std::string bam = write_alignments(dir, "reads", many_reads_sam(10));
    const std::string exon2 = "chr1\ttest\texon\t6001\t6010\t.\t+\t.\tgene_id \"H\"; transcript_id \"h\";\n";
    // A line longer than the reader's block of 1 MiB, read across blocks.
    const std::string long_line = "chr1\ttest\texon\t7001\t7010\t.\t+\t.\tgene_id \"L\"; transcript_id \"l\"; note \"" +
                                  std::string(3000000, 'n') + "\";\n";
    struct Case {
        std::string name, text;
        std::string at; // "line L, byte B"
        bool gzip = false;
    };
    std::string nul_in_long = long_line;
    nul_in_long[2500000] = '\0';
    const std::vector<Case> cases = {
        {"before_a_line.gtf", std::string(100, '\0') + kGtf, "line 1, byte 1"},
        {"inside_a_line.gtf", kGtf + exon2.substr(0, 20) + '\0' + exon2.substr(20) + kGtf, "line 2, byte 21"},
        {"gzipped.gtf.gz", kGtf + kGtf + std::string("chr1\0", 5), "line 3, byte 5", true},
        {"in_a_long_line.gtf", kGtf + nul_in_long, "line 2, byte 2500001"},
    };
    for (const Case& c : cases) {
        const std::string path = c.gzip ? write_gzip(dir, c.name, c.text) : dir.write(c.name, c.text);
        const RunResult r = run_limited({"--gtf", path, "--out", dir.file("out"), bam});
        EXPECT_EQ(r.status, 2) << c.name;
        EXPECT_EQ(r.err, "bamcount: annotation file '" + path + "', " + c.at + ": expected text, found a NUL byte\n");
    }
    // A stream of zeros stops at its first byte.
    const RunResult zeros = run_limited({"--gtf", "/dev/zero", "--out", dir.file("out"), bam});
    EXPECT_EQ(zeros.status, 2);
    EXPECT_EQ(zeros.err, "bamcount: annotation file '/dev/zero', line 1, byte 1: expected text, found a NUL byte\n");

    // Without NUL: gzip input with CRLF line ends, a line longer than the
    // block and a last line without its line end reads as the plain file.
    const std::string plain = kGtf + long_line + exon2;
    std::string crlf;
    for (const char ch : plain) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    crlf.resize(crlf.size() - 2);
    ASSERT_EQ(run_limited({"--gtf", dir.write("plain.gtf", plain), "--out", dir.file("plain"), bam}).status, 0);
    const RunResult r = run_limited({"--gtf", write_gzip(dir, "crlf.gtf.gz", crlf), "--out", dir.file("crlf"), bam});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("crlf/features.tsv")), read_file(dir.file("plain/features.tsv")));
    EXPECT_EQ(split_lines(read_file(dir.file("crlf/features.tsv"))).size(), 7u);
}

TEST(BamcountRobustness, AGtfQuoteThatDoesNotCloseWhereItShouldIsRefused)
{
    ScratchDir dir;
    const std::string bam = write_alignments(dir, "reads", many_reads_sam(10));
    const std::string exon = "chr1\ttest\texon\t1\t10\t.\t+\t.\t", cds = "chr1\ttest\tCDS\t1\t10\t.\t+\t0\t";
    const std::string open_quote = "gene_id \"g1; transcript_id \"t1\";\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {exon + open_quote, "line 1, field 9 (attributes): expected ';' after the quoted value of 'gene_id', found 't1\";'"},
        {kGtf + exon + "gene_id \"g1\"; transcript_id \"t1\"  x;\n",
         "line 2, field 9 (attributes): expected ';' after the quoted value of 'transcript_id', found 'x;'"},
        {exon + "gene_id \"g1\"; transcript_id \"t1;\n",
         "line 1, field 9 (attributes): expected a closing '\"' of the value of 'transcript_id', found '\"t1;'"},
        // Lines not counted are checked too.
        {kGtf + cds + open_quote,
         "line 2, field 9 (attributes): expected ';' after the quoted value of 'gene_id', found 't1\";'"},
    };
    for (const auto& [text, message] : cases) {
        const std::string gtf = dir.write("quotes.gtf", text);
        const RunResult r = run_limited({"--gtf", gtf, "--out", dir.file("out"), bam});
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.err, "bamcount: annotation file '" + gtf + "', " + message + "\n");
    }
    // A ';' inside quotes is the value's; blanks may come before a ';'.
    const std::string gtf = dir.write("note.gtf", exon + "gene_id \"g1\" ; note \"a; b\"; transcript_id \"t1\" \n");
    ASSERT_EQ(run_limited({"--gtf", gtf, "--out", dir.file("out"), bam}).status, 0);
    EXPECT_EQ(split_lines(read_file(dir.file("out/features.tsv"))).at(2), "gene\t1\tg1\tg1\tchr1\t1\t10\t+\tt1\t1\t10");
}
