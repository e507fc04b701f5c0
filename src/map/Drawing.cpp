#include "map/Drawing.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>

#include "common/Geometry.h"
#include "common/StagingFolder.h"
#include "map/Colours.h"

namespace {

constexpr double pi = 3.14159265358979323846;

void setColour(cairo_t* cr, const Colour& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

// A round number near value: 1, 2 or 5 times a power of ten, not above it.
double niceBelow(double value) {
    if (!(value > 0)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double f : {5.0, 2.0, 1.0})
        if (f * power <= value) return f * power;
    return power;
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

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool bold = false,
          double alignX = 0.0, double alignY = 0.0) {
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

// Text with a white halo, readable over the river.
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

// Draws with `paint` on a surface of the format and writes it to path, which
// is created here (O_EXCL|O_NOFOLLOW: never a file or link already there;
// the map program gives paths inside its private staging folder). Throws
// MapError naming the file on failure, having removed it.
void render(const std::string& path, ImageFormat format, int width, int height,
            const std::function<void(cairo_t*)>& paint) {
    StreamTarget target;
    target.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (target.fd < 0) throw MapError("'" + path + "' cannot be written: " + std::strerror(errno));
    cairo_surface_t* surface =
        format == ImageFormat::png
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

// A vertical colour bar with its ticks, title and a note under the title
// (what range the colours span). The colours run from low (bottom) to high
// (top); logarithmic bars follow log(1 + value).
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
            for (double v = std::ceil(low / step) * step; v < high; v += step)
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

// A closed reach: a dark line with white dashes along it.
void closedStroke(cairo_t* cr, double x0, double y0, double x1, double y1, double width) {
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    setColour(cr, closedReach);
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
    const double dashes[] = {3.0, 3.0};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, width * 0.4);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void sourceSymbol(cairo_t* cr, double x, double y, double r) {
    cairo_new_path(cr);
    cairo_move_to(cr, x, y - r * 1.15);
    cairo_line_to(cr, x + r, y + r * 0.75);
    cairo_line_to(cr, x - r, y + r * 0.75);
    cairo_close_path(cr);
    // Black on white: apart from every colour of the river and of the samples.
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.4);
    cairo_stroke(cr);
}

void sampleSymbol(cairo_t* cr, double x, double y, double r, const Colour& fill) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * pi);
    setColour(cr, fill);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_set_line_width(cr, 1.6);
    cairo_stroke(cr);
}

struct Box {
    double x0, y0, x1, y1;
    bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

// Labels beside their points: the first of eight places around the point
// that overlaps neither a label placed before nor another point's mark. A
// label that finds no such place is left out (the tables and the GeoPackage
// hold every name): overlapping names are read by no one. Returns how many
// were left out.
int placeLabels(cairo_t* cr, const std::vector<std::pair<std::string, std::pair<double, double>>>& labels,
                double size, double markRadius, double right, int height) {
    std::vector<Box> placed;
    for (const auto& label : labels) {
        const auto& [x, y] = label.second;
        placed.push_back({x - markRadius, y - markRadius, x + markRadius, y + markRadius});
    }
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, size);
    int leftOut = 0;
    for (const auto& [name, at] : labels) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, name.c_str(), &e);
        const double w = e.x_advance, h = size;
        const double gap = markRadius + 2;
        const std::array<std::pair<double, double>, 8> offsets{{{gap, h * 0.35},
                                                                {-gap - w, h * 0.35},
                                                                {-w / 2, -gap},
                                                                {-w / 2, gap + h * 0.8},
                                                                {gap, -gap * 0.6},
                                                                {-gap - w, -gap * 0.6},
                                                                {gap, gap + h * 0.6},
                                                                {-gap - w, gap + h * 0.6}}};
        bool found = false;
        for (const auto& [dx, dy] : offsets) {
            const double x = at.first + dx, y = at.second + dy;
            const Box box{x - 1, y - h * 0.8, x + w + 1, y + h * 0.25};
            const bool inside = box.x0 > 2 && box.x1 < right && box.y0 > MapFrame::titleHeight && box.y1 < height - 2;
            if (inside && std::none_of(placed.begin(), placed.end(), [&](const Box& b) { return b.overlaps(box); })) {
                placed.push_back(box);
                haloText(cr, x, y, name, size);
                found = true;
                break;
            }
        }
        if (!found) ++leftOut;
    }
    return leftOut;
}

