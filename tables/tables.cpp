#include "tables/tables.h"

#include "numcore/count_limits.h"
#include "tables/fieldreader.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

// Refuses the first of the counts among values[3..plain) above the limit.
void check_plain_counts(const FieldReader& in, const std::vector<std::int32_t>& values, int plain,
                        const std::vector<std::string>& count_names)
{
    for (std::size_t k = 3; k < static_cast<std::size_t>(plain); ++k)
        if (values[k] > kLargestCount)
            in.refuse_above(count_names[k - 3], kLargestCount, values[k], static_cast<int>(k) + 1);
}

} // namespace

namespace {

// Reads rows start..last, every one checked, and hands each row's counts
// to take(r, counts).
template <typename Take>
void scan_rows(InputFile& file, std::int32_t num_conditions, std::int64_t start, std::int64_t last, Take&& take)
{
    FieldReader in(file, "row");
    if (start > 1) in.resume_one_per_line(static_cast<std::uint64_t>(start - 1));
    static const std::string kLeading = "leading field";
    // Messages name the condition; the names are made once, not per row.
    std::vector<std::string> count_names;
    for (std::int32_t c = 1; c <= num_conditions; ++c) count_names.push_back("count of condition " + std::to_string(c));
    // The three leading fields, then the counts: nearly every row is all
    // plain integers and is read in one go; the rest of a row that is not
    // goes field by field, with the messages.
    const int fields = 3 + num_conditions;
    std::vector<std::int32_t> values(static_cast<std::size_t>(fields));
    for (std::int64_t r = start; r <= last; ++r) {
        in.start_record(r);
        // The plain fields' bits are ored as they are parsed. The limit is
        // 2^30 - 1, so while the or stays within it no count passes it; the
        // leading fields (positions, nearly always below 2^30) are in the or
        // too, and a row they push past it is looked at count by count.
        static_assert(kLargestCount == (1 << 30) - 1);
        std::uint32_t bits = 0;
        const int plain = in.plain_counts(fields, values.data(), bits);
        for (int k = plain; k < fields; ++k)
            values[static_cast<std::size_t>(k)] =
                k < 3 ? in.integer(kLeading) : in.count_up_to(count_names[k - 3], kLargestCount);
        if (bits > kLargestCount) check_plain_counts(in, values, plain, count_names);
        take(r, values.data() + 3);
    }
    in.end_of_records();
    file.close();
}

// Reads rows start..last, every one checked, and keeps rows first..last.
CountTable read_rows(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions, std::int64_t start,
                     std::int64_t first, std::int64_t last)
{
    CountTable table;
    if (last >= first) table.counts = CountRows(IntMatrix(last - first + 1, num_conditions), first);
    table.num_reads = num_reads;
    table.num_conditions = num_conditions;
    scan_rows(file, num_conditions, start, last, [&](std::int64_t r, const std::int32_t* counts) {
        if (r >= first) std::copy(counts, counts + num_conditions, table.counts[r] + 1);
    });
    return table;
}

} // namespace

CountTable read_count_table(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions)
{
    return read_rows(file, num_reads, num_conditions, 1, 1, num_reads);
}

void scan_count_table(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions,
                      const std::function<void(std::int64_t, const std::int32_t*)>& take)
{
    scan_rows(file, num_conditions, 1, num_reads, take);
}

CountTable read_count_rows(InputFile& file, std::int32_t num_reads, std::int32_t num_conditions,
                           const RowWindow& window)
{
    if (window.last < window.first) {
        file.close();
        CountTable table;
        table.num_reads = num_reads;
        table.num_conditions = num_conditions;
        return table;
    }
    file.read_range(window.begin, window.end, static_cast<std::uint64_t>(window.start));
    return read_rows(file, num_reads, num_conditions, window.start, window.first, window.last);
}

void enter_window(InputFile& file, FieldReader& in, const RowWindow& w)
{
    if (w.end == 0) return;
    file.read_range(w.begin, w.end, static_cast<std::uint64_t>(w.start));
    if (w.start > 1) in.resume_one_per_line(static_cast<std::uint64_t>(w.start - 1));
}

