#include "app/MapProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <system_error>
#include <vector>

#include "app/Interruption.h"
#include "output/OutputFiles.h"
#include "settings/Settings.h"

extern char** environ;

namespace fluviagen {

namespace {

// The figures of one table set ("<set>" or "<set>_<e>"), each as PNG and SVG.
constexpr const char* figureEndings[] = {"_map.png",   "_map.svg",  "_coalescence_map.png", "_coalescence_map.svg",
                                         "_curve.png", "_curve.svg"};
// The figures and the GeoPackage of the whole set.
constexpr const char* setEndings[] = {"_ages.png", "_ages.svg", ".gpkg"};
// A file being written, and the GeoPackage's own unfinished forms (GDAL
// takes the format from the ending, and SQLite adds its journal).
constexpr const char* unfinishedEndings[] = {".part.gpkg-journal", ".part.gpkg-wal", ".part.gpkg-shm", ".part.gpkg",
                                             ".part"};

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool oneOf(const std::string& text, const auto& list) {
    return std::any_of(std::begin(list), std::end(list), [&](const char* e) { return text == e; });
}

// The bases of the tables the call completed: "<set>" or "<set>_<e>", as
// the map program names the figures after them.
std::vector<std::string> tableBases(const std::string& folder, const std::string& set, const OutputRegistry& outputs) {
    const std::string ending = "_segments.csv";
    std::vector<std::string> bases;
    for (const std::string& path : outputs.written()) {
        if (path.compare(0, folder.size(), folder) != 0 || !endsWith(path, ending)) continue;
        const std::string base = path.substr(folder.size(), path.size() - folder.size() - ending.size());
        if (base.compare(0, set.size(), set) == 0) bases.push_back(base);
    }
    return bases;
}

// Every finished name the program may write for these tables, in the order
// it draws them.
std::vector<std::string> mapNames(const std::string& folder, const std::string& set,
                                  const std::vector<std::string>& bases) {
    std::vector<std::string> names;
    for (const std::string& base : bases)
        for (const char* ending : figureEndings) names.push_back(folder + base + ending);
    for (const char* ending : setEndings) names.push_back(folder + set + ending);
    return names;
}

void removeFile(const std::string& path) { std::remove(path.c_str()); }

std::string statusText(int status) {
    if (WIFEXITED(status)) return "the map program ended with exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "the map program was ended by signal " + std::to_string(WTERMSIG(status));
    return "the map program did not end normally";
}

}  // namespace

bool mapProgramWanted(const Settings& s) {
    return s.outputGroups.enabled(OutputGroup::maps, s.numDemographicSimulations) ||
           s.outputGroups.enabled(OutputGroup::gpkg, s.numDemographicSimulations);
}

bool riverTablesWanted(const Settings& s) {
    return s.outputGroups.enabled(OutputGroup::csv, s.numDemographicSimulations) || mapProgramWanted(s);
}

std::string mapProgramPath() {
    if (const char* given = std::getenv("FLUVIAGEN_MAP"); given != nullptr && *given != '\0') return given;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("fluviagen-map") : (self.parent_path() / "fluviagen-map").string();
}

bool isMapFileOf(const std::string& set, const std::string& fileName) {
    if (set.empty() || fileName.compare(0, set.size(), set) != 0) return false;
    std::string rest = fileName.substr(set.size());
    for (const char* ending : unfinishedEndings)
        if (endsWith(rest, ending)) {
            rest.resize(rest.size() - std::strlen(ending));
            break;
        }
    if (oneOf(rest, setEndings)) return true;
    // "_<e>" of a numbered entire simulation.
    if (rest.size() > 1 && rest[0] == '_' && std::isdigit(static_cast<unsigned char>(rest[1]))) {
        std::size_t i = 1;
        while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]))) ++i;
        rest.erase(0, i);
    }
    return oneOf(rest, figureEndings);
}

MapsRecord drawMaps(const Settings& s, const std::string& folder, const std::string& set, OutputRegistry& outputs,
                    InterruptWatcher& watcher) {
    MapsRecord maps;
    maps.status = "failed";
    const std::string program = mapProgramPath();
    const bool given = std::getenv("FLUVIAGEN_MAP") != nullptr && *std::getenv("FLUVIAGEN_MAP") != '\0';
    std::vector<std::string> args{program};
    if (!s.outputGroups.enabled(OutputGroup::maps, s.numDemographicSimulations)) args.push_back("--no-images");
    if (!s.outputGroups.enabled(OutputGroup::gpkg, s.numDemographicSimulations)) args.push_back("--no-gpkg");
    args.push_back(folder + set);
    std::string shown;
    for (const auto& a : args) shown += (shown.empty() ? "" : " ") + a;
    const auto failed = [&](const std::string& reason) {
        maps.reason = reason;
        std::cerr << "The maps of " << set << " are not drawn: " << reason
                  << ". Run the map program again with: " << shown << "\n";
        return maps;
    };
    if (!given && ::access(program.c_str(), X_OK) != 0) {
        std::cerr << "The maps and the GeoPackage are drawn by fluviagen-map, which is not installed beside "
                     "this program; build it (target fluviagen-map) and run: "
                  << shown << "\n";
        maps.reason = "fluviagen-map is not installed beside fluviagen";
        return maps;
    }

    // The maps an earlier call drew of this set describe other outputs.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!isMapFileOf(set, name) || entry.is_directory(error)) continue;
        if (std::remove(entry.path().c_str()) != 0 && errno != ENOENT)
            return failed("the earlier map '" + entry.path().string() + "' cannot be removed (" + std::strerror(errno) +
                          ")");
    }

    // Whatever the program writes goes again when the call is interrupted.
    const std::vector<std::string> names = mapNames(folder, set, tableBases(folder, set, outputs));
    std::vector<std::string> every;
    for (const std::string& name : names) {
        every.push_back(name);
        for (const char* ending : unfinishedEndings) every.push_back(name + ending);
    }
    {
        const std::lock_guard<std::mutex> lock(outputs.partsMutex());
        for (const std::string& path : every) outputs.addProvisional(path);
    }
    const auto release = [&](bool removeAll) {
        const std::lock_guard<std::mutex> lock(outputs.partsMutex());
        for (const std::string& path : every) {
            outputs.dropPart(path);
            if (removeAll || std::find(names.begin(), names.end(), path) == names.end()) removeFile(path);
        }
    };

    int spawnError = 0;
    const int status = watcher.runChild([&]() -> pid_t {
        // Standard output carries this program's own lines only; the child
        // gets the default signal dispositions and an empty mask (this
        // thread blocks the signals the watcher takes, and ignores SIGPIPE
        // and SIGXFSZ), and a process group of its own: a Ctrl-C on the
        // terminal reaches it once, passed on by the watcher after its
        // parent's clean-up is under way.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) sigaddset(&defaults, sig);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const bool searched = program.find('/') == std::string::npos;
        spawnError = searched ? posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
                              : posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        return spawnError == 0 ? pid : -1;
    });
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        release(true);
        // glibc's posix_spawn reports a program that cannot be run as the
        // child's exit status 127.
        if (status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 127 && ::access(program.c_str(), X_OK) != 0))
            return failed("the map program '" + program + "' cannot be run (" +
                          std::strerror(spawnError != 0 ? spawnError : ENOENT) + ")");
        return failed(statusText(status));
    }
    release(false);
    maps.status = "drawn";
    for (const std::string& name : names)
        if (std::filesystem::is_regular_file(name, error)) {
            outputs.completed(Text(name));
            maps.files.push_back(name.substr(folder.size()));
        }
    return maps;
}

}  // namespace fluviagen
