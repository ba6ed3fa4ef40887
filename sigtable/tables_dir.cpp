#include "sigtable/tables_dir.h"

#include "numcore/count_limits.h"
#include "tables/line_fields.h"
#include "tables/textin.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

// The lines of a file that hold a field, and the fields of the first such
// line: a table's size as bamcount writes it, counted by the shared reader
// before the table itself is read by its own.
struct LineCount {
    std::int64_t lines = 0;
    std::int64_t first_fields = 0;
    std::uint64_t first_line = 0; // its line number
};

LineCount count_lines(const FileName& name)
{
    InputFile file = InputFile::open(name);
    LineCount count;
    std::string_view text;
    while (file.next_line(text)) {
        // Only the first line that holds a field is split; the others need
        // only to hold one (the reads file has millions of lines).
        if (std::all_of(text.begin(), text.end(), InputFile::is_separator)) continue;
        if (count.lines++ > 0) continue;
        LineFields fields(name, Split::blanks);
        fields.assign(text, file.line());
        count.first_fields = static_cast<std::int64_t>(fields.size());
        count.first_line = fields.line();
    }
    return count;
}

std::int32_t table_size(const FileName& name, const LineCount& count)
{
    if (count.lines > 2147483647) fail_input(describe(name) + " has more than 2147483647 lines");
    return static_cast<std::int32_t>(count.lines);
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 || errno != ENOENT;
}

} // namespace

std::string gtt_in(const std::string& dir) { return dir + "/gtt.txt"; }

namespace {

std::optional<std::string> if_there(const std::string& path)
{
    if (exists(path)) return path;
    return std::nullopt;
}

} // namespace

std::optional<std::string> features_in(const std::string& dir) { return if_there(dir + "/features.tsv"); }
std::optional<std::string> size_factors_in(const std::string& dir) { return if_there(dir + "/size_factors.txt"); }
std::optional<std::string> gene_re_in(const std::string& dir) { return if_there(dir + "/gene_re.txt"); }

