#include "app/InputChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>

#include "base/Exception.h"
#include "common/SettingLines.h"
#include "drainage/Population.h"
#include "drainage/Reachability.h"
#include "drainage/Drainage.h"
#include "settings/Settings.h"

namespace fluviagen {

namespace {

// What the genetic phase's memory grows with: the sampled gene copies n, the
// samples D, the linked loci L, the independent loci K and the genetic
// simulations G (negative settings count as none).
struct GeneticPhaseSize {
    double n, D, L, K, G;
};

GeneticPhaseSize geneticPhaseSize(const PopulationVector& set, const Settings& settings) {
    double n = 0;
    for (const auto& p : set.populations) n += std::max<int>(p->size, 0);
    return {n, static_cast<double>(set.populations.size()), static_cast<double>(std::max(settings.numLinkedLoci, 0)),
            static_cast<double>(std::max(settings.numIndependentLoci, 0)),
            static_cast<double>(std::max(settings.numGeneticSimulations, 0))};
}

}  // namespace

// Every sample is dropped in every history the settings allow: repeating the
// entire simulation could never succeed.
void checkSamplesReachable(const Drainage& drainage, const Drainage* asRead, const PopulationVector& sources,
                           const PopulationVector& samples, const Settings& settings) {
    const DynamicMaps* maps = nullptr;
    if (settings.dynamicEnvironment) maps = (asRead != nullptr ? *asRead : drainage).dynamicEnvironment.get();
    const auto unreachable =
        samplesNeverReached({drainage, asRead, maps, sources, samples, settings.numGenerations,
                             settings.allowInitialDensityOverflow, settings.migrCol != 0 || settings.migrOcc != 0});
    if (!unreachable.empty())
        throw SimulationError(
            shortened(neverReachedText(unreachable, (settings.dataFolder + settings.sampleFile).str())), levelFatal);
}

// Samples without a single gene give no genealogy in any history.
void checkSamplesHoldGenes(const PopulationVector& samples, const Settings& settings) {
    const std::string sampleFile = (settings.dataFolder + settings.sampleFile).str();
    if (const std::string none = noGenesText(samples, sampleFile); !none.empty())
        throw SimulationError(shortened(none), levelFatal);
}

// The largest structures of the genetic phase grow with the sampled gene
// copies n, the samples D and the settings: the genealogy (2n - 1 nodes, each
// with its location records and one state per linked locus), the lineage
// arrays of every sample deme (n entries each), the haplotype matrix of the
// multilocus output and the per-genealogy MRCA tables. A sample file and
// settings whose product cannot be had are refused before the first
// genealogy, with what they need.
void checkGeneticMemory(const PopulationVector& set, const Settings& settings, const Text& path) {
    const auto [n, D, L, K, G] = geneticPhaseSize(set, settings);
    std::ostringstream text;
    text << std::fixed << std::setprecision(0) << "Sample file '" << path << "': ";
    // Nodes of a genealogy are numbered with ints.
    if (2 * n - 1 > std::numeric_limits<std::int32_t>::max()) {
        text << n << " gene copies are more than a genealogy can hold (at most 1073741823)!";
        throw SimulationError(Text(text.str()), levelFatal);
    }
    const double bytes = geneticPhaseBytes(set, settings);
    const double available = static_cast<double>(availableMemoryBytes());
    if (available == 0 || bytes <= available) return;
    text << "the genetic simulation of " << n << " gene copies in " << D << " samples with " << L
         << " linked loci (settings line " << lineOf(Setting::linkedLoci) << "), " << K << " independent loci (line "
         << lineOf(Setting::independentLoci) << ") and " << G << " genetic simulations (line "
         << lineOf(Setting::geneticSimulations) << ") needs about " << bytes << " bytes (" << bytes / (1024 * 1024)
         << " MiB), but only " << available << " bytes of memory are available!";
    throw SimulationError(Text(text.str()), levelFatal);
}

double geneticPhaseBytes(const PopulationVector& set, const Settings& settings) {
    const auto [n, D, L, K, G] = geneticPhaseSize(set, settings);
    constexpr double bytesPerNode = 1024;  // the node and its two location lists
    return (2 * n - 1) * (bytesPerNode + 4 * L) + D * n * 2 * sizeof(void*) + (K > 1 ? (n + 1) * K * L * 4 : 0) +
           G * K * (sizeof(void*) + 4 * D);
}

// The genealogy of n sampled genes needs backward generations to coalesce:
// none at all can join more than one gene, and far fewer than the expected
// time to the common ancestor in one segment at the carrying capacity,
// 2K(1 - 1/n), leave nearly every genealogy unfinished (the river's
// structure only lengthens that time).
void checkBackwardGenerations(const PopulationVector& set, const Settings& settings, const Text& path) {
    double n = 0;
    for (const auto& p : set.populations) n += std::max<int>(p->size, 0);
    if (n <= 1) return;
    // The line as it stands in the file: blank lines move it down.
    int line = lineOf(Setting::maxBackward);
    for (const SettingValue& v : settings.values)
        if (v.line == lineOf(Setting::maxBackward) && v.option.empty()) line = v.fileLine;
    if (settings.maxGenerations == 0)
        throw SimulationError(Text("File '") + settings.settingsPath + "', line " + line +
                                  ": with a maximum of 0 backward "
                                  "generations the " +
                                  static_cast<int>(n) + " gene copies of '" + path + "' can never coalesce!",
                              levelFatal);
    const double expected = 2.0 * std::max<int>(settings.carryingCapacity, 1) * (1.0 - 1.0 / n);
    if (settings.maxGenerations < expected / 2)
        std::cerr << "WARNING: settings line " << lineOf(Setting::maxBackward) << " allows " << settings.maxGenerations
                  << " backward generations, but " << n << " gene copies in one segment of "
                  << settings.carryingCapacity << " individuals need about " << std::lround(expected)
                  << " generations on average to find their common ancestor: most genealogies will not finish in "
                     "time and their entire simulations will be repeated.\n";
}

}  // namespace fluviagen
