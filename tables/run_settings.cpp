#include "tables/run_settings.h"

#include "cli/diag.h"
#include "numcore/random.h"

#include <string>

std::int32_t take_size(ArgSource& source, std::string_view prompt, std::string_view what, std::int32_t current,
                       std::int32_t largest)
{
    std::int32_t value = source.integer(prompt, what, current);
    if (value < 0) fail_input(std::string(what) + " must be 0 or more, found " + std::to_string(value));
    if (value > largest)
        fail_input(std::string(what) + " must be at most " + std::to_string(largest) + ", found " +
                   std::to_string(value));
    return value;
}

std::int64_t take_seed(ArgSource& source, std::string_view prompt, std::int64_t current)
{
    std::int64_t value = source.integer64(prompt, "seed", current);
    if (value > kMaxSeedMagnitude || value < -kMaxSeedMagnitude)
        fail_input("seed " + std::to_string(value) + " is outside the range -" + std::to_string(kMaxSeedMagnitude) +
                   ".." + std::to_string(kMaxSeedMagnitude));
    return value;
}
