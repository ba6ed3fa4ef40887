// Scatter plots as SVG (and PNG where rsvg-convert is installed): the
// volcano plot (log2 fold change against -log10 p-value) and the MA plot
// (log10 mean against log2 fold change) of one pair of conditions, with
// axes, ticks, labels, and the significant points marked in red.
#pragma once

#include <string>
#include <vector>

struct PlotPoint {
    double x, y;
    bool significant;
};

struct Plot {
    std::string title, x_label, y_label, legend;
    std::vector<PlotPoint> points; // points with a coordinate that is not a number are left out
};

inline constexpr int kPlotWidth = 720;
inline constexpr int kPlotHeight = 540;

std::string plot_svg(const Plot& plot);

// Writes path.svg and, when rsvg-convert can be run, path.png; returns
// whether the PNG was written. A file that cannot be written stops the
// program with status 255.
bool write_plot(const std::string& path, const Plot& plot);
