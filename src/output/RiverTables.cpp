#include "output/RiverTables.h"

#include <charconv>
#include <ostream>
#include <sstream>

#include "base/Exception.h"
#include "common/ExchangeTables.h"
#include "demography/Colonisation.h"
#include "drainage/Population.h"
#include "drainage/DrainageNode.h"
#include "drainage/Drainage.h"
#include "output/OutputFiles.h"

namespace fluviagen {

const std::string segmentsHeader = common::segmentsTable.headerLine();
const std::string colonisationHeader = common::colonisationTable.headerLine();

namespace {

// The shortest text that reads back as the same float.
void put(std::ostream& os, float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    os.write(text, end - text);
}

// Per segment index the names of the populations placed on it, joined by ';'.
std::vector<std::string> namesBySegment(const PopulationVector* set, std::size_t count) {
    std::vector<std::string> names(count);
    if (set == nullptr) return names;
    for (const auto& p : set->populations) {
        if (!p || p->segment == nullptr || p->segment->index < 0 ||
            static_cast<std::size_t>(p->segment->index) >= count)
            continue;
        std::string& entry = names[static_cast<std::size_t>(p->segment->index)];
        if (!entry.empty()) entry += ';';
        entry += p->name.str();
    }
    return names;
}

void putGeneration(std::ostream& os, std::int32_t generation) {
    if (generation != ColonisationRecord::never) os << generation;
}

}  // namespace

void writeSegmentsTable(std::ostream& os, const RiverTablesInput& input) {
    const Drainage& drainage = *input.drainage;
    const ColonisationRecord& record = *input.record;
    const std::size_t count = drainage.segments.size();
    const auto sources = namesBySegment(input.sources, count);
    const auto samples = namesBySegment(input.samples, count);
    // The fields in the order of common::segmentsColumns.
    os << segmentsHeader;
    for (const auto& [id, segment] : drainage.segments) {
        const std::size_t i = static_cast<std::size_t>(segment->index);
        const bool known = i < record.firstOccupied.size();
        const std::int32_t events =
            input.coalescences != nullptr && i < input.coalescences->size() ? (*input.coalescences)[i] : 0;
        os << id << ',';
        if (segment->fromNode) os << segment->fromNode->id;
        os << ',';
        if (segment->toNode) os << segment->toNode->id;
        os << ',';
        put(os, segment->length);
        os << ',';
        put(os, segment->lon);
        os << ',';
        put(os, segment->lat);
        for (const DrainageNode* node : {segment->fromNode, segment->toNode}) {
            os << ',';
            if (node) put(os, node->lon);
            os << ',';
            if (node) put(os, node->lat);
        }
        os << ',';
        putGeneration(os, known ? record.firstOccupied[i] : ColonisationRecord::never);
        os << ',';
        putGeneration(os, known ? record.firstAtCapacity[i] : ColonisationRecord::never);
        os << ',' << (i < record.finalSize.size() ? record.finalSize[i] : 0) << ',' << events << ',';
        if (segment->length > 0) put(os, static_cast<float>(events / (static_cast<double>(segment->length) / 1000.0)));
        os << ',' << common::csvField(sources[i]) << ',' << common::csvField(samples[i]) << ',';
        putGeneration(os, i < record.firstClosed.size() ? record.firstClosed[i] : ColonisationRecord::never);
        os << ',' << (i < record.closedAtEnd.size() && record.closedAtEnd[i] != 0 ? 1 : 0) << '\n';
    }
}

void writeColonisationTable(std::ostream& os, const ColonisationRecord& record) {
    os << colonisationHeader;
    for (const ColonisationRow& row : record.curve)
        os << row.generation << ',' << row.occupied << ',' << row.size << ',' << row.migrants << '\n';
}

std::string riverTablesBase(const std::string& outputName, int entireIndex, int entireCount) {
    if (entireCount <= 1) return outputName;
    return outputName + "_" + zeroPad(entireIndex + 1, entireCount).str();
}

void RiverTablesWriter::finish(const GeneticPhaseView& phase) {
    const RiverTablesInput input = input_();
    if (input.drainage == nullptr || input.record == nullptr) return;
    const std::string base = riverTablesBase(phase.outputName.str(), phase.entireIndex, phase.entireCount);
    const auto write = [&](const std::string& suffix, auto&& contents) {
        OutputFile file;
        file.open(outputFileName(phase.folder, Text(base + suffix)), false, *phase.registry);
        contents(file.stream());
        file.close();
    };
    write(std::string(common::segmentsTable.suffix), [&](std::ostream& os) { writeSegmentsTable(os, input); });
    write(std::string(common::colonisationTable.suffix),
          [&](std::ostream& os) { writeColonisationTable(os, *input.record); });
    write(std::string(common::mapInfoTable.suffix), [&](std::ostream& os) {
        using Key = common::MapInfoKey;
        const float rate = phase.linkedLoci != 0 ? phase.mutationRate / static_cast<float>(phase.linkedLoci) : 0.0f;
        const auto key = [&](std::size_t which) -> std::ostream& {
            return os << common::mapInfoKeys[which].name << common::mapInfoTable.separator;
        };
        os << common::mapInfoTable.headerLine();
        key(Key::set) << common::csvField(phase.outputName.str()) << "\n";
        key(Key::entireSimulation) << phase.entireIndex + 1 << "\n";
        key(Key::entireSimulations) << phase.entireCount << "\n";
        key(Key::generations) << phase.generations << "\n";
        key(Key::capacity) << input.capacity << "\n";
        key(Key::coalescenceImage) << (input.coalescenceImage ? 1 : 0) << "\n";
        key(Key::geneticSimulations) << phase.simulationCount << "\n";
        key(Key::ratePerSite);
        put(os, rate);
        os << "\n";
        key(Key::trees) << (input.treesWritten ? common::csvField(phase.outputName.str() + "_true.trees") : "") << "\n";
    });
}

}  // namespace fluviagen
