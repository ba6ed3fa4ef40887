#include "stats_file.h"

#include "diag.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

struct Fields {
    const std::string& path;
    std::uint64_t line;
    std::vector<std::string> tokens;

    [[noreturn]] void refuse(std::size_t k, std::string_view expected) const
    {
        fail_input(describe({"statistics file", path}) + ", line " + std::to_string(line) + ", field " +
                   std::to_string(k + 1) + ": expected " + std::string(expected) + ", found " + quote_token(tokens[k]));
    }
    int integer(std::size_t k) const
    {
        int v = 0;
        const std::string& t = tokens[k];
        const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (error != std::errc() || end != t.data() + t.size()) refuse(k, "an integer");
        return v;
    }
    double real(std::size_t k) const
    {
        // from_chars takes the sign, and "nan", "-nan" and "inf" as printf writes them.
        const std::string& t = tokens[k];
        double v = 0;
        const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || error != std::errc() || end != t.data() + t.size()) refuse(k, "a real number");
        return v;
    }
};

} // namespace

StatsFile read_stats(const std::string& path)
{
    std::ifstream in(path);
    if (!in) fail_open({"statistics file", path}, "open", errno);
    StatsFile file;
    std::size_t expected = 0;
    std::string text;
    std::uint64_t number = 0;
    while (std::getline(in, text)) {
        ++number;
        Fields f{path, number, {}};
        std::istringstream words(text);
        for (std::string w; words >> w;) f.tokens.push_back(w);
        if (f.tokens.empty()) continue;
        if (expected == 0) {
            expected = f.tokens.size();
            if (expected != 10 && expected != 12 && expected != 16 && expected != 18)
                fail_input(describe({"statistics file", path}) + ", line " + std::to_string(number) +
                           ": expected 10 or 12 fields (lvcmp) or 16 or 18 (isocmp), found " +
                           std::to_string(expected));
            file.kind = expected <= 12 ? StatsKind::level : StatsKind::share;
            file.permutation = expected == 12 || expected == 18;
        }
        if (f.tokens.size() != expected)
            fail_input(describe({"statistics file", path}) + ", line " + std::to_string(number) + ": expected " +
                       std::to_string(expected) + " fields, as on the first line, found " +
                       std::to_string(f.tokens.size()));
        StatsRow r;
        std::size_t k = 0;
        r.id = f.integer(k++);
        if (file.kind == StatsKind::share) r.gene_id = f.integer(k++);
        r.a = f.integer(k++);
        r.b = f.integer(k++);
        if (file.kind == StatsKind::level && f.tokens[k] == "-1") {
            // Not valid: the statistic and both rates are -1.
            r.valid = false;
            r.stat = NAN;
            ++k;
            r.stat_poisson = f.real(k++);
            r.estimates = {NAN, NAN};
            k += 2;
        } else {
            r.stat = f.real(k++);
            r.stat_poisson = f.real(k++);
        }
        const std::size_t estimates = file.kind == StatsKind::level ? 4 : 8;
        while (r.estimates.size() < estimates) r.estimates.push_back(f.real(k++));
        r.length = f.integer(k++);
        if (file.kind == StatsKind::share) r.gene_length = f.integer(k++);
        if (file.permutation) {
            r.has_null = r.valid;
            r.null_scale = r.valid ? f.real(k) : NAN;
            r.null_shape = r.valid ? f.real(k + 1) : NAN;
        }
        file.rows.push_back(std::move(r));
    }
    return file;
}
