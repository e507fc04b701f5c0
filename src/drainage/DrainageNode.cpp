// Node file reader.
#include "drainage/DrainageNode.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "base/Exception.h"
#include "base/InputFile.h"

namespace fluviagen {

DrainageNode* NodeTable::find(std::int32_t id) const {
    const auto it = nodes.find(id);
    return it == nodes.end() ? nullptr : it->second.get();
}

DrainageNode* NodeTable::store(std::unique_ptr<DrainageNode> node) {
    DrainageNode* stored = node.get();
    nodes[node->id] = std::move(node);
    return stored;
}

}  // namespace fluviagen
