// The shared readers' refusals of the count table and its annotation, read
// in this process: each bad field named with its file, line and field, and
// what was expected. Every program reads these tables through the same
// readers (mfit_e2e_test shows one refusal end to end: exit 2, one line).
#include "tables/tables.h"
#include "tests/support/refusals.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A tiny consistent dataset of one gene with one exon; each case replaces
// one of its files.
struct Tiny {
    std::string reads = "0 0 0 1 2\n0 0 0 3 0\n0 0 0 0 4\n";
    std::string exon_zb = "7 1 3 5\n";
    std::string gene_zb = "70 1 1 6\n";
};

// The refusal of reading the three tables (3 rows of 2 conditions, 1 exon,
// 1 gene), with the scratch folder's path as {d}.
std::string refusal(const ScratchDir& dir, const Tiny& t)
{
    std::string line = refusal_of([&] {
        InputFile reads = InputFile::open({"reads file", dir.write("reads", t.reads)});
        InputFile exon_zb = InputFile::open({"exon_zb file", dir.write("exon_zb", t.exon_zb)});
        InputFile gene_zb = InputFile::open({"gene_zb file", dir.write("gene_zb", t.gene_zb)});
        const CountTable counts = read_count_table(reads, 3, 2);
        const ExonTable exons = read_exon_table(exon_zb, 1, 3);
        read_gene_table(gene_zb, 1, exons);
    });
    for (std::size_t at; (at = line.find(dir.path())) != std::string::npos;) line.replace(at, dir.path().size(), "{d}");
    return line;
}

} // namespace

TEST(TableRefusals, EveryBadFieldIsNamedWithItsFileLineAndField)
{
    ScratchDir dir;
    struct Case {
        const char* file; // which of the three is replaced
        std::string text, refusal;
    };
    const std::vector<Case> cases = {
        // Short files and bad tokens.
        {"reads", "0 0 0 1 2\n0 0 0 3 0\n0 0 0 0\n",
         "reads file '{d}/reads', line 3, field 5 (count of condition 2 of row 3): expected a non-negative integer, "
         "found the end of the file"},
        {"reads", "0 0 0 1 2\n0 0 0 3 zero\n0 0 0 0 4\n",
         "reads file '{d}/reads', line 2, field 5 (count of condition 2 of row 2): expected a non-negative integer, "
         "found 'zero'"},
        {"reads", "0 0 0 1 2\n0 0 0 3 0\n0 0.5 0 0 4\n",
         "reads file '{d}/reads', line 3, field 2 (leading field of row 3): expected an integer, found '0.5'"},
        {"reads", "0 0 0 1 2\n0 0 0 3 -1\n0 0 0 0 4\n",
         "reads file '{d}/reads', line 2, field 5 (count of condition 2 of row 2): expected a non-negative integer, "
         "found '-1'"},
        {"reads", "0 0 0 1 2\n0 0 0 3 2147483648\n0 0 0 0 4\n",
         "reads file '{d}/reads', line 2, field 5 (count of condition 2 of row 2): expected a non-negative integer "
         "up to 2147483647, found '2147483648'"},
        {"exon_zb", "7 1 3\n",
         "exon_zb file '{d}/exon_zb', line 1, field 4 (length of exon 1): expected a non-negative integer, found the "
         "end of the file"},
        {"gene_zb", "70 1 one 6\n",
         "gene_zb file '{d}/gene_zb', line 1, field 3 (last_exon of gene 1): expected an integer, found 'one'"},
        // Annotation outside its tables.
        {"exon_zb", "7 2 4 5\n",
         "exon_zb file '{d}/exon_zb', line 1, field 3 (last_row of exon 1): expected an empty range (last_row below "
         "first_row) or rows within 1..3 (num_reads), found the range 2..4"},
        {"exon_zb", "7 0 2 5\n",
         "exon_zb file '{d}/exon_zb', line 1, field 3 (last_row of exon 1): expected an empty range (last_row below "
         "first_row) or rows within 1..3 (num_reads), found the range 0..2"},
        {"exon_zb", "7 1 3 2\n",
         "exon_zb file '{d}/exon_zb', line 1, field 4 (length of exon 1): expected at least 3, the exon's rows from "
         "first_row to last_row, found '2'"},
        {"gene_zb", "70 1 2 6\n",
         "gene_zb file '{d}/gene_zb', line 1, field 3 (last_exon of gene 1): expected an empty range (last_exon "
         "below first_exon) or exons within 1..1 (num_exons), found the range 1..2"},
        {"gene_zb", "70 5 3 6\n",
         "gene_zb file '{d}/gene_zb', line 1, field 3 (last_exon of gene 1): expected at least first_exon - 1 = 4, "
         "found 3"},
        {"gene_zb", "70 1 1 2\n",
         "gene_zb file '{d}/gene_zb', line 1, field 4 (length of gene 1): expected at least 3, the rows of the "
         "gene's exons, found '2'"},
        {"gene_zb", "70 1 1 -6\n",
         "gene_zb file '{d}/gene_zb', line 1, field 4 (length of gene 1): expected a non-negative integer, found "
         "'-6'"},
    };
    EXPECT_EQ(refusal(dir, Tiny()), "");
    for (const Case& c : cases) {
        Tiny t;
        (std::string(c.file) == "reads" ? t.reads : std::string(c.file) == "exon_zb" ? t.exon_zb : t.gene_zb) = c.text;
        EXPECT_EQ(refusal(dir, t), "pipeline: " + c.refusal + "\n") << c.file << ": " << c.text;
    }
}
