// The result file reader of gene_re and exon_re (read_fit_table): the
// numbers of features and conditions and of leading fields from the first
// bytes, the rest as the file's text.
#include "fitrecords.h"
#include "fuzz_input.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start("fuzz_fit_table");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    const int chunk = bytes.take_chunk();
    const std::int32_t features = bytes.take(63);
    const std::int32_t conditions = bytes.take(63);
    const int leading = bytes.take(3); // gene_re has 2, exon_re 3
    const fuzz::InputText text(bytes.rest(), chunk);
    fuzz::accepts([&] {
        InputFile file = InputFile::open({leading == 3 ? "exon_re file" : "gene_re file", text.path()});
        const FitTable t = read_fit_table(file, features, conditions, leading, leading == 3 ? "exon" : "gene");
        for (std::int32_t k = 1; k <= features; ++k) {
            for (std::int32_t c = 1; c <= conditions; ++c) {
                const FitRecord fit = t.at(k, c);
                fuzz::check(fit.converged == 0 || fit.converged == 1, "converged is 0 or 1");
            }
        }
    });
    return 0;
}
