// Count vectors built from the tables, the exon-order check, and result-file
// records read back.
#include "tables/fitrecords.h"
#include "tables/tables.h"
#include "tables/totals.h"
#include "tests/support/refusals.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Loaded {
    CountTable counts;
    ExonTable exons;
    GeneTable genes;
};

Loaded load(const ScratchDir& dir, const std::string& reads, int num_reads, int conditions, const std::string& exon_zb,
            int num_exons, const std::string& gene_zb, int num_genes)
{
    InputFile r = InputFile::open({"reads file", dir.write("reads", reads)});
    InputFile e = InputFile::open({"exon_zb file", dir.write("exon_zb", exon_zb)});
    InputFile g = InputFile::open({"gene_zb file", dir.write("gene_zb", gene_zb)});
    Loaded l;
    l.counts = read_count_table(r, num_reads, conditions);
    l.exons = read_exon_table(e, num_exons, num_reads);
    l.genes = read_gene_table(g, num_genes, l.exons);
    return l;
}

} // namespace

TEST(CountVectors, GeneConcatenatesItsExonsThenZeros)
{
    ScratchDir dir;
    // Rows: 1..5; exon 1 = rows 1-2, exon 2 = no rows, exon 3 = rows 3-5.
    Loaded l = load(dir, "0 0 0 4 1\n0 0 0 0 2\n0 0 0 2 3\n0 0 0 7 4\n0 0 0 1 5\n", 5, 2,
                    "11 1 2 3\n12 3 2 4\n13 3 5 3\n", 3, "500 1 3 12\n", 1);
    IntVector v(12);
    fill_gene_vector(l.counts, l.exons, l.genes, 1, 1, v.get());
    const int expected[] = {4, 0, 2, 7, 1, 0, 0, 0, 0, 0, 0, 0};
    for (int j = 1; j <= 12; ++j) EXPECT_EQ(v[j], expected[j - 1]) << j;

    IntVector ev(4);
    fill_exon_vector(l.counts, l.exons, 2, 2, ev.get());
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(ev[j], 0);
    IntVector first(3);
    fill_exon_vector(l.counts, l.exons, 1, 2, first.get());
    EXPECT_EQ(first[1], 1);
    EXPECT_EQ(first[2], 2);
    EXPECT_EQ(first[3], 0);
    EXPECT_EQ(gene_rows(l.exons, l.genes, 1), 5);
}

TEST(CountVectors, RecordsMaySpanLines)
{
    ScratchDir dir;
    Loaded l = load(dir, "1 2\n3 4 5 6 7 8\n9 10", 2, 2, "1 1 2 2", 1, "1 1 1 2", 1);
    EXPECT_EQ(l.counts.counts[1][1], 4);
    EXPECT_EQ(l.counts.counts[1][2], 5);
    EXPECT_EQ(l.counts.counts[2][1], 9);
    EXPECT_EQ(l.counts.counts[2][2], 10);
}

TEST(ExonOrder, HoldsOnlyForContiguousAscendingRanges)
{
    ScratchDir dir;
    const std::string reads = "0 0 0 1\n0 0 0 1\n0 0 0 1\n";
    const std::string exon_zb = "1 1 1 1\n2 2 2 1\n3 3 3 1\n";
    auto holds = [&](const std::string& gene_zb, int genes) {
        return load(dir, reads, 3, 1, exon_zb, 3, gene_zb, genes).genes.exons_in_order;
    };
    EXPECT_TRUE(holds("1 1 2 2\n2 3 3 1\n", 2));
    EXPECT_TRUE(holds("1 1 2 2\n2 5 4 0\n3 3 3 1\n", 3)); // a gene without exons in between
    EXPECT_FALSE(holds("1 1 1 1\n2 3 3 1\n", 2));         // exon 2 is left out
    EXPECT_FALSE(holds("1 1 2 2\n2 2 3 2\n", 2));         // exon 2 twice
    EXPECT_FALSE(holds("1 2 3 2\n2 1 1 1\n", 2));         // out of order
}

