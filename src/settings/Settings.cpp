#include "settings/Settings.h"

#include <cctype>
#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/InputFile.h"
#include "base/NumberText.h"
#include "settings/SettingKeys.h"

namespace {

// Reads the settings lines one after another while counting the physical
// lines consumed, so a value that cannot be used can be reported with the
// line the user has to fix. A value given on the command line (--set)
// replaces the one on its line: the line is still read, and the value is
// judged by the same rules, with messages that name the option.
class SettingsReader {
public:
    SettingsReader(std::istream& is, const SettingOverrides& overrides, std::vector<SettingValue>& record)
        : is_(is), overrides_(overrides), record_(record) {}

    // A text line: the whole line, cut at its first "//", every blank removed.
    my_string text(Setting key) {
        const char* field = fieldOf(key);
        my_string line;
        const bool whole = readLine(line, is_);
        ++line_;
        // The rest of a longer line is not read: it could be a name cut short.
        if (!whole) fail(field, "the line is longer than 9999 characters", line_);
        checkNumbering(line.str(), key, line_);
        if (const SettingOverride* given = overrideOf(key)) {
            remember(key, line_, given->value, given);
            return my_string(given->value);
        }
        line = line.beforeComment();
        line.removeBlanks();
        remember(key, line_, line.str(), nullptr);
        return line;
    }

    // The line after the last value, cut at "//", blanks removed.
    my_string endMarker() {
        my_string line;
        const bool whole = readLine(line, is_);
        ++line_;
        if (!whole) fail("end marker", "the line is longer than 9999 characters", line_);
        line = line.beforeComment();
        line.removeBlanks();
        return line;
    }

    void skipLine(const char* field) {
        my_string line;
        if (!readLine(line, is_)) refuse(field, "the line is longer than 9999 characters", line_ + 1);
        ++line_;
    }

    // A value line: its first word is the value (blank lines before it are
    // passed over), the rest of the line is a comment. The whole word must be
    // the number: "0,5" or "1e3x" are refused, not read as 0 or 1.
    template <typename T>
    T value(Setting key) {
        const char* field = fieldOf(key);
        const my_string line = valueLine(field);
        checkNumbering(line.str(), key, line_ + 1);
        const SettingOverride* given = overrideOf(key);
        const std::string_view word = given ? std::string_view(given->value) : valueWord(line.str());
        T v{};
        if (const NumberProblem problem = readNumber(word, v); problem != NumberProblem::none) {
            if (given) refuseGiven(*given, field, "is not a readable value of its type");
            if (problem != NumberProblem::notANumber)
                explain(field, numberProblemText(problem, word, rangeText<T>()), line_ + 1);
            fail(field, "is not a readable value of its type");
        }
        ++line_;
        remember(key, line_, std::string(word), given);
        return v;
    }

    bool flag(Setting key) {
        const char* field = fieldOf(key);
        const my_string line = valueLine(field);
        checkNumbering(line.str(), key, line_ + 1);
        const SettingOverride* given = overrideOf(key);
        std::int32_t v = -1;
        const std::string_view word = given ? std::string_view(given->value) : valueWord(line.str());
        const NumberProblem problem = readNumber(word, v);
        if (problem != NumberProblem::none || (v != 0 && v != 1)) {
            if (given) refuseGiven(*given, field, "must be 0 or 1");
            if (problem != NumberProblem::none && problem != NumberProblem::notANumber)
                explain(field, numberProblemText(problem, word, "0 ... 1"), line_ + 1);
            fail(field, "must be 0 or 1");
        }
        ++line_;
        remember(key, line_, std::string(word), given);
        return v == 1;
    }

    // Reports the line being read (or a given one) and gives up.
    [[noreturn]] void fail(const char* field, const char* reason, int line = 0) {
        std::cout << "\nSettings file, line " << (line > 0 ? line : line_ + 1) << " (" << field << "): " << reason
                  << "!";
        throw TException(my_string("Number of lines in setting file is incorrect!"), levelFatal);
    }

    // A value read from its line (or given with --set) that its own line's
    // rules refuse once read.
    [[noreturn]] void failValue(Setting key, const char* reason) {
        if (const SettingOverride* given = overrideOf(key)) refuseGiven(*given, fieldOf(key), reason);
        fail(fieldOf(key), reason, line_);
    }

