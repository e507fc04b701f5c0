#include "app/MapProgram.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "settings/Settings.h"

extern char** environ;

bool mapProgramWanted(const TSettings& s) {
    const bool one = s.numDemographicSimulations == 1;
    return s.outputGroups.enabled("maps", one) || s.outputGroups.enabled("gpkg", one);
}

bool riverTablesWanted(const TSettings& s) { return s.outputGroups.enabled("csv", true) || mapProgramWanted(s); }

int runMapProgram(const TSettings& s, const std::string& outputSet) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string program = error ? std::string("fluviagen-map") : (self.parent_path() / "fluviagen-map").string();
    std::vector<std::string> args{program};
    if (!s.outputGroups.enabled("maps", s.numDemographicSimulations == 1)) args.push_back("--no-images");
    if (!s.outputGroups.enabled("gpkg", s.numDemographicSimulations == 1)) args.push_back("--no-gpkg");
    args.push_back(outputSet);
    std::string shown;
    for (const auto& a : args) shown += (shown.empty() ? "" : " ") + a;
    if (error || ::access(program.c_str(), X_OK) != 0) {
        std::cerr << "The maps and the GeoPackage are drawn by fluviagen-map, which is not installed beside "
                     "this program; build it (target fluviagen-map) and run: "
                  << shown << "\n";
        return 127;
    }
    // Standard output carries this program's own lines only.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "WARNING: the map program did not complete; run it again with: " << shown << "\n";
        return failed != 0 ? 127 : (WIFEXITED(status) ? WEXITSTATUS(status) : 1);
    }
    return 0;
}
