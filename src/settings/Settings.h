// Every parameter of a program run, read once from the 41-line settings file.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "settings/OutputGroups.h"
#include "settings/PlacementRule.h"

class InputLog;

// Data type codes of the genetic markers.
enum : std::int8_t { MICROSAT = 0, RFLP = 1, DNA = 2, STANDARD = 3, SNP = 4 };

// A value of one settings line given on the command line instead of on its
// line: the option as written ("38=0.05") and the value.
struct SettingOverride {
    std::string option;
    std::string value;
};
using SettingOverrides = std::map<int, SettingOverride>;  // by line 1 .. 40

// Where each value of a call came from: its line, the physical line of the
// file it stands on, the value as read, and the --set option that gave it
// instead (empty when the file did).
struct SettingValue {
    int line = 0;
    int fileLine = 0;
    std::string value;
    std::string option;
};

class TSettings {
public:
    my_string settingsPath;
    my_string programPath;
    // The folder of the settings file with its final separator: every input
    // and output file name is taken relative to it.
    my_string dataFolder;
    // The folder that receives every output of the call, with its final
    // separator: "<dataFolder>GeneticOutput/" unless the command line names
    // another one before the file is read.
    my_string outputFolder;
    OutputGroups outputGroups;  // the added outputs the command line switches
    PlacementRule placement = PlacementRule::nearest;  // populations by coordinates (--placement)
    my_string popSourceFile;           // line 1: source populations
    my_string nodeFile;                // line 3
    my_string segmentFile;             // line 4
    float migrCol = 0;                 // line 37: emigrating share of an almost empty segment
    float migrOcc = 0;                 // line 38: emigrating share of a full segment
    float upstreamMigrationRatio = 0;  // line 39: weight of upstream moves against downstream ones
    float segmentLength = 0;           // line 40: resample segments to this length (0: as read)
    std::int32_t demographicModel = 0;  // line 8: 1..4
    std::int32_t numGenerations = 0;    // line 9
    std::int32_t generationTime = 0;    // line 10 (stored only)
    std::int32_t startTimeBP = 0;       // line 11 (stored only)
    float growthRate = 0;               // line 12
    bool allowInitialDensityOverflow = false;  // line 13
    float initialDensityOverflowRate = 0;      // line 14
    std::int16_t carryingCapacity = 0;  // line 7
    bool dynamicEnvironment = false;    // line 15
    my_string dynamicEnvironmentFile;   // line 5
    my_string sampleFile;               // line 2: sampled populations
    std::int32_t numDemographicSimulations = 0;  // line 16 (or the command line)
    std::int32_t numGeneticSimulations = 0;      // line 17
    std::int32_t maxGenerations = 0;             // line 18: backward steps allowed
    std::int8_t dataType = DNA;                  // line 19
    std::int32_t numLinkedLoci = 0;     // line 21: sites per locus
    float mutationRate = 0;             // line 23: per locus (all sites)
    float transitionFraction = 0;       // line 24
    float gammaA = 0;                   // line 25: shape of the site-rate gamma (0: none)
    std::int32_t numGammaCategories = 0;  // line 26
    std::int32_t microsatRange = 0;       // line 27
    float gsmGeometricParameter = 0;      // line 28
    std::int32_t numIndependentLoci = 0;  // line 20
    float minSnpFrequency = 0;            // line 29
    float minSnpFrequencyInSample = 0;    // line 30
    std::int32_t divergenceTime = 0;      // line 36
    bool arpOutput = false;               // line 31
    bool genotypicOutput = false;         // line 22
    bool coalescenceImageOutput = false;  // line 32: the map program draws the coalescence map
    bool coalescenceTimesOutput = false;  // line 33
    bool geneticTreesOutput = false;      // line 34
    bool mrcaTimesOutput = false;         // line 35

    std::vector<SettingValue> values;     // every value of lines 1 to 40 as read, in line order

    // Reads the file at settingsPath, with the values of `overrides` in
    // place of those on their lines, sets dataFolder and prints the echo.
    // Throws a fatal TException when the file cannot be opened or read, or
    // a value cannot be used (naming the --set option when it gave it).
    // With a log, the file is hashed as read (base/InputFile.h).
    bool readSettings(const my_string& programPath, const my_string& settingsPath, std::int32_t numberOfSimulations,
                      const SettingOverrides& overrides = {}, InputLog* log = nullptr);
    // Reads the 41 lines from an open stream; throws on any failure.
    void parseSettings(std::istream& is);
    void echoSettings() const;
    // An input file named in the settings: an absolute name as it is, any
    // other relative to the folder of the settings file.
    my_string inputPath(const my_string& name) const;
    void setDataType(std::int8_t code);
};
