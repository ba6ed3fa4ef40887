// sigtable's statistics file reader (read_stats), and the table sigtable
// makes of what it accepts: the first bytes give how the file is read and
// the number of conditions of a gtt (0 for none), the rest is the file.
#include "fuzz_input.h"
#include "results_table.h"
#include "stats_file.h"

#include <vector>

FUZZ_TARGET("fuzz_stats_file")
{
    const int chunk = bytes.take_chunk();
    std::vector<double> totals;
    for (int c = bytes.take(7); c > 0; --c) totals.push_back(100.0 * c);
    fuzz::accepts_rest(bytes, chunk, [&](const std::string& path) {
        const StatsFile stats = read_stats(path);
        for (const StatsRow& row : stats.rows)
            fuzz::check(row.estimates.size() == (stats.kind == StatsKind::level ? 4u : 8u), "the kind's estimates");
        std::vector<ResultRow> rows = compute_results(stats, {totals, nullptr, nullptr});
        sort_by_padj(rows, PValueKind::gp);
        std::string table = header_line(stats, {});
        for (const ResultRow& row : rows) table += row_line(stats, {}, row);
    });
}
