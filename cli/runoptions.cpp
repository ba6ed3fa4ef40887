#include "runoptions.h"

#include "diag.h"
#include "count_limits.h"
#include "named_options.h"

#include <string_view>
#include <thread>

int hardware_threads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

namespace {

// Removes every argument that starts with `prefix` from `args`, handing
// each one's value to `take` in order.
template <class Take>
void take_option(std::vector<std::string>& args, std::string_view prefix, Take take)
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

// The option as the user wrote it, for messages.
std::string genes_option(const GeneShard& shard)
{
    return "--genes=" + std::to_string(shard.first) + "-" + std::to_string(shard.last);
}

} // namespace

int take_threads_option(std::vector<std::string>& args)
{
    int threads = hardware_threads();
    take_option(args, "--threads=", [&](std::string_view value) {
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

GeneShard take_genes_option(std::vector<std::string>& args)
{
    GeneShard shard;
    take_option(args, "--genes=", [&](std::string_view value) {
        const std::size_t dash = value.find('-');
        std::int64_t first = 0, last = 0;
        if (dash == std::string_view::npos || !whole_number_in(value.substr(0, dash), 1, kLargestTableSize, first) ||
            !whole_number_in(value.substr(dash + 1), first, kLargestTableSize, last))
            fail_input("--genes expects FIRST-LAST, two gene numbers from 1 with FIRST at most LAST, found " +
                       quote_token(value));
        shard = {true, static_cast<std::int32_t>(first), static_cast<std::int32_t>(last)};
    });
    return shard;
}

void fit_shard_to(GeneShard& shard, std::int32_t num_genes)
{
    if (!shard.given) {
        shard.first = 1;
        shard.last = num_genes;
        return;
    }
    if (shard.last > num_genes)
        fail_input(genes_option(shard) + " reaches beyond the table's " + std::to_string(num_genes) + " genes (num_genes)");
}

Streams take_streams_option(std::vector<std::string>& args)
{
    Streams streams = Streams::run;
    take_option(args, "--streams=", [&](std::string_view value) {
        if (value == "run")
            streams = Streams::run;
        else if (value == "comparison")
            streams = Streams::comparison;
        else
            fail_input("--streams expects run or comparison, found " + quote_token(value));
    });
    return streams;
}

void check_shard_streams(const GeneShard& shard, Streams streams, bool permute)
{
    if (permute && streams == Streams::run && shard.first != 1)
        fail_input(genes_option(shard) + " with the permutation tests needs --streams=comparison: the run's single stream starts at "
                   "gene 1");
}
