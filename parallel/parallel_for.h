// Independent items on many threads.
//
// `parallel_for` runs body(k) for k = 0..count-1, each item on whichever of
// `threads` threads takes it next. The items must not depend on each other
// and must write only what is theirs (their own entries of a table sized
// beforehand), so the results are the same at any number of threads; the
// calling thread is one of them. With one thread the items run in order on
// the calling thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

template <class Body>
void parallel_for(long count, int threads, const Body& body)
{
    if (threads <= 1 || count <= 1) {
        for (long k = 0; k < count; ++k) body(k);
        return;
    }
    std::atomic<long> next{0};
    auto worker = [&] {
        for (long k = next++; k < count; k = next++) body(k);
    };
    std::vector<std::thread> pool;
    const long helpers = std::min<long>(threads, count) - 1;
    pool.reserve(static_cast<std::size_t>(helpers));
    for (long t = 0; t < helpers; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
}
