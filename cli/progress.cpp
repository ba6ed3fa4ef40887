#include "progress.h"

#include "diag.h"

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

void ProgressLine::draw(long done, bool final)
{
    const double elapsed = seconds_between(start_, std::chrono::steady_clock::now());
    const double rate = elapsed > 0 ? done / elapsed : 0;
    char line[256];
    if (final) {
        std::snprintf(line, sizeof line, "\r%s: %ld of %ld %s in %s (%.1f %s/s)\033[K\n", program_name().c_str(), done,
                      total_, unit_.c_str(), format_duration(elapsed).c_str(), rate, unit_.c_str());
    } else {
        const double left = rate > 0 ? (total_ - done) / rate : NAN;
        std::snprintf(line, sizeof line, "\r%s: %ld of %ld %s, %.1f %s/s, %s left\033[K", program_name().c_str(), done,
                      total_, unit_.c_str(), rate, unit_.c_str(), format_duration(left).c_str());
    }
    std::fputs(line, stderr);
    std::fflush(stderr);
}

void ProgressLine::finish()
{
    if (!shown_ || finished_) return;
    finished_ = true;
    draw(done_, true);
}
