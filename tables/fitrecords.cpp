#include "tables/fitrecords.h"

#include "tables/fieldreader.h"

#include <limits>
#include <string>
#include <vector>

void write_field_group(LineBuffer& out, const FitRecord& fit)
{
    if (fit.converged == 1) {
        out.ch(' ').fixed6(fit.lambda).ch(' ').fixed6(fit.poisson_lambda).text(" 1 ").fixed6(fit.theta);
    } else {
        out.text(" NA ").fixed6(fit.poisson_lambda).text(" 0 NA");
    }
}

FitTable read_fit_part(InputFile& file, std::int32_t conditions, int leading, std::string_view feature_kind,
                       const RowWindow& w)
{
    FitTable t;
    t.lambda = PartMatrix<double>(w.first, w.last, conditions);
    t.poisson_lambda = PartMatrix<double>(w.first, w.last, conditions);
    t.converged = PartMatrix<int>(w.first, w.last, conditions);
    t.theta = PartMatrix<double>(w.first, w.last, conditions);
    if (w.last < w.first) {
        file.close();
        return t;
    }
    struct Names {
        std::string lambda, poisson_lambda, converged, theta;
    };
    std::vector<Names> names;
    for (std::int32_t c = 1; c <= conditions; ++c) {
        std::string of = " of condition " + std::to_string(c);
        names.push_back({"lambda" + of, "poisson_lambda" + of, "converged" + of, "theta" + of});
    }
    const double none = std::numeric_limits<double>::quiet_NaN();
    FieldReader in(file, feature_kind);
    enter_window(file, in, w);
    for (std::int64_t k = w.start; k <= w.last; ++k) {
        in.start_record(k);
        for (int j = 0; j < leading; ++j) in.integer("leading field");
        for (std::int32_t c = 1; c <= conditions; ++c) {
            const Names& n = names[c - 1];
            double lambda = none, poisson_lambda = none, theta = none;
            const bool has_lambda = in.real(n.lambda, true, lambda);
            in.real(n.poisson_lambda, false, poisson_lambda);
            const std::int32_t converged = in.integer(n.converged);
            if (converged != 0 && converged != 1) in.refuse(n.converged, "0 or 1");
            if (converged == 1 && !has_lambda)
                in.refuse_found(n.converged, "0, as lambda is NA", "1");
            const bool has_theta = in.real(n.theta, true, theta);
            if (converged == 1 && !has_theta) in.refuse(n.theta, "a real number, as the fit converged");
            if (k < w.first) continue;
            t.lambda[k][c] = lambda;
            t.poisson_lambda[k][c] = poisson_lambda;
            t.converged[k][c] = converged;
            t.theta[k][c] = theta;
        }
    }
    in.end_of_records();
    file.close();
    return t;
}

FitTable read_fit_table(InputFile& file, std::int32_t features, std::int32_t conditions, int leading,
                        std::string_view feature_kind)
{
    RowWindow whole;
    whole.last = features;
    return read_fit_part(file, conditions, leading, feature_kind, whole);
}