TEST(FitRecords, GroupsWrittenAreReadBack)
{
    ScratchDir dir;
    std::string path = dir.file("gene_re");
    {
        OutputFile out = OutputFile::create({"gene_re file", path});
        LineBuffer line;
        line.integer(77).ch(' ').integer(12);
        write_field_group(line, {1, 0.797072, -0.25, 1.8});
        write_field_group(line, {0, 0, 0, 0.5});
        line.endl();
        out.put(line);
        out.close();
    }
    EXPECT_EQ(read_file(path), "77 12 0.797072 1.800000 1 -0.250000 NA 0.500000 0 NA\n");
    InputFile in = InputFile::open({"gene_re file", path});
    FitTable t = read_fit_table(in, 1, 2, 2, "gene");
    EXPECT_EQ(t.converged[1][1], 1);
    EXPECT_EQ(t.lambda[1][1], 0.797072);
    EXPECT_EQ(t.theta[1][1], -0.25);
    EXPECT_EQ(t.poisson_lambda[1][1], 1.8);
    EXPECT_EQ(t.converged[1][2], 0);
    EXPECT_EQ(t.poisson_lambda[1][2], 0.5);
    EXPECT_TRUE(std::isnan(t.lambda[1][2]));
}

TEST(CountTable, EveryFormOfIntegerReadsTheSameAcrossBlocks)
{
    // More than two 4 MiB blocks of rows mixing the forms the fast path
    // takes (plain digits, the largest count) with those it leaves to the
    // general path (a '+' sign, a negative leading field, leading zeros past
    // ten digits), separated by runs of blanks and tabs, a row a line.
    constexpr int kRows = 400'000;
    constexpr int kConditions = 3;
    const char* const forms[] = {"0", "7", "+12", "1073741823", "00000000000005", "1234567"};
    const long values[] = {0, 7, 12, 1073741823, 5, 1234567};
    const char* const separators[] = {" ", "\t", "  ", " \t ", "\t\t"};
    std::string text;
    std::vector<long> expected;
    unsigned state = 12345;
    auto next = [&](unsigned n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    for (int r = 1; r <= kRows; ++r) {
        text += r % 3 == 0 ? "-1" : "1";
        text += separators[next(4)];
        text += std::to_string(r) + " 0";
        for (int c = 0; c < kConditions; ++c) {
            const unsigned f = next(6);
            text += separators[next(5)];
            text += forms[f];
            expected.push_back(values[f]);
        }
        text += "\n";
    }
    ASSERT_GT(text.size(), std::size_t(9) << 20);
    ScratchDir dir;
    InputFile file = InputFile::open({"reads file", dir.write("reads", text)});
    const CountTable t = read_count_table(file, kRows, kConditions);
    std::size_t k = 0;
    for (int r = 1; r <= kRows; ++r)
        for (int c = 1; c <= kConditions; ++c, ++k) ASSERT_EQ(t.counts[r][c], expected[k]) << "row " << r << " condition " << c;
}

TEST(Limits, CountsAndLengthsUpToTheLargestAreTakenAndNoMore)
{
    // Exactly at each limit the table is read; one above, it is refused with
    // the field named, whichever path (plain digits or a '+' sign) read it.
    ScratchDir dir;
    throw_on_stop(true);
    auto status = [&](const std::string& reads, const std::string& exon_zb, const std::string& gene_zb) {
        try {
            load(dir, reads, 2, 2, exon_zb, 1, gene_zb, 1);
        } catch (const ProgramStop& stop) {
            return stop.status;
        }
        return 0;
    };
    const std::string reads = "0 0 0 1 2\n0 0 0 3 4\n";
    EXPECT_EQ(status("0 0 0 1 1073741823\n0 0 0 3 4\n", "1 1 2 2\n", "1 1 1 2\n"), 0);
    EXPECT_EQ(status("0 0 0 1 1073741824\n0 0 0 3 4\n", "1 1 2 2\n", "1 1 1 2\n"), 2);
    EXPECT_EQ(status("0 0 0 1 2\n0 0 0 +1073741824 4\n", "1 1 2 2\n", "1 1 1 2\n"), 2);
    EXPECT_EQ(status(reads, "1 1 2 1073741823\n", "1 1 1 1073741823\n"), 0);
    EXPECT_EQ(status(reads, "1 1 2 1073741824\n", "1 1 1 2\n"), 2);
    EXPECT_EQ(status(reads, "1 1 2 2\n", "1 1 1 1073741824\n"), 2);
    throw_on_stop(false);
}

TEST(Layout, ARecordThatBreaksTheFilesOwnLayoutIsRefusedWhereItBreaks)
{
    // A table's records may lie on lines as the file likes, but all alike: a
    // line with a field too many or too few would shift every later record.
    ScratchDir dir;
    const std::string rows = "1 1 0 1 2 3\n1 2 0 4 5 6\n1 3 0 7 8 9\n1 4 0 1 2 3\n";
    struct Case {
        std::string what, text, refusal; // refusal empty: read
        bool totals = false;
    };
    const std::vector<Case> cases = {
        {"a row a line", rows + "1 5 0 4 5 6\n1 6 0 7 8 9\n", ""},
        {"every row on one line", "1 1 0 1 2 3 1 2 0 4 5 6 1 3 0 7 8 9 1 4 0 1 2 3 1 5 0 4 5 6 1 6 0 7 8 9", ""},
        {"a field a line, blank lines and line ends of CR LF between rows",
         "1\n1\n0\n1\n2\n3\n\n\n1\n2\n0\n4\n5\n6\n1\n3\n0\n7\n8\n9\r\n1\n4\n0\n1\n2\n3\n1\n5\n0\n4\n5\n6\n1\n6\n0\n7\n8\n9\n",
         ""},
        {"a row over two lines", "1 1 0\n1 2 3\n1 2 0\n4 5 6\n1 3 0\n7 8 9\n1 4 0\n1 2 3\n1 5 0\n4 5 6\n1 6 0\n7 8 9\n", ""},
        {"a count too many on line 5", rows + "1 5 0 4 5 6 7\n1 6 0 7 8\n",
         "reads file '{f}', line 5, field 1 of row 6: expected row 6 to start on a new line, as every row before it "
         "does, found '7' on line 5, where row 5 ends (a line with fields missing or too many shifts every later row)"},
        {"line 5 short and line 6 long", rows + "1 5 0 4 5\n6 1 6 0 7 8 9\n",
         "reads file '{f}', line 6, field 6 of row 5: expected row 5 to end on line 5, where it starts, as every row "
         "before it lies on one line, found its last field '6' on line 6 (a line with fields missing or too many "
         "shifts every later row)"},
        {"line 5 short", rows + "1 5 0 4 5\n1 6 0 7 8 9\n",
         "reads file '{f}', line 6, field 6 of row 5: expected row 5 to end on line 5, where it starts, as every row "
         "before it lies on one line, found its last field '1' on line 6 (a line with fields missing or too many "
         "shifts every later row)"},
        {"totals of three conditions, one of them cut across lines", "100 100 7\n120 110\n90 95\n",
         "gtt file '{f}', line 2, field 2 of condition 2: expected condition 2 to end on line 1, where it starts, as "
         "every condition before it lies on one line, found its last field '120' on line 2 (a line with fields "
         "missing or too many shifts every later condition)",
         true},
    };
    for (const Case& c : cases) {
        const std::string path = dir.write("table", c.text);
        const std::string refusal = refusal_of([&] {
            InputFile file = InputFile::open({c.totals ? "gtt file" : "reads file", path});
            if (c.totals) read_totals(file, 3);
            else read_count_table(file, 6, 3);
        });
        std::string expected = c.refusal.empty() ? "" : "pipeline: " + c.refusal + "\n";
        if (const std::size_t at = expected.find("{f}"); at != std::string::npos) expected.replace(at, 3, path);
        EXPECT_EQ(refusal, expected) << c.what;
    }
}
