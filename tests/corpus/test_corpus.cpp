// Every case of the malformed-input corpus runs through the real program: the
// valid inputs of tests/corpus/base with the files of the case put in their
// place. Whatever the input, the program must end (no hang), end normally
// (status 0 or 1, never a signal), say what is wrong where the case expects
// it, and leave no output file half written under a name that looks complete.
//
// A case is a folder under tests/corpus/cases. Its files replace the base
// files of the same name; its case.txt holds, one per line:
//   # comment                what the case shows
//   status N                 the exit status (0: a normal end, 1: an error)
//   expect TEXT              the console must contain TEXT
//   remove NAME              the base file NAME is taken away
//   folder NAME              an empty folder takes the place of NAME
//   settings N TEXT          line N of the settings file becomes TEXT
//   link NAME TARGET         NAME becomes a symbolic link to TARGET (/dev/zero)
//   fifo NAME                NAME becomes a FIFO that no program writes to
//   zeros NAME BYTES         BYTES zero bytes are added to the end of NAME, as
//                            a sparse file: input without end for a reader
//                            that is not bounded, yet no room on the disk
// A regression input found by fuzzing is added as a case like any other.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::TempFolder;

namespace {

const fs::path corpusFolder = fs::path(FLUVIAGEN_SOURCE_DIR) / "tests/corpus";

struct CorpusCase {
    std::string name;
    int status = -1;  // -1: either normal end
    std::vector<std::string> expected;
    std::vector<std::string> removed;
    std::vector<std::string> folders;
    std::vector<std::pair<int, std::string>> settingsLines;
    std::vector<std::pair<std::string, std::string>> links;  // name, target
    std::vector<std::string> fifos;
    std::vector<std::pair<std::string, std::uintmax_t>> zeros;  // name, bytes
};

CorpusCase readCase(const std::string& name) {
    CorpusCase c;
    c.name = name;
    std::istringstream lines(readFile(corpusFolder / "cases" / name / "case.txt"));
    for (std::string line; std::getline(lines, line);) {
        const auto space = line.find(' ');
        const std::string keyword = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (keyword == "status") {
            c.status = std::stoi(rest);
        } else if (keyword == "expect") {
            c.expected.push_back(rest);
        } else if (keyword == "remove") {
            c.removed.push_back(rest);
        } else if (keyword == "folder") {
            c.folders.push_back(rest);
        } else if (keyword == "settings") {
            const auto gap = rest.find(' ');
            c.settingsLines.emplace_back(std::stoi(rest.substr(0, gap)), rest.substr(gap + 1));
        } else if (keyword == "link") {
            const auto gap = rest.find(' ');
            c.links.emplace_back(rest.substr(0, gap), rest.substr(gap + 1));
        } else if (keyword == "fifo") {
            c.fifos.push_back(rest);
        } else if (keyword == "zeros") {
            const auto gap = rest.find(' ');
            c.zeros.emplace_back(rest.substr(0, gap), std::stoull(rest.substr(gap + 1)));
        } else if (!keyword.empty() && keyword[0] != '#') {
            ADD_FAILURE() << name << ": unknown line in case.txt: " << line;
        }
    }
    return c;
}

std::vector<std::string> caseNames() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(corpusFolder / "cases"))
        if (entry.is_directory()) names.insert(entry.path().filename().string());
    return {names.begin(), names.end()};
}

// The inputs of a case in a fresh folder: the base files, the case's own
// files over them, then its removals, folders and settings lines.
void layOut(const CorpusCase& c, const fs::path& work) {
    for (const auto& entry : fs::directory_iterator(corpusFolder / "base"))
        fs::copy_file(entry.path(), work / entry.path().filename());
    for (const auto& entry : fs::directory_iterator(corpusFolder / "cases" / c.name))
        if (entry.path().filename() != "case.txt")
            fs::copy_file(entry.path(), work / entry.path().filename(), fs::copy_options::overwrite_existing);
    for (const auto& name : c.removed) fs::remove_all(work / name);
    for (const auto& name : c.folders) {
        fs::remove_all(work / name);
        fs::create_directories(work / name);
    }
    for (const auto& [name, target] : c.links) {
        fs::remove_all(work / name);
        fs::create_symlink(target, work / name);
    }
    for (const auto& name : c.fifos) {
        fs::remove_all(work / name);
        ASSERT_EQ(::mkfifo((work / name).c_str(), 0600), 0) << name;
    }
    for (const auto& [name, bytes] : c.zeros) fs::resize_file(work / name, fs::file_size(work / name) + bytes);
    if (c.settingsLines.empty()) return;
    std::vector<std::string> lines;
    std::istringstream text(readFile(work / "settings.txt"));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    for (const auto& [number, line] : c.settingsLines) lines.at(static_cast<std::size_t>(number - 1)) = line;
    std::ofstream out(work / "settings.txt", std::ios::binary | std::ios::trunc);
    for (const auto& line : lines) out << line << "\n";
}

// Output files are written under a temporary name and renamed when complete:
// none may be left behind, and each file under its final name must be whole.
void expectNoHalfWrittenOutput(const fs::path& outputs, const std::string& name) {
    if (!fs::is_directory(outputs)) return;
    for (const auto& entry : fs::recursive_directory_iterator(outputs)) {
        const fs::path& path = entry.path();
        const std::string file = path.filename().string();
        EXPECT_NE(path.extension(), ".part") << name << ": unfinished output " << file;
        const std::string content = readFile(path);
        if (path.extension() == ".trees") {
            EXPECT_NE(content.find("end;"), std::string::npos) << name << ": tree file without its end: " << file;
        } else if (path.extension() == ".arp") {
            EXPECT_NE(content.find("[[Structure]]"), std::string::npos) << name << ": truncated project file " << file;
        } else if (path.extension() == ".arb") {
            // The list names only project files that are complete.
            std::istringstream listed(content);
            for (std::string line; std::getline(listed, line);) {
                if (!line.empty()) {
                    EXPECT_TRUE(fs::exists(outputs / line)) << name << ": " << file << " lists " << line;
                }
            }
        }
    }
}

class Corpus : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(Corpus, EndsWithAClearMessageAndNoBrokenOutput) {
    const CorpusCase c = readCase(GetParam());
    TempFolder work;
    layOut(c, work.path());
    constexpr int timeoutSeconds = 60;
    const auto result = runProgram({"settings.txt"}, "", "1", work.path().string(), timeoutSeconds);
    ASSERT_NE(result.status, 124) << c.name << ": no end within " << timeoutSeconds << " s\n" << result.output;
    ASSERT_TRUE(result.status == 0 || result.status == 1)
        << c.name << ": status " << result.status << " (128 + n: ended by signal n)\n"
        << result.output;
    if (c.status >= 0) {
        EXPECT_EQ(result.status, c.status) << c.name << "\n" << result.output;
    }
    for (const auto& text : c.expected) {
        EXPECT_NE(result.output.find(text), std::string::npos) << c.name << ": the console lacks\n  " << text << "\n"
                                                               << result.output;
    }
    expectNoHalfWrittenOutput(work.path() / "GeneticOutput", c.name);
}

INSTANTIATE_TEST_SUITE_P(Cases, Corpus, testing::ValuesIn(caseNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });
