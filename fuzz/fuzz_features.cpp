// sigtable's features.tsv and gtt readers (read_features,
// read_poisson_totals): the first bytes give how the file is read and which
// reader reads it, the rest is the file. An accepted features file is then
// used to name a row of the table.
#include "fuzz_input.h"
#include "results_table.h"

FUZZ_TARGET("fuzz_features")
{
    const int chunk = bytes.take_chunk();
    const bool features = bytes.take(1) == 0;
    fuzz::accepts_rest(bytes, chunk, [&](const std::string& path) {
        if (!features) {
            read_poisson_totals(path);
            return;
        }
        const Features f = read_features(path);
        StatsFile stats;
        StatsRow source;
        source.estimates.assign(4, 1.0);
        source.length = 1;
        for (const auto& [id, feature] : f.genes) {
            source.id = id;
            const ResultRow row{&source, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            row_line(stats, f, row);
        }
    });
}
