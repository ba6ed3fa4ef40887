// Work on many threads, results in order.
//
// The programs' loops over genes produce lines whose order is fixed by the
// tables. `ordered_parallel` computes item k (k = 0..count-1) on any of
// `threads` worker threads and hands the results to `emit` on the calling
// thread in order of k, so what is written does not depend on the number of
// threads or on which thread finished first. At most a window of results is
// held at once, so memory stays bounded however far the fast items get ahead
// of a slow one.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// work(k) -> Result runs on the workers; emit(k, Result&&) runs on the
// calling thread in order of k. With one thread everything runs on the
// calling thread, item by item.
template <class Work, class Emit>
void ordered_parallel(long count, int threads, Work work, Emit emit)
{
    using Result = decltype(work(long{}));
    if (threads <= 1 || count <= 1) {
        for (long k = 0; k < count; ++k) emit(k, work(k));
        return;
    }

    const long window = 16L * threads;
    std::vector<std::optional<Result>> slots(static_cast<std::size_t>(window));
    std::mutex mutex;
    std::condition_variable ready;   // a result has been stored
    std::condition_variable room;    // the writer has taken a result
    long next = 0;                   // the next item to hand out
    long emitted = 0;                // items already passed to emit

    auto worker = [&] {
        for (;;) {
            long k;
            {
                std::unique_lock lock(mutex);
                room.wait(lock, [&] { return next >= count || next < emitted + window; });
                if (next >= count) return;
                k = next++;
            }
            Result result = work(k);
            {
                std::lock_guard lock(mutex);
                slots[static_cast<std::size_t>(k % window)].emplace(std::move(result));
            }
            ready.notify_one();
        }
    };

    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) pool.emplace_back(worker);

    for (long k = 0; k < count; ++k) {
        std::optional<Result>& slot = slots[static_cast<std::size_t>(k % window)];
        Result result;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return slot.has_value(); });
            result = std::move(*slot);
            slot.reset();
            emitted = k + 1;
        }
        room.notify_all();
        emit(k, std::move(result));
    }
    for (std::thread& t : pool) t.join();
}
