// sigtable's design file reader (read_design) and its checks against a
// dataset of four samples; an accepted design then makes a table per pair
// of conditions of a few genes, so that the conditions it names reach the
// test and the rows' text.
#include "fuzz/fuzz_input.h"
#include "sigtable/condition_table.h"
#include "sigtable/design_file.h"

FUZZ_TARGET("fuzz_design")
{
    const fuzz::Reading reading = bytes.take_reading();
    fuzz::accepts_rest(bytes, reading, [&](const std::string& path) {
        const Design design = read_design(path);
        check_design_testable(design);
        check_design_columns(design, 4, "the totals", {"a", "b", "c", "d"}, "the conditions file");
        StatsFile stats;
        for (int gene = 1; gene <= 12; ++gene)
            for (int a = 1; a <= 4; ++a)
                for (int b = a + 1; b <= 4; ++b) {
                    StatsRow& r = stats.rows.emplace_back();
                    r.id = gene;
                    r.a = a;
                    r.b = b;
                    r.length = 10;
                    r.gene = {gene * 0.1 * a, gene * 0.3 * b};
                }
        const ConditionResults results = compute_condition_results(stats, design, nullptr);
        for (const ConditionRow& row : results.rows) condition_row_line(results, nullptr, design, row);
    });
}
