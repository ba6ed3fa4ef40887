#include "cli/runoptions.h"

#include "cli/diag.h"
#include "cli/named_options.h"

#include <string_view>
#include <thread>

int hardware_threads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

void take_prefixed_options(std::vector<std::string>& args, std::string_view prefix,
                           const std::function<void(std::string_view)>& take)
{
    std::vector<std::string> kept;
    kept.reserve(args.size());
    for (std::string& arg : args) {
        if (std::string_view(arg).substr(0, prefix.size()) == prefix)
            take(std::string_view(arg).substr(prefix.size()));
        else
            kept.push_back(std::move(arg));
    }
    args = std::move(kept);
}

int take_threads_option(std::vector<std::string>& args)
{
    int threads = hardware_threads();
    take_prefixed_options(args, "--threads=", [&](std::string_view value) {
        std::int64_t n = 0;
        if (!whole_number_in(value, 1, kMaxThreads, n))
            fail_input("--threads expects a whole number of threads from 1 to " + std::to_string(kMaxThreads) +
                       ", found " + quote_token(value));
        threads = static_cast<int>(n);
    });
    return threads;
}

std::string take_file_option(int& argc, char** argv, std::string_view name)
{
    const std::string prefix = "--" + std::string(name) + "=";
    std::string path;
    int kept = 1;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg.substr(0, prefix.size()) != prefix) {
            argv[kept++] = argv[k];
            continue;
        }
        path = std::string(arg.substr(prefix.size()));
        if (path.empty()) fail_input("--" + std::string(name) + " expects a file name, found nothing after '='");
    }
    argc = kept;
    return path;
}