void northArrow(cairo_t* cr, double x, double y) {
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + 11, y + 34);
    cairo_line_to(cr, x, y + 26);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_fill(cr);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x - 11, y + 34);
    cairo_line_to(cr, x, y + 26);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    text(cr, x, y - 6, "N", 15, true, 0.5, 0);
}

void scaleBar(cairo_t* cr, double x, double y, double metresPerPixel, double maxPixels) {
    const double metres = niceBelow(metresPerPixel * maxPixels);
    const double pixels = metres / metresPerPixel;
    const std::string label = metres >= 1000 ? numberText(metres / 1000) + " km" : numberText(metres) + " m";
    cairo_set_line_width(cr, 1);
    for (int k = 0; k < 4; ++k) {
        cairo_rectangle(cr, x + pixels * k / 4, y, pixels / 4, 6);
        if (k % 2 == 0)
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        else
            cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        cairo_stroke(cr);
    }
    text(cr, x, y + 20, "0", 12, false, 0.5);
    text(cr, x + pixels, y + 20, label, 12, false, 0.5);
}

}  // namespace

MapFrame::MapFrame(const std::vector<SegmentRow>& segments) {
    double minLon = std::numeric_limits<double>::max(), maxLon = -minLon, minLat = minLon, maxLat = -minLon;
    for (const auto& s : segments)
        for (const auto& [lon, lat] : {std::pair{s.fromLon, s.fromLat}, std::pair{s.toLon, s.toLat}}) {
            minLon = std::min(minLon, lon);
            maxLon = std::max(maxLon, lon);
            minLat = std::min(minLat, lat);
            maxLat = std::max(maxLat, lat);
        }
    if (segments.empty()) minLon = maxLon = minLat = maxLat = 0;
    lat0_ = (minLat + maxLat) / 2;
    lon0_ = (minLon + maxLon) / 2;
    cosLat_ = std::max(std::cos(lat0_ * pi / 180), 0.01);
    // The drawn extent in degrees of latitude; a single point gets 0.01.
    const double spanX = std::max((maxLon - minLon) * cosLat_, 1e-6);
    const double spanY = std::max(maxLat - minLat, 1e-6);
    const double span = std::max(spanX, spanY);
    const double sx = std::max(spanX, span * 0.25), sy = std::max(spanY, span * 0.25);
    constexpr double longest = 1100;  // pixels of the plot area's longer side
    scale_ = longest / std::max(sx, sy);
    const double plotW = sx * scale_, plotH = sy * scale_;
    width_ = static_cast<int>(std::ceil(plotW + 2 * margin + legendWidth));
    height_ = static_cast<int>(std::ceil(std::max(plotH + 2 * margin + titleHeight, 560.0)));
    plotRight_ = plotW + 2 * margin;
    offsetX_ = margin + plotW / 2;
    offsetY_ = titleHeight + margin + (height_ - titleHeight - 2 * margin) / 2;
    // A pixel spans 1/scale degrees of latitude (and as many metres east,
    // the longitudes being shrunk by cos of the central latitude).
    metresPerPixel_ = common::metresPerDegreeLat(lat0_) / scale_;
}

std::pair<double, double> MapFrame::toPixel(double lon, double lat) const {
    return {offsetX_ + (lon - lon0_) * cosLat_ * scale_, offsetY_ - (lat - lat0_) * scale_};
}

double riverLineWidth(const std::vector<SegmentRow>& segments, const MapFrame& frame) {
    double drawn = 0;
    for (const auto& s : segments) {
        const auto [x0, y0] = frame.toPixel(s.fromLon, s.fromLat);
        const auto [x1, y1] = frame.toPixel(s.toLon, s.toLat);
        drawn += std::hypot(x1 - x0, y1 - y0);
    }
    const double area = (frame.plotRight() - 2 * MapFrame::margin) * (frame.height() - MapFrame::titleHeight - 2 * MapFrame::margin);
    if (!(drawn > 0)) return 4;
    return std::clamp(0.22 * area / drawn, 0.35, 4.0);
}

