// The record of a program call, "<output set>_run.json": what a study needs
// to know which run made which files (program version, command line, seed,
// every setting and where it came from, the input files with the SHA-256 of
// the bytes read, the outputs, each entire simulation accepted or failed and
// why, the maps, the time of each phase, the exit status). Tools read it to collect replicates; none of
// the other outputs needs it to be read.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/InputFile.h"
#include "settings/Settings.h"

namespace fluviagen {

// Wall-clock seconds since it was made: what a user waits, where the
// console's durations count processor time.
struct WallClock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
};

struct EntireSimulationRecord {
    int e = 0;  // 1-based, as in the project file names
    bool accepted = false;
    std::string reason;              // why it failed
    std::vector<std::string> files;  // completed during it, relative to the output folder
    double demographySeconds = 0;
    double geneticSeconds = 0;
};

// What became of the maps of the call: "drawn" (with the files, relative to
// the output folder), "failed" (with the reason) or "off" (not asked for).
struct MapsRecord {
    std::string status = "off";
    std::string reason;
    std::vector<std::string> files;
};

struct RunRecord {
    std::vector<std::string> commandLine;
    long seed = 0;
    std::string status = "success";  // success | failed
    int exitStatus = 0;
    std::string error;
    double setupSeconds = 0;  // reading the drainage and building the history table
    double durationSeconds = 0;
    std::vector<EntireSimulationRecord> entireSimulations;
    InputLog inputs;  // every input file as read
    MapsRecord maps;
};

// The JSON text of the record, with the settings and input files of the call
// and the outputs written (paths relative to the output folder). An input
// the call has not read is listed with size and sha256 null.
std::string runRecordText(const RunRecord& run, const Settings& settings, const std::vector<std::string>& outputs);

}  // namespace fluviagen
