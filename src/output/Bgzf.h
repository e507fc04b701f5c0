// Blocked gzip (BGZF) and its tabix index, written into ordinary streams.
//
// A BGZF file is a series of gzip members of at most 64 KiB of text each, so
// that a reader can jump to any member; a place in the file is a "virtual
// offset", the member's start in the compressed file times 2^16 plus the
// place within its text. The tabix index lists, per contig, the virtual
// offsets of the records in bins of the position range, so that a reader
// finds a region without reading the file. Both are built here, with
// htslib's block compressor, rather than through htslib's file handles:
// those force every file to the disk on closing (fdatasync), which costs
// several milliseconds per file when a run writes hundreds, and report their
// failures less precisely than the program's own output files.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace fluviagen {

class BgzfStream {
public:
    explicit BgzfStream(std::ostream& out) : out_(out) {}
    void write(const char* text, std::size_t size);
    void write(const std::string& text) { write(text.data(), text.size()); }
    // The virtual offset of the next byte written.
    std::uint64_t tell() const { return compressed_ << 16 | text_.size(); }
    // Writes the last member and the empty member that marks the end.
    void finish();

private:
    void flush();

    std::ostream& out_;
    std::string text_;
    std::unique_ptr<char[]> block_;
    std::uint64_t compressed_ = 0;
};

// The tabix index of a VCF file whose records are single positions, added in
// file order.
class TabixIndex {
public:
    explicit TabixIndex(std::vector<std::string> contigs);
    // A record of contig c (0-based, in header order) at the 0-based position
    // pos, between the virtual offsets begin and end.
    void add(int contig, std::int64_t pos, std::uint64_t begin, std::uint64_t end);
    // The index file, BGZF-compressed.
    void write(std::ostream& out) const;

    // Positions a tabix index can address.
    static constexpr std::int64_t kMaxPosition = (std::int64_t{1} << 29) - 1;

private:
    struct Contig {
        std::map<std::uint32_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> bins;
        std::vector<std::uint64_t> windows;  // smallest offset of a record in each 16 kb window
        std::uint64_t first = 0, last = 0, records = 0;
    };
    std::vector<std::string> names_;
    std::vector<Contig> contigs_;
};

}  // namespace fluviagen
