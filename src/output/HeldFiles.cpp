#include "output/HeldFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/Exception.h"
#include "common/NewFile.h"

namespace fluviagen {

HeldFiles::~HeldFiles() { abandon(); }

std::string HeldFiles::hold(const Text& path, OutputRegistry& registry,
                            const std::function<int(const std::string&)>& create) {
    registry_ = &registry;
    if (path.empty()) {
        // The folder could not be made (the reason has been printed).
        registry.warnOnce(path);
        throw SimulationError(Text("An output file cannot be written: its folder cannot be created!"), levelFatal);
    }
    const std::string part = path.str() + ".part";
    int error = 0;
    {
        // Listed before it exists, so that an interrupted call either removes
        // it or finds it not yet created.
        const std::lock_guard<std::mutex> lock(registry.partsMutex());
        registry.addPart(part);
        error = create(part);
        if (error != 0) {
            std::remove(part.c_str());
            registry.dropPart(part);
        } else {
            files_.push_back({part, path});
        }
    }
    if (error != 0) {
        registry.warnOnce(path);
        abandon();
        throw SimulationError(
            shortened("Cannot open the output file '" + path.str() + "': " + std::strerror(error) + "!"), levelFatal);
    }
    return part;
}

void HeldFiles::complete() {
    if (files_.empty()) return;
    std::size_t done = 0;
    int error = 0;
    {
        const std::lock_guard<std::mutex> lock(registry_->partsMutex());
        for (; done < files_.size(); ++done) {
            error = common::moveIntoPlace(files_[done].part, files_[done].path.str());
            if (error != 0) break;
            registry_->dropPart(files_[done].part);
        }
    }
    for (std::size_t i = 0; i < done; ++i) registry_->completed(files_[i].path);
    if (error == 0) {
        files_.clear();
        return;
    }
    const Text failed = files_[done].path;
    files_.erase(files_.begin(), files_.begin() + static_cast<std::ptrdiff_t>(done));
    abandon();
    throw SimulationError(
        shortened("Cannot complete the output file '" + failed.str() + "': " + std::strerror(error) + "!"), levelFatal);
}

void HeldFiles::abandon() {
    if (files_.empty()) return;
    const std::lock_guard<std::mutex> lock(registry_->partsMutex());
    for (const File& file : files_) {
        std::remove(file.part.c_str());
        registry_->dropPart(file.part);
    }
    files_.clear();
}

void HeldFiles::fail(const std::string& partPath, int error) {
    std::string path = partPath;
    for (const File& file : files_)
        if (file.part == partPath) path = file.path.str();
    abandon();
    // A library that reports no reason leaves errno as it was: an I/O error
    // is all that can be said.
    throw SimulationError(
        shortened("Cannot write the output file '" + path + "': " + std::strerror(error != 0 ? error : EIO) + "!"),
        levelFatal);
}

HeldTextFile::HeldTextFile(HeldFiles& files, const Text& path, OutputRegistry& registry)
    : files_(files),
      part_(files.hold(path, registry,
                       [this](const std::string& part) {
                           if (!buffer_.open(part)) return buffer_.error();
                           // Renamed or removed with the other held files.
                           buffer_.file().release();
                           return 0;
                       })),
      stream_(&buffer_) {}

void HeldTextFile::close() {
    if (!buffer_.close()) files_.fail(part_, buffer_.error());
}

}  // namespace fluviagen
