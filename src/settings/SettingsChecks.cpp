#include "settings/SettingsChecks.h"

#include <cmath>
#include <cstdint>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "base/Exception.h"
#include "settings/SettingKeys.h"

namespace fluviagen {

namespace {

// More rate categories than this describe the gamma distribution no better.
constexpr std::int32_t maxGammaCategories = 1000;

// A value that can be read but cannot give a meaningful run: the line that
// holds it and why.
struct UnusableSetting {
    Setting line;
    std::string reason;
    const char* field() const { return settingLine(line).field.data(); }
};

template <typename T>
std::string withValue(const char* rule, T value) {
    std::ostringstream text;
    text << rule << ", not " << value;
    return text.str();
}

// Values that the model has no sensible outcome for, found before any
// simulation starts: otherwise they end the program in the middle of a run
// (the gamma and beta deviates refuse invalid shapes), make it retry or draw
// for ever, or silently give a wrong result. Values for which the model
// defines an outcome are left alone: a negative number of entire simulations
// (no run), an overflow rate outside 0 to 1 (the whole surplus moves), an
// unknown demographic model (its own fatal message at the first generation),
// zero independent loci (the genetic phase's own fatal message); a value
// outside the range of its line is pointed out on standard error instead
// (outsideRangeConsequence).
std::optional<UnusableSetting> findUnusableSetting(const Settings& s) {
    const auto finite = [](float x) { return std::isfinite(x); };
    const bool microsat = s.dataType == MICROSAT;
    // Every run reads these files; a name joined to the settings folder
    // beyond the text limit would turn into an empty path.
    struct FileLine {
        Setting line;
        const Text& name;
        bool needed;
    };
    const FileLine files[] = {{Setting::sources, s.popSourceFile, true},
                              {Setting::samples, s.sampleFile, true},
                              {Setting::nodes, s.nodeFile, true},
                              {Setting::segments, s.segmentFile, true},
                              {Setting::dynamicFile, s.dynamicEnvironmentFile, s.dynamicEnvironment}};
    for (const FileLine& f : files) {
        if (!f.needed) continue;
        if (f.name.empty()) return UnusableSetting{f.line, "there is no file name"};
        if (s.inputPath(f.name).empty())
            return UnusableSetting{f.line, "the file name is too long (10000 characters with its folder)"};
    }
    if (s.numGenerations < 0)
        return UnusableSetting{Setting::generations, withValue("must not be negative", s.numGenerations)};
    // Beverton-Holt growth: a negative rate turns the size of a segment
    // holding more than its capacity negative.
    if (!finite(s.growthRate) || s.growthRate < 0)
        return UnusableSetting{Setting::growthRate, withValue("must be a finite number of 0 or more", s.growthRate)};
    // Every output comes from the genetic simulations: without one a run
    // writes nothing but empty tables and a tree file whose mean is no
    // number.
    if (s.numGeneticSimulations < 1)
        return UnusableSetting{Setting::geneticSimulations,
                               withValue("must be at least 1 (every output comes from them)", s.numGeneticSimulations)};
    if (s.maxGenerations < 0)
        return UnusableSetting{Setting::maxBackward, withValue("must not be negative", s.maxGenerations)};
    // Other codes are named DNA but no mutation step knows them: every
    // sequence would stay as drawn at the root.
    if (s.dataType < MICROSAT || s.dataType > SNP)
        return UnusableSetting{Setting::dataType,
                               withValue("must be 0 (MICROSAT), 1 (RFLP), 2 (DNA), 3 (STANDARD) or 4 (SNP)",
                                         static_cast<int>(s.dataType))};
    if (s.numIndependentLoci < 0)
        return UnusableSetting{Setting::independentLoci, withValue("must not be negative", s.numIndependentLoci)};
    // A locus without sites carries no genetic data: such a run would end
    // as a success that wrote nothing worth having.
    if (s.numLinkedLoci < 1)
        return UnusableSetting{Setting::linkedLoci,
                               withValue("must be at least 1 (a locus without sites holds no data)", s.numLinkedLoci)};
    // The rate is the mean number of mutations per gene copy and generation
    // on the whole locus. Above 1 it has no population-genetic meaning, and
    // far above it the mutation counts of a genealogy grow without bound.
    // SNPs are placed without it (one per site), but it still scales their
    // trees to substitutions per site, where a negative rate would give
    // negative branch lengths.
    if (!finite(s.mutationRate) || s.mutationRate < 0 || (s.dataType != SNP && s.mutationRate > 1))
        return UnusableSetting{Setting::mutationRate, withValue(s.dataType == SNP ? "must be a number of 0 or more"
                                                                                  : "must be a number from 0 to 1",
                                                                s.mutationRate)};
    // Each microsatellite draws its own rate from a gamma distribution of
    // mean mutationRate, which has none for a mean of 0.
    if (microsat && s.mutationRate == 0)
        return UnusableSetting{Setting::mutationRate, "must be above 0 for microsatellite data"};
    if (s.dataType == DNA) {
        if (!finite(s.transitionFraction) || s.transitionFraction < 0 || s.transitionFraction > 1)
            return UnusableSetting{Setting::transitionFraction,
                                   withValue("must be a fraction from 0 to 1", s.transitionFraction)};
        // Shapes beyond a million give rates equal to within a tenth of a
        // percent; 0 is the way to ask for equal rates.
        if (!finite(s.gammaA) || s.gammaA < 0 || s.gammaA > 1e6f)
            return UnusableSetting{Setting::gammaShape, withValue("must be from 0 (equal rates) to 1000000", s.gammaA)};
        // Rate heterogeneity is described by a handful of categories (4 to
        // 8 in common use); each category costs a chi-square quantile and
        // an incomplete gamma ratio per genetic phase, so a million of them
        // take minutes and describe nothing more than 1000 do.
        if (s.gammaA != 0 && (s.numGammaCategories < 0 || s.numGammaCategories > maxGammaCategories))
            return UnusableSetting{Setting::gammaCategories,
                                   withValue("must be from 0 (continuous rates) to 1000", s.numGammaCategories)};
    }
    if (microsat && s.microsatRange < 0)
        return UnusableSetting{Setting::microsatRange,
                               withValue("must be 0 (no bounds) or a positive number of states", s.microsatRange)};
    // The step parameter of each locus is drawn from a beta distribution of
    // mean q, which has none for q of 1 or more.
    if (microsat && (!finite(s.gsmGeometricParameter) || s.gsmGeometricParameter < 0 || s.gsmGeometricParameter >= 1))
        return UnusableSetting{Setting::microsatStep,
                               withValue("must be from 0 (stepwise) to below 1", s.gsmGeometricParameter)};
    if (s.dataType == SNP) {
        // A threshold above 0.5 can never be met (the minor allele never
        // exceeds half of the sample); the model reports such sites and
        // leaves them monomorphic, so only a value that is no number is
        // refused here.
        if (!finite(s.minSnpFrequency))
            return UnusableSetting{Setting::minSnpFrequency,
                                   withValue("must be a number (0: not considered)", s.minSnpFrequency)};
        if (!finite(s.minSnpFrequencyInSample))
            return UnusableSetting{Setting::minSnpFrequencySample,
                                   withValue("must be a number (0: not considered)", s.minSnpFrequencyInSample)};
    }
    // Several source populations merge only once the divergence time is
    // reached going back; a negative time is never reached.
    if (s.divergenceTime < 0)
        return UnusableSetting{Setting::divergenceTime, withValue("must not be negative", s.divergenceTime)};
    if (!finite(s.migrCol) || s.migrCol < 0 || s.migrCol > 1)
        return UnusableSetting{Setting::migrationUncolonised, withValue("must be a rate from 0 to 1", s.migrCol)};
    if (!finite(s.migrOcc) || s.migrOcc < 0 || s.migrOcc > 1)
        return UnusableSetting{Setting::migrationColonised, withValue("must be a rate from 0 to 1", s.migrOcc)};
    // Upstream moves are weighted by the ratio and downstream ones by its
    // inverse.
    if (!finite(s.upstreamMigrationRatio) || s.upstreamMigrationRatio <= 0)
        return UnusableSetting{Setting::upstreamRatio, withValue("must be a finite number above 0 (1: as downstream)",
                                                                 s.upstreamMigrationRatio)};
    if (!finite(s.segmentLength) || s.segmentLength < 0)
        return UnusableSetting{Setting::segmentLength,
                               withValue("must be 0 (keep the drainage) or a length in metres", s.segmentLength)};
    return std::nullopt;
}

// What a run does with a value of the settings file that lies outside the
// range of its line and is not refused above: the model defines an outcome,
// mostly an end with its own message, or the value is not used.
const char* outsideRangeConsequence(Setting line) {
    switch (line) {
        case Setting::capacity:
            return "no segment can hold an individual beyond the sources at the start, so a sample away from them "
                   "receives no genes and the call ends once the first entire simulation finds none";
        case Setting::model:
            return "the first generation ends the call with the unknown-model error";
        case Setting::independentLoci:
            return "the first genetic phase ends the call with an error, as no locus is simulated";
        case Setting::maxBackward:
            return "the call ends once the samples are read when they hold more than one gene";
        default:
            return "it is not used with the other values of this file";
    }
}

}  // namespace

void checkSettingValues(const Settings& settings, const SettingOverrides& overrides) {
    // The physical line of a line's value: blank lines between the values
    // move them down in the file.
    const auto physicalLine = [&settings](Setting line) {
        for (const SettingValue& v : settings.values)
            if (v.line == lineOf(line)) return v.fileLine;
        return lineOf(line);
    };
    if (const auto unusable = findUnusableSetting(settings)) {
        if (const auto given = overrides.find(lineOf(unusable->line)); given != overrides.end())
            throw SimulationError(Text(shortened("--set " + given->second.option + " (" + unusable->field() +
                                                 "): " + unusable->reason + "!")),
                                  levelFatal);
        const int line = physicalLine(unusable->line);
        std::cout << "\nSettings file, line " << line << " (" << unusable->field() << "): " << unusable->reason << "!";
        throw SimulationError("File '" + settings.settingsPath + "', line " + line + ": the " + unusable->field() +
                                  " cannot give a meaningful run!",
                              levelFatal);
    }
    // Values the run takes and fails on later (or does not use): said before
    // any work, where a batch job's user looks for what went wrong.
    for (const SettingValue& v : settings.values) {
        if (!v.option.empty()) continue;  // --set values outside the range are refused at parse
        const SettingKey& key = settingLines[static_cast<std::size_t>(v.line - 1)];
        const std::optional<double> number = settingNumber(key, v.value);
        if (!number || inUsableRange(key, *number)) continue;
        std::cerr << "Settings file '" << settings.settingsPath << "', line " << v.fileLine << " (" << key.field
                  << "): " << v.value << " is outside the values a run can use (" << key.range
                  << "): " << outsideRangeConsequence(key.id) << "." << std::endl;
    }
}

}  // namespace fluviagen
