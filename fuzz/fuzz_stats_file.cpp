// sigtable's statistics file reader (read_stats), and the table sigtable
// makes of what it accepts: the first bytes give how the file is read and
// the number of conditions of a gtt (0 for none), the rest is the file.
#include "fuzz_input.h"
#include "results_table.h"
#include "stats_file.h"

#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start("fuzz_stats_file");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    const int chunk = bytes.take_chunk();
    std::vector<double> totals;
    for (int c = bytes.take(7); c > 0; --c) totals.push_back(100.0 * c);
    const fuzz::InputText text(bytes.rest(), chunk);
    fuzz::accepts([&] {
        const StatsFile stats = read_stats(text.path());
        for (const StatsRow& row : stats.rows)
            fuzz::check(row.estimates.size() == (stats.kind == StatsKind::level ? 4u : 8u), "the kind's estimates");
        std::vector<ResultRow> rows = compute_results(stats, totals);
        sort_by_padj(rows);
        const Features none;
        std::string table = header_line(stats, none);
        for (const ResultRow& row : rows) table += row_line(stats, none, row);
    });
    return 0;
}
