// Every parameter of a program call, read from the settings file, whose lines
// are the table of common/SettingLines.h; each field names its line by the
// table's enumerator.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "settings/OutputGroups.h"
#include "settings/PlacementRule.h"

namespace fluviagen {

class InputLog;

// Data type codes of the genetic markers.
enum : std::int8_t { MICROSAT = 0, RFLP = 1, DNA = 2, STANDARD = 3, SNP = 4 };

// A value of one settings line given on the command line instead of on its
// line: the option as written ("38=0.05") and the value.
struct SettingOverride {
    std::string option;
    std::string value;
};
using SettingOverrides = std::map<int, SettingOverride>;  // by line number (lineOf)

// Where each value of a call came from: its line, the physical line of the
// file it stands on, the value as read, and the --set option that gave it
// instead (empty when the file did).
struct SettingValue {
    int line = 0;
    int fileLine = 0;
    std::string value;
    std::string option;
};

class Settings {
public:
    Text settingsPath;
    Text programPath;
    // The folder of the settings file with its final separator: every input
    // and output file name is taken relative to it.
    Text dataFolder;
    // The folder that receives every output of the call, with its final
    // separator: "<dataFolder>GeneticOutput/" unless the command line names
    // another one before the file is read.
    Text outputFolder;
    OutputGroups outputGroups;                         // the added outputs the command line switches
    PlacementRule placement = PlacementRule::nearest;  // populations by coordinates (--placement)
    Text popSourceFile;                                // Setting::sources: source populations
    Text nodeFile;                                     // Setting::nodes
    Text segmentFile;                                  // Setting::segments
    float migrCol = 0;                  // Setting::migrationUncolonised: emigrating share of an almost empty segment
    float migrOcc = 0;                  // Setting::migrationColonised: emigrating share of a full segment
    float upstreamMigrationRatio = 0;   // Setting::upstreamRatio: weight of upstream moves against downstream ones
    float segmentLength = 0;            // Setting::segmentLength: resample segments to this length (0: as read)
    std::int32_t demographicModel = 0;  // Setting::model: 1..4
    std::int32_t numGenerations = 0;    // Setting::generations
    std::int32_t generationTime = 0;    // Setting::generationTime (stored only)
    std::int32_t startTimeBP = 0;       // Setting::startBp (stored only)
    float growthRate = 0;               // Setting::growthRate
    bool allowInitialDensityOverflow = false;    // Setting::overflow
    float initialDensityOverflowRate = 0;        // Setting::overflowRate
    std::int16_t carryingCapacity = 0;           // Setting::capacity
    bool dynamicEnvironment = false;             // Setting::dynamic
    Text dynamicEnvironmentFile;                 // Setting::dynamicFile
    Text sampleFile;                             // Setting::samples: sampled populations
    std::int32_t numDemographicSimulations = 0;  // Setting::entireSimulations (or the command line)
    std::int32_t numGeneticSimulations = 0;      // Setting::geneticSimulations
    std::int32_t maxGenerations = 0;             // Setting::maxBackward: backward steps allowed
    std::int8_t dataType = DNA;                  // Setting::dataType
    std::int32_t numLinkedLoci = 0;              // Setting::linkedLoci: sites per locus
    float mutationRate = 0;                      // Setting::mutationRate: per locus (all sites)
    float transitionFraction = 0;                // Setting::transitionFraction
    float gammaA = 0;                            // Setting::gammaShape: shape of the site-rate gamma (0: none)
    std::int32_t numGammaCategories = 0;         // Setting::gammaCategories
    std::int32_t microsatRange = 0;              // Setting::microsatRange
    float gsmGeometricParameter = 0;             // Setting::microsatStep
    std::int32_t numIndependentLoci = 0;         // Setting::independentLoci
    float minSnpFrequency = 0;                   // Setting::minSnpFrequency
    float minSnpFrequencyInSample = 0;           // Setting::minSnpFrequencySample
    std::int32_t divergenceTime = 0;             // Setting::divergenceTime
    bool arpOutput = false;                      // Setting::arpOutput
    bool genotypicOutput = false;                // Setting::genotypic
    bool coalescenceImageOutput = false;         // Setting::coalescenceImage: the map program draws the coalescence map
    bool coalescenceTimesOutput = false;         // Setting::coalescenceTimes
    bool geneticTreesOutput = false;             // Setting::treesOutput
    bool mrcaTimesOutput = false;                // Setting::mrcaOutput

    std::vector<SettingValue> values;  // every value of the lines that hold one, as read, in line order

    // Reads the file at settingsPath, with the values of `overrides` in
    // place of those on their lines, sets dataFolder and prints the echo.
    // Throws a fatal SimulationError when the file cannot be opened or read, or
    // a value cannot be used (naming the --set option when it gave it).
    // With a log, the file is hashed as read (base/InputFile.h).
    bool readSettings(const Text& programPath, const Text& settingsPath, std::int32_t numberOfSimulations,
                      const SettingOverrides& overrides = {}, InputLog* log = nullptr);
    // Reads every line of the table from an open stream; throws on any failure.
    void parseSettings(std::istream& is);
    void echoSettings() const;
    // An input file named in the settings: an absolute name as it is, any
    // other relative to the folder of the settings file.
    Text inputPath(const Text& name) const;
    void setDataType(std::int8_t code);
};

}  // namespace fluviagen