void drawRiverMap(const RiverMap& map, const std::string& path, ImageFormat format) {
    const MapFrame frame(map.segments);
    const bool coalescence = map.colouring == MapColouring::coalescence;
    // The colours span the values shown, from the lowest to the highest: the
    // colonisation may take a small part of the generations simulated, and
    // coalescences pile up near the samples by orders of magnitude (the
    // colours follow log(1 + events per km) over the segments with any).
    long firstGeneration = std::numeric_limits<long>::max(), lastGeneration = 0;
    double lowest = std::numeric_limits<double>::max(), highest = 0;
    for (const auto& s : map.segments) {
        if (s.firstOccupied) {
            firstGeneration = std::min(firstGeneration, *s.firstOccupied);
            lastGeneration = std::max(lastGeneration, *s.firstOccupied);
        }
        if (s.coalescencesPerKm && *s.coalescencesPerKm > 0) {
            lowest = std::min(lowest, *s.coalescencesPerKm);
            highest = std::max(highest, *s.coalescencesPerKm);
        }
    }
    if (firstGeneration > lastGeneration) firstGeneration = lastGeneration = 0;
    if (!(highest > 0)) lowest = highest = 0;
    const auto share = [](double v, double low, double high) { return high > low ? (v - low) / (high - low) : 1.0; };
    const auto value = [&](const SegmentRow& s) -> double {
        if (coalescence)
            return s.coalescencesPerKm && *s.coalescencesPerKm > 0
                       ? share(std::log1p(*s.coalescencesPerKm), std::log1p(lowest), std::log1p(highest))
                       : -1;
        return s.firstOccupied ? share(static_cast<double>(*s.firstOccupied), static_cast<double>(firstGeneration),
                                       static_cast<double>(lastGeneration))
                               : -1;
    };
    std::vector<std::size_t> order(map.segments.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return value(map.segments[a]) < value(map.segments[b]);
    });
    // Gene diversity too spans the samples' values, not 0 to 1: samples
    // between 0.40 and 0.55 are told apart.
    bool anyDiversity = false;
    double lowestDiversity = std::numeric_limits<double>::max(), highestDiversity = 0;
    for (const auto& p : map.samples)
        if (p.diversity) {
            anyDiversity = true;
            lowestDiversity = std::min(lowestDiversity, *p.diversity);
            highestDiversity = std::max(highestDiversity, *p.diversity);
        }
    if (!anyDiversity) lowestDiversity = 0;
    const bool anyClosed =
        std::any_of(map.segments.begin(), map.segments.end(), [](const SegmentRow& s) { return s.closedAtEnd; });
    const double lineWidth = riverLineWidth(map.segments, frame);
    // Marks shrink when points crowd (down to 3.5 pixels), so that each
    // stays visible beside its neighbours: the radius follows the median
    // distance from a point to its nearest other point (points at the same
    // place do not count).
    std::vector<std::pair<double, double>> points;
    for (const auto& p : map.samples) points.push_back(frame.toPixel(p.lon, p.lat));
    for (const auto& p : map.sources) points.push_back(frame.toPixel(p.lon, p.lat));
    std::vector<double> nearest;
    for (std::size_t i = 0; i < points.size(); ++i) {
        double d = std::numeric_limits<double>::max();
        for (std::size_t j = 0; j < points.size(); ++j) {
            const double e = std::hypot(points[i].first - points[j].first, points[i].second - points[j].second);
            if (j != i && e > 0.5) d = std::min(d, e);
        }
        if (d < std::numeric_limits<double>::max()) nearest.push_back(d);
    }
    double markRadius = 6.5;
    if (!nearest.empty()) {
        std::nth_element(nearest.begin(), nearest.begin() + static_cast<std::ptrdiff_t>(nearest.size() / 2), nearest.end());
        markRadius = std::clamp(nearest[nearest.size() / 2] / 2.2, 3.5, 6.5);
    }

    render(path, format, frame.width(), frame.height(), [&](cairo_t* cr) {
        text(cr, MapFrame::margin, 28, map.title, 17, true);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_width(cr, lineWidth);
        // The few segments with coalescences must stand out of a dense river.
        const double markedWidth = coalescence ? std::max(lineWidth, 1.8) : lineWidth;
        for (const std::size_t i : order) {
            const SegmentRow& s = map.segments[i];
            const double v = value(s);
            setColour(cr, v < 0 ? unoccupied : ramp(coalescence ? v : 1.0 - v));
            cairo_set_line_width(cr, v < 0 ? lineWidth : markedWidth);
            const auto [x0, y0] = frame.toPixel(s.fromLon, s.fromLat);
            const auto [x1, y1] = frame.toPixel(s.toLon, s.toLat);
            cairo_move_to(cr, x0, y0);
            cairo_line_to(cr, x1, y1);
            cairo_stroke(cr);
        }
        // Segments closed by the dynamic maps at the end: a dark line crossed
        // by white dashes over their colour, like a barrier on a map.
        if (anyClosed) {
            const double width = std::max(lineWidth * 1.6, 2.6);
            for (const SegmentRow& s : map.segments) {
                if (!s.closedAtEnd) continue;
                const auto [x0, y0] = frame.toPixel(s.fromLon, s.fromLat);
                const auto [x1, y1] = frame.toPixel(s.toLon, s.toLat);
                closedStroke(cr, x0, y0, x1, y1, width);
            }
        }
        std::vector<std::pair<std::string, std::pair<double, double>>> labels;
        std::vector<std::pair<double, double>> samplesAt;
        for (const auto& p : map.samples) {
            const auto at = frame.toPixel(p.lon, p.lat);
            // A sample on a segment never reached has no genes: an empty mark.
            const Colour fill = !p.occupied    ? Colour{1, 1, 1}
                                : p.diversity ? sampleDiversityRamp(share(*p.diversity, lowestDiversity, highestDiversity))
                                              : Colour{0.85, 0.1, 0.15};
            sampleSymbol(cr, at.first, at.second, markRadius, fill);
            labels.push_back({p.name, at});
            samplesAt.push_back(at);
        }
        // A source on a sampled segment stands just above the sample's mark.
        for (const auto& p : map.sources) {
            auto at = frame.toPixel(p.lon, p.lat);
            for (const auto& [sx, sy] : samplesAt)
                if (std::hypot(sx - at.first, sy - at.second) < 2 * markRadius + 1) at.second = sy - 2.5 * markRadius;
            sourceSymbol(cr, at.first, at.second, markRadius * 1.2);
            labels.push_back({p.name, at});
        }
        const int unnamed = placeLabels(cr, labels, 13, markRadius, frame.plotRight(), frame.height());

        northArrow(cr, frame.plotRight() - 30, MapFrame::titleHeight + 26);
        scaleBar(cr, MapFrame::margin + 6, frame.height() - 34, frame.metresPerPixel(),
                 (frame.plotRight() - 2 * MapFrame::margin) / 4);

        // The legend.
        const double lx = frame.plotRight() + 10;
        double ly = MapFrame::titleHeight + 30;
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        const std::string spanNote = "colours span the values shown";
        if (coalescence) {
            colourBar(cr, lx, ly, 200, "coalescences per km", spanNote + " (log)", lowest, highest,
                      [](double x) { return ramp(x); }, true);
        } else {
            colourBar(cr, lx, ly, 200, "first occupied (generation)", spanNote,
                      static_cast<double>(firstGeneration), static_cast<double>(lastGeneration),
                      [](double x) { return ramp(1.0 - x); }, false);
        }
        ly += 255;
        cairo_set_line_width(cr, 5);
        setColour(cr, unoccupied);
        cairo_move_to(cr, lx, ly);
        cairo_line_to(cr, lx + 22, ly);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        text(cr, lx + 31, ly, coalescence ? "no coalescence" : "never occupied", 12, false, 0, 0.5);
        ly += 28;
        if (anyClosed) {
            closedStroke(cr, lx, ly, lx + 22, ly, 4);
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
            text(cr, lx + 31, ly, "closed at the end (dynamic map)", 12, false, 0, 0.5);
            ly += 28;
        }
        if (!map.sources.empty()) {
            sourceSymbol(cr, lx + 11, ly, 8);
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
            text(cr, lx + 31, ly, "source population", 12, false, 0, 0.5);
            ly += 28;
        }
        if (!map.samples.empty()) {
            sampleSymbol(cr, lx + 11, ly, 6.5, anyDiversity ? sampleDiversityRamp(0.6) : Colour{0.85, 0.1, 0.15});
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
            text(cr, lx + 31, ly, "sample", 12, false, 0, 0.5);
            ly += 28;
            if (std::any_of(map.samples.begin(), map.samples.end(), [](const NamedPoint& p) { return !p.occupied; })) {
                sampleSymbol(cr, lx + 11, ly, 6.5, {1, 1, 1});
                cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
                text(cr, lx + 31, ly, "sample never reached", 12, false, 0, 0.5);
                ly += 28;
            }
            ly += 12;
        }
        if (unnamed > 0) {
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
            text(cr, lx, ly, std::to_string(unnamed) + (unnamed == 1 ? " name" : " names") + " left out where", 12);
            text(cr, lx, ly + 15, "points crowd (all are in the", 12);
            text(cr, lx, ly + 30, "tables and the GeoPackage)", 12);
            ly += 58;
        }
        if (anyDiversity)
            colourBar(cr, lx, ly, 120, "gene diversity He (mean)", "colours span the samples' values",
                      lowestDiversity, highestDiversity, &sampleDiversityRamp, false);
    });
}

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
    const double yStep = niceBelow(yMax / 3);
    for (double v = 0; v <= yMax * 1.0001; v += yStep) {
        const double ty = y + h - v / yMax * h;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, x, ty);
        cairo_line_to(cr, x + w, ty);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, x - 6, ty, numberText(v), 11, false, 1.0, 0.5);
    }
    const double xStep = niceBelow(xMax / 5);
    for (double v = 0; v <= xMax * 1.0001; v += xStep) {
        const double tx = x + v / xMax * w;
        cairo_move_to(cr, tx, y + h);
        cairo_line_to(cr, tx, y + h + 4);
        cairo_stroke(cr);
        if (xLabels) text(cr, tx, y + h + 17, numberText(v), 11, false, 0.5);
    }
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

