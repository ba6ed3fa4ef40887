#include "tests/support/refusals.h"

#include "cli/diag.h"

#include <gtest/gtest.h>

#include <regex>

std::string refusal_of(const std::function<void()>& read)
{
    throw_on_stop(true);
    testing::internal::CaptureStderr();
    try {
        read();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.status, kExitBadInput);
    }
    throw_on_stop(false);
    return testing::internal::GetCapturedStderr();
}

void expect_refusal(const RunResult& r, const std::string& pattern)
{
    EXPECT_EQ(r.status, kExitBadInput) << r.err;
    EXPECT_EQ(split_lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex(pattern))) << "stderr: " << r.err << "pattern: " << pattern;
}
