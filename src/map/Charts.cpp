#include "map/Charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace map {

namespace {

// One panel of a line chart: y against x, with its axes, ticks and label.
void linePanel(cairo_t* cr, double x, double y, double w, double h, const std::vector<double>& xs,
               const std::vector<double>& ys, const std::string& label, const Colour& colour, bool xLabels,
               const std::string& xLabel) {
    double xMax = 1, yMax = 1;
    for (const double v : xs) xMax = std::max(xMax, v);
    for (const double v : ys) yMax = std::max(yMax, v);
    yMax *= 1.08;  // room above the highest point
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x, y, w, h);
    cairo_stroke(cr);
    const ChartArea area{x, y, w, h, 0, xMax, 0, yMax};
    valueGrid(cr, area, 0, niceBelow(yMax / 3), yMax * 1.0001);
    bottomTicks(cr, area, 0, niceBelow(xMax / 5), xMax * 1.0001, xLabels);
    if (xLabels) text(cr, x + w / 2, y + h + 36, xLabel, 13, false, 0.5);
    text(cr, x, y - 6, label, 13, true);
    setColour(cr, colour);
    cairo_set_line_width(cr, 1.8);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const double px = x + xs[i] / xMax * w, py = y + h - ys[i] / yMax * h;
        if (i == 0)
            cairo_move_to(cr, px, py);
        else
            cairo_line_to(cr, px, py);
    }
    cairo_stroke(cr);
}

}  // namespace

void drawColonisationCurve(const std::vector<CurveRow>& curve, const std::string& title, common::StagingFolder& staging,
                           const std::string& name, ImageFormat format) {
    std::vector<double> g, occupied, size, migrants;
    for (const auto& row : curve) {
        g.push_back(static_cast<double>(row.generation));
        occupied.push_back(static_cast<double>(row.occupied));
        size.push_back(static_cast<double>(row.size));
        migrants.push_back(static_cast<double>(row.migrants));
    }
    constexpr int width = 900, height = 800;
    render(staging, name, format, width, height, [&](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        text(cr, 20, 28, title, 17, true);
        const double x = 90, w = width - 120, h = 180, top = 72, gap = 50;
        linePanel(cr, x, top, w, h, g, occupied, "occupied segments", {0.153, 0.497, 0.558}, false, "");
        linePanel(cr, x, top + h + gap, w, h, g, size, "individuals", {0.275, 0.194, 0.497}, false, "");
        linePanel(cr, x, top + 2 * (h + gap), w, h, g, migrants, "migrants per generation", {0.85, 0.35, 0.1}, true,
                  "generation");
    });
}

void drawAgeDistribution(const std::vector<double>& ages, const std::string& title, common::StagingFolder& staging,
                         const std::string& name, ImageFormat format) {
    // The axis covers the ages, from a round value at or below the youngest
    // to the oldest: ages between 2,800 and 3,750 fill the figure instead of
    // its last quarter.
    double youngest = std::numeric_limits<double>::max(), highest = 0;
    for (const double a : ages) {
        youngest = std::min(youngest, a);
        highest = std::max(highest, a);
    }
    if (ages.empty()) youngest = 0;
    const double axisStep = niceBelow(highest > youngest ? (highest - youngest) / 5 : std::max(highest, 1.0));
    const double axisLow = std::max(0.0, std::floor(youngest / axisStep) * axisStep);
    if (!(highest > axisLow)) highest = axisLow + axisStep;
    const int bins = std::clamp(static_cast<int>(std::ceil(std::sqrt(static_cast<double>(ages.size())))) * 2, 5, 40);
    const double width = (highest - axisLow) / bins;
    std::vector<int> counts(static_cast<std::size_t>(bins), 0);
    for (const double a : ages)
        counts[std::min<std::size_t>(static_cast<std::size_t>(std::max(0.0, (a - axisLow) / width)),
                                     counts.size() - 1)]++;
    int largest = 1;
    for (const int c : counts) largest = std::max(largest, c);
    const double most = largest * 1.1;  // room above the highest bar
    double mean = 0;
    for (const double a : ages) mean += a;
    if (!ages.empty()) mean /= static_cast<double>(ages.size());
    constexpr int W = 900, H = 520;
    render(staging, name, format, W, H, [&](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        text(cr, 20, 28, title, 17, true);
        const double x = 80, y = 60, w = W - 110, h = H - 140;
        const double span = highest - axisLow;
        const ChartArea area{x, y, w, h, axisLow, highest, 0, most};
        cairo_set_line_width(cr, 1);
        valueGrid(cr, area, 0, std::max(1.0, niceBelow(largest / 4.0)), most);
        for (int b = 0; b < bins; ++b) {
            const double bx = x + w * b / bins, bh = h * counts[static_cast<std::size_t>(b)] / most;
            cairo_rectangle(cr, bx + 1, y + h - bh, w / bins - 2, bh);
            cairo_set_source_rgb(cr, 0.213, 0.359, 0.552);
            cairo_fill(cr);
        }
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        cairo_rectangle(cr, x, y, w, h);
        cairo_stroke(cr);
        const double xStep = niceBelow(span / 5);
        bottomTicks(cr, area, std::ceil(axisLow / xStep) * xStep, xStep, highest + span * 1e-4, true);
        text(cr, x + w / 2, y + h + 38, "age of the genealogy's root (generations before the end)", 13, false, 0.5);
        text(cr, x - 60, y - 12, "genealogies", 12);
        char summary[96];
        std::snprintf(summary, sizeof summary, "%zu genealogies, mean age %.0f generations", ages.size(), mean);
        text(cr, x + w, y - 12, summary, 12, false, 1.0);
        if (mean > 0) {
            cairo_set_source_rgb(cr, 0.85, 0.35, 0.1);
            cairo_set_line_width(cr, 2);
            cairo_move_to(cr, x + (mean - axisLow) / span * w, y);
            cairo_line_to(cr, x + (mean - axisLow) / span * w, y + h);
            cairo_stroke(cr);
        }
    });
}

}  // namespace map
