// The canvas of the map program's figures: a cairo surface written as PNG or
// SVG to a new file, and the primitives every figure draws with (text,
// round numbers, colour bars, the axes of a chart).
#pragma once

#include <cairo.h>

#include <functional>
#include <string>
#include <vector>

#include "map/Colours.h"

namespace common {
class StagingFolder;
}

namespace map {

enum class ImageFormat { png, svg };

// Draws with `paint` on a white surface of the format and size (pixels; the
// current colour is the text colour) and writes it to the file `name` of the
// staging folder, which creates it (never a file or link already there).
// Throws MapError naming the file on failure, having removed it, so that the
// staging folder refuses to commit.
void render(common::StagingFolder& staging, const std::string& name, ImageFormat format, int width, int height,
            const std::function<void(cairo_t*)>& paint);

void setColour(cairo_t* cr, const Colour& c);

// A round number near value: 1, 2 or 5 times a power of ten, not above it.
double niceBelow(double value);
// The values first, first + step, first + 2 step, ... below `last` (up to and
// including it when `upTo`), each the previous plus the step. A step too small
// to change a value of that size ends the list there: a nearly constant range
// (1e6 to 1e6 + 1e-9) gets its ends, never an endless run of one value.
std::vector<double> steppedValues(double first, double step, double last, bool upTo);
// A value as a figure shows it: whole numbers without decimals, others with
// three significant digits.
std::string numberText(double value);

// Text in the current colour as outlines (every SVG renderer shows them
// alike), its origin shifted by alignX of its width to the left and alignY
// of its height down.
void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool bold = false, double alignX = 0.0,
          double alignY = 0.0);
// Bold text with a white halo, readable over the river.
void haloText(cairo_t* cr, double x, double y, const std::string& s, double size);

// A vertical colour bar with its ticks, title and a note under the title
// (what range the colours span). The colours run from low (bottom) to high
// (top); logarithmic bars follow log(1 + value).
void colourBar(cairo_t* cr, double x, double y, double height, const std::string& title, const std::string& note,
               double low, double high, Colour (*colours)(double), bool logarithmic);

// The plot area of a chart, in pixels, and the values its sides span.
struct ChartArea {
    double x, y, w, h;
    double xLow, xHigh;  // left to right
    double yLow, yHigh;  // bottom to top
};

// The axes of a chart at the values first, first + step, ... up to last:
// grey grid lines across the area with the values left of it (valueGrid),
// ticks under the area with the values below them when `labels` is set
// (bottomTicks). They draw with line width 1 as the chart has set it.
void valueGrid(cairo_t* cr, const ChartArea& area, double first, double step, double last);
void bottomTicks(cairo_t* cr, const ChartArea& area, double first, double step, double last, bool labels);

// Frees the font caches of cairo and fontconfig, which live for the process
// otherwise (and would be reported by the leak checker of the sanitizer
// build). Drawing after it starts them again.
void releaseDrawingCaches();

}  // namespace map
