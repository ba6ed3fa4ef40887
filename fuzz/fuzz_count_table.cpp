// The reads file reader (read_count_table): sizes from the first bytes, the
// rest as the table's text.
#include "fuzz_input.h"
#include "tables.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start("fuzz_count_table");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    const int chunk = bytes.take_chunk();
    const std::int32_t num_reads = bytes.take(127);
    const std::int32_t num_conditions = bytes.take(63);
    const fuzz::InputText text(bytes.rest(), chunk);
    fuzz::accepts([&] {
        InputFile file = InputFile::open({"reads file", text.path()});
        const CountTable table = read_count_table(file, num_reads, num_conditions);
        fuzz::check(table.num_reads == num_reads && table.num_conditions == num_conditions, "the table's sizes");
        for (std::int32_t r = 1; r <= num_reads; ++r)
            for (std::int32_t c = 1; c <= num_conditions; ++c) fuzz::check(table.counts[r][c] >= 0, "counts of 0 or more");
    });
    return 0;
}
