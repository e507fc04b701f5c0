// Node file reader.
#include "drainage/SegNode.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "base/Exception.h"
#include "base/InputFile.h"

TSegNode* TSegNodeVector::find(std::int32_t id) const {
    const auto it = nodes.find(id);
    return it == nodes.end() ? nullptr : it->second.get();
}

TSegNode* TSegNodeVector::store(std::unique_ptr<TSegNode> node) {
    TSegNode* stored = node.get();
    nodes[node->id] = std::move(node);
    return stored;
}

