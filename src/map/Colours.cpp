#include "map/Colours.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace map {

Colour ramp(double x) {
    static const std::array<Colour, 8> stops{{{0.267, 0.005, 0.329},
                                              {0.275, 0.194, 0.497},
                                              {0.213, 0.359, 0.552},
                                              {0.153, 0.497, 0.558},
                                              {0.122, 0.633, 0.530},
                                              {0.288, 0.761, 0.428},
                                              {0.626, 0.854, 0.223},
                                              {0.993, 0.906, 0.144}}};
    x = std::clamp(std::isfinite(x) ? x : 0.0, 0.0, 1.0) * (stops.size() - 1);
    const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(x), stops.size() - 2);
    const double f = x - static_cast<double>(i);
    const Colour& a = stops[i];
    const Colour& b = stops[i + 1];
    return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b)};
}

Colour diversityRamp(double x) {
    x = std::clamp(std::isfinite(x) ? x : 0.0, 0.0, 1.0);
    if (x < 0.5) return {1.0, 1.0 - 0.45 * x * 2, 1.0 - 0.9 * x * 2};
    const double f = (x - 0.5) * 2;
    return {1.0 - 0.45 * f, 0.55 - 0.5 * f, 0.1 - 0.05 * f};
}

Colour sampleDiversityRamp(double x) {
    return diversityRamp(0.15 + 0.85 * std::clamp(std::isfinite(x) ? x : 0.0, 0.0, 1.0));
}

}  // namespace map
