#include "base/InputFile.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <utility>

#include "base/Exception.h"

namespace fluviagen {

namespace {

// Inputs are hashed up to this size: the readers refuse a line longer than
// maxLineLength long before, and a sparse file of terabytes (which they
// refuse at once) would keep the call from starting.
constexpr std::streamoff maxHashedBytes = std::streamoff{1} << 32;  // 4 GiB

// The SHA-256 of everything the stream holds from where it stands, in 64
// lower-case hex digits, and the bytes read; the stream is set back to the
// start. Empty when it cannot be computed.
std::string hashFromStart(std::ifstream& in, std::uintmax_t& size) {
    size = 0;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool good = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
    std::array<char, 1 << 16> buffer{};
    while (good && in) {
        in.read(buffer.data(), buffer.size());
        const auto n = static_cast<std::size_t>(in.gcount());
        size += n;
        good = n == 0 || EVP_DigestUpdate(context.get(), buffer.data(), n) == 1;
    }
    good = good && !in.bad();
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    good = good && EVP_DigestFinal_ex(context.get(), digest.data(), &length) == 1;
    in.clear();
    in.seekg(0);
    if (!good) return {};
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

}  // namespace

void InputLog::add(InputRead read) {
    for (InputRead& known : files_)
        if (known.role == read.role && known.path == read.path) {
            known = std::move(read);
            return;
        }
    files_.push_back(std::move(read));
}

const InputRead* InputLog::find(const std::string& role, const std::string& path) const {
    for (const InputRead& known : files_)
        if (known.role == role && (path.empty() || known.path == path)) return &known;
    return nullptr;
}

std::ifstream openInputFile(const Text& path, InputLog* log, const char* role) {
    // Looked at before the open, which is what blocks on a FIFO. stat follows
    // links, so a link to /dev/zero is a device here.
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        throw SimulationError(
            shortened("File '" + path.str() +
                      "' is not a regular file (a device, a pipe or a socket cannot be read as input)!"),
            levelFatal);
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in || isFolder(path))
        throw SimulationError(shortened("File '" + path.str() + "' could not be opened!"), levelFatal);
    if (log != nullptr) {
        InputRead read{role, path.str(), 0, {}};
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0);
        if (size >= 0 && size <= maxHashedBytes)
            read.sha256 = hashFromStart(in, read.size);
        else
            read.size = static_cast<std::uintmax_t>(std::max<std::streamoff>(size, 0));
        if (in.tellg() != 0)
            throw SimulationError(shortened("File '" + path.str() + "' could not be opened!"), levelFatal);
        log->add(std::move(read));
    }
    return in;
}

int WordReader::get() {
    if (tooLongLine_ != 0) return std::char_traits<char>::eof();
    const int c = in_.get();
    if (c == '\n') {
        ++line_;
        lineLength_ = 0;
    } else if (c != std::char_traits<char>::eof() && !(c == '\r' && in_.peek() == '\n')) {
        // A CR before the LF belongs to the line end, as readLine takes it.
        if (++lineLength_ > maxLineLength) {
            tooLongLine_ = line_;
            return std::char_traits<char>::eof();
        }
    }
    return c;
}

bool WordReader::next(std::string& word) {
    word.clear();
    const auto blank = [](int c) { return std::isspace(c) != 0; };
    int c = in_.peek();
    for (; in_.good() && blank(c); c = in_.peek()) {
        if (get() == std::char_traits<char>::eof()) return false;
    }
    if (!in_.good() || c == std::char_traits<char>::eof()) return false;
    wordLine_ = line_;
    for (;;) {
        c = get();
        if (c == std::char_traits<char>::eof()) break;
        if (blank(c)) break;
        word += static_cast<char>(c);
    }
    return tooLongLine_ == 0;
}

}  // namespace fluviagen
