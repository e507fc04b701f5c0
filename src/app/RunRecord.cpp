#include "app/RunRecord.h"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "common/Version.h"
#include "settings/SettingKeys.h"

namespace fluviagen {

namespace {

using nlohmann::ordered_json;

ordered_json inputFile(const std::string& role, const std::string& path, const InputLog& log) {
    ordered_json entry{{"role", role}, {"path", path}};
    const InputRead* read = log.find(role);
    entry["size"] = read ? ordered_json(read->size) : ordered_json(nullptr);
    entry["sha256"] = read && !read->sha256.empty() ? ordered_json(read->sha256) : ordered_json(nullptr);
    return entry;
}

// Rounded to the millisecond: finer digits say nothing about a run's time.
double milliseconds(double seconds) { return static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000; }

}  // namespace

std::string runRecordText(const RunRecord& run, const Settings& s, const std::vector<std::string>& outputs) {
    ordered_json record;
    record["program"] = "fluviagen";
    record["version"] = common::programVersion();
    record["command_line"] = run.commandLine;
    record["seed"] = run.seed;
    record["status"] = run.status;
    record["exit_status"] = run.exitStatus;
    if (!run.error.empty()) record["error"] = run.error;
    record["settings_file"] = s.settingsPath.str();
    record["output_folder"] = s.outputFolder.str();

    ordered_json settings = ordered_json::array();
    for (const SettingValue& v : s.values) {
        const SettingKey* key = findSettingKey(v.line);
        ordered_json entry{
            {"line", v.line}, {"name", key ? std::string(key->name) : std::string()}, {"value", v.value}};
        if (v.option.empty()) {
            entry["source"] = "file";
            entry["file_line"] = v.fileLine;
        } else if (v.option == "count parameter") {
            entry["source"] = "count parameter";
        } else {
            entry["source"] = "--set";
            entry["option"] = "--set " + v.option;
        }
        settings.push_back(std::move(entry));
    }
    record["settings"] = std::move(settings);

    ordered_json groups = ordered_json::object();
    for (const auto& [name, on] : s.outputGroups.forced()) groups[name] = on;
    record["output_groups"] = std::move(groups);
    record["diploid_vcf"] = s.outputGroups.diploidVcf();
    record["placement"] = std::string(placementRuleName(s.placement));

    ordered_json inputs = ordered_json::array();
    const InputLog& log = run.inputs;
    inputs.push_back(inputFile("settings", s.settingsPath.str(), log));
    if (!s.values.empty()) {
        inputs.push_back(inputFile("sources", s.inputPath(s.popSourceFile).str(), log));
        inputs.push_back(inputFile("samples", s.inputPath(s.sampleFile).str(), log));
        inputs.push_back(inputFile("nodes", s.inputPath(s.nodeFile).str(), log));
        inputs.push_back(inputFile("segments", s.inputPath(s.segmentFile).str(), log));
        if (s.dynamicEnvironment)
            inputs.push_back(inputFile("dynamic", s.inputPath(s.dynamicEnvironmentFile).str(), log));
    }
    // The map files the dynamic environment names, in the order read.
    for (const InputRead& read : log.files())
        if (read.role == "map")
            inputs.push_back({{"role", read.role}, {"path", read.path}, {"size", read.size}, {"sha256", read.sha256}});
    record["inputs"] = std::move(inputs);

    ordered_json files = ordered_json::array();
    for (const std::string& path : outputs) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        const std::string folder = s.outputFolder.str();
        const std::string relative = path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
        files.push_back({{"path", relative}, {"size", error ? ordered_json(nullptr) : ordered_json(size)}});
    }
    record["outputs"] = std::move(files);

    ordered_json entire = ordered_json::array();
    for (const EntireSimulationRecord& e : run.entireSimulations) {
        ordered_json entry{{"e", e.e}, {"accepted", e.accepted}};
        if (!e.accepted) entry["reason"] = e.reason;
        entry["files"] = e.files;
        entry["demography_seconds"] = milliseconds(e.demographySeconds);
        entry["genetic_seconds"] = milliseconds(e.geneticSeconds);
        entire.push_back(std::move(entry));
    }
    record["entire_simulations"] = std::move(entire);
    ordered_json maps{{"status", run.maps.status}};
    if (run.maps.status == "failed") maps["reason"] = run.maps.reason;
    if (run.maps.status == "drawn") maps["files"] = run.maps.files;
    record["maps"] = std::move(maps);
    record["setup_seconds"] = milliseconds(run.setupSeconds);
    record["duration_seconds"] = milliseconds(run.durationSeconds);
    // Invalid UTF-8 in a path or message is replaced, not thrown on.
    return record.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace fluviagen
