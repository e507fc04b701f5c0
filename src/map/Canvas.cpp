#include "map/Canvas.h"

#include <cairo-svg.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "common/StagingFolder.h"
#include "map/MapData.h"

namespace map {

namespace {

// Where cairo's stream writers send their bytes: an open descriptor, and
// the first error met (later writes are dropped).
struct StreamTarget {
    int fd = -1;
    int error = 0;
};

cairo_status_t writeToTarget(void* closure, const unsigned char* data, unsigned int length) {
    auto* target = static_cast<StreamTarget*>(closure);
    if (target->error == 0) target->error = common::writeAll(target->fd, data, length);
    return target->error == 0 ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

void render(common::StagingFolder& staging, const std::string& name, ImageFormat format, int width, int height,
            const std::function<void(cairo_t*)>& paint) {
    StreamTarget target;
    target.fd = staging.create(name);
    const std::string path = staging.folder() + "/" + name;
    cairo_surface_t* surface = format == ImageFormat::png
                                   ? cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)
                                   : cairo_svg_surface_create_for_stream(&writeToTarget, &target, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    paint(cr);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    if (status == CAIRO_STATUS_SUCCESS && format == ImageFormat::png)
        status = cairo_surface_write_to_png_stream(surface, &writeToTarget, &target);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (::close(target.fd) != 0 && target.error == 0) target.error = errno;
    if (status != CAIRO_STATUS_SUCCESS || target.error != 0) {
        std::remove(path.c_str());
        throw MapError("'" + path + "' cannot be written: " +
                       (target.error != 0 ? std::strerror(target.error) : cairo_status_to_string(status)));
    }
}

void setColour(cairo_t* cr, const Colour& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

double niceBelow(double value) {
    if (!(value > 0)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double f : {5.0, 2.0, 1.0})
        if (f * power <= value) return f * power;
    return power;
}

std::vector<double> steppedValues(double first, double step, double last, bool upTo) {
    std::vector<double> values;
    for (double v = first; upTo ? v <= last : v < last;) {
        values.push_back(v);
        const double next = v + step;
        if (!(next > v)) break;
        v = next;
    }
    return values;
}

std::string numberText(double value) {
    char text[64];
    if (std::fabs(value) >= 1e9 || (std::fabs(value) > 0 && std::fabs(value) < 1e-3))
        std::snprintf(text, sizeof text, "%.3g", value);
    else if (std::fabs(value - std::round(value)) < 1e-9)
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool bold, double alignX, double alignY) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    // Outlines, not glyph references: every SVG renderer shows them alike.
    cairo_new_path(cr);
    cairo_move_to(cr, x - alignX * e.x_advance, y + alignY * size * 0.72);
    cairo_text_path(cr, s.c_str());
    cairo_fill(cr);
}

void haloText(cairo_t* cr, double x, double y, const std::string& s, double size) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, size);
    cairo_move_to(cr, x, y);
    cairo_text_path(cr, s.c_str());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 3.0);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke_preserve(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_fill(cr);
}

void colourBar(cairo_t* cr, double x, double y, double height, const std::string& title, const std::string& note,
               double low, double high, Colour (*colours)(double), bool logarithmic) {
    text(cr, x, y, title, 13, true);
    text(cr, x, y + 15, note, 11);
    y += 27;
    constexpr int steps = 64;
    for (int i = 0; i < steps; ++i) {
        setColour(cr, colours(1.0 - (i + 0.5) / steps));
        cairo_rectangle(cr, x, y + height * i / steps, 22, height / steps + 0.6);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x, y, 22, height);
    cairo_stroke(cr);
    // Ticks at both ends of the range and at round values between them:
    // multiples of 1, 2 or 5 times a power of ten (linear) or powers of ten
    // (logarithmic), kept only where they do not crowd an end.
    std::vector<double> ticks{low};
    if (high > low) {
        std::vector<double> inner;
        if (logarithmic) {
            for (double v = std::pow(10.0, std::ceil(std::log10(std::max(low, 1e-9)))); v < high; v *= 10)
                if (v > low) inner.push_back(v);
        } else {
            const double step = niceBelow((high - low) / 3);
            for (const double v : steppedValues(std::ceil(low / step) * step, step, high, false))
                if (v > low) inner.push_back(v);
        }
        ticks.insert(ticks.end(), inner.begin(), inner.end());
        ticks.push_back(high);
    }
    const auto position = [&](double v) {
        if (!(high > low)) return 0.0;
        return logarithmic ? (std::log1p(v) - std::log1p(low)) / (std::log1p(high) - std::log1p(low))
                           : (v - low) / (high - low);
    };
    double lastY = std::numeric_limits<double>::max();
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        const double ty = y + height * (1 - position(ticks[k]));
        const bool end = k == 0 || k + 1 == ticks.size();
        // An inner tick too close to the top end's label is left out.
        if (!end && k + 2 == ticks.size() && ty - (y + height * (1 - position(high))) < 16) continue;
        if (!end && lastY - ty < 16) continue;
        cairo_move_to(cr, x + 22, ty);
        cairo_line_to(cr, x + 27, ty);
        cairo_stroke(cr);
        text(cr, x + 31, ty, numberText(ticks[k]), 12, false, 0, 0.5);
        lastY = ty;
    }
}

void valueGrid(cairo_t* cr, const ChartArea& area, double first, double step, double last) {
    for (const double v : steppedValues(first, step, last, true)) {
        const double ty = area.y + area.h - (v - area.yLow) / (area.yHigh - area.yLow) * area.h;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, area.x, ty);
        cairo_line_to(cr, area.x + area.w, ty);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, area.x - 6, ty, numberText(v), 11, false, 1.0, 0.5);
    }
}

void bottomTicks(cairo_t* cr, const ChartArea& area, double first, double step, double last, bool labels) {
    for (const double v : steppedValues(first, step, last, true)) {
        const double tx = area.x + (v - area.xLow) / (area.xHigh - area.xLow) * area.w;
        cairo_move_to(cr, tx, area.y + area.h);
        cairo_line_to(cr, tx, area.y + area.h + 4);
        cairo_stroke(cr);
        if (labels) text(cr, tx, area.y + area.h + 17, numberText(v), 11, false, 0.5);
    }
}

void releaseDrawingCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace map
