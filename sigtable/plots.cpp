#include "plots.h"

#include "textout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr double kLeft = 80, kRight = 30, kTop = 50, kBottom = 70;

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

// Round tick positions covering [lo, hi]: steps of 1, 2 or 5 times a power of ten.
std::vector<double> ticks(double lo, double hi)
{
    const double raw = (hi - lo) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power) {
            step = m * power;
            break;
        }
    std::vector<double> out;
    for (double t = std::ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) out.push_back(std::abs(t) < step * 1e-9 ? 0 : t);
    return out;
}

} // namespace

std::string plot_svg(const Plot& plot)
{
    std::vector<PlotPoint> points;
    for (const PlotPoint& p : plot.points)
        if (std::isfinite(p.x) && std::isfinite(p.y)) points.push_back(p);
    double x0 = -1, x1 = 1, y0 = 0, y1 = 1;
    if (!points.empty()) {
        x0 = x1 = points[0].x;
        y0 = y1 = points[0].y;
        for (const PlotPoint& p : points) {
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
    }
    if (x1 - x0 < 1e-9) x0 -= 1, x1 += 1;
    if (y1 - y0 < 1e-9) y0 -= 1, y1 += 1;
    const double padx = (x1 - x0) * 0.05, pady = (y1 - y0) * 0.05;
    x0 -= padx, x1 += padx, y0 -= pady, y1 += pady;
    const double w = kPlotWidth - kLeft - kRight, h = kPlotHeight - kTop - kBottom;
    auto X = [&](double x) { return kLeft + (x - x0) / (x1 - x0) * w; };
    auto Y = [&](double y) { return kTop + (y1 - y) / (y1 - y0) * h; };

    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kPlotWidth) + "\" height=\"" +
                    std::to_string(kPlotHeight) + "\" font-family=\"sans-serif\" font-size=\"13\">\n";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    s += "<text x=\"" + fmt(kPlotWidth / 2.0) + "\" y=\"28\" text-anchor=\"middle\" font-size=\"16\">" +
         escaped(plot.title) + "</text>\n";
    s += "<rect x=\"" + fmt(kLeft) + "\" y=\"" + fmt(kTop) + "\" width=\"" + fmt(w) + "\" height=\"" + fmt(h) +
         "\" fill=\"none\" stroke=\"black\"/>\n";
    for (double t : ticks(x0, x1)) {
        s += "<line x1=\"" + fmt(X(t)) + "\" x2=\"" + fmt(X(t)) + "\" y1=\"" + fmt(kTop + h) + "\" y2=\"" +
             fmt(kTop + h + 6) + "\" stroke=\"black\"/>\n";
        s += "<text x=\"" + fmt(X(t)) + "\" y=\"" + fmt(kTop + h + 22) + "\" text-anchor=\"middle\">" + fmt(t) + "</text>\n";
    }
    for (double t : ticks(y0, y1)) {
        s += "<line x1=\"" + fmt(kLeft - 6) + "\" x2=\"" + fmt(kLeft) + "\" y1=\"" + fmt(Y(t)) + "\" y2=\"" + fmt(Y(t)) +
             "\" stroke=\"black\"/>\n";
        s += "<text x=\"" + fmt(kLeft - 10) + "\" y=\"" + fmt(Y(t) + 4) + "\" text-anchor=\"end\">" + fmt(t) + "</text>\n";
    }
    s += "<text x=\"" + fmt(kLeft + w / 2) + "\" y=\"" + fmt(kPlotHeight - 20.0) + "\" text-anchor=\"middle\">" +
         escaped(plot.x_label) + "</text>\n";
    s += "<text transform=\"translate(22," + fmt(kTop + h / 2) + ") rotate(-90)\" text-anchor=\"middle\">" +
         escaped(plot.y_label) + "</text>\n";
    // Significant points last, so that they stay visible.
    for (bool significant : {false, true})
        for (const PlotPoint& p : points)
            if (p.significant == significant)
                s += "<circle cx=\"" + fmt(X(p.x)) + "\" cy=\"" + fmt(Y(p.y)) + "\" r=\"2.5\" fill=\"" +
                     (significant ? "#d62728\" fill-opacity=\"0.9" : "#7f7f7f\" fill-opacity=\"0.5") + "\"/>\n";
    s += "<circle cx=\"" + fmt(kLeft + w - 210) + "\" cy=\"" + fmt(kTop + 14) + "\" r=\"4\" fill=\"#d62728\"/>\n";
    s += "<text x=\"" + fmt(kLeft + w - 200) + "\" y=\"" + fmt(kTop + 18) + "\">" + escaped(plot.legend) + "</text>\n";
    s += "</svg>\n";
    return s;
}

bool write_plot(const std::string& path, const Plot& plot)
{
    {
        OutputFile svg = OutputFile::create({"plot file", path + ".svg"});
        svg.text(plot_svg(plot));
        svg.close();
    }
    const std::string svg_path = path + ".svg", png_path = path + ".png";
    char* const args[] = {const_cast<char*>("rsvg-convert"), const_cast<char*>("-o"), const_cast<char*>(png_path.c_str()),
                          const_cast<char*>(svg_path.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, "rsvg-convert", &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
