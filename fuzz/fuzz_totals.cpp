// lvcmp's totals file reader (read_totals): the number of conditions from
// the first bytes, the rest as the file's text.
#include "fuzz/fuzz_input.h"
#include "tables/totals.h"

FUZZ_TARGET("fuzz_totals")
{
    const fuzz::Reading reading = bytes.take_reading();
    const std::int32_t conditions = bytes.take(63);
    fuzz::accepts_rest(bytes, reading, [&](const std::string& path) {
        InputFile file = InputFile::open({"gtt file", path});
        const TotalsTable t = read_totals(file, conditions);
        fuzz::check(t.general_total.size() == conditions && t.poisson_total.size() == conditions, "a total per condition");
    });
}
