// sigtable's features.tsv and gtt readers (read_features,
// read_poisson_totals): the first bytes give how the file is read and which
// reader reads it, the rest is the file. An accepted features file is then used to name a row of the table.
#include "fuzz_input.h"
#include "results_table.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start("fuzz_features");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    const int chunk = bytes.take_chunk();
    const bool features = bytes.take(1) == 0;
    const fuzz::InputText text(bytes.rest(), chunk);
    fuzz::accepts([&] {
        if (!features) {
            read_poisson_totals(text.path());
            return;
        }
        const Features f = read_features(text.path());
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
    return 0;
}
