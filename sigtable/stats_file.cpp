#include "stats_file.h"

#include "line_fields.h"
#include "textin.h"

#include <algorithm>
#include <cmath>
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

// One comparison's fields, taken in order, each refused in the pipeline's
// words when it is not what its place asks for.
class Comparison {
public:
    Comparison(const FileName& name, const LineFields& fields, StatsKind kind, std::int64_t index)
        : name_(name), fields_(fields), names_(kind == StatsKind::level ? kLevelFields : kShareFields), index_(index)
    {
    }

    const std::string& peek() const { return fields_[k_]; }

    std::int32_t integer()
    {
        std::int32_t v = 0;
        switch (parse_int32(fields_[k_], v)) {
        case IntParse::ok: break;
        case IntParse::out_of_range: refuse("an integer from -2147483648 to 2147483647");
        case IntParse::not_integer: refuse("an integer");
        }
        ++k_;
        return v;
    }
    int condition()
    {
        std::int32_t v = 0;
        if (parse_int32(fields_[k_], v) != IntParse::ok || v < 1) refuse("a condition number (an integer from 1)");
        ++k_;
        return v;
    }
    int length()
    {
        std::int32_t v = 0;
        if (parse_int32(fields_[k_], v) != IntParse::ok || v < 0) refuse("a non-negative integer");
        ++k_;
        return v;
    }
    double real()
    {
        double v = 0;
        if (!parse_real(fields_[k_], v)) refuse("a real number");
        ++k_;
        return v;
    }

private:
    // "statistics file 'p', line L, field F (<name> of comparison N): expected ..., found '...'"
    [[noreturn]] void refuse(std::string_view expected) const
    {
        fail_input(describe(name_) + ", line " + std::to_string(fields_.line()) + ", field " + std::to_string(k_ + 1) +
                   " (" + names_[k_] + " of comparison " + std::to_string(index_) + "): expected " +
                   std::string(expected) + ", found " + quote_token(fields_[k_]));
    }

    const FileName& name_;
    const LineFields& fields_;
    const char* const* names_;
    std::int64_t index_;
    std::size_t k_ = 0;
};

} // namespace

StatsFile read_stats(const std::string& path)
{
    StatsFile file;
    file.name = {"statistics file", path};
    InputFile input = InputFile::open(file.name);
    LineFields fields(input);
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
        }
        if (fields.size() != expected)
            fail_input(where() + ": expected " + std::to_string(expected) + " fields, as on the first line, found " +
                       std::to_string(fields.size()));
        Comparison c(file.name, fields, file.kind, static_cast<std::int64_t>(file.rows.size()) + 1);
        StatsRow r;
        r.line = fields.line();
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
            r.estimates = {NAN, NAN};
        } else {
            r.stat = c.real();
            r.stat_poisson = c.real();
        }
        const std::size_t estimates = file.kind == StatsKind::level ? 4 : 8;
        while (r.estimates.size() < estimates) r.estimates.push_back(c.real());
        r.length = c.length();
        if (file.kind == StatsKind::share) r.gene_length = c.length();
        if (file.permutation) {
            const double scale = c.real(), shape = c.real();
            r.has_null = r.valid;
            r.null_scale = r.valid ? scale : NAN;
            r.null_shape = r.valid ? shape : NAN;
        }
        file.conditions = std::max({file.conditions, r.a, r.b});
        file.rows.push_back(std::move(r));
    }
    input.close();
    return file;
}
