// Reading a whitespace-separated text file one line of fields at a time,
// through the pipeline's InputFile (which refuses folders and unreadable
// files as every program does). Blank lines are skipped; each line keeps
// its number for the messages.
#pragma once

#include "cli/diag.h"
#include "tables/textin.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The whitespace-separated fields of a file one line at a time. InputFile
// hands out tokens with the line each stands on; the first token of the
// next line is held back until the next call.
class LineFields {
public:
    explicit LineFields(InputFile& file) : file_(file) {}

    // Moves to the next line that holds a field; false at the end of the file.
    bool next_line()
    {
        fields_.clear();
        std::string_view token;
        if (!held_) {
            if (!file_.next(token)) return false;
            next_.assign(token);
            next_line_ = file_.line();
        }
        held_ = false;
        line_ = next_line_;
        fields_.push_back(std::move(next_));
        while (file_.next(token)) {
            if (file_.line() != line_) {
                next_.assign(token);
                next_line_ = file_.line();
                held_ = true;
                break;
            }
            fields_.emplace_back(token);
        }
        return true;
    }

    std::size_t size() const { return fields_.size(); }
    const std::string& operator[](std::size_t k) const { return fields_[k]; }
    std::uint64_t line() const { return line_; }

private:
    InputFile& file_;
    std::vector<std::string> fields_;
    std::uint64_t line_ = 0;
    std::string next_;
    std::uint64_t next_line_ = 0;
    bool held_ = false;
};

// One line's fields, taken in order, each refused in the pipeline's words
// when it is not what its place asks for: "<file>, line L, field F
// (<name><context>): expected ..., found '...'", where `context` (such as
// " of comparison 12") follows each field's name.
class FieldCursor {
public:
    FieldCursor(const FileName& name, const LineFields& fields, const char* const* names, std::string context = {})
        : name_(name), fields_(fields), names_(names), context_(std::move(context))
    {
    }

    const std::string& peek() const { return fields_[k_]; }

    std::int32_t integer()
    {
        std::int32_t v = 0;
        switch (parse_int32(fields_[k_], v)) {
        case IntParse::ok: break;
        case IntParse::out_of_range: refuse("an integer from -2147483648 to 2147483647");
        case IntParse::not_integer: refuse("an integer");
        }
        ++k_;
        return v;
    }
    int condition() { return bounded(1, "a condition number (an integer from 1)"); }
    int length() { return bounded(0, "a non-negative integer"); }
    double real()
    {
        double v = 0;
        if (!parse_real(fields_[k_], v)) refuse("a real number");
        ++k_;
        return v;
    }

private:
    int bounded(std::int32_t lowest, std::string_view expected)
    {
        std::int32_t v = 0;
        if (parse_int32(fields_[k_], v) != IntParse::ok || v < lowest) refuse(expected);
        ++k_;
        return v;
    }
    [[noreturn]] void refuse(std::string_view expected) const
    {
        fail_input(describe(name_) + ", line " + std::to_string(fields_.line()) + ", field " + std::to_string(k_ + 1) +
                   " (" + names_[k_] + context_ + "): expected " + std::string(expected) + ", found " +
                   quote_token(fields_[k_]));
    }

    const FileName& name_;
    const LineFields& fields_;
    const char* const* names_;
    std::string context_;
    std::size_t k_ = 0;
};