    int line() const { return line_; }  // physical lines consumed so far

private:
    static const char* fieldOf(Setting key) { return settingLine(key).field.data(); }

    // Settings files number their lines in the comment ("0.5  // 12 growth
    // rate"). A line deleted or added above shifts every value after it onto
    // the wrong line, and the value error that follows names a line the user
    // did not touch: the first comment whose number is not the line it
    // stands for is pointed out, once.
    void checkNumbering(const std::string& line, Setting key, int fileLine) {
        if (numberingReported_) return;
        const auto comment = line.find("//");
        if (comment == std::string::npos) return;
        std::size_t at = line.find_first_not_of(" \t", comment + 2);
        if (at == std::string::npos || line[at] < '0' || line[at] > '9') return;
        const std::size_t end = line.find_first_not_of("0123456789", at);
        if (end - at > 2 || (end != std::string::npos && line[end] != ' ' && line[end] != '\t')) return;
        const int number = std::stoi(line.substr(at, end - at));
        if (number == lineOf(key)) return;
        numberingReported_ = true;
        std::cerr << "Settings file, line " << fileLine << ": its comment numbers it " << number
                  << ", but it is read as line " << lineOf(key) << " (" << fieldOf(key)
                  << "): a line may be missing or added above it, which moves every value after it!" << std::endl;
    }

    const SettingOverride* overrideOf(Setting key) const {
        const auto it = overrides_.find(lineOf(key));
        return it == overrides_.end() ? nullptr : &it->second;
    }

    void remember(Setting key, int fileLine, std::string value, const SettingOverride* given) {
        record_.push_back({lineOf(key), fileLine, std::move(value), given ? given->option : std::string()});
    }

    // A value of the command line that its line's rules refuse: the option
    // is named, on standard error, since the file is not at fault.
    [[noreturn]] void refuseGiven(const SettingOverride& given, const char* field, const std::string& reason) {
        throw TException(my_string(shortened("--set " + given.option + " (" + field + "): " + reason + "!")),
                         levelFatal);
    }

    // The next line that is not blank, read whole (the line count stays at
    // the line before it).
    my_string valueLine(const char* field) {
        skipBlankLines();
        if (is_.peek() == std::char_traits<char>::eof()) fail(field, "the file ends before this value");
        my_string line;
        if (!readLine(line, is_)) refuse(field, "the line is longer than 9999 characters", line_ + 1);
        return line;
    }

    // What the console line of fail() cannot say, on standard error.
    void explain(const char* field, const std::string& reason, int line) {
        std::cerr << "Settings file, line " << line << " (" << field << "): " << reason << "!" << std::endl;
    }

    // Gives up with the reason on standard error only.
    [[noreturn]] void refuse(const char* field, const std::string& reason, int line) {
        explain(field, reason, line);
        throw TException(my_string("Number of lines in setting file is incorrect!"), levelFatal);
    }

    void skipBlankLines() {
        for (int c = is_.peek(); is_.good() && std::isspace(c); c = is_.peek()) {
            if (is_.get() == '\n') ++line_;
        }
    }

