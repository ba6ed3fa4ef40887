#include "tables/line_fields.h"

bool LineFields::next_line()
{
    std::string_view text;
    while (file_->next_line(text)) {
        assign(text, file_->line());
        if (split_ == Split::tabs || !fields_.empty()) return true;
    }
    return false;
}

void LineFields::assign(std::string_view text, std::uint64_t number)
{
    text_ = text;
    line_ = number;
    fields_.clear();
    if (split_ == Split::tabs) {
        for (std::size_t at = 0;;) {
            const std::size_t tab = text.find('\t', at);
            fields_.push_back(text.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
            if (tab == std::string_view::npos) return;
            at = tab + 1;
        }
    }
    for (std::size_t at = 0; at < text.size();) {
        if (InputFile::is_separator(text[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !InputFile::is_separator(text[end])) ++end;
        fields_.push_back(text.substr(at, end - at));
        at = end;
    }
}

std::string LineFields::where() const { return describe(*name_) + ", line " + std::to_string(line_); }

void LineFields::refuse(std::size_t k, Named name, std::string_view expected, std::string_view found) const
{
    std::string text = where() + ", field " + std::to_string(k + 1) + " (";
    text += name.what;
    text += name.context;
    text += "): expected ";
    text += expected;
    text += ", found ";
    text += found;
    fail_input(text);
}

void LineFields::refuse(std::size_t k, Named name, std::string_view expected) const
{
    refuse(k, name, expected, k < fields_.size() ? quote_token(fields_[k]) : std::string("the end of the line"));
}

std::int32_t LineFields::integer(std::size_t k, Named name) const
{
    static constexpr std::string_view kExpected = "an integer";
    std::int32_t v = 0;
    if (k >= fields_.size()) refuse(k, name, kExpected);
    switch (parse_int32(fields_[k], v)) {
    case IntParse::ok: return v;
    case IntParse::out_of_range: refuse(k, name, "an integer from -2147483648 to 2147483647");
    case IntParse::not_integer: break;
    }
    refuse(k, name, kExpected);
}

std::int32_t LineFields::at_least(std::size_t k, Named name, std::int32_t lowest, std::string_view expected) const
{
    std::int32_t v = 0;
    if (k >= fields_.size() || parse_int32(fields_[k], v) != IntParse::ok || v < lowest) refuse(k, name, expected);
    return v;
}

std::int64_t LineFields::non_negative(std::size_t k, Named name) const
{
    std::int64_t v = 0;
    if (k >= fields_.size() || parse_int64(fields_[k], v) != IntParse::ok || v < 0)
        refuse(k, name, "a non-negative integer");
    return v;
}

double LineFields::real(std::size_t k, Named name) const
{
    double v = 0;
    if (k >= fields_.size() || !parse_real(fields_[k], v)) refuse(k, name, "a real number");
    return v;
}
