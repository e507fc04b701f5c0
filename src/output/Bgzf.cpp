#include "output/Bgzf.h"

#include <htslib/bgzf.h>

#include <algorithm>

#include "base/Exception.h"

namespace fluviagen {

namespace {

// The empty member every BGZF file ends with.
constexpr unsigned char kEndOfFile[28] = {0x1f, 0x8b, 0x08, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
                                          0x06, 0x00, 0x42, 0x43, 0x02, 0x00, 0x1b, 0x00, 0x03, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// The fastest level: a genetic simulation's records make a small file, and
// at the default level the compressor's set-up outweighs the compression.
constexpr int kLevel = 1;
// Tabix's finest bins and linear-index windows are 2^14 positions wide; the
// bins of that level are numbered from 4681.
constexpr int kShift = 14;
constexpr std::uint32_t kFirstLeafBin = 4681;
// The pseudo-bin that holds a contig's first and last offsets and its count.
constexpr std::uint32_t kMetaBin = 37450;
constexpr std::uint64_t kUnset = ~std::uint64_t{0};

void put32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i) & 0xff);
}
void put64(std::string& s, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) s += static_cast<char>(v >> (8 * i) & 0xff);
}

}  // namespace

void BgzfStream::write(const char* text, std::size_t size) {
    while (size > 0) {
        const std::size_t take = std::min(size, BGZF_BLOCK_SIZE - text_.size());
        text_.append(text, take);
        text += take;
        size -= take;
        if (text_.size() == BGZF_BLOCK_SIZE) flush();
    }
}

void BgzfStream::flush() {
    if (text_.empty()) return;
    if (!block_) block_ = std::make_unique_for_overwrite<char[]>(BGZF_MAX_BLOCK_SIZE);
    std::size_t length = BGZF_MAX_BLOCK_SIZE;
    if (bgzf_compress(block_.get(), &length, text_.data(), text_.size(), kLevel) != 0)
        throw SimulationError(Text("BGZF compression failed!"), levelFatal);
    out_.write(block_.get(), static_cast<std::streamsize>(length));
    compressed_ += length;
    text_.clear();
}

void BgzfStream::finish() {
    flush();
    out_.write(reinterpret_cast<const char*>(kEndOfFile), sizeof kEndOfFile);
    compressed_ += sizeof kEndOfFile;
}

TabixIndex::TabixIndex(std::vector<std::string> contigs) : names_(std::move(contigs)), contigs_(names_.size()) {}

void TabixIndex::add(int contig, std::int64_t pos, std::uint64_t begin, std::uint64_t end) {
    Contig& c = contigs_[static_cast<std::size_t>(contig)];
    auto& chunks = c.bins[kFirstLeafBin + static_cast<std::uint32_t>(pos >> kShift)];
    // Consecutive records of one bin make one chunk.
    if (!chunks.empty() && chunks.back().second == begin)
        chunks.back().second = end;
    else
        chunks.emplace_back(begin, end);
    const auto window = static_cast<std::size_t>(pos >> kShift);
    if (c.windows.size() <= window) c.windows.resize(window + 1, kUnset);
    if (c.windows[window] == kUnset) c.windows[window] = begin;
    if (c.records == 0) c.first = begin;
    c.last = end;
    ++c.records;
}

void TabixIndex::write(std::ostream& out) const {
    std::string s = "TBI\1";
    put32(s, static_cast<std::uint32_t>(names_.size()));
    put32(s, 2);    // VCF
    put32(s, 1);    // sequence column
    put32(s, 2);    // position column
    put32(s, 0);    // no end column
    put32(s, '#');  // header lines
    put32(s, 0);    // lines skipped
    std::string names;
    for (const std::string& name : names_) names += name + '\0';
    put32(s, static_cast<std::uint32_t>(names.size()));
    s += names;
    for (const Contig& c : contigs_) {
        put32(s, static_cast<std::uint32_t>(c.bins.size() + (c.records > 0 ? 1 : 0)));
        for (const auto& [bin, chunks] : c.bins) {
            put32(s, bin);
            put32(s, static_cast<std::uint32_t>(chunks.size()));
            for (const auto& [begin, end] : chunks) {
                put64(s, begin);
                put64(s, end);
            }
        }
        if (c.records > 0) {
            put32(s, kMetaBin);
            put32(s, 2);
            put64(s, c.first);
            put64(s, c.last);
            put64(s, c.records);
            put64(s, 0);
        }
        // A window without records starts where the one before it does (the
        // first ones where the contig does): a reader never starts too late.
        put32(s, static_cast<std::uint32_t>(c.windows.size()));
        std::uint64_t previous = c.first;
        for (std::uint64_t offset : c.windows) {
            if (offset != kUnset) previous = offset;
            put64(s, previous);
        }
    }
    BgzfStream stream(out);
    stream.write(s);
    stream.finish();
}

}  // namespace fluviagen
