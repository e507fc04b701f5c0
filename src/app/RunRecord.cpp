#include "app/RunRecord.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include "app/CommandLine.h"
#include "settings/SettingKeys.h"

namespace {

constexpr std::uintmax_t maxHashedBytes = std::uintmax_t{1} << 32;  // 4 GiB

}  // namespace

std::optional<std::string> fileSha256(const std::string& path) {
    // Only regular files of a size an input can have: a device, a pipe or a
    // sparse file of terabytes (which the readers refuse at once) would
    // keep the record from being written.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) > maxHashedBytes ||
        error)
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    std::array<char, 1 << 16> buffer{};
    while (file) {
        file.read(buffer.data(), buffer.size());
        if (file.gcount() > 0 && EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(file.gcount())) != 1)
            return std::nullopt;
    }
    if (file.bad()) return std::nullopt;
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return std::nullopt;
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

namespace {

using nlohmann::ordered_json;

ordered_json inputFile(const char* role, const std::string& path) {
    ordered_json entry{{"role", role}, {"path", path}};
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    entry["size"] = error ? ordered_json(nullptr) : ordered_json(size);
    const auto sha = fileSha256(path);
    entry["sha256"] = sha ? ordered_json(*sha) : ordered_json(nullptr);
    return entry;
}

// Rounded to the millisecond: finer digits say nothing about a run's time.
double milliseconds(double seconds) { return static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000; }

}  // namespace

std::string runRecordText(const RunRecord& run, const TSettings& s, const std::vector<std::string>& outputs) {
    ordered_json record;
    record["program"] = "fluviagen";
    record["version"] = programVersion();
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
        ordered_json entry{{"line", v.line}, {"name", key ? std::string(key->name) : std::string()}, {"value", v.value}};
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
    inputs.push_back(inputFile("settings", s.settingsPath.str()));
    if (!s.values.empty()) {
        inputs.push_back(inputFile("sources", s.inputPath(s.popSourceFile).str()));
        inputs.push_back(inputFile("samples", s.inputPath(s.sampleFile).str()));
        inputs.push_back(inputFile("nodes", s.inputPath(s.nodeFile).str()));
        inputs.push_back(inputFile("segments", s.inputPath(s.segmentFile).str()));
        if (s.dynamicEnvironment) inputs.push_back(inputFile("dynamic", s.inputPath(s.dynamicEnvironmentFile).str()));
    }
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
    record["setup_seconds"] = milliseconds(run.setupSeconds);
    record["duration_seconds"] = milliseconds(run.durationSeconds);
    // Invalid UTF-8 in a path or message is replaced, not thrown on.
    return record.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}
