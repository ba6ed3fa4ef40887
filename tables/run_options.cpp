#include "tables/run_options.h"

#include "cli/diag.h"
#include "cli/named_options.h"
#include "cli/runoptions.h"
#include "numcore/count_limits.h"

#include <string_view>

namespace {

// The option as the user wrote it, for messages.
std::string genes_option(const GeneShard& shard)
{
    return "--genes=" + std::to_string(shard.first) + "-" + std::to_string(shard.last);
}

} // namespace

GeneShard take_genes_option(std::vector<std::string>& args)
{
    GeneShard shard;
    take_prefixed_options(args, "--genes=", [&](std::string_view value) {
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
    take_prefixed_options(args, "--streams=", [&](std::string_view value) {
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
