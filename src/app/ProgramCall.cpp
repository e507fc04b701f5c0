// One program call from its settings to its records: the lock of the output
// set, the watcher of signals, the entire simulations, the maps, and the run
// record and completion record that say what the call left behind.
//
// The records belong to the call that writes them. A call refused before it
// opens its first output leaves the folder as it was: the old completion
// record and run record still describe the old outputs together. The first
// output opened removes both (output/OutputFiles.h); from then on the call
// writes its own run record at its end, success or failure, and the
// completion record only on success. A signal leaves neither.
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Interruption.h"
#include "app/MapProgram.h"
#include "app/Progress.h"
#include "app/SimulationLoop.h"
#include "app/SeedPolicy.h"
#include "base/Exception.h"
#include "base/NumberText.h"
#include "mutation/DataType.h"
#include "output/CompletionRecord.h"
#include "output/OutputLock.h"
#include "random/Rng.h"
#include "settings/SettingKeys.h"

namespace fluviagen {

namespace {

bool holdsControlCharacter(const std::string& name) {
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    return false;
}

// A file name with a line end (or any control character) would break the
// records of the call, which list one file a line, and the console lines
// that name it: it is refused before anything is read or written.
void refuseControlCharacters(const std::string& name, const std::string& where) {
    if (!holdsControlCharacter(name)) return;
    throw SimulationError(
        shortened(where + ": the file name '" + printableWord(name, 200) +
                  "' holds a control character (shown as '?', such as a line end or a tab); file names "
                  "must not hold any!"),
        levelFatal);
}

// The file names of the settings: the populations, the drainage and the
// dynamic environment.
void refuseControlCharacters(const Settings& s) {
    for (const SettingValue& v : s.values) {
        const SettingKey* key = findSettingKey(v.line);
        if (key == nullptr || v.line < 1 || v.line > 5) continue;
        if (v.line == 5 && !s.dynamicEnvironment) continue;
        const std::string where = v.option.empty()
                                      ? "File '" + s.settingsPath.str() + "', line " + std::to_string(v.fileLine) +
                                            " (" + std::string(key->name) + ")"
                                      : "--set " + v.option.substr(0, v.option.find('='));
        refuseControlCharacters(v.value, where);
    }
}

// What ended a call that did not succeed, for the run record.
void noteFailure(RunRecord& record, const std::exception_ptr& failure) {
    if (record.exitStatus != 0) return;
    record.status = "failed";
    record.exitStatus = 1;
    try {
        std::rethrow_exception(failure);
    } catch (const SimulationError& e) {
        record.error = e.told();
    } catch (const std::exception& e) {
        record.error = std::string("no special message (") + e.what() + ")";
    } catch (...) {
        record.error = "no special message";
    }
}

// The files the call completed, without its completion record (a record
// does not list the record that lists it).
std::vector<std::string> outputsOf(const SimulationLoop& loop, const std::string& completionRecord) {
    std::vector<std::string> files = loop.outputs.written();
    std::erase(files, completionRecord);
    return files;
}

// Writes the run record as every output is written (".part" until complete).
void writeRunRecord(const std::string& path, SimulationLoop& loop, const WallClock& start,
                    const std::string& completionRecord) {
    loop.record.durationSeconds = start.seconds();
    // How each entire simulation ended and what it wrote, as the registry
    // kept it (paths relative to the output folder).
    const std::string& folder = loop.settings.outputFolder.str();
    for (EntireSimulationRecord& entire : loop.record.entireSimulations)
        for (const EntireSimulation& kept : loop.outputs.entireSimulations()) {
            if (kept.number != entire.e) continue;
            entire.accepted = kept.outcome == EntireSimulation::Outcome::accepted;
            entire.reason = kept.reason;
            entire.files.clear();
            for (const std::string& file : kept.files)
                entire.files.push_back(file.compare(0, folder.size(), folder) == 0 ? file.substr(folder.size()) : file);
        }
    const std::string text = runRecordText(loop.record, loop.settings, outputsOf(loop, completionRecord));
    OutputFile file;
    file.open(Text(path), false, loop.outputs);
    file << text;
    file.close();
}

// A record the call has written that must go again if the call does not
// reach its end (it is removed with the ".part" files), or that stays.
void provisional(OutputRegistry& outputs, const std::string& path, bool kept) {
    if (path.empty()) return;
    const std::lock_guard<std::mutex> lock(outputs.partsMutex());
    if (kept)
        outputs.dropPart(path);
    else
        outputs.addProvisional(path);
}

}  // namespace

void runProgram(const Text& programPath, const Text& settingsPath, std::int32_t numberOfSimulations) {
    runProgram(programPath, settingsPath, numberOfSimulations, CommandLine{}, {});
}

void runProgram(const Text& programPath, const Text& settingsPath, std::int32_t numberOfSimulations,
                const CommandLine& options, const std::vector<std::string>& words) {
    const WallClock start;
    refuseControlCharacters(settingsPath.str(), "The settings file");
    Rng rng;
    const long seed = programSeed(options.seed);
    rng.seedMain(seed);
    Settings settings;
    if (!options.outFolder.empty()) settings.outputFolder = Text(options.outFolder);
    for (const auto& [name, on] : options.groups) settings.outputGroups.force(name, on);
    settings.outputGroups.setDiploidVcf(options.diploidVcf);
    settings.placement = options.placement;
    InputLog inputs;
    settings.readSettings(programPath, settingsPath, numberOfSimulations, options.overrides, &inputs);
    refuseControlCharacters(settings);
    SimulationLoop loop(settings, rng);
    loop.record.commandLine = words;
    loop.record.seed = seed;
    loop.record.inputs = std::move(inputs);
    ProgressLine progress(options.progress || progressByDefault(), standardOutputIsTerminal());
    if (progress.shown()) loop.progress = &progress;
    const std::string folder = settings.outputFolder.str();
    std::string runRecord;
    std::string completionRecord;
    // For the whole call, the records and the maps included: a signal ends
    // it cleanly, and a write past a file size limit fails like any other.
    InterruptWatcher watcher(loop.outputs, folder);
    const bool mapsWanted = mapProgramWanted(settings);
    try {
        // Without a data type the call fails before its genetic phase, and
        // writes nothing.
        const std::unique_ptr<DataType> type = makeDataType(settings);
        std::unique_ptr<OutputLock> lock;
        std::string name;
        if (type) {
            name = outputSetName(settings, *type);
            lock = std::make_unique<OutputLock>(folder, name);
            completionRecord = folder + name + ".complete";
            runRecord = folder + name + "_run.json";
            loop.outputs.setCallRecords(completionRecord, runRecord);
        }
        loop.runSimulations();
        progress.clear();
        if (type && mapsWanted) {
            // The map program finds the tables of the call through the
            // completion record; it is written again once the maps are known.
            provisional(loop.outputs, completionRecord, false);
            writeCompletionRecord(completionRecord, folder, loop.outputs);
            loop.record.maps = drawMaps(settings, folder, name, loop.outputs, watcher);
        }
        if (!runRecord.empty()) {
            provisional(loop.outputs, runRecord, false);
            writeRunRecord(runRecord, loop, start, completionRecord);
        }
        if (!completionRecord.empty()) writeCompletionRecord(completionRecord, folder, loop.outputs);
        provisional(loop.outputs, completionRecord, true);
        provisional(loop.outputs, runRecord, true);
    } catch (...) {
        progress.clear();
        noteFailure(loop.record, std::current_exception());
        if (mapsWanted && loop.record.maps.status == "off") {
            loop.record.maps.status = "failed";
            loop.record.maps.reason = "the call failed before the maps were drawn";
        }
        // Provisional records and maps go with the ".part" files.
        { const auto released = loop.outputs.removeParts(); }
        // A failed call still tells what it did, once it has begun to write;
        // a record that cannot be written is not worth hiding the failure
        // that ended the call.
        if (!runRecord.empty() && loop.outputs.writingBegan()) {
            std::remove(completionRecord.c_str());
            try {
                writeRunRecord(runRecord, loop, start, completionRecord);
            } catch (...) {
            }
            { const auto released = loop.outputs.removeParts(); }
        }
        // The console stopped in the middle of a line.
        std::cout << std::flush;
        std::cerr << "\n" << outputsLine(folder, outputsOf(loop, completionRecord), runRecord) << std::endl;
        throw;
    }
    // After the console's last lines, which a terminal shows first.
    std::cout << std::flush;
    std::cerr << outputsLine(folder, loop.outputs.written(), completionRecord) << std::endl;
}

}  // namespace fluviagen
