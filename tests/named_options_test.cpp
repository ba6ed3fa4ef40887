// The named options' numbers: what the one parser of option values takes
// and refuses, and the same values spelt "--name=value" and "--name value",
// refusals compared whole.
#include "cli/diag.h"
#include "cli/named_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

} // namespace

TEST(NamedOptionNumbers, WholeNumbersAreTheWholeTextWithinTheRange)
{
    const struct {
        const char* text;
        std::int64_t lo, hi;
        bool taken;
        std::int64_t value;
    } cases[] = {
        {"0", 0, 10, true, 0},
        {"10", 0, 10, true, 10},
        {"-10", -10, 10, true, -10},
        {"007", 0, 10, true, 7}, // leading zeros are only digits
        {"11", 0, 10, false, 0},
        {"-1", 0, 10, false, 0},
        {"+5", 0, 10, false, 0}, // no sign but a leading '-'
        {"--5", -10, 10, false, 0},
        {" 5", 0, 10, false, 0},
        {"5 ", 0, 10, false, 0},
        {"", 0, 10, false, 0},
        {"5x", 0, 10, false, 0},
        {"0x10", 0, 100, false, 0},
        {"1e3", 0, 10000, false, 0},
        {"2.0", 0, 10, false, 0},
        {"1-5", 0, 10, false, 0}, // a range is not a number
        {"9223372036854775807", 0, kMax, true, kMax},
        {"-9223372036854775808", kMin, 0, true, kMin},
        {"9223372036854775808", 0, kMax, false, 0}, // one past the largest: overflow, not wrapped
        {"-9223372036854775809", kMin, 0, false, 0},
        {"99999999999999999999999", 0, kMax, false, 0},
    };
    for (const auto& c : cases) {
        std::int64_t value = 12345; // left alone by a refusal
        EXPECT_EQ(whole_number_in(c.text, c.lo, c.hi, value), c.taken) << "'" << c.text << "'";
        EXPECT_EQ(value, c.taken ? c.value : 12345) << "'" << c.text << "'";
    }
}

TEST(NamedOptionNumbers, RealNumbersAreTheWholeTextWithinTheRange)
{
    const struct {
        const char* text;
        double lo, hi;
        bool taken;
        double value;
    } cases[] = {
        {"0.5", 0, 1, true, 0.5},
        {"1", 0, 1, true, 1},
        {"0", 0, 1, true, 0},
        {"-0.25", -1, 1, true, -0.25},
        {".5", 0, 1, true, 0.5},
        {"5e-1", 0, 1, true, 0.5},
        {"1E2", 0, 1000, true, 100},
        {"1.0000001", 0, 1, false, 0},
        {"-0.1", 0, 1, false, 0},
        {"+0.5", 0, 1, false, 0},
        {"nan", 0, 1, false, 0}, // within no range
        {"inf", 0, 1e6, false, 0},
        {"1e999", 0, INFINITY, false, 0}, // beyond a double
        {"0.5 ", 0, 1, false, 0},
        {" 0.5", 0, 1, false, 0},
        {"0,5", 0, 1, false, 0},
        {"0x1p-1", 0, 1, false, 0},
        {"", 0, 1, false, 0},
        {"0.2x", 0, 10, false, 0},
    };
    for (const auto& c : cases) {
        double value = 42;
        EXPECT_EQ(real_number_in(c.text, c.lo, c.hi, value), c.taken) << "'" << c.text << "'";
        EXPECT_EQ(value, c.taken ? c.value : 42) << "'" << c.text << "'";
    }
}

