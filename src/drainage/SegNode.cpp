// Node file reader and the great-circle distance of the drainage.
#include "drainage/SegNode.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "drainage/RecordProblem.h"
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

bool TSegNodeVector::readNodeFile(const my_string& path) {
    std::cout << "\tRead node file '" << path << "' ... ";
    const myTimer timer;
    try {
        std::ifstream in = openInputFile(path);
        my_string line;
        for (int i = 0; i < 4; ++i) readLine(line, in);
        try {
            const char* field = nullptr;  // the value that could not be read
            while (in.good()) {
                auto node = std::make_unique<TSegNode>();
                // A record cut short by the end of the file keeps -1
                // coordinates; a node written with id -1 or a coordinate of
                // exactly -1 is treated as missing.
                if (!(in >> node->id)) field = "node id";
                else if (!(in >> node->lon)) field = "longitude";
                else if (!(in >> node->lat)) field = "latitude";
                if (in.fail() && !in.eof()) break;  // a word that is not a number: reported below
                if (node->id == -1 || node->lon == -1 || node->lat == -1) continue;
                store(std::move(node));
            }
            // The stream stops at the first word that is not a number (or a
            // number beyond its field's range). Reading no further would
            // silently lose the rest of the drainage.
            if (in.fail() && !in.eof()) {
                const RecordProblem problem = locateFailedValue(in, path);
                std::cout << "\n-> Error: node file '" << path << "', line " << problem.line << ": the " << field
                          << " '" << problem.word << "' is not a number or is out of range (after " << size() << " nodes)!"
                          << std::endl;
                throw TException(my_string("Reading node file in line '") + size() + "'!", levelFatal);
            }
        } catch (const TException&) {
            throw;
        } catch (...) {
            throw TException(my_string("Reading node file in line '") + size() + "'!", levelFatal);
        }
    } catch (const TException&) {
        throw;
    } catch (...) {
        throw TException(my_string("Reading node file '") + path + "'!", levelFatal);
    }
    std::cout << "done. (Nodes: " << size() << "; Duration: " << timer << ")" << std::endl;
    // Without nodes no segment can be placed; say where the trouble starts.
    if (size() == 0) std::cout << "\tWARNING: node file '" << path << "' holds no node record!" << std::endl;
    return true;
}
