#include "sigtable/belonging.h"

#include "sigtable/number_text.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string plural(std::int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "<role> '<path>' does not belong to <role> '<path>': <what>"
[[noreturn]] void refuse(const FileName& file, const FileName& reference, const std::string& what)
{
    fail_input(describe(file) + " does not belong to " + describe(reference) + ": " + what);
}

// The statistics file's words for its items: "gene 7", "exon 17".
std::string item(const char* kind, int id) { return std::string(kind) + " " + std::to_string(id); }
std::string at_line(const StatsRow& s) { return " (line " + std::to_string(s.line) + ")"; }

// A file's number of conditions, phrased the way the file holds them.
struct ConditionCount {
    const FileName* file;
    std::int64_t conditions;
    const char* verb; // "holds the totals of", "names", "counts reads of"
};

void check_conditions(const StatsFile& stats, const RunInputs& in)
{
    std::vector<ConditionCount> counts;
    // The count table first: the folder's other files are then named
    // against it.
    if (in.tables) counts.push_back({&in.tables->reads, in.tables->num_conditions, "counts reads of"});
    if (in.gtt) counts.push_back({&in.gtt->file, static_cast<std::int64_t>(in.gtt->poisson_totals.size()),
                                  "holds the totals of"});
    if (in.names) counts.push_back({&in.names->file, static_cast<std::int64_t>(in.names->names.size()), "names"});
    for (const ConditionCount& c : counts) {
        const std::string held = std::string("it ") + c.verb + " " + plural(c.conditions, "condition", "conditions");
        if (!stats.rows.empty()) {
            if (stats.every_pair() && c.conditions != stats.conditions)
                refuse(*c.file, stats.name, held + " and the statistics file compares " + std::to_string(stats.conditions));
            if (!stats.every_pair() && c.conditions < stats.conditions)
                refuse(*c.file, stats.name,
                       held + " and the statistics file compares conditions up to " + std::to_string(stats.conditions));
        }
        if (in.tables && c.file != &in.tables->reads && c.conditions != in.tables->num_conditions)
            refuse(*c.file, in.tables->reads,
                   held + " and the reads file counts " + std::to_string(in.tables->num_conditions));
    }
}

void check_feature_counts(const Features& features, const CountTables& tables)
{
    const auto genes = static_cast<std::int64_t>(features.genes.size());
    const auto exons = static_cast<std::int64_t>(features.exons.size());
    if (genes != tables.genes.num_genes)
        refuse(features.file, tables.gene_zb,
               "it lists " + plural(genes, "gene", "genes") + " and the gene_zb file " +
                   std::to_string(tables.genes.num_genes));
    if (exons != tables.exons.num_exons)
        refuse(features.file, tables.exon_zb,
               "it lists " + plural(exons, "exon", "exons") + " and the exon_zb file " +
                   std::to_string(tables.exons.num_exons));
}

// One statistics line's items checked against one other file, in its words.
class LineCheck {
public:
    LineCheck(const StatsFile& stats, const StatsRow& row, const FileName& file, const char* file_words)
        : stats_(stats), row_(row), file_(file), words_(file_words)
    {
    }
    [[noreturn]] void missing(const char* kind, int id) const
    {
        refuse(file_, stats_.name,
               item(kind, id) + " of the statistics file" + at_line(row_) + " is not in the " + words_);
    }
    void length(const char* kind, int id, std::int64_t theirs) const
    {
        const std::int64_t ours = std::string(kind) == "exon" || stats_.kind == StatsKind::level ? row_.length
                                                                                                   : row_.gene_length;
        if (ours != theirs)
            refuse(file_, stats_.name,
                   item(kind, id) + " has length " + std::to_string(ours) + " in the statistics file" + at_line(row_) +
                       " and " + std::to_string(theirs) + " in the " + words_);
    }
    void gene_of_exon(std::int64_t theirs, bool known) const
    {
        if (known && theirs == row_.gene_id) return;
        refuse(file_, stats_.name,
               item("exon", row_.id) + " belongs to " + item("gene", row_.gene_id) + " in the statistics file" +
                   at_line(row_) + " and to " + (known ? item("gene", static_cast<int>(theirs)) : "no gene") +
                   " in the " + words_);
    }

private:
    const StatsFile& stats_;
    const StatsRow& row_;
    const FileName& file_;
    const char* words_;
};

void check_features(const StatsFile& stats, const Features& f)
{
    const bool level = stats.kind == StatsKind::level;
    for (const StatsRow& s : stats.rows) {
        const LineCheck check(stats, s, f.file, "features file");
        const int gene = level ? s.id : s.gene_id;
        const auto g = f.genes.find(gene);
        if (!level) {
            const auto e = f.exons.find(s.id);
            if (e == f.exons.end()) check.missing("exon", s.id);
            if (f.with_lengths) {
                check.gene_of_exon(e->second.gene_index, true);
                check.length("exon", s.id, e->second.length);
            }
        }
        if (g == f.genes.end()) check.missing("gene", gene);
        if (f.with_lengths) check.length("gene", gene, g->second.length);
    }
}

