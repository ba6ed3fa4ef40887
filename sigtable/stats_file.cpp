#include "sigtable/stats_file.h"

#include "tables/line_fields.h"
#include "tables/textin.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

// The fields' names as the README lists them, for the messages.
const char* const kLevelFields[] = {"gene_id",      "condition_i",       "condition_j",
                                    "gp_statistic", "poisson_statistic", "lambda_i",
                                    "lambda_j",     "poisson_lambda_i",  "poisson_lambda_j",
                                    "length",       "scale",             "shape"};
const char* const kShareFields[] = {"exon_id",           "gene_id",       "condition_i",   "condition_l",
                                    "gp_statistic",      "poisson_statistic",
                                    "exon_lambda_i",     "gene_lambda_i", "exon_lambda_l", "gene_lambda_l",
                                    "exon_poisson_lambda_i", "gene_poisson_lambda_i",
                                    "exon_poisson_lambda_l", "gene_poisson_lambda_l",
                                    "exon_length",       "gene_length",   "scale",         "shape"};

// The lines that hold a field: at least the rows the file has.
std::size_t count_lines(const FileName& name)
{
    InputFile input = InputFile::open(name);
    std::size_t lines = 0;
    std::string_view text;
    while (input.next_line(text)) lines += !std::all_of(text.begin(), text.end(), InputFile::is_separator);
    input.close();
    return lines;
}

} // namespace

StatsFile read_stats(const std::string& path)
{
    StatsFile file;
    file.name = {"statistics file", path};
    // The rows are held at their final size from the start: a vector that
    // doubles while millions of rows come in would hold both copies for a
    // moment, half as much again as the rows themselves.
    const std::size_t lines = count_lines(file.name);
    file.rows.reserve(lines);
    InputFile input = InputFile::open(file.name);
    LineFields fields(input, Split::blanks);
    std::size_t expected = 0;
    while (fields.next_line()) {
        auto where = [&] { return describe(file.name) + ", line " + std::to_string(fields.line()); };
        if (expected == 0) {
            expected = fields.size();
            if (expected != 10 && expected != 12 && expected != 16 && expected != 18)
                fail_input(where() + ": expected 10 or 12 fields (lvcmp) or 16 or 18 (isocmp), found " +
                           std::to_string(expected));
            file.kind = expected <= 12 ? StatsKind::level : StatsKind::share;
            file.permutation = expected == 12 || expected == 18;
            if (file.kind == StatsKind::level) file.rates.reserve(lines);
            if (file.permutation) file.nulls.reserve(lines);
        }
        if (fields.size() != expected)
            fail_input(where() + ": expected " + std::to_string(expected) + " fields, as on the first line, found " +
                       std::to_string(fields.size()));
        FieldCursor c(fields, file.kind == StatsKind::level ? kLevelFields : kShareFields,
                      " of comparison " + std::to_string(file.rows.size() + 1));
        if (fields.line() > UINT32_MAX)
            fail_input(where() + ": a statistics file has at most " + std::to_string(UINT32_MAX) + " lines");
        StatsRow r;
        RatePair rates;
        r.line = static_cast<std::uint32_t>(fields.line());
        r.id = c.integer();
        if (file.kind == StatsKind::share) r.gene_id = c.integer();
        r.a = c.condition();
        r.b = c.condition();
        if (file.kind == StatsKind::level && c.peek() == "-1") {
            // Not valid: the statistic, both rates and the null's fields are
            // -1; they are read only to be checked.
            r.valid = false;
            r.stat = NAN;
            c.real();
            r.stat_poisson = c.real();
            c.real();
            c.real();
        } else {
            r.stat = c.real();
            r.stat_poisson = c.real();
            if (file.kind == StatsKind::level) {
                rates.lambda_a = c.real();
                rates.lambda_b = c.real();
            }
        }
        if (file.kind == StatsKind::level) {
            r.gene.mean_a = c.real();
            r.gene.mean_b = c.real();
        } else {
            // Exon before gene, condition a's before b's, rates before means;
            // the rates are read only to be checked.
            double rate = 0;
            for (double* field :
                 {&rate, &rate, &rate, &rate, &r.exon.mean_a, &r.gene.mean_a, &r.exon.mean_b, &r.gene.mean_b})
                *field = c.real();
        }
        r.length = c.length();
        if (file.kind == StatsKind::share) r.gene_length = c.length();
        if (file.permutation) {
            const double scale = c.real(), shape = c.real();
            r.has_null = r.valid;
            file.nulls.push_back(r.valid ? GammaNull{scale, shape} : GammaNull{});
        }
        if (file.kind == StatsKind::level) file.rates.push_back(rates);
        file.conditions = std::max({file.conditions, r.a, r.b});
        file.rows.push_back(std::move(r));
    }
    input.close();
    return file;
}
