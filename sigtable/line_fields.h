// Reading a whitespace-separated text file one line of fields at a time,
// through the pipeline's InputFile (which refuses folders and unreadable
// files as every program does). Blank lines are skipped; each line keeps
// its number for the messages.
#pragma once

#include "textin.h"

#include <cstdint>
#include <string>
#include <string_view>
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
