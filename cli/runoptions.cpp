#include "runoptions.h"

#include "diag.h"

#include <charconv>
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
        int n = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (value.empty() || error != std::errc() || end != value.data() + value.size() || n < 1 || n > kMaxThreads)
            fail_input("--threads expects a whole number of threads from 1 to " + std::to_string(kMaxThreads) +
                       ", found " + quote_token(value));
        threads = n;
    }
    args = std::move(kept);
    return threads;
}
