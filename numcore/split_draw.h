// The re-split of two count vectors that a permutation test draws for every
// permutation, prepared once per comparison.
//
// fPermuteValues splits the pooled count x[i] + y[i] of every position by
// bnldev(0.5, pool). A permutation test draws that a thousand times over the
// same pools, so PooledCounts works out once what the pools need (which
// binomial method each pool takes, its constants, the chunks of a pool too
// large for single precision) and draw_split then draws one permutation with
// the generator's state held in registers. The result is the one
// fPermuteValues gives, bit for bit, and the process-wide generator and
// binomial caches are left as fPermuteValues would leave them, so the two
// and ran2/bnldev may be called in any interleaving on one stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Single precision holds every whole number only up to 2^24, so a pool of
// more reads is split as a sum of pools of at most kExactPool, each split
// exactly. No pool of real data comes near it.
inline constexpr std::int64_t kExactPool = std::int64_t(1) << 24;

// The reads of a pool of s that go to the first side: split(chunk) for the
// chunks of kExactPool reads and the rest, in that order, added up.
template <class Split>
std::int64_t split_in_chunks(std::int64_t s, Split&& split)
{
    std::int64_t taken = 0;
    for (std::int64_t left = s; left > 0; left -= kExactPool) taken += split(left < kExactPool ? left : kExactPool);
    return taken;
}

// One pool split as fPermuteValues splits it, by bnldev(0.5f, chunk).
std::int64_t split_pool(std::int64_t s, std::int64_t& seed);

class PooledCounts {
public:
    // x[1..n] and y[1..n], counts >= 0, 1-based as the tables are read.
    PooledCounts(const int* x, const int* y, int n);

    int size() const { return n_; }

    // 1-based: pooled()[i] = x[i] + y[i] for i = 1..size(). Held in 64 bits,
    // since two int counts can sum beyond the int range; a pool above
    // kExactPool is split in chunks, as fPermuteValues does.
    const std::int64_t* pooled() const { return pooled_.data(); }

    // Gives back everything only the draws use: the plan of the pools and
    // the values kept to speed them up (a hundred bytes or so per position,
    // and up to 1.5 MB more for deep pools). A test whose permutations are
    // all drawn calls it, so that only the comparison being drawn holds
    // them, however many wait for their refits. Afterwards only size() and
    // pooled() may be used.
    void finish_draws();

private:
    void prepare_draw_caches() const;

    friend void draw_split(const PooledCounts& pool, int* xp, std::int64_t& seed);

    // The constants of bnldev's rejection method for one pool of n reads
    // (n = 25..kExactPool) and probability one half, as bnldev computes them.
    struct RejectionPool {
        int n = 0;
        float am = 0, en = 0, sq = 0, oldg = 0;
        double en_plus_one = 0; // en + 1, the bound on a proposal
        double sq_times_1_2 = 0; // the comparison function's factor
        // A window of proposals k = window_lo .. window_lo + window_size - 1
        // whose exp(exponent) is kept in exp_windows_ from window_offset on.
        int window_lo = 0, window_size = 0;
        std::size_t window_offset = 0;
    };

    // The positions in pool order, as a sequence of steps: a block of
    // consecutive positions whose pools of at most 24 are split read by read,
    // one position split by rejection, or one pool above kExactPool split in chunks.
    struct Step {
        enum Kind : std::uint8_t { kDirect, kRejection, kChunked } kind = kDirect;
        int first = 0;  // first position of the step
        int last = 0;   // last position of the step
        int draws = 0;  // direct block: the uniform draws it takes
        int index = 0;  // direct block: into ends_; rejection: into rejections_
        bool draws_follow = false;    // a later step of the permutation draws
        bool proposal_follows = false; // the next step that draws starts with a rejection proposal
    };

    static constexpr int kLnFactorialTable = 1 << 16;

    static RejectionPool rejection_pool(int n);
    double ln_factorial(int k) const;

    int n_ = 0;
    std::vector<std::int64_t> pooled_;
    // The plan of the draws, made from pooled_ at the first draw (see
    // finish_draws).
    void make_plan() const;
    mutable std::vector<Step> steps_;
    mutable std::vector<int> ends_;         // per direct position: its block's draws up to its end
    mutable std::vector<RejectionPool> rejections_;
    mutable RejectionPool full_chunk_;      // a full chunk of a pool above kExactPool
    // ln k! = gammln(k + 1) for k up to the largest pool taken by rejection
    // (at most kLnFactorialTable; gammln itself beyond), filled as the
    // proposals reach them.
    mutable std::vector<double> ln_factorials_;
    // exp of the acceptance exponent of pool n at proposal k, a function of
    // n and k alone, for the proposals near the centre of each pool, filled
    // as they are reached; shared by the pools of one n.
    mutable std::vector<double> exp_windows_;
    // Their sizes: both are allocated at the first draw that needs them.
    mutable std::size_t window_total_ = 0;
    mutable std::size_t ln_factorial_cells_ = 0;
    mutable bool caches_ready_ = false;
};

// Writes xp[1..n] (n = pool.size()) exactly as fPermuteValues(x, y, xp, yp,
// n, seed) would, and advances seed, the generator and the binomial caches
// exactly as that call would. yp[i] is left to the caller:
// yp[i] = static_cast<int>(pool.pooled()[i] - xp[i]). As in fPermuteValues,
// xp[i] is the drawn count converted to int (a pool above 2^31 - 1 can give
// a count beyond int, which wraps as it does there). Not reentrant: one stream
// per process, and the values the pool keeps between permutations are filled
// here, so one pool is drawn from one thread at a time.
void draw_split(const PooledCounts& pool, int* xp, std::int64_t& seed);

// float(tan(double(angle))), the tangent of bnldev's rejection proposals, for
// an angle in (0, pi), as draw_split works it out (see split_draw.cpp for
// why it is the same value); open to tests.
float proposal_tangent(float angle);
