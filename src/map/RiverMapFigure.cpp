#include "map/RiverMapFigure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "map/Colours.h"

namespace map {

namespace {

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
    cairo_arc(cr, x, y, r, 0, 2 * std::numbers::pi);
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
int placeLabels(cairo_t* cr, const std::vector<std::pair<std::string, std::pair<double, double>>>& labels, double size,
                double markRadius, double right, int height) {
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

double riverLineWidth(const std::vector<SegmentRow>& segments, const MapFrame& frame) {
    double drawn = 0;
    for (const auto& s : segments) {
        const auto [x0, y0] = frame.toPixel(s.fromLon, s.fromLat);
        const auto [x1, y1] = frame.toPixel(s.toLon, s.toLat);
        drawn += std::hypot(x1 - x0, y1 - y0);
    }
    const double area =
        (frame.plotRight() - 2 * MapFrame::margin) * (frame.height() - MapFrame::titleHeight - 2 * MapFrame::margin);
    if (!(drawn > 0)) return 4;
    return std::clamp(0.22 * area / drawn, 0.35, 4.0);
}

void drawRiverMap(const RiverMap& map, common::StagingFolder& staging, const std::string& name, ImageFormat format) {
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
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return value(map.segments[a]) < value(map.segments[b]); });
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
        std::nth_element(nearest.begin(), nearest.begin() + static_cast<std::ptrdiff_t>(nearest.size() / 2),
                         nearest.end());
        markRadius = std::clamp(nearest[nearest.size() / 2] / 2.2, 3.5, 6.5);
    }

    render(staging, name, format, frame.width(), frame.height(), [&](cairo_t* cr) {
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
            const Colour fill = !p.occupied ? Colour{1, 1, 1}
                                : p.diversity
                                    ? sampleDiversityRamp(share(*p.diversity, lowestDiversity, highestDiversity))
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
            colourBar(
                cr, lx, ly, 200, "coalescences per km", spanNote + " (log)", lowest, highest,
                [](double x) { return ramp(x); }, true);
        } else {
            colourBar(
                cr, lx, ly, 200, "first occupied (generation)", spanNote, static_cast<double>(firstGeneration),
                static_cast<double>(lastGeneration), [](double x) { return ramp(1.0 - x); }, false);
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
            colourBar(cr, lx, ly, 120, "gene diversity He (mean)", "colours span the samples' values", lowestDiversity,
                      highestDiversity, &sampleDiversityRamp, false);
    });
}

}  // namespace map
