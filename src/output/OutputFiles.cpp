#include "output/OutputFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "base/Exception.h"

namespace fluviagen {

namespace {

// The piece of an appended file's earlier content read at a time.
constexpr std::size_t chunkSize = 1 << 16;

}  // namespace

OutputFile::OutputFile() : stream_(&buffer_) {}

OutputFile::~OutputFile() { abandon(); }

void OutputFile::open(const Text& path, bool append, OutputRegistry& registry) {
    abandon();
    registry_ = &registry;
    path_ = path;
    stream_.clear();
    if (path.empty()) {
        // The folder could not be made (the reason has been printed).
        registry.warnOnce(path);
        throw SimulationError(Text("An output file cannot be written: its folder cannot be created!"), levelFatal);
    }
    partPath_ = path.str() + ".part";
    {
        // Created under the registry's lock, so that an interrupted call
        // either sees the ".part" file listed or finds it not yet created.
        const std::lock_guard<std::mutex> lock(registry.partsMutex());
        registry.addPart(partPath_);
        if (!buffer_.open(partPath_)) {
            const int error = buffer_.error();
            registry.dropPart(partPath_);
            partPath_.clear();
            registry.warnOnce(path);
            fail("open", error);
        }
    }
    if (!append) return;
    const int old = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (old < 0) {
        if (errno != ENOENT) fail("read", errno);
        return;
    }
    std::vector<char> chunk(chunkSize);
    for (;;) {
        const ssize_t n = ::read(old, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(old);
            fail("read", error);
        }
        if (n == 0) break;
        stream_.write(chunk.data(), n);
    }
    ::close(old);
}

std::ostream& OutputFile::stream() {
    if (buffer_.error() != 0) fail("write", buffer_.error());
    return stream_;
}

void OutputFile::close() {
    if (!isOpen()) return;
    if (!buffer_.close()) fail("write", buffer_.error());
    {
        const std::lock_guard<std::mutex> lock(registry_->partsMutex());
        if (const int error = buffer_.file().moveTo(path_.str()); error != 0) {
            registry_->dropPart(partPath_);
            partPath_.clear();
            fail("complete", error);
        }
        registry_->dropPart(partPath_);
    }
    partPath_.clear();
    registry_->completed(path_);
}

void OutputFile::abandon() {
    buffer_.close();
    if (partPath_.empty()) return;
    const std::lock_guard<std::mutex> lock(registry_->partsMutex());
    buffer_.file().remove();
    registry_->dropPart(partPath_);
    partPath_.clear();
}

void OutputFile::fail(const char* what, int error) {
    abandon();
    throw SimulationError(shortened(std::string("Cannot ") + what + " the output file '" + path_.str() +
                                    "': " + std::strerror(error) + "!"),
                          levelFatal);
}

}  // namespace fluviagen
