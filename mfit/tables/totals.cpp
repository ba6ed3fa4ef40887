#include "totals.h"

#include "diag.h"
#include "fieldreader.h"

#include <string>

TotalsTable read_totals(InputFile& file, std::int32_t conditions)
{
    TotalsTable t;
    t.general_total = RealVector(conditions);
    t.poisson_total = RealVector(conditions);
    FieldReader in(file, "condition");
    for (std::int32_t c = 1; c <= conditions; ++c) {
        in.start_record(c);
        in.real("general_total", false, t.general_total[c]);
        in.real("poisson_total", false, t.poisson_total[c]);
        for (auto [name, value] : {std::pair{"general_total", t.general_total[c]}, std::pair{"poisson_total", t.poisson_total[c]}}) {
            if (!(value > 0))
                warn("warning: " + describe(file.name()) + ": " + name + " of condition " + std::to_string(c) +
                     " is not above 0; the normalising factors with this condition are infinite or not a number");
        }
    }
    file.close();
    return t;
}
