#include "sizes.h"

#include "diag.h"

#include <string>

std::int32_t take_size(ArgSource& source, std::string_view prompt, std::string_view what, std::int32_t current)
{
    std::int32_t value = source.integer(prompt, what, current);
    if (value < 0) fail_input(std::string(what) + " must be 0 or more, found " + std::to_string(value));
    return value;
}
