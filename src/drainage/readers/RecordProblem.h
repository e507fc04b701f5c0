// Reading the records of a free-format drainage file field by field, and
// finding the place where the file stops making sense, so that the console
// can name the line, the field and the word to fix.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "base/InputFile.h"
#include "base/NumberText.h"
#include "base/Utilities.h"

namespace fluviagen {

struct RecordProblem {
    int line = 0;      // 1-based line of the file; 0 when unknown
    std::string word;  // the word that could not be read, as printableWord shows it
};

// The fields of one record. The reading stops at the end of the file, or at
// the first word that is not a number of its field (see readNumber: the
// whole word must be the number): that word, its field and its line are kept
// for the message.
class RecordFields {
public:
    explicit RecordFields(WordReader& words) : words_(words) {}

    // False, leaving value as it is, at the end of the file, at a bad word,
    // or when the record stopped before.
    template <typename T>
    bool read(const char* field, T& value) {
        if (stopped()) return false;
        if (!words_.next(word_)) {
            atEnd_ = true;
            return false;
        }
        if (read_ == 0) firstLine_ = words_.line();
        T number{};
        problem_ = readNumber(word_, number);
        if (problem_ != NumberProblem::none) {
            field_ = field;
            range_ = rangeText<T>();
            return false;
        }
        value = number;
        ++read_;
        return true;
    }

    bool atEnd() const { return atEnd_; }
    // The input stopped at a line longer than any input file may hold.
    int tooLongLine() const { return words_.tooLongLine(); }
    // Fields read so far, and the line the record begins on (0 before its
    // first word).
    int fieldsRead() const { return read_; }
    int firstLine() const { return firstLine_; }
    bool failed() const { return problem_ != NumberProblem::none; }
    bool stopped() const { return atEnd_ || failed(); }
    RecordProblem problem() const { return {words_.line(), printableWord(word_)}; }

    // After a bad word: the console line naming it ("-> Error: node file
    // '<path>', line 9: the latitude '4x' is not a number or is out of range
    // (after 4 nodes)!"), and on standard error what is wrong with it when
    // that is more than "not a number" (a decimal comma, characters after
    // the number, a fraction, a value out of range). Returns that text without
    // its "-> Error: ", for the fatal error to carry as its true place.
    std::string report(const char* kind, const Text& path, int records, const char* recordName) const;

private:
    WordReader& words_;
    std::string word_;
    const char* field_ = "";
    std::string range_;
    NumberProblem problem_ = NumberProblem::none;
    bool atEnd_ = false;
    int read_ = 0;
    int firstLine_ = 0;
};

// The records of one file that were dropped, for one line on standard error
// at the end of reading it: "<kind> file '<path>': 2 records dropped: line
// 7 (node -1: ...), line 12 (...)".
class DroppedRecords {
public:
    void add(int line, const std::string& what) {
        entries_.push_back("line " + std::to_string(line) + " (" + what + ")");
    }
    std::size_t count() const { return entries_.size(); }
    // Writes the line when any record was dropped.
    void report(const char* kind, const Text& path) const;

private:
    std::vector<std::string> entries_;
};

// The fatal error of a line longer than maxLineLength characters.
[[noreturn]] void refuseLongLine(const char* kind, const Text& path, int line);

}  // namespace fluviagen
