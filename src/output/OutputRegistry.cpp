#include "output/OutputRegistry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <utility>

#include "base/Exception.h"
#include "output/OutputFiles.h"

namespace fluviagen {

void OutputRegistry::warnOnce(const Text& path) {
    if (warned_.insert(path.str()).second)
        std::cout << "\n\t\tWARNING: the output file '" << path << "' cannot be opened; its results are lost!";
}

void OutputRegistry::completed(const Text& path) {
    if (seen_.insert(path.str()).second) written_.push_back(path.str());
    std::vector<std::string>& files = running() != nullptr ? running()->files : callFiles_;
    if (std::find(files.begin(), files.end(), path.str()) == files.end()) files.push_back(path.str());
}

EntireSimulation* OutputRegistry::running() {
    if (entire_.empty() || entire_.back().outcome != EntireSimulation::Outcome::running) return nullptr;
    return &entire_.back();
}

void OutputRegistry::beginEntire(int e) {
    // One that neither was accepted nor failed (the loop left it by an
    // exception) counts as failed.
    if (running() != nullptr) failEntire("not finished");
    EntireSimulation simulation;
    simulation.number = e;
    entire_.push_back(std::move(simulation));
}

void OutputRegistry::acceptEntire() {
    if (EntireSimulation* e = running()) e->outcome = EntireSimulation::Outcome::accepted;
}

void OutputRegistry::failEntire(const std::string& reason) {
    if (EntireSimulation* e = running()) {
        e->outcome = EntireSimulation::Outcome::failed;
        e->reason = e->cause.empty() ? reason : e->cause;
    }
}

void OutputRegistry::noteCause(const std::string& cause) {
    if (EntireSimulation* e = running(); e != nullptr && e->cause.empty()) e->cause = cause;
}

void OutputRegistry::listOpened(const std::string& path) {
    if (lists_.count(path) != 0) return;
    struct stat info {};
    lists_[path].oldSize = ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

void OutputRegistry::listExtended(const std::string& path, const std::vector<std::string>& lines) {
    if (running() == nullptr || lines.empty()) return;
    auto& held = lists_[path].lines[running()->number];
    held.insert(held.end(), lines.begin(), lines.end());
}

namespace {

// The first size bytes of the file at path (fewer when it is shorter).
std::string filePrefix(const std::string& path, long long size) {
    std::string text;
    if (size <= 0) return text;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(1 << 16);
    while (in && static_cast<long long>(text.size()) < size) {
        const auto want =
            std::min<long long>(static_cast<long long>(chunk.size()), size - static_cast<long long>(text.size()));
        in.read(chunk.data(), want);
        text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

}  // namespace

void OutputRegistry::completeLists() {
    for (const auto& [path, list] : lists_) {
        bool failedLines = false;
        for (const EntireSimulation& e : entire_)
            failedLines |= e.outcome == EntireSimulation::Outcome::failed && list.lines.count(e.number) != 0;
        if (!failedLines) continue;
        // Read before the ".part" exists: the list under its own name is the
        // one to copy.
        const std::string old = filePrefix(path, list.oldSize);
        OutputFile file;
        file.open(Text(path), false, *this);
        file.stream() << old;
        for (const EntireSimulation& e : entire_) {
            const auto lines = list.lines.find(e.number);
            if (lines == list.lines.end() || e.outcome == EntireSimulation::Outcome::running) continue;
            for (const std::string& line : lines->second) file << line << "\n";
        }
        file.close();
    }
}

void OutputRegistry::addPart(const std::string& partPath) {
    if (!recordRemoved_) {
        for (const auto& [what, record] :
             {std::pair{"completion record", &completionRecord_}, std::pair{"run record", &runRecord_}}) {
            if (record->empty() || std::remove(record->c_str()) == 0 || errno == ENOENT) continue;
            const int reason = errno;
            throw SimulationError(shortened(std::string("Cannot remove the ") + what + " '" + *record +
                                            "' of the outputs about to be replaced: " + std::strerror(reason) + "!"),
                                  levelFatal);
        }
        recordRemoved_ = true;
    }
    unfinished_.add(partPath);
}

void OutputRegistry::dropPart(const std::string& partPath) { unfinished_.drop(partPath); }

std::unique_lock<std::mutex> OutputRegistry::removeParts() {
    std::unique_lock<std::mutex> lock(unfinished_.mutex());
    unfinished_.removeAll();
    return lock;
}

}  // namespace fluviagen