namespace {

ExonTable read_exons(InputFile& file, std::int32_t num_exons, std::int32_t num_reads, const RowWindow& w)
{
    ExonTable t(num_exons, w.first, w.last);
    if (w.last < w.first) {
        file.close();
        return t;
    }
    FieldReader in(file, "exon");
    enter_window(file, in, w);
    for (std::int64_t e = w.start; e <= w.last; ++e) {
        in.start_record(e);
        const std::int32_t id = in.integer("exon_id");
        const std::int32_t first = in.integer("first_row");
        const std::int32_t last = in.integer("last_row");
        // A range is checked once both ends are known, and reported at its end.
        if (last >= first && (first < 1 || last > num_reads))
            in.refuse_found("last_row", "an empty range (last_row below first_row) or rows within 1.." +
                                            std::to_string(num_reads) + " (num_reads)",
                            "the range " + std::to_string(first) + ".." + std::to_string(last));
        const std::int32_t length = in.count_up_to("length", kLargestLength);
        const std::int64_t rows = last >= first ? std::int64_t(last) - first + 1 : 0;
        if (rows > length)
            in.refuse("length", "at least " + std::to_string(rows) + ", the exon's rows from first_row to last_row");
        if (e >= w.first) {
            t.exon_id[e] = id;
            t.first_row[e] = first;
            t.last_row[e] = last;
            t.length[e] = length;
        }
    }
    in.end_of_records();
    file.close();
    return t;
}

std::string gene_length_expected(std::int64_t rows)
{
    return "at least " + std::to_string(rows) + ", the rows of the gene's exons";
}

// Genes start..last of the window, keeping first..last; with `exons`, each
// gene's length is checked against its exons' rows as it is read.
GeneTable read_genes(InputFile& file, std::int32_t num_genes, std::int32_t num_exons, const RowWindow& w,
                     const ExonTable* exons, bool require_exon_order)
{
    GeneTable t(num_genes, w.first, w.last);
    FieldReader in(file, "gene");
    enter_window(file, in, w);
    // The exon the next non-empty range must start at; unknown (0) until
    // the first range read when the genes read start after gene 1.
    std::int64_t next_exon = w.start == 1 ? 1 : 0;
    for (std::int64_t g = w.start; g <= w.last; ++g) {
        in.start_record(g);
        const std::int32_t id = in.integer("gene_id");
        const std::int32_t first = in.integer("first_exon");
        const std::int32_t last = in.integer("last_exon");
        if (last >= first && (first < 1 || last > num_exons))
            in.refuse_found("last_exon", "an empty range (last_exon below first_exon) or exons within 1.." +
                                             std::to_string(num_exons) + " (num_exons)",
                            "the range " + std::to_string(first) + ".." + std::to_string(last));
        if (std::int64_t(last) < std::int64_t(first) - 1)
            in.refuse_found("last_exon", "at least first_exon - 1 = " + std::to_string(std::int64_t(first) - 1),
                            std::to_string(last));
        if (last >= first) {
            t.exons_in_order = t.exons_in_order && (next_exon == 0 || first == next_exon);
            if (require_exon_order && !t.exons_in_order)
                in.refuse_found("first_exon", "exon " + std::to_string(next_exon) +
                                                  ", the one after the previous gene's last exon (every exon must "
                                                  "belong to one gene, in ascending order)",
                                std::to_string(first), 2);
            next_exon = std::int64_t(last) + 1;
        }
        const std::int32_t length = in.count_up_to("length", kLargestLength);
        if (g >= w.first) {
            t.gene_id[g] = id;
            t.first_exon[g] = first;
            t.last_exon[g] = last;
            t.length[g] = length;
            if (exons) {
                const std::int64_t rows = gene_rows(*exons, t, g);
                if (rows > length) in.refuse("length", gene_length_expected(rows));
            }
        }
    }
    in.end_of_records();
    // Whether every exon up to num_exons belongs to a gene is known only
    // where the last gene is read.
    if (w.last == num_genes && next_exon != 0) {
        t.exons_in_order = t.exons_in_order && next_exon == std::int64_t(num_exons) + 1;
        if (require_exon_order && !t.exons_in_order)
            in.refuse_found("last_exon", "the genes' exon ranges to end at exon " + std::to_string(num_exons) +
                                             " (num_exons), so that every exon belongs to one gene",
                            "them ending at exon " + std::to_string(next_exon - 1));
    }
    file.close();
    return t;
}

} // namespace

