// Number formatting and parsing, the block reader, and argument conversion.
#include "cli/intake.h"
#include "tables/textin.h"
#include "tables/textout.h"
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

std::string printf_fixed6(double x)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.6f", x);
    return buf;
}

std::string fixed6(double x)
{
    std::string s;
    append_fixed6(s, x);
    return s;
}

} // namespace

TEST(Formatting, FixedSixMatchesPrintfEverywhere)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double zero = 0.0;
    const double special[] = {0.0, -0.0, 0.0000005, 0.0000015, 0.0000025, -0.0000005, 2.5e-7, -1e-9, 1.0, -1.5,
                              0.1, 123456.0000005, 1e20, -1e300, 5e-324, 0.857142857142857, nan, -nan, inf, -inf,
                              zero * inf};
    for (double x : special) EXPECT_EQ(fixed6(x), printf_fixed6(x)) << x;
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> exponent(-12, 12);
    for (int i = 0; i < 200000; ++i) {
        double x = std::pow(10.0, exponent(rng)) * ((rng() & 1) ? -1 : 1);
        ASSERT_EQ(fixed6(x), printf_fixed6(x)) << x;
    }
}

TEST(Formatting, IntegersLikePercentD)
{
    std::string s;
    append_int(s, 0);
    s += ' ';
    append_int(s, -2147483648LL);
    s += ' ';
    append_int(s, 2147483647);
    EXPECT_EQ(s, "0 -2147483648 2147483647");
}

TEST(Parsing, WholeTokensOnly)
{
    std::int32_t v = 0;
    EXPECT_EQ(parse_int32("42", v), IntParse::ok);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(parse_int32("+7", v), IntParse::ok);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(parse_int32("-2147483648", v), IntParse::ok);
    EXPECT_EQ(v, -2147483648);
    EXPECT_EQ(parse_int32("2147483648", v), IntParse::out_of_range);
    EXPECT_EQ(parse_int32("12a", v), IntParse::not_integer);
    EXPECT_EQ(parse_int32("99999999999x", v), IntParse::not_integer);
    EXPECT_EQ(parse_int32("1.0", v), IntParse::not_integer);
    EXPECT_EQ(parse_int32("+", v), IntParse::not_integer);
    EXPECT_EQ(parse_int32("+-1", v), IntParse::not_integer);
    EXPECT_EQ(parse_int32("", v), IntParse::not_integer);

    double d = 0;
    EXPECT_TRUE(parse_real("-0.500000", d));
    EXPECT_EQ(d, -0.5);
    EXPECT_TRUE(parse_real("1e3", d));
    EXPECT_EQ(d, 1000.0);
    EXPECT_TRUE(parse_real("1e999", d));
    EXPECT_TRUE(std::isinf(d));
    EXPECT_TRUE(parse_real("-nan", d));
    EXPECT_TRUE(std::isnan(d));
    EXPECT_FALSE(parse_real("NA", d));
    EXPECT_FALSE(parse_real("1.5x", d));
    EXPECT_FALSE(parse_real("0x10", d));
}

