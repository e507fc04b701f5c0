// Helpers shared by the tests: temporary folders, small files, a valid
// settings file whose lines can be replaced one by one, and running the real
// program as a process.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder below the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder with a final '/', as the program's dataFolder holds it.
    std::string folder() const { return path_.string() + "/"; }
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

// The 41 lines of a valid settings file (line 1 is index 0), each with a
// comment. replace() swaps whole lines by their 1-based number.
std::vector<std::string> defaultSettingsLines();
std::string settingsText(const std::map<int, std::string>& replace = {});

// The small DNA case of the end-to-end tests (two entire simulations) copied
// into temp, with settings lines (1-based) replaced by the values given;
// returns the settings path.
std::string dnaCase(const TempFolder& temp, const std::map<int, std::string>& values = {},
                    const std::string& settingsName = "settings.txt");

// Where the standard error of a program run goes: into output together with
// the standard output (as a user sees the console), or apart into errors.
enum class StandardError { Merged, Apart };

struct ProcessResult {
    int status = -1;
    std::string output;
    std::string errors;  // only with StandardError::Apart
};
// Runs the fluviagen program with the arguments (quoted for the shell; after
// "--without maps --without gpkg", which --with overrides) and
// the given standard input; the environment variable FLUVIAGEN_SEED is set
// when seed is not empty. With a positive timeoutSeconds the program is
// stopped after that time and the status is 124 (the timeout tool's).
// A program ended by a signal gets the status 128 + the signal number.
ProcessResult runProgram(const std::vector<std::string>& arguments, const std::string& input = "",
                         const std::string& seed = "", const std::string& workingFolder = "", int timeoutSeconds = 0,
                         StandardError standardError = StandardError::Merged);

}  // namespace testing_support
