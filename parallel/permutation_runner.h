// Running permutation tests on every core with the results of one thread.
//
// A run's permutations all come from one random stream, drawn in loop order,
// so the drawing is sequential by nature; refitting a drawn permutation and
// computing its statistic is not. The runner therefore draws every
// permutation on the calling thread, in order, into batches that worker
// threads (and the drawing thread, whenever it would otherwise wait) refit
// in any order. Each permutation's outcome is stored at its own index, and
// the summary adds the valid statistics in permutation order, so the
// single-precision sums, and the printed null, are those of a one-thread run.
// A job with a stream of its own needs none of the run's stream: it is drawn
// and refitted whole by whichever thread takes it.
#pragma once

#include "numcore/arrays.h"
#include "numcore/histogram.h"
#include "numcore/nullsummary.h"
#include "numcore/split_draw.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

// What refitting one permutation gave.
struct PermutationOutcome {
    bool valid = false;   // both (all) refits converged and the statistic is valid
    double statistic = 0; // the permuted statistic, when valid
};

// Work vectors of one refitting thread, kept between permutations so that
// none is allocated per permutation. Each job type names the vectors and
// histograms it uses in a layout of its own, checked against these counts
// when it compiles.
class Scratch {
public:
    static constexpr int kVectors = 32;
    // A 1-based vector of at least n entries (contents undefined); `which` is 0..kVectors-1.
    int* vector(int which, std::int64_t n);
    // The same, all zero; whoever takes it must give it back all zero (as
    // CountHistogram::take_table does).
    int* zeroed(int which, std::int64_t n);
    // A histogram builder, `which` 0..kHistograms-1, its storage kept.
    static constexpr int kHistograms = 16;
    CountHistogram& histogram(int which) { return histograms_[static_cast<std::size_t>(which)]; }

private:
    std::array<IntVector, kVectors> vectors_;
    std::array<CountHistogram, kHistograms> histograms_;
};

// One tested comparison's permutations: the pooled counts it re-splits, and
// how a drawn re-split is refitted.
class PermutationJob {
public:
    explicit PermutationJob(PooledCounts pool) : pool_(std::move(pool)) {}
    virtual ~PermutationJob() = default;
    PermutationJob(const PermutationJob&) = delete;
    PermutationJob& operator=(const PermutationJob&) = delete;

    // A drawn permutation is the first half of the re-split, one count per
    // pooled position: drawn[1..drawn_size()]; the second half is the pool
    // minus the first.
    int drawn_size() const { return pool_.size(); }
    const PooledCounts& pool() const { return pool_; }
    // Refits drawn permutation p (0-based). Called on any thread, for
    // several permutations at once, each p once; must not change the job
    // but what belongs to permutation p alone.
    virtual PermutationOutcome evaluate(int p, const int* drawn, Scratch& scratch) const = 0;
    // Permutations first..first+kTogether-1 at once, as evaluate would give
    // them one by one; a job may overlap their work.
    static constexpr int kTogether = 4;
    virtual void evaluate_together(int first, const int* const drawn[kTogether], Scratch& scratch,
                                   PermutationOutcome out[kTogether]) const
    {
        for (int k = 0; k < kTogether; ++k) out[k] = evaluate(first + k, drawn[k], scratch);
    }

    // Gives the job a stream of its own (--streams=comparison): its
    // permutations are then drawn from a generator started afresh, every
    // cached value included, from `seed` (below 0), on whichever thread runs
    // the job, and not from the run's stream. Set before the job is run.
    void use_own_stream(std::int64_t seed) { own_seed_ = seed; }
    bool has_own_stream() const { return own_seed_.has_value(); }

    // True once every permutation has been refitted.
    bool finished() const { return evaluated_.load(std::memory_order_acquire) == kPermutations; }
    // Permutation p (1-based) once finished.
    const PermutationOutcome& outcome(int p) const { return outcomes_[static_cast<std::size_t>(p - 1)]; }
    // The gamma null of the valid statistics, added in permutation order.
    GammaNull null() const;

private:
    friend class PermutationRunner;
    PooledCounts pool_;
    std::array<PermutationOutcome, kPermutations> outcomes_;
    std::atomic<int> evaluated_{0};
    std::optional<std::int64_t> own_seed_; // none: the run's stream
};

class PermutationRunner {
public:
    // `threads` is the run's thread count: the drawing thread plus threads - 1 workers.
    explicit PermutationRunner(int threads);
    ~PermutationRunner();
    PermutationRunner(const PermutationRunner&) = delete;
    PermutationRunner& operator=(const PermutationRunner&) = delete;

    // Draws all permutations of `job` now, from `seed`, and has them refitted;
    // returns when the last is drawn, while refits may still be running. A
    // job with a stream of its own leaves `seed` alone: it is queued whole,
    // to be drawn and refitted by one thread (this one too, when every batch
    // is taken), so that any number of such jobs runs on every thread.
    void run(const std::shared_ptr<PermutationJob>& job, std::int64_t& seed);
    // Waits until every job given so far is finished, refitting meanwhile.
    void wait_all();

    // For measuring the draws apart from the refits: with a hook installed,
    // run() has the hook draw all of a job's permutations on the calling
    // thread and refits none; the job counts as finished with no valid
    // permutation. The programs never install one.
    using DrawHook = void (*)(const PooledCounts& pool, std::int64_t& seed);
    static void draw_only(DrawHook hook);

private:
    // Permutations first..first+count-1 of a job; a job with a stream of its
    // own is one batch of all its permutations, drawn by whoever refits it.
    struct Batch {
        std::shared_ptr<PermutationJob> job;
        int first = 0; // 0-based index of the batch's first permutation
        int count = 0;
        IntVector drawn;
    };

    // A free batch (refitting here while none is), given to permutations
    // first..first+count-1 of `job`; returns its index.
    int take_batch(const std::shared_ptr<PermutationJob>& job, int first, int count);
    // Puts a filled batch in the queue of ready ones.
    void hand_over(int index);
    // On the drawing thread, with `lock` held: refits the oldest ready batch
    // (unlocking meanwhile) and gives true, or gives false when none is ready.
    bool refit_one_here(std::unique_lock<std::mutex>& lock);
    void evaluate(Batch& batch, Scratch& scratch);
    // Refits permutations first..first+count-1 of `job`, drawn one after
    // another from `drawn`.
    static void refit(PermutationJob& job, int first, int count, const int* drawn, Scratch& scratch);
    // Draws and refits the whole of a job with a stream of its own.
    static void draw_and_refit(PermutationJob& job, IntVector& drawn, Scratch& scratch);
    void finish_batch(int index);
    void work();

    std::vector<Batch> batches_;
    std::vector<int> free_;
    std::deque<int> ready_;
    int outstanding_ = 0; // batches drawn and not yet refitted
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable work_ready_; // for the workers
    std::condition_variable batch_done_; // for the drawing thread
    Scratch own_scratch_;
    std::vector<std::thread> workers_;
};
