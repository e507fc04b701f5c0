#include "drainage/Dynamic.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "base/InputFile.h"
#include "base/NumberText.h"

namespace fluviagen {

namespace {

// A line of the environment file or the name line of a map: cut at its first
// "//" (the rest is a comment) and stripped of trailing spaces and tabs.
std::string withoutComment(const Text& line) {
    std::string text = line.str().substr(0, line.str().find("//"));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

// A whole number as every input file takes it (see readNumber). When the
// word is more than not a number, standard error says what is wrong with it,
// at the place `where` gives.
template <typename Where>
bool parseWhole(const std::string& word, std::int32_t& value, Where where) {
    const NumberProblem problem = readNumber(word, value);
    if (problem != NumberProblem::none && problem != NumberProblem::notANumber)
        std::cerr << where() << ": " << numberProblemText(problem, word, rangeText<std::int32_t>()) << "!" << std::endl;
    return problem == NumberProblem::none;
}

SimulationError fatal(const std::string& text) { return SimulationError(shortened(text), levelFatal); }

// A line of the environment or of a map file, refused when it is longer than
// the readers take.
[[noreturn]] void readWholeLineTooLong(const std::string& what, std::int32_t lineNumber) {
    throw fatal(what + ": line " + std::to_string(lineNumber) + " is longer than " + std::to_string(maxLineLength) +
                " characters!");
}

void readWholeLine(Text& line, std::istream& file, const std::string& what, std::int32_t lineNumber) {
    if (!readLine(line, file)) readWholeLineTooLong(what, lineNumber);
}

DynamicMap readMapFile(const Drainage& drainage, const Text& path, std::int32_t generation, InputLog* log) {
    std::ifstream file = openInputFile(path, log, "map");
    try {
        skipByteOrderMark(file);
        DynamicMap map;
        map.file = path;
        map.generation = generation;
        const std::string what = "Reading dynamic map'" + path.str() + "'";
        Text line;
        readWholeLine(line, file, what, 1);
        map.name = Text(withoutComment(line));
        readWholeLine(line, file, what, 2);
        std::istringstream valueLine(line.str());
        std::string value;
        valueLine >> value;
        if (value != "0" && value != "1")
            throw fatal("Reading dynamic map'" + path.str() + "': line 2 must begin with the value 0 or 1, not '" +
                        printableWord(value, 100) + "'!");
        map.value = value == "1";
        // The ids are free-format words, on any number of lines.
        WordReader words(file, 3);
        std::string word;
        std::int32_t count = 0;
        std::vector<std::string> dropped;
        while (words.next(word)) {
            ++count;
            std::int32_t id = 0;
            const auto where = [&] {
                return what + ", line " + std::to_string(words.line()) + ", entry " + std::to_string(count);
            };
            if (!parseWhole(word, id, where))
                throw fatal("Reading dynamic map'" + path.str() + "': entry " + std::to_string(count) + " ('" +
                            printableWord(word, 100) + "') is not a segment id!");
            // Ids that the drainage does not hold are no error: a map may
            // cover a larger region than the drainage studied.
            if (id != 0 && drainage.find(id) != nullptr)
                map.segmentIds.push_back(id);
            else
                dropped.push_back("line " + std::to_string(words.line()) + " (segment " + std::to_string(id) + ")");
        }
        if (words.tooLongLine() != 0) readWholeLineTooLong(what, words.tooLongLine());
        if (!dropped.empty()) {
            // Not an error, but a map that misses the drainage (a map of
            // another river, or of the river before resampling) shows here.
            std::cerr << "WARNING: map file '" << path << "': " << dropped.size() << " of " << count
                      << " segment ids are not in the drainage and are dropped:";
            for (std::size_t i = 0; i < dropped.size(); ++i) std::cerr << (i == 0 ? " " : ", ") << dropped[i];
            std::cerr << std::endl;
        }
        std::sort(map.segmentIds.begin(), map.segmentIds.end());
        // An id listed twice would stop the walk that applies the map; it is
        // dropped so that the whole map applies.
        map.segmentIds.erase(std::unique(map.segmentIds.begin(), map.segmentIds.end()), map.segmentIds.end());
        return map;
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw fatal("Reading dynamic map'" + path.str() + "'!");
    }
}

}  // namespace

std::unique_ptr<DynamicMaps> readDynamicEnvironment(const Drainage& drainage, const Text& path, const Text& folder,
                                                    InputLog* log) {
    std::cout << "\n\t\tRead dynamic envionment '" << path << "' ... " << std::flush;
    const Stopwatch timer;
    std::ifstream file = openInputFile(path, log, "dynamic");
    try {
        skipByteOrderMark(file);
        auto environment = std::make_unique<DynamicMaps>();
        Text line;
        std::int32_t lineNumber = 0;
        const std::string what = "Reading dynamic maps'" + path.str() + "'";
        while (file.good()) {
            readWholeLine(line, file, what, ++lineNumber);
            const std::string text = withoutComment(line);
            if (text.empty()) continue;
            std::istringstream fields(text);
            std::string first;
            std::string name;
            fields >> first >> name;
            std::int32_t generation = 0;
            if (!parseWhole(first, generation, [&] { return what + ", line " + std::to_string(lineNumber); }))
                throw fatal("Reading dynamic maps'" + path.str() + "': line " + std::to_string(lineNumber) +
                            " must begin with a generation (a whole number), not '" + printableWord(first, 100) + "'!");
            // A generation without its map would change nothing, silently.
            if (name.empty())
                throw fatal("Reading dynamic maps'" + path.str() + "': line " + std::to_string(lineNumber) +
                            " gives the generation " + std::to_string(generation) + " but no map file after it!");
            environment->maps.push_back(readMapFile(drainage, inFolder(folder, Text(name)), generation, log));
        }
        // By generation; maps of one generation keep their file order, so the
        // later one wins for a segment listed in both.
        std::stable_sort(environment->maps.begin(), environment->maps.end(),
                         [](const DynamicMap& a, const DynamicMap& b) { return a.generation < b.generation; });
        std::cout << "done. (Duration: " << timer << ")" << std::endl;
        return environment;
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw fatal("Reading dynamic maps'" + path.str() + "'!");
    }
}

void applyMap(Drainage& asRead, Drainage* resampled, const DynamicMap& map) {
    for (const std::int32_t id : map.segmentIds)
        if (Segment* segment = asRead.find(id)) segment->accessible = map.value;
    // Segments cut from a segment of the drainage as read share its fate.
    if (resampled != nullptr)
        for (auto& [id, segment] : resampled->segments)
            if (segment->originSegment != nullptr) segment->accessible = segment->originSegment->accessible;
}

}  // namespace fluviagen
