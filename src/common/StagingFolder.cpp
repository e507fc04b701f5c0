#include "common/StagingFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/SignalCleanup.h"

namespace common {

namespace {

namespace fs = std::filesystem;

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

OutputError failure(const std::string& path, const std::string& what, int error) {
    return OutputError("'" + path + "' cannot be written: " + what + (error != 0 ? std::strerror(error) : ""));
}

}  // namespace

bool isPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

StagingFolder::StagingFolder(const std::string& outputFolder, const std::string& tag, SignalCleanup* cleanup)
    : outputFolder_(outputFolder), cleanup_(cleanup) {
    std::string pattern = joined(outputFolder_, "." + tag + "-XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const auto make = [&] {
        if (::mkdtemp(buffer.data()) == nullptr)
            throw failure(outputFolder_.empty() ? "." : outputFolder_,
                          "no private folder for the unfinished files can be made in it: ", errno);
        return std::string(buffer.data());
    };
    folder_ = cleanup_ != nullptr ? cleanup_->trackMade(make) : make();
}

StagingFolder::~StagingFolder() { abandon(); }

std::string StagingFolder::stagedPath(const std::string& name) {
    if (folder_.empty()) throw OutputError("'" + joined(outputFolder_, name) + "': the staging folder is closed");
    if (!isPlainFileName(name))
        throw OutputError("'" + name + "' is not a plain file name: no output is written under it");
    if (std::find(names_.begin(), names_.end(), name) != names_.end())
        throw OutputError("'" + joined(outputFolder_, name) + "' would be written twice by one call");
    names_.push_back(name);
    return joined(folder_, name);
}

int StagingFolder::create(const std::string& name) {
    const std::string path = stagedPath(name);
    const int fd = openNew(path, AtPath::refuse);
    if (fd < 0) throw failure(joined(outputFolder_, name), "", errno);
    return fd;
}

std::vector<std::string> StagingFolder::commit() {
    if (folder_.empty()) throw OutputError("'" + outputFolder_ + "': the staging folder is closed");
    std::vector<std::string> finals;
    // Everything that can be checked is checked before the first rename.
    for (const std::string& name : names_) {
        const std::string staged = joined(folder_, name);
        const std::string final = joined(outputFolder_, name);
        struct stat status {};
        if (::lstat(staged.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            throw failure(final, "the finished file is missing", 0);
        if (::lstat(final.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            throw failure(final, "a folder has its name", 0);
        finals.push_back(final);
    }
    {
        // A signal waits for the renames: the files arrive together.
        std::unique_lock<std::mutex> lock;
        if (cleanup_ != nullptr) lock = cleanup_->renaming();
        for (std::size_t i = 0; i < names_.size(); ++i) {
            const int error = moveIntoPlace(joined(folder_, names_[i]), finals[i]);
            if (error == 0) continue;
            for (std::size_t k = 0; k < i; ++k) std::remove(finals[k].c_str());
            throw failure(finals[i], "", error);
        }
    }
    abandon();
    return finals;
}

void StagingFolder::abandon() noexcept {
    if (folder_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
    if (cleanup_ != nullptr) cleanup_->untrack(folder_);
    folder_.clear();
}

}  // namespace common
