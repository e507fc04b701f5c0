// The settings of a program call: the file read line by line
// (settings/SettingsReader.h) into the fields (settings/SettingsParser.h),
// checked (settings/SettingsChecks.h) and echoed (settings/SettingsEcho.cpp).
#include "settings/Settings.h"

#include <fstream>
#include <string>

#include "base/Exception.h"
#include "base/InputFile.h"
#include "settings/SettingsChecks.h"
#include "settings/SettingsParser.h"
#include "settings/SettingsReader.h"

namespace fluviagen {

bool Settings::readSettings(const Text& programPath_, const Text& settingsPath_, std::int32_t numberOfSimulations,
                            const SettingOverrides& overrides, InputLog* log) {
    settingsPath = settingsPath_;
    programPath = programPath_;
    std::ifstream file = openInputFile(settingsPath, log, "settings");
    dataFolder = folderOf(settingsPath);
    try {
        parseSettingsInto(*this, file, overrides);
    } catch (const SimulationError& e) {
        if (isGivenValueRefusal(e)) throw;
        throw SimulationError("File '" + settingsPath + "' could not be read!", levelFatal);
    } catch (...) {
        throw SimulationError("File '" + settingsPath + "' could not be read!", levelFatal);
    }
    checkSettingValues(*this, overrides);
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

void Settings::parseSettings(std::istream& is) { parseSettingsInto(*this, is, {}); }

Text Settings::inputPath(const Text& name) const { return inFolder(dataFolder, name); }

void Settings::setDataType(std::int8_t code) { dataType = code; }

}  // namespace fluviagen
