#include "sigtable/totals_file.h"

#include "lvcmp/lrtp.h"
#include "sigtable/number_text.h"
#include "tables/textin.h"
#include "tables/totals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The longest gene whose read sum its six-decimal mean still gives exactly:
// the mean is off by at most 5e-7, the sum by 5e-7 times the length.
constexpr std::int64_t kLongestRounded = 999999;

// How far a ratio of totals may move with the digits a totals file is
// written with: six significant digits move each total by up to 5e-6 of
// it, the ratio by up to 1e-5. Totals of another run, in another order or
// of another kind differ by far more.
constexpr double kRatioDigits = 1e-5;

std::string not_belonging(const TotalsFile& totals, const StatsFile& stats)
{
    return describe(totals.file) + " does not belong to " + describe(stats.name) + ": ";
}

} // namespace

TotalsFile read_totals_file(FileName file)
{
    InputFile input = InputFile::open(file);
    const TotalsTable table = read_all_totals(input);
    TotalsFile totals{std::move(file), {}};
    for (std::int32_t c = 1; c <= table.conditions; ++c) totals.poisson_totals.push_back(table.poisson_total[c]);
    return totals;
}

std::optional<std::string> totals_mismatch(const StatsFile& stats, const TotalsFile& totals, const CountTables* tables)
{
    if (stats.kind != StatsKind::level) return std::nullopt;
    const std::vector<double>& t = totals.poisson_totals;
    for (const StatsRow& s : stats.rows) {
        if (!std::isfinite(s.stat_poisson) || s.length <= 0) continue;
        if (static_cast<std::size_t>(std::max(s.a, s.b)) > t.size()) continue; // the conditions' check tells
        const double mu_a = s.gene.mean_a, mu_b = s.gene.mean_b;
        std::int32_t g = 0; // the gene's row of the count tables, when given
        if (tables)
            if (const auto it = tables->gene_row.find(s.id); it != tables->gene_row.end()) g = it->second;
        std::int64_t reads_a = 0, reads_b = 0;
        if (g > 0) {
            reads_a = tables->gene_reads(g, s.a);
            reads_b = tables->gene_reads(g, s.b);
        } else {
            if (s.length > kLongestRounded) continue;
            reads_a = std::llround(mu_a * s.length);
            reads_b = std::llround(mu_b * s.length);
        }
        const double a = t[static_cast<std::size_t>(s.b - 1)] / t[static_cast<std::size_t>(s.a - 1)];
        auto statistic = [&](double ratio) { return lrtp_from_sums(reads_a, s.length, reads_b, s.length, ratio, mu_a, mu_b); };
        const double recomputed = statistic(a);
        // The file's value is lvcmp's, rounded to six decimals. The same
        // totals written with fewer digits (a file made again by hand, or
        // by a tool printing six significant digits) move the ratio a
        // little: a statistic within what that moves it by still belongs.
        const double low = statistic(a * (1 - kRatioDigits)), high = statistic(a * (1 + kRatioDigits));
        const double slack = 6e-7 + 1e-12 * std::abs(s.stat_poisson);
        if (s.stat_poisson >= std::min({recomputed, low, high}) - slack &&
            s.stat_poisson <= std::max({recomputed, low, high}) + slack)
            continue;
        return "gene " + std::to_string(s.id) + " in conditions " + std::to_string(s.a) + " and " +
               std::to_string(s.b) + " has a Poisson statistic of " + six_decimals(s.stat_poisson) +
               " in the statistics file (line " + std::to_string(s.line) + "), and its reads (" +
               std::to_string(reads_a) + " and " + std::to_string(reads_b) + ") with these totals (condition " +
               std::to_string(s.b) + "'s over condition " + std::to_string(s.a) + "'s: " + shortest(a) + ") give " +
               six_decimals(recomputed) + ": lvcmp computed its statistics with other totals";
    }
    return std::nullopt;
}

void check_totals(const StatsFile& stats, const TotalsFile& totals, const CountTables* tables)
{
    if (const auto why = totals_mismatch(stats, totals, tables)) fail_input(not_belonging(totals, stats) + *why);
}

TotalsFile folder_totals(const StatsFile& stats, TotalsFile gtt, std::optional<TotalsFile> size_factors,
                         const CountTables* tables)
{
    const auto why = totals_mismatch(stats, gtt, tables);
    if (!why) return gtt;
    if (size_factors && size_factors->poisson_totals.size() == gtt.poisson_totals.size() &&
        !totals_mismatch(stats, *size_factors, tables))
        return std::move(*size_factors);
    fail_input(not_belonging(gtt, stats) + *why +
               (size_factors ? " (nor were they computed with " + describe(size_factors->file) + ")" : ""));
}
