#include "tables/totals.h"

#include "cli/diag.h"
#include "tables/fieldreader.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// Pairs up to `conditions`, or to the end of the file when it is negative.
TotalsTable read_pairs(InputFile& file, std::int32_t conditions)
{
    std::vector<double> general, poisson;
    FieldReader in(file, "condition");
    for (std::int32_t c = 1; conditions < 0 || c <= conditions; ++c) {
        in.start_record(c);
        double g = 0, p = 0;
        if (conditions >= 0)
            in.real("general_total", false, g);
        else if (!in.real_unless_end("general_total", g))
            break;
        in.real("poisson_total", false, p);
        for (auto [name, value] : {std::pair{"general_total", g}, std::pair{"poisson_total", p}}) {
            if (!(value > 0))
                warn("warning: " + describe(file.name()) + ": " + name + " of condition " + std::to_string(c) +
                     " is not above 0; the normalising factors with this condition are infinite or not a number");
        }
        general.push_back(g);
        poisson.push_back(p);
    }
    in.end_of_records();
    file.close();
    TotalsTable t;
    t.conditions = static_cast<std::int32_t>(general.size());
    t.general_total = RealVector(t.conditions);
    t.poisson_total = RealVector(t.conditions);
    for (std::int32_t c = 1; c <= t.conditions; ++c) {
        t.general_total[c] = general[static_cast<std::size_t>(c - 1)];
        t.poisson_total[c] = poisson[static_cast<std::size_t>(c - 1)];
    }
    return t;
}

} // namespace

TotalsTable read_totals(InputFile& file, std::int32_t conditions) { return read_pairs(file, conditions); }

TotalsTable read_all_totals(InputFile& file) { return read_pairs(file, -1); }
