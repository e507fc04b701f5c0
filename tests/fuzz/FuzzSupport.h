// Shared pieces of the reader fuzz harnesses: a scratch folder that holds the
// input under a file name (the readers open files by path), a console that
// swallows everything, and a small valid drainage to read the input against.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>

#include "base/Exception.h"
#include "base/Utilities.h"
#include "drainage/Drainage.h"
#include "drainage/readers/DrainageFiles.h"

using namespace fluviagen;

namespace fuzz_support {

// Output sink: the readers report every record on the console, and what is
// wrong with a bad value on standard error, which would dominate the time of
// a run. libFuzzer and the sanitizers write to the file descriptor, not to
// std::cerr, so their reports still come through.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The buffer is never destroyed: the standard streams still point to it when
// they are flushed at exit, after every static object is gone.
inline void silenceConsole() {
    static NullBuffer* const sink = new NullBuffer;
    std::cout.rdbuf(sink);
    std::cerr.rdbuf(sink);
}

// One folder per fuzzing process (the working folder of libFuzzer may be
// shared by several jobs).
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string pattern = "/tmp/fluviagen_fuzz_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern + "/";
    }();
    return folder;
}

inline std::string writeFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratchFolder() + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

inline std::string writeFile(const std::string& name, const std::string& text) {
    return writeFile(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// A small valid drainage: a Y of three segments with a side branch, so that
// every neighbour kind occurs.
inline const char* nodeFileText() {
    return "Title: file with all nodes (WGS84)\nDate: today\nNodes: 5\nNodeID\tLon\tLat\n"
           "1\t20.70\t45.11\n2\t20.68\t45.10\n3\t20.67\t45.08\n4\t20.66\t45.09\n5\t20.65\t45.07\n";
}

inline const char* segmentFileText() {
    return "Title: file with all segments\nDate: today\nSegments: 4\nSegID\tFNode\tTNode\tLength\tLon\tLat\t\n"
           "1\t2\t1\t1669.9\t20.69\t45.105\n2\t3\t2\t2562.0\t20.675\t45.09\n3\t4\t2\t1500.0\t20.67\t45.095\n"
           "4\t5\t3\t1200.0\t20.66\t45.075\n";
}

// The small drainage, written to the scratch folder and read.
inline std::unique_ptr<Drainage> readSmallDrainage() {
    return readDrainage(writeFile("nodes.txt", nodeFileText()), writeFile("segments.txt", segmentFileText()));
}

}  // namespace fuzz_support