void check_tables(const StatsFile& stats, const CountTables& t)
{
    const bool level = stats.kind == StatsKind::level;
    for (const StatsRow& s : stats.rows) {
        const int gene = level ? s.id : s.gene_id;
        if (!level) {
            const LineCheck check(stats, s, t.exon_zb, "exon_zb file");
            const auto e = t.exon_row.find(s.id);
            if (e == t.exon_row.end()) check.missing("exon", s.id);
            check.length("exon", s.id, t.exons.length[e->second]);
        }
        const LineCheck check(stats, s, t.gene_zb, "gene_zb file");
        const auto g = t.gene_row.find(gene);
        if (g == t.gene_row.end()) check.missing("gene", gene);
        check.length("gene", gene, t.genes.length[g->second]);
        if (!level) {
            const std::int32_t holder = t.gene_of_exon[static_cast<std::size_t>(t.exon_row.at(s.id))];
            check.gene_of_exon(holder > 0 ? t.genes.gene_id[holder] : 0, holder > 0);
        }
    }
}

// A Poisson mean of the statistics file (six decimals) against the reads
// it stands for. The pipeline's mean is a running mean, which may differ
// from reads / length in its last bits: those are allowed for, besides the
// half of the sixth decimal.
bool same_mean(double written, std::int64_t reads, std::int64_t length)
{
    const double exact = static_cast<double>(reads) / static_cast<double>(length);
    return std::abs(written - exact) <= 5e-7 + 1e-8 * std::abs(exact);
}

void check_reads(const StatsFile& stats, const CountTables& t)
{
    const bool level = stats.kind == StatsKind::level;
    auto check = [&](const StatsRow& s, const char* kind, int id, int c, double written, std::int64_t reads,
                     std::int64_t length) {
        if (length <= 0 || same_mean(written, reads, length)) return;
        refuse(t.reads, stats.name,
               item(kind, id) + " has a mean of " + six_decimals(written) + " reads per position in condition " +
                   std::to_string(c) + " in the statistics file" + at_line(s) + " and " +
                   shortest(static_cast<double>(reads) / static_cast<double>(length)) + " (" +
                   plural(reads, "read", "reads") + " over " + plural(length, "position", "positions") +
                   ") in the reads file");
    };
    for (const StatsRow& s : stats.rows) {
        const std::int32_t g = t.gene_row.at(level ? s.id : s.gene_id);
        const std::int64_t gene_length = t.genes.length[g];
        if (level) {
            check(s, "gene", s.id, s.a, s.gene.mean_a, t.gene_reads(g, s.a), gene_length);
            check(s, "gene", s.id, s.b, s.gene.mean_b, t.gene_reads(g, s.b), gene_length);
        } else {
            const std::int32_t e = t.exon_row.at(s.id);
            const std::int64_t exon_length = t.exons.length[e];
            check(s, "exon", s.id, s.a, s.exon.mean_a, t.exon_reads(e, s.a), exon_length);
            check(s, "gene", s.gene_id, s.a, s.gene.mean_a, t.gene_reads(g, s.a), gene_length);
            check(s, "exon", s.id, s.b, s.exon.mean_b, t.exon_reads(e, s.b), exon_length);
            check(s, "gene", s.gene_id, s.b, s.gene.mean_b, t.gene_reads(g, s.b), gene_length);
        }
    }
}

} // namespace

// lvcmp and isocmp copy the genes' Poisson means from gene_re: the same
// six decimals in both files.
void check_gene_fits(const StatsFile& stats, const CountTables& t, const GeneFits& fits)
{
    const bool level = stats.kind == StatsKind::level;
    for (const StatsRow& s : stats.rows) {
        const int gene = level ? s.id : s.gene_id;
        const std::int32_t g = t.gene_row.at(gene);
        for (const auto& [c, written] : {std::pair{s.a, s.gene.mean_a}, {s.b, s.gene.mean_b}}) {
            const double theirs = fits.fits.poisson_lambda[g][c];
            if (!(std::abs(written - theirs) <= 5e-7))
                refuse(fits.file, stats.name,
                       item("gene", gene) + " has a Poisson mean of " + six_decimals(written) + " in condition " +
                           std::to_string(c) + " in the statistics file" + at_line(s) + " and " +
                           six_decimals(theirs) + " in the gene_re file");
        }
    }
}

void check_belonging(const StatsFile& stats, const RunInputs& in)
{
    check_conditions(stats, in);
    if (in.features && in.tables) check_feature_counts(*in.features, *in.tables);
    if (in.features) check_features(stats, *in.features);
    if (in.tables) {
        check_tables(stats, *in.tables);
        check_reads(stats, *in.tables);
    }
}
