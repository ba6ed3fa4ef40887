#include "cli/intake.h"

#include "cli/diag.h"
#include "cli/runoptions.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <unistd.h>

namespace {

bool is_space(int c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Standard input as the prompts read it: answers are taken a character at a
// time with look-ahead, so an answer that is not a number can be left where it
// stands for the next prompt. There is no limit on the length of an answer.
class StdinAnswers {
public:
    static StdinAnswers& get()
    {
        static StdinAnswers instance;
        return instance;
    }

    // The character `ahead` places on, or -1 at the end of the input.
    int peek(std::size_t ahead = 0)
    {
        while (pos_ + ahead >= data_.size()) {
            if (!fill()) return -1;
        }
        return static_cast<unsigned char>(data_[pos_ + ahead]);
    }
    void skip(std::size_t count) { pos_ += count; }

    // Skips whitespace (line breaks too); false when the input ends first.
    bool skip_space()
    {
        for (;;) {
            int c = peek();
            if (c < 0) return false;
            if (!is_space(c)) return true;
            skip(1);
        }
    }

private:
    bool fill()
    {
        if (eof_) return false;
        if (pos_ > 0 && pos_ == data_.size()) {
            data_.clear();
            pos_ = 0;
        }
        char chunk[4096];
        for (;;) {
            ssize_t got = ::read(0, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                eof_ = true;
                return false;
            }
            data_.append(chunk, static_cast<std::size_t>(got));
            return true;
        }
    }

    std::string data_;
    std::size_t pos_ = 0;
    bool eof_ = false;
};

[[noreturn]] void input_ended(std::string_view what)
{
    fail_input("standard input ended before " + std::string(what) + " was given");
}

[[noreturn]] void out_of_range(std::string_view what, std::string_view text, std::int64_t lo, std::int64_t hi)
{
    fail_input(std::string(what) + " " + quote_token(text) + " is outside the range " + std::to_string(lo) + ".." +
               std::to_string(hi));
}

void write_prompt(std::string_view prompt)
{
    std::fwrite(prompt.data(), 1, prompt.size(), stdout);
    std::fflush(stdout);
}

} // namespace

bool leading_integer(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && is_space(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that the lowest value fits too.
    std::int64_t acc = 0;
    const std::int64_t floor = std::numeric_limits<std::int64_t>::min();
    for (; i < text.size() && is_digit(static_cast<unsigned char>(text[i])); ++i) {
        int digit = text[i] - '0';
        if (acc < (floor + digit) / 10) return false;
        acc = acc * 10 - digit;
    }
    if (!negative) {
        if (acc == floor) return false;
        acc = -acc;
    }
    if (acc < lo || acc > hi) return false;
    value = acc;
    return true;
}

bool wants_help(const std::vector<std::string>& args) { return args.size() == 1 && args[0] == "--help"; }

void print_lines(const std::vector<std::string_view>& lines)
{
    for (std::string_view line : lines) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}

ArgSource ArgSource::from_arguments(std::vector<std::string> args)
{
    ArgSource source;
    source.args_ = std::move(args);
    return source;
}

ArgSource ArgSource::interactive()
{
    ArgSource source;
    source.interactive_ = true;
    return source;
}

std::string ArgSource::next_argument() { return next_ < args_.size() ? args_[next_++] : std::string(); }

// Reads "[sign]digits" at the prompt. Leaves the input untouched (but for the
// skipped whitespace) and returns false when no digits follow.
bool ArgSource::decimal_answer(std::string_view what, std::int64_t lo, std::int64_t hi, std::int64_t& value)
{
    StdinAnswers& in = StdinAnswers::get();
    if (!in.skip_space()) input_ended(what);
    std::size_t len = 0;
    int c = in.peek(0);
    if (c == '+' || c == '-') ++len;
    if (!is_digit(in.peek(len))) return false;
    std::string text;
    for (std::size_t i = 0; i < len; ++i) text += static_cast<char>(in.peek(i));
    while (is_digit(in.peek(len))) text += static_cast<char>(in.peek(len++));
    in.skip(len);
    if (!leading_integer(text, lo, hi, value)) out_of_range(what, text, lo, hi);
    return true;
}

std::int32_t ArgSource::integer(std::string_view prompt, std::string_view what, std::int32_t current)
{
    return static_cast<std::int32_t>(take_integer(prompt, what, current, std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max()));
}

std::int64_t ArgSource::integer64(std::string_view prompt, std::string_view what, std::int64_t current)
{
    return take_integer(prompt, what, current, std::numeric_limits<std::int64_t>::min(),
                        std::numeric_limits<std::int64_t>::max());
}

std::int64_t ArgSource::take_integer(std::string_view prompt, std::string_view what, std::int64_t current,
                                     std::int64_t lo, std::int64_t hi)
{
    std::int64_t value = current;
    if (interactive_) {
        write_prompt(prompt);
        return decimal_answer(what, lo, hi, value) ? value : current;
    }
    std::string text = next_argument();
    if (!leading_integer(text, lo, hi, value)) out_of_range(what, text, lo, hi);
    return value;
}

std::string ArgSource::name(std::string_view prompt, std::string_view what)
{
    if (!interactive_) return next_argument();
    write_prompt(prompt);
    StdinAnswers& in = StdinAnswers::get();
    if (!in.skip_space()) input_ended(what);
    std::string word;
    for (int c = in.peek(); c >= 0 && !is_space(c); c = in.peek()) {
        word += static_cast<char>(c);
        in.skip(1);
    }
    return word;
}
