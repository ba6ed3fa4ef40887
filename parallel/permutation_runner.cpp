#include "parallel/permutation_runner.h"

#include "numcore/random.h"

#include <algorithm>

namespace {

// A batch holds about this many drawn counts, so that handing it over costs
// little next to refitting it, also for short features.
constexpr std::int64_t kBatchCounts = 1 << 15;

PermutationRunner::DrawHook draw_hook = nullptr;

} // namespace

int* Scratch::vector(int which, std::int64_t n)
{
    IntVector& v = vectors_[static_cast<std::size_t>(which)];
    if (v.size() < n) v = IntVector(std::max<std::int64_t>(n, 2 * v.size()));
    return v.get();
}

int* Scratch::zeroed(int which, std::int64_t n)
{
    IntVector& v = vectors_[static_cast<std::size_t>(which)];
    if (v.size() < n) {
        v = IntVector(std::max<std::int64_t>(n, 2 * v.size()));
        std::fill(v.get() + 1, v.get() + 1 + v.size(), 0);
    }
    return v.get();
}

GammaNull PermutationJob::null() const
{
    PermutationSummary summary;
    for (const PermutationOutcome& o : outcomes_)
        if (o.valid) nulladd(summary, o.statistic);
    nullgamma(summary);
    return {summary.scale, summary.shape};
}

void PermutationRunner::draw_only(DrawHook hook) { draw_hook = hook; }

PermutationRunner::PermutationRunner(int threads)
{
    const int workers = std::max(threads, 1) - 1;
    // Enough batches in flight that the workers always find one ready while
    // the drawing thread, when it has caught up, refits one itself: with few,
    // the workers wait for the drawing thread's refit to end (measured: a
    // third slower at two threads with four batches than with sixteen).
    batches_.resize(static_cast<std::size_t>(8 * workers + 8));
    for (int i = static_cast<int>(batches_.size()) - 1; i >= 0; --i) free_.push_back(i);
    for (int t = 0; t < workers; ++t) workers_.emplace_back([this] { work(); });
}

PermutationRunner::~PermutationRunner()
{
    wait_all();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void PermutationRunner::refit(PermutationJob& job, int first, int count, const int* drawn_counts, Scratch& scratch)
{
    const int size = job.drawn_size();
    auto drawn = [&](int k) { return drawn_counts + static_cast<std::int64_t>(k) * size; };
    auto outcome = [&](int k) -> PermutationOutcome& { return job.outcomes_[static_cast<std::size_t>(first + k)]; };
    constexpr int kTogether = PermutationJob::kTogether;
    int k = 0;
    for (; k + kTogether <= count; k += kTogether) {
        const int* together[kTogether];
        PermutationOutcome out[kTogether];
        for (int j = 0; j < kTogether; ++j) together[j] = drawn(k + j);
        job.evaluate_together(first + k, together, scratch, out);
        for (int j = 0; j < kTogether; ++j) outcome(k + j) = out[j];
    }
    for (; k < count; ++k) outcome(k) = job.evaluate(first + k, drawn(k), scratch);
}

void PermutationRunner::draw_and_refit(PermutationJob& job, IntVector& drawn, Scratch& scratch)
{
    constexpr int kTogether = PermutationJob::kTogether;
    const int size = job.drawn_size();
    const std::int64_t needed = static_cast<std::int64_t>(kTogether) * size;
    if (drawn.size() < needed) drawn = IntVector(needed);
    // This thread's generator, restarted as a fresh process would have it.
    reset_random_state();
    std::int64_t seed = *job.own_seed_;
    for (int first = 0; first < kPermutations; first += kTogether) {
        const int count = std::min(kTogether, kPermutations - first);
        for (int k = 0; k < count; ++k) draw_split(job.pool(), drawn.get() + static_cast<std::int64_t>(k) * size, seed);
        refit(job, first, count, drawn.get(), scratch);
    }
    job.pool_.finish_draws();
}

void PermutationRunner::evaluate(Batch& batch, Scratch& scratch)
{
    if (batch.job->has_own_stream())
        draw_and_refit(*batch.job, batch.drawn, scratch);
    else
        refit(*batch.job, batch.first, batch.count, batch.drawn.get(), scratch);
    batch.job->evaluated_.fetch_add(batch.count, std::memory_order_release);
}

void PermutationRunner::finish_batch(int index)
{
    batches_[static_cast<std::size_t>(index)].job.reset();
    {
        std::lock_guard lock(mutex_);
        free_.push_back(index);
        --outstanding_;
    }
    batch_done_.notify_one();
}

void PermutationRunner::work()
{
    Scratch scratch;
    for (;;) {
        int index;
        {
            std::unique_lock lock(mutex_);
            work_ready_.wait(lock, [&] { return stopping_ || !ready_.empty(); });
            if (ready_.empty()) return;
            index = ready_.front();
            ready_.pop_front();
        }
        evaluate(batches_[static_cast<std::size_t>(index)], scratch);
        finish_batch(index);
    }
}

bool PermutationRunner::refit_one_here(std::unique_lock<std::mutex>& lock)
{
    if (ready_.empty()) return false;
    const int index = ready_.front();
    ready_.pop_front();
    lock.unlock();
    evaluate(batches_[static_cast<std::size_t>(index)], own_scratch_);
    finish_batch(index);
    lock.lock();
    return true;
}

int PermutationRunner::take_batch(const std::shared_ptr<PermutationJob>& job, int first, int count)
{
    int index;
    {
        std::unique_lock lock(mutex_);
        // Every batch is taken: refit one here rather than wait.
        while (free_.empty())
            if (!refit_one_here(lock)) batch_done_.wait(lock);
        index = free_.back();
        free_.pop_back();
    }
    Batch& batch = batches_[static_cast<std::size_t>(index)];
    batch.job = job;
    batch.first = first;
    batch.count = count;
    return index;
}

void PermutationRunner::run(const std::shared_ptr<PermutationJob>& job, std::int64_t& seed)
{
    if (draw_hook) {
        draw_hook(job->pool(), seed);
        job->pool_.finish_draws();
        job->evaluated_.store(kPermutations, std::memory_order_release);
        return;
    }
    if (job->has_own_stream()) {
        hand_over(take_batch(job, 0, kPermutations));
        return;
    }
    const int size = job->drawn_size();
    // Whole groups of permutations refitted together, so none is left alone.
    constexpr int kTogether = PermutationJob::kTogether;
    const int per_batch = static_cast<int>(
        std::clamp<std::int64_t>(kBatchCounts / std::max(size, 1) / kTogether * kTogether, kTogether, kPermutations));
    for (int first = 0; first < kPermutations; first += per_batch) {
        const int index = take_batch(job, first, std::min(per_batch, kPermutations - first));
        Batch& batch = batches_[static_cast<std::size_t>(index)];
        const std::int64_t needed = static_cast<std::int64_t>(batch.count) * size;
        if (batch.drawn.size() < needed) batch.drawn = IntVector(needed);
        for (int k = 0; k < batch.count; ++k)
            draw_split(job->pool(), batch.drawn.get() + static_cast<std::int64_t>(k) * size, seed);
        hand_over(index);
    }
    job->pool_.finish_draws();
}

void PermutationRunner::hand_over(int index)
{
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(index);
        ++outstanding_;
    }
    work_ready_.notify_one();
}

void PermutationRunner::wait_all()
{
    std::unique_lock lock(mutex_);
    while (outstanding_ > 0)
        if (!refit_one_here(lock)) batch_done_.wait(lock);
}
