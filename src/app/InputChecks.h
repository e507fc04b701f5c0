// The checks a program call makes on its inputs before it spends time on
// them: inputs that no entire simulation could turn into a result (samples
// no individual can ever reach, samples without genes, a genetic phase larger
// than the memory, no backward generations) are refused with a message that
// names the file and what is wrong, instead of failing entire simulation
// after entire simulation. Each throws a fatal SimulationError.
#pragma once

#include "base/Utilities.h"

namespace fluviagen {

class PopulationVector;
class Drainage;
class Settings;

// Refuses samples that none of the histories the settings allow can give
// genes to (every sample dropped in every one of them). `drainage` is the
// drainage in use, `asRead` the drainage as read when `drainage` was
// resampled from it (else null).
void checkSamplesReachable(const Drainage& drainage, const Drainage* asRead, const PopulationVector& sources,
                           const PopulationVector& samples, const Settings& settings);

// Refuses a sample file in which every sample holds 0 genes: no history gives
// such samples a genealogy.
void checkSamplesHoldGenes(const PopulationVector& samples, const Settings& settings);

// Bytes the largest structures of the genetic phase take for a sample set
// (the genealogy, the lineage arrays, the multilocus haplotypes, the MRCA
// tables): an estimate from above.
double geneticPhaseBytes(const PopulationVector& set, const Settings& settings);

// Refuses the sample set read from `path` when its genealogy cannot be
// numbered or geneticPhaseBytes exceeds the memory the system can give.
void checkGeneticMemory(const PopulationVector& set, const Settings& settings, const Text& path);

// Refuses a maximum of 0 backward generations for a sample set of more than
// one gene copy; warns on standard error when the maximum is far below the
// expected time to the common ancestor.
void checkBackwardGenerations(const PopulationVector& set, const Settings& settings, const Text& path);

}  // namespace fluviagen
