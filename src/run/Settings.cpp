#include "run/Settings.h"

#include <cctype>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>

#include "run/Exception.h"

namespace {

// Reads the settings lines one after another while counting the physical
// lines consumed, so a value that cannot be used can be reported with the
// line the user has to fix.
class SettingsReader {
public:
    explicit SettingsReader(std::istream& is) : is_(is) {}

    // A text line: the whole line, cut at its first "//", every blank removed.
    my_string text() {
        my_string line;
        readLine(line, is_);
        ++line_;
        line = line.beforeComment();
        line.removeBlanks();
        return line;
    }

    void skipLine() {
        my_string line;
        readLine(line, is_);
        ++line_;
    }

    // A value line: formatted extraction of the number (blank lines before it
    // are passed over), then the rest of its line is dropped.
    template <typename T>
    T value(const char* field) {
        skipBlankLines();
        T v{};
        is_ >> v;
        if (is_.fail()) fail(field, "is not a readable value of its type");
        my_string rest;
        readLine(rest, is_);
        ++line_;
        return v;
    }

    bool flag(const char* field) {
        skipBlankLines();
        int v = -1;
        is_ >> v;
        if (is_.fail() || (v != 0 && v != 1)) {
            is_.setstate(std::ios::failbit);
            fail(field, "must be 0 or 1");
        }
        my_string rest;
        readLine(rest, is_);
        ++line_;
        return v == 1;
    }

    // Reports the line being read (or a given one) and gives up.
    [[noreturn]] void fail(const char* field, const char* reason, int line = 0) {
        std::cout << "\nSettings file, line " << (line > 0 ? line : line_ + 1) << " (" << field << "): " << reason
                  << "!";
        throw TException(my_string("Number of lines in setting file is incorrect!"), levelFatal);
    }

    int line() const { return line_; }  // physical lines consumed so far

private:
    void skipBlankLines() {
        for (int c = is_.peek(); is_.good() && std::isspace(c); c = is_.peek()) {
            if (is_.get() == '\n') ++line_;
        }
    }

    std::istream& is_;
    int line_ = 0;  // physical lines consumed so far
};

}  // namespace

bool TSettings::readSettings(const my_string& programPath_, const my_string& settingsPath_,
                             std::int32_t numberOfSimulations) {
    settingsPath = settingsPath_;
    programPath = programPath_;
    std::ifstream file(settingsPath.str());
    if (!file.is_open())
        throw TException("File '" + settingsPath + "' could not be opened!", levelFatal);
    dataFolder = folderOf(settingsPath);
    try {
        parseSettings(file);
    } catch (...) {
        throw TException("File '" + settingsPath + "' could not be read!", levelFatal);
    }
    if (numberOfSimulations != 0) numDemographicSimulations = numberOfSimulations;
    echoSettings();
    return true;
}

void TSettings::parseSettings(std::istream& is) {
    skipByteOrderMark(is);
    SettingsReader in(is);
    popSourceFile = in.text();
    sampleFile = in.text();
    nodeFile = in.text();
    segmentFile = in.text();
    dynamicEnvironmentFile = in.text();
    in.skipLine();

    // The capacity is stored in 16 bits: a value that does not fit is
    // refused rather than wrapped into a wrong (maybe negative) capacity.
    const auto capacity = in.value<std::int32_t>("carrying capacity");
    if (capacity < 0 || capacity > std::numeric_limits<std::int16_t>::max())
        in.fail("carrying capacity", "must be a whole number from 0 to 32767", in.line());
    carryingCapacity = static_cast<std::int16_t>(capacity);

    demographicModel = in.value<std::int32_t>("demographic model");
    numGenerations = in.value<std::int32_t>("number of generations");
    generationTime = in.value<std::int32_t>("generation time");
    startTimeBP = in.value<std::int32_t>("start time BP");
    growthRate = in.value<float>("growth rate");
    allowInitialDensityOverflow = in.flag("allow initial density overflow");
    initialDensityOverflowRate = in.value<float>("initial density overflow rate");
    dynamicEnvironment = in.flag("dynamic environment");
    numDemographicSimulations = in.value<std::int32_t>("number of demographic simulations");
    numGeneticSimulations = in.value<std::int32_t>("number of genetic simulations");
    maxGenerations = in.value<std::int32_t>("maximum number of coalescent generations");
    setDataType(static_cast<std::int8_t>(in.value<std::int32_t>("data type")));
    numIndependentLoci = in.value<std::int32_t>("number of independent loci");
    numLinkedLoci = in.value<std::int32_t>("number of linked loci");
    genotypicOutput = in.flag("genotypic output");
    mutationRate = in.value<float>("mutation rate");
    transitionFraction = in.value<float>("transition fraction");
    gammaA = in.value<float>("gamma parameter");
    numGammaCategories = in.value<std::int32_t>("number of gamma categories");
    microsatRange = in.value<std::int32_t>("microsatellite range");
    gsmGeometricParameter = in.value<float>("geometric parameter of microsatellite steps");
    minSnpFrequency = in.value<float>("minimum SNP frequency");
    minSnpFrequencyInSample = in.value<float>("minimum SNP frequency within a sample");
    arpOutput = in.flag("project file output");
    coalescenceImageOutput = in.flag("coalescence image output");
    coalescenceTimesOutput = in.flag("coalescence times output");
    geneticTreesOutput = in.flag("genetic trees output");
    mrcaTimesOutput = in.flag("MRCA times output");
    divergenceTime = in.value<std::int32_t>("divergence time");
    migrCol = in.value<float>("migration rate of un-colonised segments");
    migrOcc = in.value<float>("migration rate of colonised segments");
    upstreamMigrationRatio = in.value<float>("upstream migration ratio");
    segmentLength = in.value<float>("segment length");
    if (!in.text().contains(my_string("END")))
        in.fail("end marker", "the line after the last value must contain END");
}

void TSettings::echoSettings() const {
    std::cout << "\n************************\n*  "
              << "General Settings:\n*  " << numDemographicSimulations
              << " demographic simulations (entire simulations)\n*  " << numGeneticSimulations
              << " genetic simulations (per demographic simulation)\n*  " << numGenerations
              << " generations to simulate"
              << "\n************************\n\n";
}

void TSettings::setDataType(std::int8_t code) {
    dataType = code;
    switch (code) {
        case MICROSAT: dataTypeName = "MICROSAT"; break;
        case RFLP: dataTypeName = "RFLP"; break;
        case STANDARD: dataTypeName = "STANDARD"; break;
        case SNP: dataTypeName = "SNP"; break;
        default: dataTypeName = "DNA"; break;
    }
}