    std::istream& is_;
    const SettingOverrides& overrides_;
    std::vector<SettingValue>& record_;
    bool numberingReported_ = false;
    int line_ = 0;  // physical lines consumed so far
};

// A refusal of a value given with --set: it passes the reader's catch-all,
// which would otherwise blame the file.
bool isGivenValueRefusal(const TException& e) { return e.message().str().rfind("--set ", 0) == 0; }

// Reads the 41 lines into the settings, each value with the physical line
// it stands on (TSettings::values).
void parseInto(TSettings& s, std::istream& is, const SettingOverrides& overrides) {
    skipByteOrderMark(is);
    s.values.clear();
    SettingsReader in(is, overrides, s.values);
    s.popSourceFile = in.text(Setting::sources);
    s.sampleFile = in.text(Setting::samples);
    s.nodeFile = in.text(Setting::nodes);
    s.segmentFile = in.text(Setting::segments);
    s.dynamicEnvironmentFile = in.text(Setting::dynamicFile);
    in.skipLine(settingLine(Setting::heading).field.data());

    // The capacity is stored in 16 bits: a value that does not fit is
    // refused rather than wrapped into a wrong (maybe negative) capacity.
    const auto capacity = in.value<std::int32_t>(Setting::capacity);
    if (capacity < 0 || capacity > std::numeric_limits<std::int16_t>::max())
        in.failValue(Setting::capacity, "must be a whole number from 0 to 32767");
    s.carryingCapacity = static_cast<std::int16_t>(capacity);

    s.demographicModel = in.value<std::int32_t>(Setting::model);
    s.numGenerations = in.value<std::int32_t>(Setting::generations);
    s.generationTime = in.value<std::int32_t>(Setting::generationTime);
    s.startTimeBP = in.value<std::int32_t>(Setting::startBp);
    s.growthRate = in.value<float>(Setting::growthRate);
    s.allowInitialDensityOverflow = in.flag(Setting::overflow);
    s.initialDensityOverflowRate = in.value<float>(Setting::overflowRate);
    s.dynamicEnvironment = in.flag(Setting::dynamic);
    s.numDemographicSimulations = in.value<std::int32_t>(Setting::entireSimulations);
    s.numGeneticSimulations = in.value<std::int32_t>(Setting::geneticSimulations);
    s.maxGenerations = in.value<std::int32_t>(Setting::maxBackward);
    // The code is stored in 8 bits: a code that does not fit would turn into
    // another, valid-looking code (256 into MICROSAT).
    const auto code = in.value<std::int32_t>(Setting::dataType);
    if (code < std::numeric_limits<std::int8_t>::min() || code > std::numeric_limits<std::int8_t>::max())
        in.failValue(Setting::dataType, "must be a code from 0 to 4");
    s.setDataType(static_cast<std::int8_t>(code));
    s.numIndependentLoci = in.value<std::int32_t>(Setting::independentLoci);
    s.numLinkedLoci = in.value<std::int32_t>(Setting::linkedLoci);
    s.genotypicOutput = in.flag(Setting::genotypic);
    s.mutationRate = in.value<float>(Setting::mutationRate);
    s.transitionFraction = in.value<float>(Setting::transitionFraction);
    s.gammaA = in.value<float>(Setting::gammaShape);
    s.numGammaCategories = in.value<std::int32_t>(Setting::gammaCategories);
    s.microsatRange = in.value<std::int32_t>(Setting::microsatRange);
    s.gsmGeometricParameter = in.value<float>(Setting::microsatStep);
    s.minSnpFrequency = in.value<float>(Setting::minSnpFrequency);
    s.minSnpFrequencyInSample = in.value<float>(Setting::minSnpFrequencySample);
    s.arpOutput = in.flag(Setting::arpOutput);
    s.coalescenceImageOutput = in.flag(Setting::coalescenceImage);
    s.coalescenceTimesOutput = in.flag(Setting::coalescenceTimes);
    s.geneticTreesOutput = in.flag(Setting::treesOutput);
    s.mrcaTimesOutput = in.flag(Setting::mrcaOutput);
    s.divergenceTime = in.value<std::int32_t>(Setting::divergenceTime);
    s.migrCol = in.value<float>(Setting::migrationUncolonised);
    s.migrOcc = in.value<float>(Setting::migrationColonised);
    s.upstreamMigrationRatio = in.value<float>(Setting::upstreamRatio);
    s.segmentLength = in.value<float>(Setting::segmentLength);
    if (!in.endMarker().contains(my_string("END")))
        in.fail(settingLine(Setting::endMarker).field.data(), "the line after the last value must contain END", in.line());
}

// More rate categories than this describe the gamma distribution no better.
constexpr std::int32_t maxGammaCategories = 1000;

// A value that can be read but cannot give a meaningful run: the logical line
// (7 to 40) that holds it and why.
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
// zero independent loci (the genetic driver's own fatal message); a value
// outside the range of its line is pointed out on standard error instead
// (outsideRangeConsequence).
std::optional<UnusableSetting> findUnusableSetting(const TSettings& s) {
    const auto finite = [](float x) { return std::isfinite(x); };
    const bool microsat = s.dataType == MICROSAT;
    // Every run reads these files; a name joined to the settings folder
    // beyond the text limit would turn into an empty path.
    struct FileLine {
        Setting line;
        const my_string& name;
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
        return UnusableSetting{Setting::maxBackward,
                               withValue("must not be negative", s.maxGenerations)};
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
        return UnusableSetting{Setting::mutationRate,
                               withValue(s.dataType == SNP ? "must be a number of 0 or more" : "must be a number from 0 to 1",
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
            return UnusableSetting{Setting::gammaShape,
                                   withValue("must be from 0 (equal rates) to 1000000", s.gammaA)};
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
        return UnusableSetting{Setting::migrationUncolonised,
                               withValue("must be a rate from 0 to 1", s.migrCol)};
    if (!finite(s.migrOcc) || s.migrOcc < 0 || s.migrOcc > 1)
        return UnusableSetting{Setting::migrationColonised,
                               withValue("must be a rate from 0 to 1", s.migrOcc)};
    // Upstream moves are weighted by the ratio and downstream ones by its
    // inverse.
    if (!finite(s.upstreamMigrationRatio) || s.upstreamMigrationRatio <= 0)
        return UnusableSetting{Setting::upstreamRatio,
                               withValue("must be a finite number above 0 (1: as downstream)", s.upstreamMigrationRatio)};
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

bool TSettings::readSettings(const my_string& programPath_, const my_string& settingsPath_,
                             std::int32_t numberOfSimulations, const SettingOverrides& overrides) {
    settingsPath = settingsPath_;
    programPath = programPath_;
    std::ifstream file = openInputFile(settingsPath);
    dataFolder = folderOf(settingsPath);
    try {
        parseInto(*this, file, overrides);
    } catch (const TException& e) {
        if (isGivenValueRefusal(e)) throw;
        throw TException("File '" + settingsPath + "' could not be read!", levelFatal);
    } catch (...) {
        throw TException("File '" + settingsPath + "' could not be read!", levelFatal);
    }
    // The physical line of a line's value: blank lines between the values
    // move them down in the file.
    const auto physicalLine = [this](Setting line) {
        for (const SettingValue& v : values)
            if (v.line == lineOf(line)) return v.fileLine;
        return lineOf(line);
    };
    if (const auto unusable = findUnusableSetting(*this)) {
        if (const auto given = overrides.find(lineOf(unusable->line)); given != overrides.end())
            throw TException(my_string(shortened("--set " + given->second.option + " (" + unusable->field() +
                                                 "): " + unusable->reason + "!")),
                             levelFatal);
        const int line = physicalLine(unusable->line);
        std::cout << "\nSettings file, line " << line << " (" << unusable->field() << "): " << unusable->reason
                  << "!";
        throw TException("File '" + settingsPath + "', line " + line + ": the " + unusable->field() +
                             " cannot give a meaningful run!",
                         levelFatal);
    }
    // Values the run takes and fails on later (or does not use): said before
    // any work, where a batch job's user looks for what went wrong.
    for (const SettingValue& v : values) {
        if (!v.option.empty()) continue;  // --set values outside the range are refused at parse
        const SettingKey& key = settingLines[static_cast<std::size_t>(v.line - 1)];
        const std::optional<double> number = settingNumber(key, v.value);
        if (!number || inUsableRange(key, *number)) continue;
        std::cerr << "Settings file '" << settingsPath << "', line " << v.fileLine << " (" << key.field << "): "
                  << v.value << " is outside the values a run can use (" << key.range
                  << "): " << outsideRangeConsequence(key.id) << "." << std::endl;
    }
    if (numberOfSimulations != 0) {
        numDemographicSimulations = numberOfSimulations;
        for (SettingValue& v : values)
            if (v.line == lineOf(Setting::entireSimulations)) {
                v.value = std::to_string(numberOfSimulations);
                v.option = "count parameter";
            }
    }
    if (outputFolder.empty()) outputFolder = dataFolder + "GeneticOutput/";
    echoSettings();
    return true;
}

void TSettings::parseSettings(std::istream& is) { parseInto(*this, is, {}); }

my_string TSettings::inputPath(const my_string& name) const { return inFolder(dataFolder, name); }

void TSettings::echoSettings() const {
    std::cout << "\n************************\n*  "
              << "General Settings:\n*  " << numDemographicSimulations
              << " demographic simulations (entire simulations)\n*  " << numGeneticSimulations
              << " genetic simulations (per demographic simulation)\n*  " << numGenerations
              << " generations to simulate"
              << "\n************************\n\n";
}

void TSettings::setDataType(std::int8_t code) { dataType = code; }
