#include "runoptions.h"

#include "diag.h"
#include "named_options.h"

#include <string_view>
#include <thread>

int hardware_threads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

int take_threads_option(std::vector<std::string>& args)
{
    constexpr std::string_view kPrefix = "--threads=";
    int threads = hardware_threads();
    std::vector<std::string> kept;
    kept.reserve(args.size());
    for (std::string& arg : args) {
        if (std::string_view(arg).substr(0, kPrefix.size()) != kPrefix) {
            kept.push_back(std::move(arg));
            continue;
        }
        const std::string_view value = std::string_view(arg).substr(kPrefix.size());
        std::int64_t n = 0;
        if (!whole_number_in(value, 1, kMaxThreads, n))
            fail_input("--threads expects a whole number of threads from 1 to " + std::to_string(kMaxThreads) +
                       ", found " + quote_token(value));
        threads = static_cast<int>(n);
    }
    args = std::move(kept);
    return threads;
}
