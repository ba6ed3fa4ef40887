// Scatter plots as SVG (and PNG where rsvg-convert is installed): the
// volcano plot (log2 fold change against -log10 p-value), the MA plot
// (log10 mean against log2 fold change) and the QQ plot (expected against
// observed -log10 p-value, before and after calibration, with the line
// y = x) of one pair of conditions, with
// axes, round ticks (axis_ticks.h), labels, the significant points marked
// in red, and a legend in a band between the title and the axes, where it
// covers no point.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PlotPoint {
    double x, y;
    bool significant;
};

struct Plot {
    std::string title, x_label, y_label, legend;
    std::vector<PlotPoint> points; // points with a coordinate that is not finite are left out
    bool y_from_zero = false;      // the y axis starts at 0 (-log10 p-values)
    bool x_from_zero = false;      // the same for the x axis
    // When set, a second line of the legend, for the grey points (the
    // first speaks of the red ones).
    std::string grey_legend;
    bool diagonal = false; // draw the line y = x where it crosses the axes
};

inline constexpr int kPlotWidth = 720;
inline constexpr int kPlotHeight = 540;
// The axes' box: its top edge lies below the legend's band.
inline constexpr double kAxesLeft = 80, kAxesTop = 72, kAxesRight = 30, kAxesBottom = 70;

std::string plot_svg(const Plot& plot);

// Writes path.svg and, when rsvg-convert can be run, path.png; returns
// whether the PNG was written. A file that cannot be written stops the
// program with status 255.
bool write_plot(const std::string& path, const Plot& plot);

// Writes plots as write_plot does, but each PNG is made by an rsvg-convert
// that runs while the program goes on, at most kConverters at a time: a
// plot waits for its turn in a queue, and the conversions are started as
// earlier ones end, at each write() and poll(), so that a caller with other
// work (the table) calls poll() now and then to keep them going. finish()
// waits for every conversion and says whether every PNG was written; the
// destructor waits too.
class PlotWriter {
public:
    static constexpr std::size_t kConverters = 2;
    PlotWriter() = default;
    PlotWriter(const PlotWriter&) = delete;
    PlotWriter& operator=(const PlotWriter&) = delete;
    ~PlotWriter();
    void write(const std::string& path, const Plot& plot);
    void poll();
    bool finish();

private:
    // Reaps the converters that have ended (all of them, waiting, with
    // `wait`), then starts queued ones while there is room.
    void step(bool wait);
    std::vector<int> running_;        // the converters' process ids
    std::vector<std::string> queued_; // the plots (paths without .svg) not yet given to a converter
    std::size_t next_ = 0;            // the first of queued_ not started
    bool png_ = true;
};
