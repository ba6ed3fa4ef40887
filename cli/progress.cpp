#include "cli/progress.h"

#include "cli/diag.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr auto kRefresh = std::chrono::milliseconds(250);

double seconds_between(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

} // namespace

std::string format_duration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0) return "?";
    const long s = std::lround(seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

ProgressLine::ProgressLine(long total, std::string unit)
    : total_(total), unit_(std::move(unit)),
      // On a terminal that also shows standard output, the gene indices
      // printed there already show progress and would break the line.
      shown_(::isatty(STDERR_FILENO) == 1 && ::isatty(STDOUT_FILENO) != 1),
      start_(std::chrono::steady_clock::now()), last_(start_)
{
}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::maybe_draw(long done)
{
    done_ = done;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kRefresh) return;
    last_ = now;
    draw(done, false);
}

std::string progress_text(const std::string& program, long done, long total, const std::string& unit, double elapsed,
                          bool final)
{
    const double rate = elapsed > 0 ? done / elapsed : 0;
    // A unit may name a long path (bamcount's "MiB of <file>"): the numbers
    // are formatted apart, so no part of the line is ever cut.
    char rate_text[64];
    std::snprintf(rate_text, sizeof rate_text, "%.1f", rate);
    std::string line = "\r" + program + ": " + std::to_string(done) + " of " + std::to_string(total) + " " + unit;
    if (final)
        return line + " in " + format_duration(elapsed) + " (" + rate_text + " " + unit + "/s)\033[K\n";
    const double left = rate > 0 ? (total - done) / rate : NAN;
    return line + ", " + rate_text + " " + unit + "/s, " + format_duration(left) + " left\033[K";
}

void ProgressLine::draw(long done, bool final)
{
    const double elapsed = seconds_between(start_, std::chrono::steady_clock::now());
    std::fputs(progress_text(program_name(), done, total_, unit_, elapsed, final).c_str(), stderr);
    std::fflush(stderr);
}

void ProgressLine::finish()
{
    if (!shown_ || finished_) return;
    finished_ = true;
    draw(done_, true);
}
