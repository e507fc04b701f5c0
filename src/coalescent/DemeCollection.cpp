// The collection of demes of one demographic simulation: creation of the
// sample demes and their lineages from the world, the per-genealogy reset and
// the bookkeeping tables that the outputs read.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <new>
#include <stdexcept>

#include "coalescent/Deme.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "settings/Settings.h"

namespace fluviagen {

namespace {

const char* const notEnoughMemory = "\nERROR: TDemeCollection::createDemes(): not enough memory";

}  // namespace

DemeCollection::DemeCollection() = default;

// The destructor never touches the segments: a world tears its drainage down
// before its demes.
DemeCollection::~DemeCollection() = default;

std::int32_t DemeCollection::tableIndex(const Segment& segment) const {
    const std::int32_t index = segment.index;
    if (index < 0 || index >= static_cast<std::int32_t>(demeTable.size()))
        throw SimulationError(Text("Segment ") + segment.id + " has no place in the deme table (index " + index + ")!",
                              levelError);
    return index;
}

Deme* DemeCollection::demeAt(const Segment& segment) const {
    const std::int32_t index = segment.index;
    if (index < 0 || index >= static_cast<std::int32_t>(demeTable.size())) return nullptr;
    return demeTable[static_cast<std::size_t>(index)].get();
}

Deme& DemeCollection::demeOf(Segment& segment, std::int32_t g) {
    const std::int32_t index = tableIndex(segment);
    if (Deme* existing = demeTable[static_cast<std::size_t>(index)].get()) return *existing;
    auto deme = std::make_unique<Deme>(*this, segment, nSampleLineages, *database_);
    deme->setSize(deme->storedSize(g));
    Deme& created = *deme;
    demeList_.push_back(&created);
    demeTable[static_cast<std::size_t>(index)] = std::move(deme);
    return created;
}

void DemeCollection::releaseDemes() {
    active.clear();
    newDemes.clear();
    sampleDemes.clear();
    demeList_.clear();
    for (auto& deme : demeTable) deme.reset();
}

void DemeCollection::clear() {
    releaseDemes();
    demeTable.clear();
    active.shrink_to_fit();
    newDemes.shrink_to_fit();
    coalPerSegment.clear();
    coalPerSegmentSummed.clear();
    coalTouched_.clear();
    mrcaSegment.clear();
    haplotypeMatrix.clear();
    overflowSegments_.clear();
    tree.resize(0);
    nSegments = 0;
    nSampleLineages = 0;
}

bool DemeCollection::createDemes(Drainage& drainage, const StateDB& database, const PopulationVector& samples,
                                 const PopulationVector& sources, const Settings& settings) {
    if (drainage.size() == 0) return true;
    drainage_ = &drainage;
    database_ = &database;
    sources_ = &sources;
    settings_ = &settings;

    // Demes of an earlier demographic simulation are never reused: their
    // sizes and lineages belong to another history.
    releaseDemes();
    try {
        const std::int32_t count = drainage.size();
        if (count != nSegments || static_cast<std::int32_t>(demeTable.size()) != count) {
            demeTable = std::vector<std::unique_ptr<Deme>>(static_cast<std::size_t>(count));
            active.reserve(static_cast<std::size_t>(count));
            newDemes.reserve(static_cast<std::size_t>(count));
            nSegments = count;
        }
        coalPerSegment.assign(static_cast<std::size_t>(count), 0);
        coalPerSegmentSummed.assign(static_cast<std::size_t>(count), 0);
        coalTouched_.clear();
        // Segments filled at generation 0 by a source on another segment
        // (initial-density overflow): the overflow merge of every genealogy
        // needs them, in the drainage's order.
        overflowSegments_.clear();
        for (auto& entry : drainage.segments) {
            Segment* segment = entry.second.get();
            const PopulationSource* origin = segment->sourcePopulation;
            if (origin != nullptr && origin->segment != nullptr && origin->segment != segment)
                overflowSegments_.emplace_back(segment, origin->segment);
        }
    } catch (const std::bad_alloc&) {
        clear();
        std::cout << notEnoughMemory << std::endl;
        return false;
    }

    const std::int32_t lastGeneration = settings.numGenerations;
    bool warned = false;
    const std::int32_t records = std::min(samples.count, static_cast<std::int32_t>(samples.populations.size()));
    for (std::int32_t r = 0; r < records; ++r) {
        const PopulationSource& sample = *samples.populations[static_cast<std::size_t>(r)];
        if (sample.segment != nullptr && sample.segment->accessible) {
            Segment& segment = *sample.segment;
            if (segment.index < 0 || segment.index >= static_cast<std::int32_t>(database.histories.size()))
                throw SimulationError(
                    Text("Segment ") + segment.id + " of sample '" + sample.name + "' has no demographic history!",
                    levelError);
            // Only a segment the population reached by the end of the forward
            // simulation has ancestors to trace.
            if (static_cast<std::uint16_t>(database.history(segment.index).sizeAt(lastGeneration)) != 0) {
                if (sample.size < 0)
                    throw SimulationError(Text("Sample '") + sample.name + "' has a negative number of gene copies (" +
                                              static_cast<int>(sample.size) + ")!",
                                          levelError);
                const std::int32_t index = tableIndex(segment);
                if (Deme* earlier = demeTable[static_cast<std::size_t>(index)].get()) {
                    // Two samples placed on one segment (possible when the
                    // coordinate search moves a sample): the later one takes
                    // the segment, the earlier deme leaves the list with it.
                    std::cout << "\n\t\tWARNING: population '" << sample.name << "' replaces population '"
                              << earlier->name << "' on segment " << segment.id << "!";
                    active.erase(std::find(active.begin(), active.end(), earlier));
                    demeList_.erase(std::find(demeList_.begin(), demeList_.end(), earlier));
                    demeTable[static_cast<std::size_t>(index)].reset();
                }
                auto deme = std::make_unique<Deme>(*this, segment, 0, database);
                deme->name = sample.name;
                deme->sampleSize = sample.size;
                deme->nLineages = sample.size;
                deme->slot = 0;
                deme->size = 1;
                deme->id = static_cast<std::int32_t>(active.size());
                active.push_back(deme.get());
                demeList_.push_back(deme.get());
                demeTable[static_cast<std::size_t>(index)] = std::move(deme);
            } else {
                std::cout << "\n\t\tWARNING: population '" << sample.name << "' has not been colonised!";
                warned = true;
            }
        } else {
            if (!warned) {
                std::cout << "\n\t\t"
                          << "One or more samples can not be used, as they are not colonized. ." << std::endl;
                warned = true;
            }
            std::cout << "\n\t\tWARNING: {the population '" << sample.name << "' is not accesible!" << std::endl;
        }
    }
    // A replaced sample leaves a gap: the id of a sample deme is its position.
    for (std::size_t i = 0; i < active.size(); ++i) active[i]->id = static_cast<std::int32_t>(i);

    try {
        const std::int64_t genealogies = static_cast<std::int64_t>(std::max(settings.numGeneticSimulations, 0)) *
                                         std::max(settings.numIndependentLoci, 0);
        mrcaSegment.assign(static_cast<std::size_t>(genealogies), nullptr);
    } catch (const std::exception&) {  // bad_alloc, or a length the vector cannot have
        clear();
        std::cout << notEnoughMemory << std::endl;
        return false;
    }
    if (!createLineages()) return false;
    if (settings.numIndependentLoci > 1 && !createHaplotypeMatrix()) return false;
    sampleDemes = active;
    return true;
}

bool DemeCollection::createLineages() {
    const std::int32_t n = countLineages();
    nSampleLineages = n;
    if (n == 0) {
        std::cout << "TDemeCollection::createlineages() : Tree is empty "
                  << "\n";
        return false;
    }
    if (tree.resize(n) == 0) return false;
    if (tree.clearLocations() == 0) return false;
    try {
        std::int32_t leaf = 0;
        for (Deme* deme : active) {
            if (deme == nullptr) continue;
            deme->lineages.assign(static_cast<std::size_t>(n), nullptr);
            deme->incoming.assign(static_cast<std::size_t>(n), nullptr);
            deme->samples.assign(static_cast<std::size_t>(deme->sampleSize), nullptr);
            const std::int32_t segmentIndex = tableIndex(*deme->segment);
            for (std::int32_t j = 0; j < deme->sampleSize; ++j) {
                TreeNode& node = tree.node(leaf);
                node.demeId = deme->id;
                node.deme = deme->slot;
                node.segmentIndex = segmentIndex;
                node.sampleSlot = deme->slot;
                deme->lineages[static_cast<std::size_t>(j)] = &node;
                deme->samples[static_cast<std::size_t>(j)] = &node;
                ++leaf;
            }
        }
    } catch (const std::bad_alloc&) {
        std::cout << "TListNode::allocate_list : unable to allocate memory" << std::endl;
        return false;
    }
    return true;
}

void DemeCollection::resetDemes() {
    active = sampleDemes;
    newDemes.clear();
    // Only the demes that exist are visited, never the whole segment table.
    for (Deme* deme : demeList_) {
        deme->nLineages = deme->sampleSize;
        std::copy(deme->samples.begin(), deme->samples.end(), deme->lineages.begin());
        std::fill(deme->lineages.begin() + static_cast<std::ptrdiff_t>(deme->samples.size()), deme->lineages.end(),
                  nullptr);
        deme->nIncoming = 0;
        deme->invSize = deme->size != 0 ? 1.0f / static_cast<float>(deme->size) : 0.0f;
    }
    for (std::int32_t index : coalTouched_) coalPerSegment[static_cast<std::size_t>(index)] = 0;
    coalTouched_.clear();
}

bool DemeCollection::createHaplotypeMatrix() {
    const std::int64_t columns =
        static_cast<std::int64_t>(std::max(settings_->numIndependentLoci, 0)) * std::max(settings_->numLinkedLoci, 0);
    try {
        haplotypeMatrix.assign(static_cast<std::size_t>(nSampleLineages) + 1,
                               std::vector<std::int32_t>(static_cast<std::size_t>(columns), 0));
    } catch (const std::exception&) {  // bad_alloc, or a length the vector cannot have
        haplotypeMatrix.clear();
        std::cout << "ERROR: {TDemeCollection::createHaplotypeMatrix()} [Memory allocation problem. Exiting program]"
                  << std::endl;
        return false;
    }
    return true;
}

void DemeCollection::clearHaplotypeMatrix() {
    for (auto& row : haplotypeMatrix) std::fill(row.begin(), row.end(), 0);
}

std::int32_t DemeCollection::countLineages() const {
    std::int32_t total = 0;
    for (const Deme* deme : active) {
        if (deme == nullptr) {
            std::cout << "stop" << std::flush;
            continue;
        }
        total += deme->nLineages;
    }
    return total;
}

void DemeCollection::countCoalescence(const Segment& segment) {
    const std::size_t index = static_cast<std::size_t>(tableIndex(segment));
    if (coalPerSegment[index] == 0) coalTouched_.push_back(static_cast<std::int32_t>(index));
    ++coalPerSegment[index];
    ++coalPerSegmentSummed[index];
}

void DemeCollection::compactDemes() {
    std::size_t i = 0;
    while (i < active.size()) {
        Deme* deme = active[i];
        deme->mergeIncoming();
        if (deme->nLineages == 0) {
            active[i] = active.back();
            active.pop_back();  // the entry moved here is examined next
        } else {
            ++i;
        }
    }
}

void DemeCollection::activateNewDemes() {
    for (Deme* deme : newDemes) {
        if (deme->nIncoming > 0) {
            deme->mergeIncoming();
            active.push_back(deme);
        }
    }
    newDemes.clear();
}

}  // namespace fluviagen
