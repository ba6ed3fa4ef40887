// Field-by-field reading of a table file, with the messages for what is wrong.
//
// The reader knows which record and which field it is at, so a refusal can say
// where, in the file's terms: "<role> '<path>', line L, field F (<what>):
// expected <this>, found <that>".
//
// Line breaks carry no meaning to the tables' records, so a file may lay them
// out as it likes (one per line, several on a line, one over several lines),
// but always alike: a record spans as many line breaks as the first one, and
// starts on a new line or not as the second one does. A file that breaks its
// own layout is damaged: a line with a field too many or too few would shift
// every later record by that field (positions read as counts, counts as
// totals of the wrong condition), so it is refused where the layout breaks.
#pragma once

#include "tables/textin.h"

#include <cstdint>
#include <string>
#include <string_view>

class FieldReader {
public:
    // `record_kind` names one record in messages ("row", "exon", "gene", ...).
    FieldReader(InputFile& file, std::string_view record_kind) : file_(file), kind_(record_kind) {}

    // Moves to record `index` (1-based); fields count from 1 within it.
    void start_record(std::int64_t index)
    {
        if (field_ > 0) record_ended();
        record_ = index;
        field_ = 0;
    }
    // For a reader that starts in the middle of a file laid out one record
    // per line, at the record after the one that ends on `previous_end`:
    // the layout the file's first records set.
    void resume_one_per_line(std::uint64_t previous_end)
    {
        span_ = 0;
        new_line_ = 1;
        previous_end_ = previous_end;
    }
    // After the last record: checks its layout too.
    void end_of_records()
    {
        if (field_ > 0) record_ended();
        field_ = 0;
    }

    // The next field as a 32-bit integer, or a refusal naming `name`.
    std::int32_t integer(std::string_view name)
    {
        std::int32_t value;
        if (file_.next_plain_int32(token_, value)) {
            advance();
            return value;
        }
        return any_integer(name);
    }
    // The same, refusing negative values.
    std::int32_t count(std::string_view name)
    {
        std::int32_t value;
        if (file_.next_plain_int32(token_, value)) {
            advance();
            if (value < 0) refuse_negative(name);
            return value;
        }
        return any_count(name);
    }
    // The same, refusing values above `largest` too.
    std::int32_t count_up_to(std::string_view name, std::int32_t largest)
    {
        const std::int32_t value = count(name);
        if (value > largest) refuse_above(name, largest);
        return value;
    }
    // Refuses field `field` of the record (value `value`), found above `largest`.
    [[noreturn]] void refuse_above(std::string_view name, std::int32_t largest, std::int32_t value, int field) const;
    // Up to `count` fields in a row that are plain non-negative integers,
    // into out[0..]; returns how many and ors their bits into `bits` (see
    // InputFile::next_plain_counts). The record's remaining fields are then
    // read one by one.
    int plain_counts(int count, std::int32_t* out, std::uint32_t& bits)
    {
        std::uint64_t first_line = 0;
        const int got = file_.next_plain_counts(count, out, token_, bits, first_line);
        if (got > 0) {
            if (field_ == 0) record_started(first_line);
            field_ += got;
        }
        return got;
    }
    // The next field as a real number; with `na_allowed`, the token NA gives
    // false and no value.
    bool real(std::string_view name, bool na_allowed, double& value);
    // The same, not NA, for the first field of a record in a file of as many
    // records as it holds: false when the file ends before it.
    bool real_unless_end(std::string_view name, double& value);

    // Refuses the field just read, quoting it.
    [[noreturn]] void refuse(std::string_view name, std::string_view expected) const;
    // Refuses the field just read with `found` saying what was there instead;
    // `field` names an earlier field of the same record instead.
    [[noreturn]] void refuse_found(std::string_view name, std::string_view expected, std::string_view found,
                                   int field = 0) const;

private:
    // Counts the field just read; the record's first starts its layout check.
    void advance()
    {
        if (field_++ == 0) record_started(file_.line());
    }
    // The layout checks: where the record starts (on a new line or after
    // the previous one), and how many lines it spans. They run once a
    // record on every table's hot path, so only a change of layout (or the
    // record that sets it) leaves the inline part.
    void record_started(std::uint64_t line)
    {
        if ((line > previous_end_ ? 1 : 0) != new_line_ && record_ >= 2) start_differs(line);
        first_line_ = line;
    }
    void record_ended()
    {
        const std::uint64_t last = file_.line();
        if (static_cast<std::int64_t>(last - first_line_) != span_) span_differs(last);
        previous_end_ = last;
    }
    void start_differs(std::uint64_t line);
    void span_differs(std::uint64_t last);
    [[noreturn]] void refuse_layout(std::uint64_t line, int field, const std::string& expected,
                                    const std::string& found) const;
    // The fields that are not plain integers: a '+' sign, an error.
    std::int32_t any_integer(std::string_view name);
    std::int32_t any_count(std::string_view name);
    [[noreturn]] void refuse_negative(std::string_view name) const;
    [[noreturn]] void refuse_above(std::string_view name, std::int32_t largest) const;
    std::string_view take(std::string_view name, std::string_view expected);

    InputFile& file_;
    std::string_view kind_;
    std::int64_t record_ = 0;
    int field_ = 0;
    std::string_view token_;
    // The layout: the line of this record's first field and of the previous
    // record's last; the span of the first record and whether the second
    // starts on a new line (-1 until known).
    std::uint64_t first_line_ = 0, previous_end_ = 0;
    std::int64_t span_ = -1;
    int new_line_ = -1;
};
