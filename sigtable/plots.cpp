#include "sigtable/plots.h"

#include "sigtable/axis_ticks.h"
#include "tables/textout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unordered_set>

extern char** environ;

namespace {

// The points keep this far from the box's edges, so that a point on the
// first or last tick is not drawn over the frame.
constexpr double kInset = 8;

std::string fmt(double v)
{
    char t[32];
    std::snprintf(t, sizeof t, "%.4g", v);
    return t;
}

std::string escaped(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else out += c;
    }
    return out;
}

} // namespace

std::string plot_svg(const Plot& plot)
{
    std::vector<PlotPoint> points;
    for (const PlotPoint& p : plot.points)
        if (std::isfinite(p.x) && std::isfinite(p.y)) points.push_back(p);
    double x0 = NAN, x1 = NAN, y0 = NAN, y1 = NAN;
    if (!points.empty()) {
        x0 = x1 = points[0].x;
        y0 = y1 = points[0].y;
        for (const PlotPoint& p : points) {
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
    }
    const Axis ax = choose_axis(x0, x1, plot.x_from_zero), ay = choose_axis(y0, y1, plot.y_from_zero);
    const double w = kPlotWidth - kAxesLeft - kAxesRight, h = kPlotHeight - kAxesTop - kAxesBottom;
    auto X = [&](double x) { return kAxesLeft + kInset + (x - ax.lo) / (ax.hi - ax.lo) * (w - 2 * kInset); };
    auto Y = [&](double y) { return kAxesTop + kInset + (ay.hi - y) / (ay.hi - ay.lo) * (h - 2 * kInset); };

    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kPlotWidth) + "\" height=\"" +
                    std::to_string(kPlotHeight) + "\" font-family=\"sans-serif\" font-size=\"13\">\n";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    s += "<text x=\"" + fmt(kPlotWidth / 2.0) + "\" y=\"26\" text-anchor=\"middle\" font-size=\"16\">" +
         escaped(plot.title) + "</text>\n";
    // The legend: a band of its own between the title and the axes, one
    // line, or two when the grey points have theirs.
    const bool two = !plot.grey_legend.empty();
    const double first = two ? 42 : 48, second = 60;
    s += "<g id=\"legend\"><circle cx=\"" + fmt(kAxesLeft + 6) + "\" cy=\"" + fmt(first) +
         "\" r=\"4\" fill=\"#d62728\"/><text x=\"" + fmt(kAxesLeft + 16) + "\" y=\"" + fmt(first + 4) + "\">" +
         escaped(plot.legend) + "</text>";
    if (two)
        s += "<circle cx=\"" + fmt(kAxesLeft + 6) + "\" cy=\"" + fmt(second) +
             "\" r=\"4\" fill=\"#7f7f7f\"/><text x=\"" + fmt(kAxesLeft + 16) + "\" y=\"" + fmt(second + 4) +
             "\">" + escaped(plot.grey_legend) + "</text>";
    s += "</g>\n";
    s += "<rect id=\"axes\" x=\"" + fmt(kAxesLeft) + "\" y=\"" + fmt(kAxesTop) + "\" width=\"" + fmt(w) +
         "\" height=\"" + fmt(h) + "\" fill=\"none\" stroke=\"black\"/>\n";
    for (double t : ax.ticks) {
        s += "<line x1=\"" + fmt(X(t)) + "\" x2=\"" + fmt(X(t)) + "\" y1=\"" + fmt(kAxesTop + h) + "\" y2=\"" +
             fmt(kAxesTop + h + 6) + "\" stroke=\"black\"/>\n";
        s += "<text x=\"" + fmt(X(t)) + "\" y=\"" + fmt(kAxesTop + h + 22) + "\" text-anchor=\"middle\">" +
             tick_label(t, ax) + "</text>\n";
    }
    for (double t : ay.ticks) {
        s += "<line x1=\"" + fmt(kAxesLeft - 6) + "\" x2=\"" + fmt(kAxesLeft) + "\" y1=\"" + fmt(Y(t)) + "\" y2=\"" +
             fmt(Y(t)) + "\" stroke=\"black\"/>\n";
        s += "<text x=\"" + fmt(kAxesLeft - 10) + "\" y=\"" + fmt(Y(t) + 4) + "\" text-anchor=\"end\">" +
             tick_label(t, ay) + "</text>\n";
    }
    s += "<text x=\"" + fmt(kAxesLeft + w / 2) + "\" y=\"" + fmt(kPlotHeight - 20.0) + "\" text-anchor=\"middle\">" +
         escaped(plot.x_label) + "</text>\n";
    s += "<text transform=\"translate(22," + fmt(kAxesTop + h / 2) + ") rotate(-90)\" text-anchor=\"middle\">" +
         escaped(plot.y_label) + "</text>\n";
    if (plot.diagonal) {
        // y = x from where it enters the axes' range to where it leaves it.
        const double from = std::max(ax.lo, ay.lo), to = std::min(ax.hi, ay.hi);
        if (from < to)
            s += "<line id=\"diagonal\" x1=\"" + fmt(X(from)) + "\" y1=\"" + fmt(Y(from)) + "\" x2=\"" + fmt(X(to)) +
                 "\" y2=\"" + fmt(Y(to)) + "\" stroke=\"black\" stroke-dasharray=\"6,4\"/>\n";
    }
    // Significant points last, so that they stay visible. A grey point on
    // the cell of one already drawn adds nothing to the picture: of a
    // million comparisons most fall on a few thousand pixels, and drawing
    // each would take the SVG to tens of megabytes and its rendering to
    // seconds. Every significant point is drawn.
    // Cells of two pixels: a point of radius 2.5 moved by at most one pixel
    // shows no change.
    constexpr double kThinCell = 2;
    std::unordered_set<std::uint64_t> drawn;
    for (bool significant : {false, true})
        for (const PlotPoint& p : points) {
            if (p.significant != significant) continue;
            const double px = X(p.x), py = Y(p.y);
            const std::uint64_t pixel = (static_cast<std::uint64_t>(std::lround(px / kThinCell)) << 32) |
                                        static_cast<std::uint32_t>(std::lround(py / kThinCell));
            if (!significant && !drawn.insert(pixel).second) continue;
            s += "<circle cx=\"" + fmt(px) + "\" cy=\"" + fmt(py) + "\" r=\"2.5\" fill=\"" +
                 (significant ? "#d62728\" fill-opacity=\"0.9" : "#7f7f7f\" fill-opacity=\"0.5") + "\"/>\n";
        }
    s += "</svg>\n";
    return s;
}

