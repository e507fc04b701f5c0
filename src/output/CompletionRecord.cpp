#include "output/CompletionRecord.h"

#include <algorithm>
#include <string>
#include <vector>

#include "output/OutputFiles.h"
#include "output/OutputRegistry.h"

namespace fluviagen {

namespace {

std::string relativeTo(const std::string& folder, const std::string& path) {
    return path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text.empty() ? "not finished" : text;
}

}  // namespace

std::string outputsLine(const std::string& folder, const std::vector<std::string>& written,
                        const std::string& listing) {
    if (written.empty()) return "No output files written.";
    if (!listing.empty() && std::find(written.begin(), written.end(), listing) != written.end())
        return "Outputs written to " + folder + " (" + std::to_string(written.size()) +
               (written.size() == 1 ? " file" : " files") + "; listed in " + relativeTo(folder, listing) + ")";
    std::string line = "Outputs written to " + folder + ":";
    for (std::size_t i = 0; i < written.size(); ++i) line += (i == 0 ? " " : ", ") + relativeTo(folder, written[i]);
    return line;
}

void writeCompletionRecord(const std::string& path, const std::string& folder, OutputRegistry& registry) {
    if (registry.written().empty()) return;
    // Copies: completing the record adds it to the files written.
    const std::vector<EntireSimulation> entire = registry.entireSimulations();
    std::vector<std::string> callFiles = registry.callFiles();
    std::erase(callFiles, path);
    OutputFile record;
    record.open(Text(path), false, registry);
    for (const EntireSimulation& e : entire) {
        if (e.files.empty() && e.outcome == EntireSimulation::Outcome::accepted) continue;
        if (e.outcome == EntireSimulation::Outcome::accepted)
            record << "# accepted entire simulation " << e.number << "\n";
        else
            record << "# failed entire simulation " << e.number << ": " << oneLine(e.reason) << "\n";
        for (const std::string& file : e.files) record << relativeTo(folder, file) << "\n";
    }
    if (!callFiles.empty()) {
        record << "# written by the call\n";
        for (const std::string& file : callFiles) record << relativeTo(folder, file) << "\n";
    }
    record.close();
}

}  // namespace fluviagen
