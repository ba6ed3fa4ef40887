#include "tables/fieldreader.h"

#include "cli/diag.h"

void FieldReader::refuse_found(std::string_view name, std::string_view expected, std::string_view found,
                               int field) const
{
    std::string text = describe(file_.name());
    text += ", line " + std::to_string(file_.line());
    text += ", field " + std::to_string(field > 0 ? field : field_);
    text += " (";
    text += name;
    text += " of ";
    text += kind_;
    text += ' ';
    text += std::to_string(record_);
    text += "): expected ";
    text += expected;
    text += ", found ";
    text += found;
    fail_input(text);
}

void FieldReader::refuse(std::string_view name, std::string_view expected) const
{
    refuse_found(name, expected, quote_token(token_));
}

std::string_view FieldReader::take(std::string_view name, std::string_view expected)
{
    if (!file_.next(token_)) {
        ++field_;
        refuse_found(name, expected, "the end of the file");
    }
    advance();
    return token_;
}

namespace {

std::string lines(std::uint64_t n) { return std::to_string(n) + (n == 1 ? " line" : " lines"); }

} // namespace

void FieldReader::refuse_layout(std::uint64_t line, int field, const std::string& expected,
                                const std::string& found) const
{
    fail_input(describe(file_.name()) + ", line " + std::to_string(line) + ", field " + std::to_string(field) + " of " +
               std::string(kind_) + " " + std::to_string(record_) + ": expected " + expected + ", found " + found +
               " (a line with fields missing or too many shifts every later " + std::string(kind_) + ")");
}

void FieldReader::start_differs(std::uint64_t line)
{
    const int new_line = line > previous_end_ ? 1 : 0;
    if (new_line_ < 0) {
        new_line_ = new_line; // the second record sets it
        return;
    }
    const std::string kind(kind_), here = kind + " " + std::to_string(record_);
    const std::string before = kind + " " + std::to_string(record_ - 1);
    if (new_line_ == 1)
        refuse_layout(line, 1, here + " to start on a new line, as every " + kind + " before it does",
                      quote_token(token_) + " on line " + std::to_string(line) + ", where " + before + " ends");
    refuse_layout(line, 1,
                  here + " to start on line " + std::to_string(previous_end_) + ", where " + before +
                      " ends, as every " + kind + " before it does",
                  quote_token(token_) + " on line " + std::to_string(line));
}

void FieldReader::span_differs(std::uint64_t last)
{
    const std::int64_t span = static_cast<std::int64_t>(last - first_line_);
    if (span_ < 0) {
        span_ = span; // the first record sets it
        return;
    }
    const std::string kind(kind_), here = kind + " " + std::to_string(record_);
    const std::uint64_t end = first_line_ + static_cast<std::uint64_t>(span_);
    refuse_layout(last, field_,
                  here + " to end on line " + std::to_string(end) +
                      (span_ == 0 ? ", where it starts, as every " + kind + " before it lies on one line"
                                  : ", " + lines(static_cast<std::uint64_t>(span_)) + " after it starts, as every " +
                                        kind + " before it does"),
                  "its last field " + quote_token(token_) + " on line " + std::to_string(last));
}

std::int32_t FieldReader::any_integer(std::string_view name)
{
    static constexpr std::string_view kExpected = "an integer";
    std::int32_t value = 0;
    switch (parse_int32(take(name, kExpected), value)) {
    case IntParse::ok: return value;
    case IntParse::out_of_range: refuse(name, "an integer from -2147483648 to 2147483647");
    case IntParse::not_integer: break;
    }
    refuse(name, kExpected);
}

namespace {
constexpr std::string_view kExpectedCount = "a non-negative integer";
}

void FieldReader::refuse_negative(std::string_view name) const { refuse(name, kExpectedCount); }

namespace {
std::string up_to(std::int32_t largest) { return "a non-negative integer up to " + std::to_string(largest); }
} // namespace

void FieldReader::refuse_above(std::string_view name, std::int32_t largest) const { refuse(name, up_to(largest)); }

void FieldReader::refuse_above(std::string_view name, std::int32_t largest, std::int32_t value, int field) const
{
    refuse_found(name, up_to(largest), quote_token(std::to_string(value)), field);
}

std::int32_t FieldReader::any_count(std::string_view name)
{
    static constexpr std::string_view kExpected = kExpectedCount;
    std::int32_t value = 0;
    switch (parse_int32(take(name, kExpected), value)) {
    case IntParse::ok:
        if (value < 0) break;
        return value;
    case IntParse::out_of_range: refuse(name, "a non-negative integer up to 2147483647");
    case IntParse::not_integer: break;
    }
    refuse(name, kExpected);
}

bool FieldReader::real_unless_end(std::string_view name, double& value)
{
    if (!file_.next(token_)) return false;
    advance();
    if (!parse_real(token_, value)) refuse(name, "a real number");
    return true;
}

bool FieldReader::real(std::string_view name, bool na_allowed, double& value)
{
    std::string_view expected = na_allowed ? "a real number or NA" : "a real number";
    std::string_view token = take(name, expected);
    if (na_allowed && token == "NA") return false;
    if (!parse_real(token, value)) refuse(name, expected);
    return true;
}
