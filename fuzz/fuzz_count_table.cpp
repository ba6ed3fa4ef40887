// The reads file reader (read_count_table): sizes from the first bytes, the
// rest as the table's text.
#include "fuzz/fuzz_input.h"
#include "tables/tables.h"

FUZZ_TARGET("fuzz_count_table")
{
    const fuzz::Reading reading = bytes.take_reading();
    const std::int32_t num_reads = bytes.take(127);
    const std::int32_t num_conditions = bytes.take(63);
    fuzz::accepts_rest(bytes, reading, [&](const std::string& path) {
        InputFile file = InputFile::open({"reads file", path});
        const CountTable table = read_count_table(file, num_reads, num_conditions);
        fuzz::check(table.num_reads == num_reads && table.num_conditions == num_conditions, "the table's sizes");
        for (std::int32_t r = 1; r <= num_reads; ++r)
            for (std::int32_t c = 1; c <= num_conditions; ++c) fuzz::check(table.counts[r][c] >= 0, "counts of 0 or more");
    });
}