TEST(Parsing, ArgumentsReadTheirLeadingInteger)
{
    std::int64_t v = -1;
    const std::int64_t lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
    EXPECT_TRUE(leading_integer("  -81079abc", lo, hi, v));
    EXPECT_EQ(v, -81079);
    EXPECT_TRUE(leading_integer("word", lo, hi, v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(leading_integer("", lo, hi, v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(leading_integer("+12.5", lo, hi, v));
    EXPECT_EQ(v, 12);
    EXPECT_FALSE(leading_integer("2147483648", lo, hi, v));
    EXPECT_TRUE(leading_integer("-2147483648", lo, hi, v));
    EXPECT_FALSE(leading_integer("99999999999999999999", std::numeric_limits<std::int64_t>::min(),
                                 std::numeric_limits<std::int64_t>::max(), v));
    EXPECT_TRUE(leading_integer("-9223372036854775808", std::numeric_limits<std::int64_t>::min(),
                                std::numeric_limits<std::int64_t>::max(), v));
    EXPECT_EQ(v, std::numeric_limits<std::int64_t>::min());
}

TEST(BlockReader, TokensAndLinesAcrossBlockBoundaries)
{
    // Well over one 4 MiB block, with tokens of varied width, so that many
    // tokens straddle a refill.
    ScratchDir dir;
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; i < 700000; ++i) {
        std::string tok = std::to_string(static_cast<long long>(i) * 7919 % 1000003);
        expected.push_back(tok);
        text += tok;
        text += (i % 9 == 8) ? "\n" : (i % 5 == 0 ? "\t " : " ");
    }
    std::string path = dir.write("tokens.txt", text);
    InputFile in = InputFile::open({"test file", path});
    std::string_view tok;
    std::size_t i = 0;
    std::uint64_t last_line = 0;
    while (in.next(tok)) {
        ASSERT_LT(i, expected.size());
        ASSERT_EQ(tok, expected[i]) << "token " << i;
        ASSERT_EQ(in.line(), i / 9 + 1) << "token " << i;
        last_line = in.line();
        ++i;
    }
    EXPECT_EQ(i, expected.size());
    EXPECT_EQ(last_line, (expected.size() - 1) / 9 + 1);
}

TEST(BlockReader, OverlongTokenIsCutAndTheRestSkipped)
{
    ScratchDir dir;
    std::string text = "1 " + std::string(5 << 20, '7') + " 2\n3";
    InputFile in = InputFile::open({"test file", dir.write("long.txt", text)});
    std::string_view tok;
    ASSERT_TRUE(in.next(tok));
    EXPECT_EQ(tok, "1");
    ASSERT_TRUE(in.next(tok));
    EXPECT_EQ(tok.size(), std::size_t(4) << 20);
    ASSERT_TRUE(in.next(tok));
    EXPECT_EQ(tok, "2");
    ASSERT_TRUE(in.next(tok));
    EXPECT_EQ(tok, "3");
    EXPECT_EQ(in.line(), 2u);
    EXPECT_FALSE(in.next(tok));
}

namespace {

std::size_t files_in(const ScratchDir& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++n;
    return n;
}

} // namespace

TEST(OutputFileAside, TheFinalNameIsEmptyUntilTheWholeFileIsClosed)
{
    ScratchDir dir;
    const std::string path = dir.write("result", "an old result\n");
    OutputFile out = OutputFile::create({"result file", path});
    out.text("line 1\n");
    out.flush();
    EXPECT_EQ(read_file(path), "");
    EXPECT_EQ(files_in(dir), 2u); // the final name and the temporary file
    out.text("line 2\n");
    out.close();
    EXPECT_EQ(read_file(path), "line 1\nline 2\n");
    EXPECT_EQ(files_in(dir), 1u);
}

TEST(OutputFileAside, AnExceptionAbandonsTheUnfinishedFile)
{
    ScratchDir dir;
    const std::string path = dir.file("result");
    try {
        OutputFile out = OutputFile::create({"result file", path});
        out.text("half a result\n");
        out.flush();
        throw std::runtime_error("stopped");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(read_file(path), "");
    EXPECT_EQ(files_in(dir), 1u);
}

TEST(OutputFileAside, AFileAlreadyOpenIsNotTruncated)
{
    ScratchDir dir;
    const std::string path = dir.write("input", "data\n");
    InputFile in = InputFile::open({"input file", path});
    throw_on_stop(true);
    int status = 0;
    try {
        OutputFile::create({"result file", dir.path() + "/../" + std::filesystem::path(dir.path()).filename().string() +
                                               "/input"});
    } catch (const ProgramStop& stop) {
        status = stop.status;
    }
    throw_on_stop(false);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(read_file(path), "data\n");
}
