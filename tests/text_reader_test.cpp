// The one reader of every text input: lines and tokens read alike from a
// plain file and from gzip (one member, or two cut inside a line), across
// the 4 MB blocks; a NUL byte refused at its line and byte whichever way
// the file is read; gzip data damaged or cut short refused; lines split at
// tabs or at blanks, and their fields refused in the readers' words.
#include "tables/line_fields.h"
#include "tables/textin.h"
#include "tests/support/refusals.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Every line of the file, each with its number.
std::vector<std::string> lines_of(const std::string& path)
{
    InputFile in = InputFile::open({"test file", path});
    std::vector<std::string> lines;
    for (std::string_view line; in.next_line(line);) lines.push_back(std::to_string(in.line()) + ":" + std::string(line));
    return lines;
}

std::vector<std::string> tokens_of(const std::string& path)
{
    InputFile in = InputFile::open({"test file", path});
    std::vector<std::string> tokens;
    for (std::string_view token; in.next(token);) tokens.emplace_back(token);
    return tokens;
}

} // namespace

TEST(TextReader, PlainAndGzipReadAlikeAsLinesAndAsTokens)
{
    // CR LF line ends, a blank line, a line of 5.4 MB (longer than a block),
    // a last line without its line end.
    std::string long_line = "c";
    std::vector<std::string> tokens = {"a", "b", "c"};
    for (int k = 0; k < 600000; ++k) {
        tokens.push_back(std::to_string(10000000 + k));
        long_line += "\t" + tokens.back();
    }
    tokens.insert(tokens.end(), {"e", "f"});
    const std::string text = "a b\r\n\n" + long_line + "\ne f";
    const std::vector<std::string> lines = {"1:a b", "2:", "3:" + long_line, "4:e f"};

    ScratchDir dir;
    const std::string packed = gzipped(text);
    // Two members, as concatenated .gz files and bgzip's blocks are, the
    // first ending inside the long line.
    const std::string members = gzipped(text.substr(0, 3000000)) + gzipped(text.substr(3000000));
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"plain.txt", text}, {"packed.txt", packed}, {"members.txt.gz", members}}) {
        const std::string path = dir.write(name, bytes);
        EXPECT_EQ(lines_of(path), lines) << name;
        EXPECT_EQ(tokens_of(path), tokens) << name;
    }
    // An empty file, plain or packed, has neither.
    for (const std::string& bytes : {std::string(), gzipped("")}) {
        EXPECT_TRUE(lines_of(dir.write("empty", bytes)).empty());
        EXPECT_TRUE(tokens_of(dir.write("empty", bytes)).empty());
    }
}

TEST(TextReader, ANulByteIsRefusedAtItsLineAndByte)
{
    struct Case {
        std::string what, text;
        bool as_lines;
        std::string at; // "line L, byte B"
    };
    const std::string blanks(5 << 20, ' '); // more than a block
    const std::vector<Case> cases = {
        {"the first byte", std::string("\0ab\n", 4), true, "line 1, byte 1"},
        {"inside a line", std::string("ab\ncd\0ef\n", 9), true, "line 2, byte 3"},
        {"inside a token", std::string("1 2\n3 4\0 5\n", 11), false, "line 2, byte 4"},
        {"a token alone", std::string("1 2\n\0", 5), false, "line 2, byte 1"},
        // The line starts a block or more before the NUL.
        {"after a line of a block's length", "1\n2" + blanks + std::string("3\0", 2), true,
         "line 2, byte " + std::to_string(blanks.size() + 3)},
        {"after blanks of a block's length", "1\n2" + blanks + std::string("3\0", 2), false,
         "line 2, byte " + std::to_string(blanks.size() + 3)},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        for (const bool packed : {false, true}) {
            const std::string path = dir.write("nul.txt", packed ? gzipped(c.text) : c.text);
            const std::string said = refusal_of([&] { c.as_lines ? lines_of(path) : tokens_of(path); });
            EXPECT_EQ(said, "pipeline: test file '" + path + "', " + c.at + ": expected text, found a NUL byte\n")
                << c.what << (packed ? ", gzip" : "");
        }
    }
}

