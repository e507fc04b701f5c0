#include "settings/SettingsParser.h"

#include <cstdint>
#include <istream>
#include <limits>

#include "settings/SettingsReader.h"

namespace fluviagen {

void parseSettingsInto(Settings& s, std::istream& is, const SettingOverrides& overrides) {
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
    if (!in.endMarker().contains(Text("END")))
        in.fail(settingLine(Setting::endMarker).field.data(), "the line after the last value must contain END",
                in.line());
}

}  // namespace fluviagen
