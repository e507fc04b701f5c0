#include "base/InputFile.h"

#include <sys/stat.h>

#include <cctype>

#include "base/Exception.h"

std::ifstream openInputFile(const my_string& path) {
    // Looked at before the open, which is what blocks on a FIFO. stat follows
    // links, so a link to /dev/zero is a device here.
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        throw TException(shortened("File '" + path.str() +
                                   "' is not a regular file (a device, a pipe or a socket cannot be read as input)!"),
                         levelFatal);
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in || isFolder(path)) throw TException(shortened("File '" + path.str() + "' could not be opened!"), levelFatal);
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
