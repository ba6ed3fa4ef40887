// lvcmp's totals file reader (read_totals): the number of conditions from
// the first bytes, the rest as the file's text.
#include "fuzz_input.h"
#include "totals.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start("fuzz_totals");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    const int chunk = bytes.take_chunk();
    const std::int32_t conditions = bytes.take(63);
    const fuzz::InputText text(bytes.rest(), chunk);
    fuzz::accepts([&] {
        InputFile file = InputFile::open({"gtt file", text.path()});
        const TotalsTable t = read_totals(file, conditions);
        fuzz::check(t.general_total.size() == conditions && t.poisson_total.size() == conditions, "a total per condition");
    });
    return 0;
}
