#include "fieldreader.h"

#include "diag.h"

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
    ++field_;
    if (!file_.next(token_)) refuse_found(name, expected, "the end of the file");
    return token_;
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
    ++field_;
    if (!file_.next(token_)) return false;
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
