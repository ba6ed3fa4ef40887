// The three input tables that every program of the pipeline reads, and their
// readers.
//
// Reads file: num_reads rows, each three leading integers (unused) and then
// one non-negative count per condition. exon_zb: num_exons rows of exon_id,
// first_row, last_row, length. gene_zb: num_genes rows of gene_id, first_exon,
// last_exon, length. All tables are 1-based, numbered as in the whole file,
// and held whole in memory, or (for a range of genes read through the files'
// indexes, line_index.h) only the part of them the range needs.
//
// The readers refuse input that would make a later step read outside a table
// or write past the end of a count vector: a missing or malformed field, a
// number beyond 32 bits, a negative count or length, a row or exon index
// outside its table, an exon with more rows than its length, a gene whose
// exons have more rows than its length, a last_exon more than one below its
// first_exon. Each refusal is one line on standard error naming the file, the
// line, the field and what was expected, and exit status 2. An empty range
// (last below first) is valid wherever it stands and is never used as an index.
#pragma once

#include "numcore/arrays.h"
#include "tables/part_arrays.h"
#include "tables/textin.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <string_view>

// The four sizes every program is given: rows of the reads file, counts per
// row, rows of exon_zb and of gene_zb.
struct TableSizes {
    std::int32_t num_reads = 0;
    std::int32_t num_conditions = 0;
    std::int32_t num_exons = 0;
    std::int32_t num_genes = 0;
};

// The rows of the count table held in memory: all of them, or those of a
// range of genes (first..last); row r's counts are [r][1..num_conditions],
// numbered as in the whole table either way.
class CountRows {
public:
    CountRows() = default;
    CountRows(IntMatrix rows, std::int64_t first = 1) : m_(std::move(rows)), shift_(first - 1) {}
    int* operator[](std::int64_t r) { return m_[r - shift_]; }
    const int* operator[](std::int64_t r) const { return m_[r - shift_]; }

private:
    IntMatrix m_;
    std::int64_t shift_ = 0;
};

struct CountTable {
    CountRows counts; // [1..num_reads][1..num_conditions], or the rows read
    std::int32_t num_reads = 0;
    std::int32_t num_conditions = 0;
};

struct ExonTable {
    PartVector<int> exon_id, first_row, last_row, length; // [1..num_exons], or the exons read
    std::int32_t num_exons = 0;

    ExonTable() = default;
    explicit ExonTable(std::int32_t n) : ExonTable(n, 1, n) {}
    // Holding exons first..last of the n.
    ExonTable(std::int32_t n, std::int64_t first, std::int64_t last)
        : exon_id(first, last), first_row(first, last), last_row(first, last), length(first, last), num_exons(n)
    {
    }

    // Rows of exon e in the count table; 0 for an empty range.
    std::int64_t rows(std::int64_t e) const { return last_row[e] >= first_row[e] ? std::int64_t(last_row[e]) - first_row[e] + 1 : 0; }
};

struct GeneTable {
    PartVector<int> gene_id, first_exon, last_exon, length; // [1..num_genes], or the genes read
    std::int32_t num_genes = 0;

    GeneTable() = default;
    explicit GeneTable(std::int32_t n) : GeneTable(n, 1, n) {}
    // Holding genes first..last of the n.
    GeneTable(std::int32_t n, std::int64_t first, std::int64_t last)
        : gene_id(first, last), first_exon(first, last), last_exon(first, last), length(first, last), num_genes(n)
    {
    }
    // True when the exon ranges, in gene order, list every exon exactly once
    // and in ascending order: the condition under which line k of exon_re
    // describes exon k. For a part of the table, as far as the genes read
    // show it (read_gene_part).
    bool exons_in_order = true;
};

// Each reader consumes exactly the announced number of records, closes the
// file and returns the table; anything after the records is ignored.
CountTable read_count_table(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions);
// Reads the whole table with every check read_count_table makes, but holds
// none of it: each row's counts go to take(r, counts[0..num_conditions)) as
// the row is read, for a reader that needs only their sums.
void scan_count_table(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions,
                      const std::function<void(std::int64_t, const std::int32_t*)>& take);
// Records first..last only (first > last: none) of a plain file laid out one
// record per line, read from byte `begin` (where record `start` <= first
// starts, on line `start`) up to byte `end`: records start..last get every
// check a whole read makes (but see read_gene_part); records first..last are
// held. With `end` 0, the whole file from the top: records 1..last.
struct RowWindow {
    std::int64_t first = 1, last = 0, start = 1;
    std::uint64_t begin = 0, end = 0;
};
// Moves the file and the reader to the window's first line; a whole read
// (end 0) starts at the top. Before any read.
class FieldReader;
void enter_window(InputFile& file, FieldReader& in, const RowWindow& window);
CountTable read_count_rows(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions,
                           const RowWindow& window);
ExonTable read_exon_table(InputFile& file, std::int32_t num_exons, std::int32_t num_reads);
ExonTable read_exon_part(InputFile& file, std::int32_t num_exons, std::int32_t num_reads, const RowWindow& window);
// With `require_exon_order`, genes whose exon ranges do not list every exon
// once and in ascending order are refused too (at the first gene that breaks
// the order), for programs that pair line k of exon_re with exon k.
GeneTable read_gene_table(InputFile& file, std::int32_t num_genes, const ExonTable& exons,
                          bool require_exon_order = false);
// Genes first..last of the window, read before their exons are known (the
// exons to read are theirs): every check but that of a gene's length against
// its exons' rows, which check_gene_lengths makes once they are read. The
// order of the exon ranges is checked among the genes read: from exon 1 when
// they start at gene 1, from the first non-empty range otherwise, and up to
// num_exons when they end at gene num_genes.
GeneTable read_gene_part(InputFile& file, std::int32_t num_genes, std::int32_t num_exons, const RowWindow& window,
                         bool require_exon_order);
// Refuses the first gene among first..last (numbered as on their lines, one
// gene a line) whose length is below its exons' rows.
void check_gene_lengths(const FileName& gene_zb, const GeneTable& genes, const ExonTable& exons,
                        std::int64_t first, std::int64_t last);
// The exons of genes first..last: from the first exon of their exon ranges
// to the last (first > last: none).
std::pair<std::int64_t, std::int64_t> exons_of_genes(const GeneTable& genes, std::int64_t first, std::int64_t last);

// Total rows of gene g's exons: the filled part of its count vector.
std::int64_t gene_rows(const ExonTable& exons, const GeneTable& genes, std::int64_t g);

// Fills v[1..length] with the exon's counts in condition c and its zero tail.
void fill_exon_vector(const CountTable& table, const ExonTable& exons, std::int64_t e, std::int32_t c, int* v);

// Fills v[1..length] with the counts of gene g's exons in condition c (exon
// after exon, row after row) and the gene's zero tail.
void fill_gene_vector(const CountTable& table, const ExonTable& exons, const GeneTable& genes, std::int64_t g,
                      std::int32_t c, int* v);
