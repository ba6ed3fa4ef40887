// permutation_stages lvcmp|isocmp ARGS...: measures a permutation run's two
// stages apart on real tables. ARGS are the program's own arguments; the
// program's comparison loop runs three times on them, with the same seed:
// the whole test with its refits, drawing the permutations with draw_split
// (the programs' way), and drawing them position by position with
// fPermuteValues (the straightforward way). The whole test runs first: run
// after the long draw-only passes in the same process it was measured about
// 40% slower than the program itself. Prints the wall time of each and the
// ratios the performance report quotes. Nothing is written but scratch
// statistics files, one a stage, named by the one in ARGS with a suffix. --draw-split-only leaves the straightforward
// draws out (on deep data they take many minutes).
#include "cli/diag.h"
#include "cli/intake.h"
#include "cli/runoptions.h"
#include "numcore/random.h"
#include "parallel/permutation_runner.h"
#include "tables/loading.h"
#include "tables/program_start.h"
#include "tables/run_settings.h"
#include "tables/textout.h"
#include "tables/totals.h"

#include "isocmp/share_comparison.h"
#include "lvcmp/level_comparison.h"
#include "tables/run_options.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// What is timed of each job: the whole test, or only its draws, made the
// programs' way or position by position.
enum class Stage { complete, draw_split, straightforward };

// The draws alone, the programs' way.
void draw_with_draw_split(const PooledCounts& pool, std::int64_t& seed)
{
    IntVector drawn(pool.size());
    for (int p = 0; p < kPermutations; ++p) draw_split(pool, drawn.get(), seed);
}

// The draws alone, position by position: fPermuteValues splits x[i] + y[i],
// so the pool as x and zeros as y give it the same sums.
void draw_straightforward(const PooledCounts& pool, std::int64_t& seed)
{
    const int n = pool.size();
    IntVector x(n), zeros(n), drawn(n), other(n);
    for (int i = 1; i <= n; ++i) {
        x[i] = static_cast<int>(pool.pooled()[i]);
        zeros[i] = 0;
    }
    for (int p = 0; p < kPermutations; ++p) fPermuteValues(x.get(), zeros.get(), drawn.get(), other.get(), n, seed);
}

double seconds_of(const std::function<void()>& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    set_program_name("permutation_stages");
    std::vector<std::string> args(argv + 1, argv + argc);
    const int threads = take_threads_option(args);
    // On deep data the straightforward draws take many minutes: leave them out.
    bool straightforward_stage = true;
    for (auto it = args.begin(); it != args.end();)
        if (*it == "--draw-split-only") {
            straightforward_stage = false;
            it = args.erase(it);
        } else {
            ++it;
        }
    if (args.empty() || (args[0] != "lvcmp" && args[0] != "isocmp")) {
        std::fputs("usage: permutation_stages lvcmp|isocmp [--threads=N] [--draw-split-only] ARGS (the program's own "
                   "arguments)\n",
                   stderr);
        return 1;
    }
    const bool level = args[0] == "lvcmp";
    args.erase(args.begin());

    ArgSource source = ArgSource::from_arguments(args);
    ComparisonInputs inputs = take_comparison_inputs(source);
    std::optional<InputFile> gtt;
    if (level) gtt.emplace(InputFile::open({"gtt file", source.name("", "the gtt file name")}));
    const std::string out_path = source.name("", "the statistics file name");
    source.integer("", "do_permute", 1);
    const std::int64_t seed = take_seed(source, "", kDefaultSeed);

    const Dataset data = load_dataset(inputs.dataset, inputs.sizes, !level);
    const FitResults fits = load_fit_results(inputs.fits, inputs.sizes, data);
    std::optional<TotalsTable> totals;
    if (level) totals.emplace(read_totals(*gtt, inputs.sizes.num_conditions));

    auto stage_seconds = [&](Stage stage, int stage_threads) {
        PermutationRunner::draw_only(stage == Stage::complete     ? nullptr
                                     : stage == Stage::draw_split ? draw_with_draw_split
                                                                  : draw_straightforward);
        // One file a stage: a run never writes one output twice.
        static const char* const kSuffix[] = {".complete", ".draw_split", ".straightforward"};
        OutputFile out = OutputFile::create({"statistics file", out_path + kSuffix[static_cast<int>(stage)]});
        std::int64_t stream = seed;
        const ComparisonRun run{true, Streams::run, {true, 1, inputs.sizes.num_genes}, stage_threads};
        const double seconds = seconds_of([&] {
            if (level)
                compare_levels({{data.counts, data.exons, data.genes, fits.genes}, *totals}, run, stream, out);
            else
                compare_shares({{data.counts, data.exons, data.genes, fits.genes}, fits.exons}, run, stream, out);
        });
        std::fflush(stdout);
        return seconds;
    };

    // Standard output carries the programs' own lines; the report goes to
    // standard error.
    const double complete = stage_seconds(Stage::complete, threads);
    const double draws = stage_seconds(Stage::draw_split, 1);
    if (!straightforward_stage) {
        std::fprintf(stderr,
                     "%s permutation stages (%d threads for the whole test):\n"
                     "  draws, as the programs draw (draw_split):     %.2f s\n"
                     "  whole test, draws and refits:                 %.2f s  (%.2fx the draws alone)\n",
                     level ? "lvcmp" : "isocmp", threads, draws, complete, complete / draws);
        return 0;
    }
    const double straightforward = stage_seconds(Stage::straightforward, 1);
    std::fprintf(stderr,
                 "%s permutation stages (%d threads for the whole test):\n"
                 "  draws, position by position (fPermuteValues): %.2f s\n"
                 "  draws, as the programs draw (draw_split):     %.2f s  (%.2fx faster)\n"
                 "  whole test, draws and refits:                 %.2f s  (%.2fx the draws alone)\n",
                 level ? "lvcmp" : "isocmp", threads, straightforward, draws, straightforward / draws, complete,
                 complete / draws);
    return 0;
}