namespace {

void write_svg(const std::string& path, const Plot& plot)
{
    OutputFile svg = OutputFile::create({"plot file", path + ".svg"});
    svg.text(plot_svg(plot));
    svg.close();
}

// Starts rsvg-convert on path.svg to path.png, its messages discarded; the
// process id, or -1 when it cannot be started.
pid_t start_converter(const std::string& path)
{
    const std::string svg_path = path + ".svg", png_path = path + ".png";
    char* const args[] = {const_cast<char*>("rsvg-convert"), const_cast<char*>("-o"), const_cast<char*>(png_path.c_str()),
                          const_cast<char*>(svg_path.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, "rsvg-convert", &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    return started == 0 ? pid : -1;
}

// Whether the converter ended having written its PNG.
bool converted(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool write_plot(const std::string& path, const Plot& plot)
{
    write_svg(path, plot);
    const pid_t pid = start_converter(path);
    return pid > 0 && converted(pid);
}

PlotWriter::~PlotWriter()
{
    finish();
}

void PlotWriter::write(const std::string& path, const Plot& plot)
{
    write_svg(path, plot);
    queued_.push_back(path);
    step(false);
}

void PlotWriter::poll()
{
    step(false);
}

void PlotWriter::step(bool wait)
{
    for (std::size_t k = 0; k < running_.size();) {
        int status = 0;
        const pid_t ended = waitpid(running_[k], &status, wait ? 0 : WNOHANG);
        if (ended == 0) {
            ++k;
            continue;
        }
        png_ &= ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(k));
    }
    while (running_.size() < kConverters && next_ < queued_.size()) {
        const pid_t pid = start_converter(queued_[next_++]);
        if (pid > 0) running_.push_back(pid);
        else png_ = false;
    }
}

bool PlotWriter::finish()
{
    while (!running_.empty() || next_ < queued_.size()) step(true);
    return png_;
}
