// sigtable's features.tsv, gtt and conditions.tsv readers (read_features,
// read_totals_file, read_condition_names): the first bytes give how the
// file is read and which reader reads it, the rest is the file. An accepted
// features or conditions file is then used to label a row of the table.
#include "fuzz/fuzz_input.h"
#include "sigtable/conditions_file.h"
#include "sigtable/results_table.h"
#include "sigtable/totals_file.h"

FUZZ_TARGET("fuzz_features")
{
    const fuzz::Reading reading = bytes.take_reading();
    const int reader = bytes.take(2);
    fuzz::accepts_rest(bytes, reading, [&](const std::string& path) {
        if (reader == 1) {
            read_totals_file({"gtt file", path});
            return;
        }
        // One lvcmp row, labelled by the file read.
        StatsFile stats;
        PairSummary pair;
        StatsRow source;
        source.gene = {1.0, 1.0};
        source.length = 1;
        source.a = 1;
        source.b = 2;
        stats.rows.push_back(source);
        stats.rates.push_back({1.0, 1.0});
        std::string line;
        if (reader == 2) {
            const ConditionNames names = read_condition_names(path);
            ResultRow row{};
            row.source = &stats.rows[0];
            row.status = TestStatus::no_reads_a;
            row.pair = &pair;
            append_row_line(line, stats, {nullptr, &names, {}}, row);
            return;
        }
        const Features f = read_features(path);
        for (const auto& [id, feature] : f.genes) {
            stats.rows[0].id = id;
            ResultRow row{};
            row.source = &stats.rows[0];
            row.pair = &pair;
            append_row_line(line, stats, {&f, nullptr, {}}, row);
        }
    });
}
