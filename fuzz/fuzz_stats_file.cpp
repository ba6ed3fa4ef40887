// sigtable's statistics file reader (read_stats) and the readers of the
// further tests' files beside it (read_mean_test, read_rest_test), and the
// table sigtable makes of what they accept. The first bytes give how the
// file is read, which reader reads it and the number of conditions of a
// gtt (0 for none); the rest is the file. The further tests' files are read
// beside a small statistics file of the same genes and pairs, so that their
// matching is reached too.
#include "fuzz/fuzz_input.h"
#include "sigtable/extra_tests.h"
#include "sigtable/results_table.h"
#include "sigtable/stats_file.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

// Genes 1 and 2 (lvcmp) or exons 1 to 3 of gene 1 (isocmp) in conditions
// 1 and 2, as read_stats would give them.
StatsFile beside(StatsKind kind)
{
    StatsFile stats;
    stats.name = {"statistics file", "stats.txt"};
    stats.kind = kind;
    stats.conditions = 2;
    for (int id = 1; id <= (kind == StatsKind::level ? 2 : 3); ++id) {
        StatsRow r;
        r.line = static_cast<std::uint32_t>(id);
        r.id = id;
        r.gene_id = kind == StatsKind::level ? 0 : 1;
        r.a = 1;
        r.b = 2;
        r.stat = r.stat_poisson = 1;
        r.gene = {0.5, 0.5};
        if (kind == StatsKind::share) r.exon = r.gene;
        r.length = 10;
        r.gene_length = 30;
        stats.rows.push_back(r);
        if (kind == StatsKind::level) stats.rates.push_back({0.5, 0.5});
    }
    return stats;
}

void tabulate(const StatsFile& stats, const std::vector<double>& totals, const MeanTest* mean, const RestTest* rest)
{
    const Results results(stats, {totals, nullptr, nullptr, mean, rest, 0.5});
    const TableLabels labels{nullptr, nullptr, {stats.permutation, mean != nullptr, rest != nullptr}};
    std::string table = header_line(stats, labels);
    for (std::uint32_t k : order_by_padj(results, PValueKind{Test::gp, false, true}))
        append_row_line(table, stats, labels, results.row(k));
}

} // namespace

FUZZ_TARGET("fuzz_stats_file")
{
    const fuzz::Reading reading = bytes.take_reading();
    const int reader = bytes.take(2);
    std::vector<double> totals;
    for (int c = bytes.take(7); c > 0; --c) totals.push_back(100.0 * c);
    fuzz::accepts_rest(bytes, reading, [&](const std::string& path) {
        if (reader == 1) {
            const StatsFile stats = beside(StatsKind::level);
            const MeanTest mean = read_mean_test(path, stats);
            fuzz::check(mean.stat.size() == stats.rows.size(), "a mean-test line per statistics line");
            tabulate(stats, totals, &mean, nullptr);
            return;
        }
        if (reader == 2) {
            const StatsFile stats = beside(StatsKind::share);
            const RestTest rest = read_rest_test(path, stats, nullptr);
            fuzz::check(rest.match.size() == rest.lines.size(), "a match per rest-test line");
            tabulate(stats, totals, nullptr, &rest);
            return;
        }
        const StatsFile stats = read_stats(path);
        for (const StatsRow& row : stats.rows)
            fuzz::check(stats.kind == StatsKind::share || std::isnan(row.exon.mean_a), "no exon fits in lvcmp's");
        tabulate(stats, totals, nullptr, nullptr);
    });
}
