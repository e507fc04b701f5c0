// Whether the colonisation can ever bring genes to a sample. A sample's genes
// are traced only when its segment holds a population at the last forward
// generation and is open then; otherwise the sample is dropped ("has not been
// colonised"). When that holds for every sample in every possible history,
// each entire simulation fails in the same way, and repeating it is futile.
//
// The answer errs on the side of "reachable": a segment counts as open when
// any map leaves it open at some generation, a source counts however early its
// segment is closed, and the distance rule (a population spreads at most one
// segment per generation) is left out when the sources may fill segments
// beyond their own before the first generation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fluviagen {

class Drainage;
class DynamicMaps;
class PopulationVector;

struct UnreachableSample {
    std::string name;
    std::int32_t segmentId = 0;
    std::string why;  // "its segment is closed by the dynamic maps at the end of the run", ...
};

struct ReachQuestion {
    const Drainage& inUse;    // the drainage the populations stand on
    const Drainage* asRead;   // the drainage as read, when inUse was cut from it
    const DynamicMaps* maps;  // the dynamic environment in use, or none
    const PopulationVector& sources;
    const PopulationVector& samples;
    std::int32_t generations;  // forward generations (Setting::generations)
    bool initialSpread;        // sources may fill other segments at generation 0
    // Some individuals leave their segment (Setting::migrationUncolonised,
    // Setting::migrationColonised).
    bool migrates = true;
};

// Every sample with gene copies, each with the reason it can never be reached,
// when none of them can; empty when at least one can (or none has genes).
// The accessible flags of the segments are taken as the state each entire
// simulation starts from (the maps' last state, once one simulation has run).
std::vector<UnreachableSample> samplesNeverReached(const ReachQuestion& question);

// "No sample can ever receive genes ..." naming each sample and its reason.
std::string neverReachedText(const std::vector<UnreachableSample>& samples, const std::string& sampleFile);

// A sample set whose every sample holds 0 gene copies gives no genealogy in
// any history: "Every sample of ... holds 0 gene copies ..." naming the
// file; empty when some sample holds genes (or there is no sample).
std::string noGenesText(const PopulationVector& samples, const std::string& sampleFile);

}  // namespace fluviagen