TablesDir read_tables_dir(const std::string& dir, std::int32_t conditions_if_empty)
{
    TablesDir d;
    CountTables& t = d.tables;
    t.reads = {"reads file", dir + "/reads.txt"};
    t.exon_zb = {"exon_zb file", dir + "/exon_zb.txt"};
    t.gene_zb = {"gene_zb file", dir + "/gene_zb.txt"};

    const LineCount rows = count_lines(t.reads);
    std::int32_t conditions = conditions_if_empty;
    if (rows.lines > 0) {
        if (rows.first_fields < 4)
            fail_input(describe(t.reads) + ", line " + std::to_string(rows.first_line) +
                       ": expected three leading fields and a count per condition, found " +
                       std::to_string(rows.first_fields) + (rows.first_fields == 1 ? " field" : " fields"));
        if (rows.first_fields - 3 > kLargestConditions)
            fail_input(describe(t.reads) + ", line " + std::to_string(rows.first_line) + ": expected at most " +
                       std::to_string(kLargestConditions) + " conditions, found " +
                       std::to_string(rows.first_fields - 3));
        conditions = static_cast<std::int32_t>(rows.first_fields - 3);
    }
    const std::int32_t num_reads = table_size(t.reads, rows);
    const std::int32_t num_exons = table_size(t.exon_zb, count_lines(t.exon_zb));
    const std::int32_t num_genes = table_size(t.gene_zb, count_lines(t.gene_zb));
    t.num_reads = num_reads;
    t.num_conditions = conditions;
    {
        InputFile exon_zb = InputFile::open(t.exon_zb);
        t.exons = read_exon_table(exon_zb, num_exons, num_reads);
        InputFile gene_zb = InputFile::open(t.gene_zb);
        t.genes = read_gene_table(gene_zb, num_genes, t.exons);
    }

    const std::size_t C = t.conditions();
    t.exon_reads_.assign(static_cast<std::size_t>(num_exons) * C, 0);
    t.gene_reads_.assign(static_cast<std::size_t>(num_genes) * C, 0);
    t.gene_of_exon.assign(static_cast<std::size_t>(num_exons) + 1, 0);
    {
        // An exon's reads are the difference of the running sums of the
        // count table at its last row and before its first: each sum is
        // taken as the rows stream past (in 64 bits, exact, so the same
        // whatever the order of the additions).
        struct Edge {
            std::int64_t row; // the sum is taken after this row (0: before the first)
            std::int32_t exon;
            bool last;
        };
        std::vector<Edge> edges;
        for (std::int32_t e = 1; e <= num_exons; ++e)
            if (t.exons.last_row[e] >= t.exons.first_row[e]) {
                edges.push_back({std::int64_t(t.exons.first_row[e]) - 1, e, false});
                edges.push_back({t.exons.last_row[e], e, true});
            }
        std::sort(edges.begin(), edges.end(), [](const Edge& x, const Edge& y) { return x.row < y.row; });
        std::vector<std::int64_t> running(C, 0);
        std::size_t next = 0;
        auto take_edges = [&](std::int64_t r) {
            for (; next < edges.size() && edges[next].row == r; ++next) {
                std::int64_t* sums = &t.exon_reads_[static_cast<std::size_t>(edges[next].exon - 1) * C];
                for (std::size_t c = 0; c < C; ++c) sums[c] += edges[next].last ? running[c] : -running[c];
            }
        };
        take_edges(0);
        InputFile reads = InputFile::open(t.reads);
        scan_count_table(reads, num_reads, conditions, [&](std::int64_t r, const std::int32_t* counts) {
            for (std::size_t c = 0; c < C; ++c) running[c] += counts[c];
            take_edges(r);
        });
    }
    for (std::int32_t e = 1; e <= num_exons; ++e) t.exon_row.emplace(t.exons.exon_id[e], e);
    for (std::int32_t g = 1; g <= num_genes; ++g) {
        t.gene_row.emplace(t.genes.gene_id[g], g);
        std::int64_t* sums = &t.gene_reads_[static_cast<std::size_t>(g - 1) * C];
        for (std::int32_t e = t.genes.first_exon[g]; e <= t.genes.last_exon[g]; ++e) {
            if (t.gene_of_exon[static_cast<std::size_t>(e)] == 0) t.gene_of_exon[static_cast<std::size_t>(e)] = g;
            for (std::size_t c = 0; c < C; ++c) sums[c] += t.exon_reads_[static_cast<std::size_t>(e - 1) * C + c];
        }
    }

    const std::string names = dir + "/conditions.tsv";
    if (exists(names)) d.names = read_condition_names(names);

    return d;
}

GeneFits read_gene_fits(const std::string& path, const CountTables& t)
{
    const std::size_t C = t.conditions();
    const std::int32_t num_genes = t.genes.num_genes;
    const FileName gene_re{"gene_re file", path};
    // read_fit_table takes the records by position, whatever the lines: a
    // file of other conditions or genes would be read shifted, so its shape
    // is checked against the tables first.
    const LineCount shape = count_lines(gene_re);
    const std::int64_t fields = 2 + 4 * static_cast<std::int64_t>(C);
    if (shape.lines > 0 && shape.first_fields != fields)
        fail_input(describe(gene_re) + " does not belong to " + describe(t.reads) + ": its line " +
                   std::to_string(shape.first_line) + " has " + std::to_string(shape.first_fields) +
                   " fields, and a gene of " + std::to_string(C) + (C == 1 ? " condition" : " conditions") + " has " +
                   std::to_string(fields) + " (2, then 4 per condition)");
    if (shape.lines != num_genes)
        fail_input(describe(gene_re) + " does not belong to " + describe(t.gene_zb) + ": it has " +
                   std::to_string(shape.lines) + (shape.lines == 1 ? " gene" : " genes") + " and the gene_zb file " +
                   std::to_string(num_genes));
    InputFile file = InputFile::open(gene_re);
    return GeneFits{gene_re, read_fit_table(file, num_genes, t.num_conditions, 2, "gene")};
}
