// Command lines of named options in the usual style, for the programs
// around the pipeline (bamcount, sigtable): "--name value" or
// "--name=value", anything not starting with "--" positional. A refusal is
// one line ending with a pointer to the program's --help, exit status 2.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The one parser of numbers in option values: the whole text must be the
// number (no blanks, no sign but a leading '-', nothing after it), within
// lo..hi. False, with `value` unchanged, for anything else.
bool whole_number_in(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t& value);
bool real_number_in(std::string_view text, double lo, double hi, double& value);

class NamedOptions {
public:
    NamedOptions(int argc, char** argv);

    // Moves to the next argument; false after the last.
    bool next();
    // The current argument is an option ("--name" or "--name=value").
    bool is_option() const { return option_; }
    // The option's name with its dashes, or the positional argument.
    const std::string& current() const { return name_; }
    // The option's value: after its '=', or the next argument.
    std::string value();
    // The option's value as a whole number from lo to hi, or as a real
    // number from lo to hi; anything else is refused.
    std::int64_t whole_number(std::int64_t lo, std::int64_t hi);
    double real_number(double lo, double hi);
    // The same over the whole range of unsigned 64-bit numbers (a seed),
    // beyond whole_number's reach.
    std::uint64_t unsigned_number(std::uint64_t lo, std::uint64_t hi);
    // A real number above lo (lo itself refused) and at most hi: a factor
    // that must be positive.
    double real_number_above(double lo, double hi);
    // Refuses an option that was given a value with '='.
    void no_value() const;
    [[noreturn]] void refuse(const std::string& text) const;

private:
    template <class Number>
    Number number(bool (*parse)(std::string_view, Number, Number, Number&), Number lo, Number hi,
                  const std::string& expected);

    std::vector<std::string> args_;
    std::size_t next_ = 0;
    bool option_ = false, has_value_ = false;
    std::string name_, value_;
};
