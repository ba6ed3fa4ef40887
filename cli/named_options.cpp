#include "cli/named_options.h"

#include "cli/diag.h"

#include <charconv>

namespace {

// A bound as a user would write it: 0, 1, 0.5, 1000000 (not 1e+06).
std::string format_bound(double x)
{
    if (x > -1e15 && x < 1e15 && x == static_cast<double>(static_cast<std::int64_t>(x)))
        return std::to_string(static_cast<std::int64_t>(x));
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, x).ptr;
    return std::string(buf, end);
}

template <class Whole>
bool whole_in(std::string_view text, Whole lo, Whole hi, Whole& value)
{
    Whole n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || n < lo || n > hi) return false;
    value = n;
    return true;
}

} // namespace

bool whole_number_in(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t& value)
{
    return whole_in(text, lo, hi, value);
}

bool real_number_in(std::string_view text, double lo, double hi, double& value)
{
    double x = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(x >= lo && x <= hi))
        return false;
    value = x;
    return true;
}

NamedOptions::NamedOptions(int argc, char** argv) : args_(argv + 1, argv + argc) {}

bool NamedOptions::next()
{
    if (next_ >= args_.size()) return false;
    name_ = args_[next_++];
    option_ = name_.rfind("--", 0) == 0;
    has_value_ = false;
    if (const auto eq = name_.find('='); option_ && eq != std::string::npos) {
        value_ = name_.substr(eq + 1);
        name_.resize(eq);
        has_value_ = true;
    }
    return true;
}

std::string NamedOptions::value()
{
    if (has_value_) return value_;
    if (next_ >= args_.size()) refuse(name_ + " expects a value");
    return args_[next_++];
}

template <class Number>
Number NamedOptions::number(bool (*parse)(std::string_view, Number, Number, Number&), Number lo, Number hi,
                            const std::string& expected)
{
    const std::string text = value();
    Number n = 0;
    if (!parse(text, lo, hi, n)) refuse(name_ + " expects " + expected + ", found " + quote_token(text));
    return n;
}

std::int64_t NamedOptions::whole_number(std::int64_t lo, std::int64_t hi)
{
    return number<std::int64_t>(whole_in, lo, hi,
                                "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
}

std::uint64_t NamedOptions::unsigned_number(std::uint64_t lo, std::uint64_t hi)
{
    return number<std::uint64_t>(whole_in, lo, hi,
                                 "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
}

double NamedOptions::real_number(double lo, double hi)
{
    return number<double>(real_number_in, lo, hi, "a number from " + format_bound(lo) + " to " + format_bound(hi));
}

double NamedOptions::real_number_above(double lo, double hi)
{
    auto above = [](std::string_view text, double low, double high, double& x) {
        return real_number_in(text, low, high, x) && x != low;
    };
    return number<double>(above, lo, hi, "a number above " + format_bound(lo) + " and at most " + format_bound(hi));
}

void NamedOptions::no_value() const
{
    if (has_value_) refuse(name_ + " takes no value");
}

void NamedOptions::refuse(const std::string& text) const
{
    fail_input(text + " (see " + program_name() + " --help)");
}
