// The named options' numbers: what the one parser of option values takes
// and refuses, and the same values spelt "--name=value" and "--name value",
// refusals compared whole.
#include "cli/diag.h"
#include "cli/named_options.h"

#include "tests/support/refusals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// Each text taken by `parse` within lo..hi as the value beside it.
template <class T>
void expect_taken(bool (*parse)(std::string_view, T, T, T&), T lo, T hi,
                  std::initializer_list<std::pair<const char*, T>> cases)
{
    for (const auto& [text, expected] : cases) {
        T value = 42;
        EXPECT_TRUE(parse(text, lo, hi, value)) << "'" << text << "' in " << lo << ".." << hi;
        EXPECT_EQ(value, expected) << "'" << text << "'";
    }
}

// Each text refused by `parse` within lo..hi, the value left alone.
template <class T>
void expect_refused(bool (*parse)(std::string_view, T, T, T&), T lo, T hi, std::initializer_list<const char*> texts)
{
    for (const char* text : texts) {
        T value = 42;
        EXPECT_FALSE(parse(text, lo, hi, value)) << "'" << text << "' in " << lo << ".." << hi;
        EXPECT_EQ(value, 42) << "'" << text << "'";
    }
}

} // namespace

TEST(NamedOptionNumbers, WholeNumbersAreTheWholeTextWithinTheRange)
{
    const auto whole = whole_number_in;
    // Leading zeros are only digits; the range's ends are in it.
    expect_taken<std::int64_t>(whole, -10, 10, {{"0", 0}, {"10", 10}, {"-10", -10}, {"007", 7}});
    expect_taken<std::int64_t>(whole, kMin, kMax, {{"9223372036854775807", kMax}, {"-9223372036854775808", kMin}});
    // Beyond the range; a sign but a leading '-'; blanks, other characters,
    // another base, an exponent, a fraction; a range is not a number.
    expect_refused<std::int64_t>(whole, 0, 10, {"11", "-1", "+5", " 5", "5 ", "", "5x", "2.0", "1-5"});
    expect_refused<std::int64_t>(whole, -10, 10, {"--5"});
    expect_refused<std::int64_t>(whole, 0, 10000, {"0x10", "1e3"});
    // One past the largest and the smallest: overflow, not wrapped.
    expect_refused<std::int64_t>(whole, kMin, kMax,
                                 {"9223372036854775808", "-9223372036854775809", "99999999999999999999999"});
}

TEST(NamedOptionNumbers, RealNumbersAreTheWholeTextWithinTheRange)
{
    const auto real = real_number_in;
    expect_taken<double>(real, 0, 1, {{"0.5", 0.5}, {"1", 1}, {"0", 0}, {".5", 0.5}, {"5e-1", 0.5}});
    expect_taken<double>(real, -1, 1000, {{"-0.25", -0.25}, {"1E2", 100}});
    // Beyond the range, a '+', not-a-number (within no range), blanks, a
    // comma, a hexadecimal float, nothing, other characters.
    expect_refused<double>(real, 0, 1, {"1.0000001", "-0.1", "+0.5", "nan", "0.5 ", " 0.5", "0,5", "0x1p-1", "", "0.2x"});
    expect_refused<double>(real, 0, 1e6, {"inf"});
    expect_refused<double>(real, 0, INFINITY, {"1e999"}); // beyond a double
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
    std::string result;
    const std::string refusal = refusal_of([&] {
        NamedOptions in(static_cast<int>(argv.size()), argv.data());
        while (in.next()) result += in.current() + (in.is_option() ? " -> " + take(in) : "") + ";";
    });
    // refusal_of checks the status of a refusal: 2.
    return refusal.empty() ? result : "status 2: " + refusal;
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
