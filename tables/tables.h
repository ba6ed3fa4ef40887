// The three input tables that every program of the pipeline reads, and their
// readers.
//
// Reads file: num_reads rows, each three leading integers (unused) and then
// one non-negative count per condition. exon_zb: num_exons rows of exon_id,
// first_row, last_row, length. gene_zb: num_genes rows of gene_id, first_exon,
// last_exon, length. All tables are 1-based and held whole in memory.
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
    IntVector exon_id, first_row, last_row, length; // [1..num_exons]
    std::int32_t num_exons = 0;

    ExonTable() = default;
    explicit ExonTable(std::int32_t n) : exon_id(n), first_row(n), last_row(n), length(n), num_exons(n) {}

    // Rows of exon e in the count table; 0 for an empty range.
    std::int64_t rows(std::int64_t e) const { return last_row[e] >= first_row[e] ? std::int64_t(last_row[e]) - first_row[e] + 1 : 0; }
};

struct GeneTable {
    IntVector gene_id, first_exon, last_exon, length; // [1..num_genes]
    std::int32_t num_genes = 0;

    GeneTable() = default;
    explicit GeneTable(std::int32_t n) : gene_id(n), first_exon(n), last_exon(n), length(n), num_genes(n) {}
    // True when the exon ranges, in gene order, list every exon exactly once
    // and in ascending order: the condition under which line k of exon_re
    // describes exon k.
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
// Rows first..last only (first > last: none) of a plain file laid out one
// row per line, read from byte `begin` (where row `start` <= first starts,
// on line `start`) up to byte `end`: rows start..last get every check a
// whole read makes; rows first..last are held.
struct RowWindow {
    std::int64_t first = 1, last = 0, start = 1;
    std::uint64_t begin = 0, end = 0;
};
CountTable read_count_rows(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions,
                           const RowWindow& window);
ExonTable read_exon_table(InputFile& file, std::int32_t num_exons, std::int32_t num_reads);
// With `require_exon_order`, genes whose exon ranges do not list every exon
// once and in ascending order are refused too (at the first gene that breaks
// the order), for programs that pair line k of exon_re with exon k.
GeneTable read_gene_table(InputFile& file, std::int32_t num_genes, const ExonTable& exons,
                          bool require_exon_order = false);

// Total rows of gene g's exons: the filled part of its count vector.
std::int64_t gene_rows(const ExonTable& exons, const GeneTable& genes, std::int64_t g);

// Fills v[1..length] with the exon's counts in condition c and its zero tail.
void fill_exon_vector(const CountTable& table, const ExonTable& exons, std::int64_t e, std::int32_t c, int* v);

// Fills v[1..length] with the counts of gene g's exons in condition c (exon
// after exon, row after row) and the gene's zero tail.
void fill_gene_vector(const CountTable& table, const ExonTable& exons, const GeneTable& genes, std::int64_t g,
                      std::int32_t c, int* v);
