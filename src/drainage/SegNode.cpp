// Node file reader and the great-circle distance of the drainage.
#include "drainage/SegNode.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "base/Exception.h"
#include "base/InputFile.h"

float geoDistance(float lonA, float latA, float lonB, float latB) {
    // Every step in single precision: the drainage's lengths and the
    // nearest-segment ratios are compared bit for bit with earlier results.
    constexpr float toRadians = 0.017453292f;
    const float lonARad = lonA * toRadians;
    const float latARad = latA * toRadians;
    const float lonBRad = lonB * toRadians;
    const float latBRad = latB * toRadians;
    const float dLon = lonBRad - lonARad;
    const float dLat = latBRad - latARad;
    const float s1 = sinf(dLat * 0.5f);
    const float s2 = sinf(dLon * 0.5f);
    const float h = s1 * s1 + (cosf(latARad) * cosf(latBRad)) * (s2 * s2);
    const float angle = asinf(sqrtf(h));
    return ((angle * 1000.0f) * 6371.0f) * 2.0f;
}

TSegNode* TSegNodeVector::find(std::int32_t id) const {
    const auto it = nodes.find(id);
    return it == nodes.end() ? nullptr : it->second.get();
}

TSegNode* TSegNodeVector::store(std::unique_ptr<TSegNode> node) {
    TSegNode* stored = node.get();
    nodes[node->id] = std::move(node);
    return stored;
}