void drawColonisationCurve(const std::vector<CurveRow>& curve, const std::string& title, const std::string& path,
                           ImageFormat format) {
    std::vector<double> g, occupied, size, migrants;
    for (const auto& row : curve) {
        g.push_back(static_cast<double>(row.generation));
        occupied.push_back(static_cast<double>(row.occupied));
        size.push_back(static_cast<double>(row.size));
        migrants.push_back(static_cast<double>(row.migrants));
    }
    constexpr int width = 900, height = 800;
    render(path, format, width, height, [&](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        text(cr, 20, 28, title, 17, true);
        const double x = 90, w = width - 120, h = 180, top = 72, gap = 50;
        linePanel(cr, x, top, w, h, g, occupied, "occupied segments", {0.153, 0.497, 0.558}, false, "");
        linePanel(cr, x, top + h + gap, w, h, g, size, "individuals", {0.275, 0.194, 0.497}, false, "");
        linePanel(cr, x, top + 2 * (h + gap), w, h, g, migrants, "migrants per generation", {0.85, 0.35, 0.1}, true,
                  "generation");
    });
}

void drawAgeDistribution(const std::vector<double>& ages, const std::string& title, const std::string& path,
                         ImageFormat format) {
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
        counts[std::min<std::size_t>(static_cast<std::size_t>(std::max(0.0, (a - axisLow) / width)), counts.size() - 1)]++;
    int largest = 1;
    for (const int c : counts) largest = std::max(largest, c);
    const double most = largest * 1.1;  // room above the highest bar
    double mean = 0;
    for (const double a : ages) mean += a;
    if (!ages.empty()) mean /= static_cast<double>(ages.size());
    constexpr int W = 900, H = 520;
    render(path, format, W, H, [&](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        text(cr, 20, 28, title, 17, true);
        const double x = 80, y = 60, w = W - 110, h = H - 140;
        cairo_set_line_width(cr, 1);
        const double yStep = std::max(1.0, niceBelow(largest / 4.0));
        for (double v = 0; v <= most; v += yStep) {
            const double ty = y + h - v / most * h;
            cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
            cairo_move_to(cr, x, ty);
            cairo_line_to(cr, x + w, ty);
            cairo_stroke(cr);
            cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
            text(cr, x - 6, ty, numberText(v), 11, false, 1.0, 0.5);
        }
        for (int b = 0; b < bins; ++b) {
            const double bx = x + w * b / bins, bh = h * counts[static_cast<std::size_t>(b)] / most;
            cairo_rectangle(cr, bx + 1, y + h - bh, w / bins - 2, bh);
            cairo_set_source_rgb(cr, 0.213, 0.359, 0.552);
            cairo_fill(cr);
        }
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        cairo_rectangle(cr, x, y, w, h);
        cairo_stroke(cr);
        const double span = highest - axisLow;
        const double xStep = niceBelow(span / 5);
        for (double v = std::ceil(axisLow / xStep) * xStep; v <= highest + span * 1e-4; v += xStep) {
            const double tx = x + (v - axisLow) / span * w;
            cairo_move_to(cr, tx, y + h);
            cairo_line_to(cr, tx, y + h + 4);
            cairo_stroke(cr);
            text(cr, tx, y + h + 17, numberText(v), 11, false, 0.5);
        }
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

void releaseDrawingCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}
