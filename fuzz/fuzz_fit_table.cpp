// The result file reader of gene_re and exon_re (read_fit_table): the
// numbers of features and conditions and of leading fields from the first
// bytes, the rest as the file's text.
#include "fuzz/fuzz_input.h"
#include "tables/fitrecords.h"

FUZZ_TARGET("fuzz_fit_table")
{
    const fuzz::Reading reading = bytes.take_reading();
    const std::int32_t features = bytes.take(63);
    const std::int32_t conditions = bytes.take(63);
    const int leading = bytes.take(3); // gene_re has 2, exon_re 3
    fuzz::accepts_rest(bytes, reading, [&](const std::string& path) {
        InputFile file = InputFile::open({leading == 3 ? "exon_re file" : "gene_re file", path});
        const FitTable t = read_fit_table(file, features, conditions, leading, leading == 3 ? "exon" : "gene");
        for (std::int32_t k = 1; k <= features; ++k) {
            for (std::int32_t c = 1; c <= conditions; ++c) {
                const FitRecord fit = t.at(k, c);
                fuzz::check(fit.converged == 0 || fit.converged == 1, "converged is 0 or 1");
            }
        }
    });
}
