#include "common/RemovalList.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace common {

void RemovalList::removeAll() noexcept {
    namespace fs = std::filesystem;
    for (const auto& [path, kind] : paths_) {
        if (kind == Kind::file) {
            std::remove(path.c_str());
            continue;
        }
        // The interrupted thread may still create a file in a staging folder
        // (a database's journal) between the removal of its contents and of
        // the folder: a few more attempts catch it.
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::error_code error;
            fs::remove_all(path, error);
            if (!fs::exists(fs::symlink_status(path, error))) break;
            const timespec brief{0, 1'000'000};
            nanosleep(&brief, nullptr);
        }
    }
    paths_.clear();
}

}  // namespace common
