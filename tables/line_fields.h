// The files read line by line: each line split into fields, and the
// refusals that name them in the words of every reader of the pipeline:
// "<role> '<path>', line L, field F (<what>): expected <this>, found <that>".
//
// Two ways to split a line:
// - at tabs, for files whose cells may hold spaces (features.tsv,
//   conditions.tsv, GTF and GFF3 lines): every tab ends a cell, so an empty
//   cell keeps its place, and an empty line is one empty cell;
// - at blanks, for the whitespace-separated files read a line at a time
//   (sigtable's statistics, mean-test and rest-test files): runs of spaces,
//   tabs, CRs, vertical tabs and form feeds separate fields, and lines
//   without a field are passed over.
#pragma once

#include "cli/diag.h"
#include "tables/textin.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class Split { tabs, blanks };

class LineFields {
public:
    // The lines of `file`, from the next one on.
    LineFields(InputFile& file, Split split) : file_(&file), name_(&file.name()), split_(split) {}
    // Lines given one at a time by assign(), as lines of the file `name`.
    LineFields(const FileName& name, Split split) : name_(&name), split_(split) {}

    // Moves to the next line of the file (see Split); false at its end.
    bool next_line();
    // Takes `text` as line `number`, split into its fields.
    void assign(std::string_view text, std::uint64_t number);

    std::size_t size() const { return fields_.size(); }
    std::string_view operator[](std::size_t k) const { return fields_[k]; }
    std::uint64_t line() const { return line_; }
    std::string_view text() const { return text_; }
    const FileName& name() const { return *name_; }

    // "<role> '<path>', line L": how a refusal about the whole line starts.
    std::string where() const;
    // A field's name in refusals: `what` followed by `context` (such as
    // " of comparison 12"), joined only when a refusal is written.
    struct Named {
        std::string_view what, context = {};
    };

    // Refuses field k (from 0) as "..., field k+1 (<name>): expected
    // <expected>, found <found>"; without `found`, the field quoted, or "the
    // end of the line" for a field past the last.
    [[noreturn]] void refuse(std::size_t k, Named name, std::string_view expected) const;
    [[noreturn]] void refuse(std::size_t k, Named name, std::string_view expected, std::string_view found) const;

    // Field k as a number, or refused naming it: an integer within 32 bits;
    // one from `lowest` up (`expected` says so); a non-negative one within
    // 64 bits; a real number.
    std::int32_t integer(std::size_t k, Named name) const;
    std::int32_t at_least(std::size_t k, Named name, std::int32_t lowest, std::string_view expected) const;
    std::int64_t non_negative(std::size_t k, Named name) const;
    double real(std::size_t k, Named name) const;

private:
    InputFile* file_ = nullptr;
    const FileName* name_;
    Split split_;
    std::string_view text_;
    std::vector<std::string_view> fields_;
    std::uint64_t line_ = 0;
};

// A line's fields taken in order, each named in a refusal by `names[k]`
// followed by `context` (such as " of comparison 12").
class FieldCursor {
public:
    FieldCursor(const LineFields& fields, const char* const* names, std::string context = {})
        : fields_(fields), names_(names), context_(std::move(context))
    {
    }

    std::string_view peek() const { return fields_[k_]; }
    std::int32_t integer()
    {
        const std::size_t k = k_++;
        return fields_.integer(k, {names_[k], context_});
    }
    // A condition number, from 1.
    std::int32_t condition() { return at_least(1, "a condition number (an integer from 1)"); }
    // A length, from 0.
    std::int32_t length() { return at_least(0, "a non-negative integer"); }
    std::int32_t at_least(std::int32_t lowest, std::string_view expected)
    {
        const std::size_t k = k_++;
        return fields_.at_least(k, {names_[k], context_}, lowest, expected);
    }
    double real()
    {
        const std::size_t k = k_++;
        return fields_.real(k, {names_[k], context_});
    }

private:
    const LineFields& fields_;
    const char* const* names_;
    std::string context_;
    std::size_t k_ = 0;
};