namespace {

// Runs a command line of one option through `take` and returns what it
// took, as text, or the one line of its refusal.
std::string taken(const std::vector<std::string>& args, const std::function<std::string(NamedOptions&)>& take)
{
    std::vector<std::string> storage = {"prog"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : storage) argv.push_back(a.data());
    set_program_name("prog");
    throw_on_stop(true);
    testing::internal::CaptureStderr();
    std::string result;
    try {
        NamedOptions in(static_cast<int>(argv.size()), argv.data());
        while (in.next()) result += in.current() + (in.is_option() ? " -> " + take(in) : "") + ";";
    } catch (const ProgramStop& stop) {
        result = "status " + std::to_string(stop.status) + ": ";
    }
    result += testing::internal::GetCapturedStderr();
    throw_on_stop(false);
    return result;
}

} // namespace

TEST(NamedOptionNumbers, EqualsAndSpaceSpellTheSameValue)
{
    const auto whole = [](NamedOptions& in) { return std::to_string(in.whole_number(-5, 10)); };
    const auto real = [](NamedOptions& in) { return std::to_string(in.real_number(0, 1)); };
    const auto above = [](NamedOptions& in) { return std::to_string(in.real_number_above(0, 100)); };
    const auto seed = [](NamedOptions& in) { return std::to_string(in.unsigned_number(0, UINT64_MAX)); };
    const auto flag = [](NamedOptions& in) {
        in.no_value();
        return std::string("on");
    };
    const std::string whole_range = "expects a whole number from -5 to 10, found ";
    const struct {
        std::vector<std::string> args;
        std::function<std::string(NamedOptions&)> take;
        std::string result;
    } cases[] = {
        {{"--n=7"}, whole, "--n -> 7;"},
        {{"--n", "7"}, whole, "--n -> 7;"},
        // A value that starts with '-' is still the option's value.
        {{"--n=-5"}, whole, "--n -> -5;"},
        {{"--n", "-5"}, whole, "--n -> -5;"},
        {{"--n", "-6"}, whole, "status 2: prog: --n " + whole_range + "'-6' (see prog --help)\n"},
        {{"--n=11"}, whole, "status 2: prog: --n " + whole_range + "'11' (see prog --help)\n"},
        {{"--n="}, whole, "status 2: prog: --n " + whole_range + "'' (see prog --help)\n"},
        {{"--n"}, whole, "status 2: prog: --n expects a value (see prog --help)\n"},
        {{"--n", "1e1"}, whole, "status 2: prog: --n " + whole_range + "'1e1' (see prog --help)\n"},
        // Only the first '=' splits.
        {{"--n=1=2"}, whole, "status 2: prog: --n " + whole_range + "'1=2' (see prog --help)\n"},
        {{"--x=0.25"}, real, "--x -> 0.250000;"},
        {{"--x", "0.25"}, real, "--x -> 0.250000;"},
        {{"--x", "2"}, real, "status 2: prog: --x expects a number from 0 to 1, found '2' (see prog --help)\n"},
        {{"--f", "0"}, above,
         "status 2: prog: --f expects a number above 0 and at most 100, found '0' (see prog --help)\n"},
        {{"--f=1e-300"}, above, "--f -> 0.000000;"},
        {{"--seed", "18446744073709551615"}, seed, "--seed -> 18446744073709551615;"},
        {{"--seed=18446744073709551616"}, seed,
         "status 2: prog: --seed expects a whole number from 0 to 18446744073709551615, found "
         "'18446744073709551616' (see prog --help)\n"},
        {{"--seed", "-1"}, seed,
         "status 2: prog: --seed expects a whole number from 0 to 18446744073709551615, found '-1' (see prog "
         "--help)\n"},
        {{"--on"}, flag, "--on -> on;"},
        {{"--on=1"}, flag, "status 2: prog: --on takes no value (see prog --help)\n"},
        // Anything not starting with "--" is positional, '=' or not.
        {{"a=1", "-h", "-", "--n=3"}, whole, "a=1;-h;-;--n -> 3;"},
    };
    for (const auto& c : cases) {
        std::string label;
        for (const std::string& a : c.args) label += "[" + a + "] ";
        EXPECT_EQ(taken(c.args, c.take), c.result) << label;
    }
}
