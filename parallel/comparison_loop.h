// Work on every core with the results of one thread: the layer that runs
// the programs' loops in parallel while what they write keeps its order
// (ordered_parallel.h), and the permutation tests, whose draws stay in the
// run's single stream (permutation_runner.h). Above the numeric core and
// the command line; it knows nothing of the tables.
//
// This header: the loop over genes that lvcmp and isocmp share: every gene
// of the run's shard compared, on all threads, and written in table order,
// with the progress line. With permutation tests, the genes are computed on
// this thread in loop order, so that their permutations are drawn from the
// run's stream in that order; their refits run on all threads, and a gene
// is written once all its tests are finished. A job with a stream of its
// own (--streams=comparison) is drawn and refitted whole on any thread.
//
// compute(g, permute) gives the gene's result: a movable value with a vector
// `lines` whose elements carry a `job` (a shared pointer to a
// PermutationJob, empty for a line without a test). write(result) writes it.
#pragma once

#include "cli/progress.h"
#include "cli/runoptions.h"
#include "parallel/ordered_parallel.h"
#include "parallel/permutation_runner.h"
#include "tables/run_options.h"
#include "tables/textout.h"

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>

// How a comparing program runs: with the permutation tests or not, from
// which streams, on which genes (a shard fitted to the table), on how many
// threads.
struct ComparisonRun {
    bool permute = false;
    Streams streams = Streams::run;
    GeneShard genes;
    int threads = 1;
};

// Under --streams=comparison, the run's seed, from which every tested
// comparison's own stream is derived (comparison_seed); none in the run's
// single stream.
inline std::optional<std::int64_t> own_streams(const ComparisonRun& run, std::int64_t seed)
{
    if (run.streams == Streams::comparison) return seed;
    return std::nullopt;
}

// The lines of every gene of the run's shard, lines_of(g), formatted on all
// threads and written to `out` in table order: the further tests' files,
// written in a pass of their own after the statistics file, with no
// progress line and no permutations.
template <class LinesOf>
void write_genes_in_order(const ComparisonRun& run, OutputFile& out, LinesOf lines_of)
{
    const int first = run.genes.first;
    const long genes = static_cast<long>(run.genes.last) - first + 1;
    ordered_parallel(
        genes, run.threads, [&](long k) { return lines_of(first + static_cast<int>(k)); },
        [&](long, LineBuffer&& lines) { out.put(lines); });
}

// A further test's values on its line: " %.6f" each when the test is
// valid, else " -1" in each place, so that every line has its columns.
inline void test_values(LineBuffer& out, bool valid, std::initializer_list<double> values)
{
    for (const double value : values) {
        out.ch(' ');
        if (valid) out.fixed6(value);
        else out.text("-1");
    }
}

template <class Compute, class Write>
void compare_genes_in_order(const ComparisonRun& run, std::int64_t& seed, Compute compute, Write write)
{
    using Gene = decltype(compute(1, false));
    const int first = run.genes.first;
    const long genes = static_cast<long>(run.genes.last) - first + 1;
    const int threads = run.threads;
    ProgressLine progress(genes, "genes");
    if (!run.permute) {
        ordered_parallel(
            genes, threads, [&](long k) { return compute(first + static_cast<int>(k), false); },
            [&](long k, Gene&& gene) {
                write(gene);
                progress.update(k + 1);
            });
        return;
    }

    auto finished = [](const Gene& gene) {
        for (const auto& line : gene.lines)
            if (line.job && !line.job->finished()) return false;
        return true;
    };
    PermutationRunner runner(threads);
    std::deque<Gene> pending;
    long written = 0;
    auto write_finished = [&] {
        while (!pending.empty() && finished(pending.front())) {
            write(pending.front());
            pending.pop_front();
            progress.update(++written);
        }
    };
    for (int g = first; g <= run.genes.last; ++g) {
        Gene gene = compute(g, true);
        for (const auto& line : gene.lines)
            if (line.job) runner.run(line.job, seed);
        pending.push_back(std::move(gene));
        write_finished();
    }
    runner.wait_all();
    write_finished();
}
