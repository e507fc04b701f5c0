#include "output/OutputFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "base/Exception.h"

void OutputRegistry::warnOnce(const my_string& path) {
    if (warned_.insert(path.str()).second)
        std::cout << "\n\t\tWARNING: the output file '" << path << "' cannot be opened; its results are lost!";
}

void OutputRegistry::completed(const my_string& path) {
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
        const auto want = std::min<long long>(static_cast<long long>(chunk.size()), size - static_cast<long long>(text.size()));
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
        file.open(my_string(path), false, *this);
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
        for (const auto& [what, record] : {std::pair{"completion record", &completionRecord_},
                                           std::pair{"run record", &runRecord_}}) {
            if (record->empty() || std::remove(record->c_str()) == 0 || errno == ENOENT) continue;
            const int reason = errno;
            throw TException(shortened(std::string("Cannot remove the ") + what + " '" + *record +
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

namespace {

std::string relativeTo(const std::string& folder, const std::string& path) {
    return path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
}

}  // namespace

std::string outputsLine(const std::string& folder, const std::vector<std::string>& written, const std::string& listing) {
    if (written.empty()) return "No output files written.";
    if (!listing.empty() && std::find(written.begin(), written.end(), listing) != written.end())
        return "Outputs written to " + folder + " (" + std::to_string(written.size()) +
               (written.size() == 1 ? " file" : " files") + "; listed in " + relativeTo(folder, listing) + ")";
    std::string line = "Outputs written to " + folder + ":";
    for (std::size_t i = 0; i < written.size(); ++i) line += (i == 0 ? " " : ", ") + relativeTo(folder, written[i]);
    return line;
}

namespace {

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text.empty() ? "not finished" : text;
}

}  // namespace

void writeCompletionRecord(const std::string& path, const std::string& folder, OutputRegistry& registry) {
    if (registry.written().empty()) return;
    // Copies: completing the record adds it to the files written.
    const std::vector<EntireSimulation> entire = registry.entireSimulations();
    std::vector<std::string> callFiles = registry.callFiles();
    std::erase(callFiles, path);
    OutputFile record;
    record.open(my_string(path), false, registry);
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

namespace {

constexpr std::size_t bufferSize = 1 << 16;

}  // namespace

OutputBuffer::OutputBuffer() : buffer_(bufferSize) {}

bool OutputBuffer::open(const std::string& path) {
    close();
    if (file_.create(path, common::AtPath::replace) != 0) return false;
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return true;
}

bool OutputBuffer::writeBuffered() {
    const std::size_t size = static_cast<std::size_t>(pptr() - pbase());
    // After a failure the rest is dropped (by the file): the first reason is
    // the one to report.
    if (size > 0) file_.write(pbase(), size);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return file_.error() == 0;
}

OutputBuffer::int_type OutputBuffer::overflow(int_type c) {
    if (!isOpen() || !writeBuffered()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

int OutputBuffer::sync() { return isOpen() && writeBuffered() ? 0 : -1; }

bool OutputBuffer::close() {
    if (!isOpen()) return file_.error() == 0;
    writeBuffered();
    file_.close();
    setp(nullptr, nullptr);
    return file_.error() == 0;
}

OutputFile::OutputFile() : stream_(&buffer_) {}

OutputFile::~OutputFile() { abandon(); }

void OutputFile::open(const my_string& path, bool append, OutputRegistry& registry) {
    abandon();
    registry_ = &registry;
    path_ = path;
    stream_.clear();
    if (path.empty()) {
        // The folder could not be made (the reason has been printed).
        registry.warnOnce(path);
        throw TException(my_string("An output file cannot be written: its folder cannot be created!"), levelFatal);
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
    std::vector<char> chunk(bufferSize);
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
    throw TException(shortened(std::string("Cannot ") + what + " the output file '" + path_.str() +
                               "': " + std::strerror(error) + "!"),
                     levelFatal);
}
