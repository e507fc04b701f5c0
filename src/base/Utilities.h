// Small shared services of the run control: the program's text type with its
// length limits, line and word readers, the duration and date texts of the
// console log, output file naming with automatic folder creation.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace fluviagen {

// The text type of every file name, message and label. Its length is
// limited: no text ever grows to 10001 characters or more. Operations that
// would break the limit either leave the text unchanged or give the empty
// text (see each operation).
class Text {
public:
    static constexpr int maxLength = 10000;

    Text() = default;
    Text(const char* text);         // 10000 characters or more: empty
    Text(const std::string& text);  // same rule

    Text& operator=(const char* text);         // 10001 or more: unchanged
    Text& operator=(const std::string& text);  // same rule
    Text& operator=(int value);                // printed "%d"
    Text& operator=(float value);              // printed "%f"

    // Concatenation; a result of 10001 characters or more is the empty text.
    friend Text operator+(const Text& a, const Text& b);
    friend Text operator+(const Text& a, const char* b);
    friend Text operator+(const char* a, const Text& b);
    friend Text operator+(const Text& a, int value);    // "%d"
    friend Text operator+(const Text& a, float value);  // "%f"

    // Append in place; unchanged when the length would reach 10001 (text) or
    // exceed 10000 (character).
    Text& operator+=(const Text& text);
    Text& operator+=(const char* text);
    Text& operator+=(char c);

    bool operator==(const Text& other) const { return text_ == other.text_; }
    bool operator==(const char* other) const { return text_ == other; }

    int length() const { return static_cast<int>(text_.size()); }
    bool empty() const { return text_.empty(); }
    const char* c_str() const { return text_.c_str(); }
    const std::string& str() const { return text_; }
    char operator[](int i) const { return text_[static_cast<std::size_t>(i)]; }

    int find(char c) const;                // first position or -1
    int findLast(char c) const;            // last position or -1
    int find(const Text& sub) const;       // first position or -1
    bool contains(const Text& sub) const;  // an empty text is never contained
    bool contains(char c) const;

    void erase(int pos, int count);        // nothing when count <= 0 or pos < 0
    Text left(int n) const;                // first n characters; -1: all
    Text after(int pos) const;             // characters after pos; -1: all
    Text between(int pos, int end) const;  // [pos, end); empty when end < pos
    Text before(char c) const;             // part before the first c
    Text beforeComment() const;            // before "//", trailing blanks/zeros cut
    void removeBlanks();                   // every space and tab removed
    int toInt() const;                     // 0 without any '0' character gives -1

    void clear() { text_.clear(); }

private:
    std::string text_;
};

std::ostream& operator<<(std::ostream& os, const Text& s);

// Folder part of a path, up to and including the last '/' or '\\' (empty
// without separator), and the part after it (the whole path without one).
Text folderOf(const Text& path);
Text fileNameOf(const Text& path);
// A file named in an input file: an absolute name as it is, any other
// relative to folder (given with its final separator).
Text inFolder(const Text& folder, const Text& name);

// The longest line (and word) an input file may hold: one character less than
// the text type holds.
constexpr int maxLineLength = Text::maxLength - 1;

// Reads one line of a text input into text, without its line end; blanks at
// its start are dropped. Empties the text first and stops at end of input or
// on a failed stream. A carriage return right before the line feed belongs to
// the line end (files written on Windows).
// False when the line is longer than maxLineLength characters (its leading
// blanks included): reading stops there, and the input must be refused, since
// reading on would take the rest of the line for the next one. Stopping is
// what keeps an input without line ends (/dev/zero, a file of zero bytes
// made sparse) from being read for ever.
[[nodiscard]] bool readLine(Text& text, std::istream& is);

// The next word up to a blank or line end (readWord: the separator is
// consumed, blanks before the word are not skipped), or up to a blank that is
// consumed or a line end that stays for the next reader (readToken: blanks
// before the word are skipped). Both stop after Text::maxLength
// characters; the rest of a longer word is left for the next call.
Text& readWord(Text& text, std::istream& is);
Text& readToken(Text& text, std::istream& is);

// Skips a UTF-8 byte-order mark at the very start of a stream, if any.
void skipByteOrderMark(std::istream& is);

// "5.250 sec", "2 min 5 sec", "1 h 2 min", "1 d 1 h".
Text formatDuration(double seconds);
// "Sun Dec 06 11:32:15 2026\n" in local time.
Text dateString();

// Seconds of the process clock (millisecond resolution).
double processSeconds();

// A point in time in seconds; printing it prints the time elapsed since.
struct Stopwatch {
    double start = processSeconds();
    double elapsed() const { return processSeconds() - start; }
};
std::ostream& operator<<(std::ostream& os, const Stopwatch& t);

// The text cut to fit the text type (ending in "...") where it is too long,
// so that a message naming a very long path still says something.
Text shortened(const std::string& text);

// True when path names an existing folder (a folder given where a file is
// expected must be refused, not read as an empty file).
bool isFolder(const Text& path);

// Memory the system can still give without swapping, from /proc/meminfo where
// the platform has it (0 when unknown). On a system that overcommits, a large
// allocation does not fail: the process is killed later, when the memory is
// touched. Sizes that follow from the input are checked against this figure
// before anything is allocated.
std::uint64_t availableMemoryBytes();

// Creates every missing folder of the folder part of path, outermost first.
bool createFolder(const Text& path);

// folder + name, with "_first" (zero padded to the width of second) put
// before the extension; missing folders are created. Empty on failure.
Text outputFileName(const Text& folder, const Text& name, int first = -1, int second = -1);

// value printed "%d" with leading zeros up to the width of model.
Text zeroPad(int value, int model);

}  // namespace fluviagen