TEST(TextReader, GzipDataDamagedOrCutShortIsRefused)
{
    const std::string text = "1 2 3\n4 5 6\n";
    const std::string packed = gzipped(text);
    std::string bad_check = packed;
    bad_check[packed.size() - 8] ^= 0x55; // the trailer's CRC of the text
    const std::vector<std::pair<std::string, std::string>> cases = {
        {packed.substr(0, packed.size() - 4), "its gzip data ends early (the file is cut short)"},
        {"\x1f\x8b", "its gzip data ends early (the file is cut short)"},
        {bad_check, "its gzip data is damaged (incorrect data check)"},
        {packed + "7 8 9\n", "its gzip data is damaged (incorrect header check)"},
    };
    ScratchDir dir;
    for (const auto& [bytes, why] : cases) {
        const std::string path = dir.write("bad.gz", bytes);
        for (const bool as_lines : {false, true})
            EXPECT_EQ(refusal_of([&] { as_lines ? lines_of(path) : tokens_of(path); }),
                      "pipeline: cannot read test file '" + path + "': " + why + "\n")
                << why;
    }
}

TEST(LineFields, SplitAtTabsOrAtBlanks)
{
    const struct {
        Split split;
        std::string text, fields; // the fields joined by '|'
        std::size_t count;
    } cases[] = {
        {Split::tabs, "gene\tA B\t\t7", "gene|A B||7", 4},
        {Split::tabs, "", "", 1},
        {Split::tabs, "\t", "|", 2},
        {Split::tabs, " x ", " x ", 1},
        {Split::blanks, " 7\t 1 \v2\f-1\r", "7|1|2|-1", 4},
        {Split::blanks, " \t ", "", 0},
    };
    const FileName name{"test file", "t.txt"};
    for (const auto& c : cases) {
        LineFields fields(name, c.split);
        fields.assign(c.text, 3);
        std::string joined;
        for (std::size_t k = 0; k < fields.size(); ++k) joined += (k ? "|" : "") + std::string(fields[k]);
        EXPECT_EQ(joined, c.fields) << c.text;
        EXPECT_EQ(fields.size(), c.count) << c.text;
    }

    // Read from a file: at blanks, lines without a field are passed over;
    // at tabs every line counts. Lines keep their numbers.
    ScratchDir dir;
    const std::string path = dir.write("lines.txt", "a b\n \n\nc\r\n");
    for (const auto& [split, expected] :
         {std::pair{Split::blanks, std::string("1:a,b 4:c ")}, std::pair{Split::tabs, std::string("1:a b 2:  3: 4:c ")}}) {
        InputFile in = InputFile::open({"test file", path});
        LineFields fields(in, split);
        std::string seen;
        while (fields.next_line()) {
            seen += std::to_string(fields.line()) + ":";
            for (std::size_t k = 0; k < fields.size(); ++k) seen += (k ? "," : "") + std::string(fields[k]);
            seen += " ";
        }
        EXPECT_EQ(seen, expected);
    }
}

TEST(LineFields, FieldsAreRefusedInTheReadersWords)
{
    const FileName name{"statistics file", "s.txt"};
    LineFields fields(name, Split::blanks);
    fields.assign("7 x 2147483648 -3", 12);
    const LineFields::Named lambda{"lambda", " of comparison 5"};
    const std::string at = "pipeline: statistics file 's.txt', line 12, ";
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { fields.integer(1, lambda); }, "field 2 (lambda of comparison 5): expected an integer, found 'x'"},
        {[&] { fields.integer(2, lambda); },
         "field 3 (lambda of comparison 5): expected an integer from -2147483648 to 2147483647, found '2147483648'"},
        {[&] { fields.at_least(3, {"length"}, 0, "a length"); }, "field 4 (length): expected a length, found '-3'"},
        {[&] { fields.non_negative(3, {"start"}); }, "field 4 (start): expected a non-negative integer, found '-3'"},
        {[&] { fields.real(4, lambda); },
         "field 5 (lambda of comparison 5): expected a real number, found the end of the line"},
    };
    for (const auto& [read, message] : cases) EXPECT_EQ(refusal_of(read), at + message + "\n");
    EXPECT_EQ(fields.integer(0, lambda), 7);
    EXPECT_EQ(fields.non_negative(0, lambda), 7);
}
