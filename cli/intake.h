// Taking a program's arguments, from the command line or from prompts.
//
// All three programs follow one pattern: a lone "--help" prints the usage and
// ends with status 1; exactly the full number of arguments takes them by
// position; any other number prints the wrong-number line and asks for every
// value in the same order on standard input. The program's main walks its
// argument list once through an ArgSource, which serves each value from
// whichever of the two sources is in use, so both paths take the values, and
// open the files, in exactly the same order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class ArgSource {
public:
    // Values taken one by one from args (the program's arguments without its name).
    static ArgSource from_arguments(std::vector<std::string> args);
    // Values asked for with prompts on standard output and read from standard input.
    static ArgSource interactive();

    // A decimal integer. From an argument: leading blanks and a sign, then
    // digits up to the first other character; no digits reads as 0. From a
    // prompt: an answer that is not a decimal integer is left unread and
    // `current` stays. Stops with status 2 on a number beyond 32 bits or at
    // the end of standard input. `what` names the value in messages.
    std::int32_t integer(std::string_view prompt, std::string_view what, std::int32_t current);
    // The same for a 64-bit value.
    std::int64_t integer64(std::string_view prompt, std::string_view what, std::int64_t current);

    // A file name: the next argument, or one whitespace-free word at the prompt.
    std::string name(std::string_view prompt, std::string_view what);

private:
    ArgSource() = default;
    std::string next_argument();
    std::int64_t take_integer(std::string_view prompt, std::string_view what, std::int64_t current, std::int64_t lo,
                              std::int64_t hi);
    bool decimal_answer(std::string_view what, std::int64_t lo, std::int64_t hi, std::int64_t& value);

    bool interactive_ = false;
    std::vector<std::string> args_;
    std::size_t next_ = 0;
};

// The decimal prefix of an argument, as the programs read their counts:
// leading blanks and a sign, then digits up to the first other character.
// Returns false when the digits go beyond [lo, hi]; no digits give 0.
bool leading_integer(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t& value);

// True for exactly one argument equal to "--help".
bool wants_help(const std::vector<std::string>& args);

// Writes lines to standard output, each followed by a newline.
void print_lines(const std::vector<std::string_view>& lines);
