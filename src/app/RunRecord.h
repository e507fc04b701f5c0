// The record of a program call, "<output set>_run.json": what a study needs
// to know which run made which files (program version, command line, seed,
// every setting and where it came from, the input files with their SHA-256,
// the outputs, each entire simulation accepted or failed and why, the time of
// each phase, the exit status). Tools read it to collect replicates; none of
// the other outputs needs it to be read.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"

// Wall-clock seconds since it was made: what a user waits, where the
// console's durations count processor time.
struct WallClock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
};

struct EntireSimulationRecord {
    int e = 0;                       // 1-based, as in the project file names
    bool accepted = false;
    std::string reason;              // why it failed
    std::vector<std::string> files;  // completed during it, relative to the output folder
    double demographySeconds = 0;
    double geneticSeconds = 0;
};

struct RunRecord {
    std::vector<std::string> commandLine;
    long seed = 0;
    std::string status = "success";  // success | failed
    int exitStatus = 0;
    std::string error;
    double setupSeconds = 0;         // reading the drainage and building the history table
    double durationSeconds = 0;
    std::vector<EntireSimulationRecord> entireSimulations;
};

// The SHA-256 of a file as 64 lower-case hex digits; none when it cannot be
// read, is not a regular file or is larger than 4 GiB.
std::optional<std::string> fileSha256(const std::string& path);

// The JSON text of the record, with the settings and input files of the call
// and the outputs written (paths relative to the output folder).
std::string runRecordText(const RunRecord& run, const TSettings& settings, const std::vector<std::string>& outputs);