ExonTable read_exon_table(InputFile& file, std::int32_t num_exons, std::int32_t num_reads)
{
    RowWindow whole;
    whole.last = num_exons;
    return read_exons(file, num_exons, num_reads, whole);
}

ExonTable read_exon_part(InputFile& file, std::int32_t num_exons, std::int32_t num_reads, const RowWindow& window)
{
    return read_exons(file, num_exons, num_reads, window);
}

GeneTable read_gene_table(InputFile& file, std::int32_t num_genes, const ExonTable& exons, bool require_exon_order)
{
    RowWindow whole;
    whole.last = num_genes;
    return read_genes(file, num_genes, exons.num_exons, whole, &exons, require_exon_order);
}

GeneTable read_gene_part(InputFile& file, std::int32_t num_genes, std::int32_t num_exons, const RowWindow& window,
                         bool require_exon_order)
{
    return read_genes(file, num_genes, num_exons, window, nullptr, require_exon_order);
}

void check_gene_lengths(const FileName& gene_zb, const GeneTable& genes, const ExonTable& exons, std::int64_t first,
                        std::int64_t last)
{
    for (std::int64_t g = first; g <= last; ++g) {
        const std::int64_t rows = gene_rows(exons, genes, g);
        if (rows > genes.length[g])
            fail_input(describe(gene_zb) + ", line " + std::to_string(g) + ", field 4 (length of gene " +
                       std::to_string(g) + "): expected " + gene_length_expected(rows) + ", found " +
                       quote_token(std::to_string(genes.length[g])));
    }
}

std::pair<std::int64_t, std::int64_t> exons_of_genes(const GeneTable& genes, std::int64_t first, std::int64_t last)
{
    std::int64_t lo = std::numeric_limits<std::int64_t>::max(), hi = 0;
    for (std::int64_t g = first; g <= last; ++g)
        if (genes.last_exon[g] >= genes.first_exon[g]) {
            lo = std::min<std::int64_t>(lo, genes.first_exon[g]);
            hi = std::max<std::int64_t>(hi, genes.last_exon[g]);
        }
    return lo <= hi ? std::make_pair(lo, hi) : std::make_pair(std::int64_t(1), std::int64_t(0));
}

std::int64_t gene_rows(const ExonTable& exons, const GeneTable& genes, std::int64_t g)
{
    std::int64_t rows = 0;
    for (std::int64_t e = genes.first_exon[g]; e <= genes.last_exon[g]; ++e) rows += exons.rows(e);
    return rows;
}

void fill_exon_vector(const CountTable& table, const ExonTable& exons, std::int64_t e, std::int32_t c, int* v)
{
    std::int64_t n = 0;
    for (std::int64_t r = exons.first_row[e]; r <= exons.last_row[e]; ++r) v[++n] = table.counts[r][c];
    for (std::int64_t j = n + 1; j <= exons.length[e]; ++j) v[j] = 0;
}

void fill_gene_vector(const CountTable& table, const ExonTable& exons, const GeneTable& genes, std::int64_t g,
                      std::int32_t c, int* v)
{
    std::int64_t n = 0;
    for (std::int64_t e = genes.first_exon[g]; e <= genes.last_exon[g]; ++e)
        for (std::int64_t r = exons.first_row[e]; r <= exons.last_row[e]; ++r) v[++n] = table.counts[r][c];
    for (std::int64_t j = n + 1; j <= genes.length[g]; ++j) v[j] = 0;
}
