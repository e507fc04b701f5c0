// Source populations and samples: reading their files and placing them on
// the nearest river segment.
#include "drainage/readers/PopulationFile.h"
#include "drainage/readers/RecordProblem.h"

#include "drainage/Population.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "drainage/Segment.h"
#include "drainage/SegmentDistance.h"
#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "base/InputFile.h"
#include "base/NumberText.h"
#include "common/Geometry.h"

namespace fluviagen {

namespace {

// The segment of the smallest half-segment ratio among those the filter
// accepts. A point on the straight line from a segment's middle point to one
// of its ends has ratio 1 for that half; the ratio grows as the point leaves
// it. A half of zero length says nothing about the direction of the river
// and is passed over.
template <typename Accept>
Segment* smallestRatioWhere(const Drainage& drainage, float lon, float lat, Accept accept) {
    float best = 100000;
    Segment* result = nullptr;
    for (const auto& [id, owned] : drainage.segments) {
        Segment* s = owned.get();
        if (!accept(s) || s->fromNode == nullptr || s->toNode == nullptr) continue;
        const DrainageNode& f = *s->fromNode;
        const DrainageNode& t = *s->toNode;
        float half = common::drainageHaversineMetres(s->lon, s->lat, f.lon, f.lat);
        if (half != 0) {
            const float r = (common::drainageHaversineMetres(lon, lat, f.lon, f.lat) +
                             common::drainageHaversineMetres(lon, lat, s->lon, s->lat)) /
                            half;
            if (r < best) {
                best = r;
                result = s;
            }
        }
        half = common::drainageHaversineMetres(s->lon, s->lat, t.lon, t.lat);
        if (half != 0) {
            const float r = (common::drainageHaversineMetres(lon, lat, s->lon, s->lat) +
                             common::drainageHaversineMetres(lon, lat, t.lon, t.lat)) /
                            half;
            if (r < best) {
                best = r;
                result = s;
            }
        }
    }
    return result;
}

// The segment at the smallest distance among those the filter accepts; the
// first in id order keeps a tie.
template <typename Accept>
Segment* smallestDistanceWhere(const Drainage& drainage, float lon, float lat, Accept accept) {
    double best = std::numeric_limits<double>::infinity();
    Segment* result = nullptr;
    for (const auto& [id, owned] : drainage.segments) {
        Segment* s = owned.get();
        if (!accept(s) || s->fromNode == nullptr || s->toNode == nullptr) continue;
        const double d = metresToSegment(*s, lon, lat);
        if (d < best) {
            best = d;
            result = s;
        }
    }
    return result;
}

template <typename Accept>
Segment* nearestSegmentWhere(const Drainage& drainage, float lon, float lat, PlacementRule rule, Accept accept) {
    return rule == PlacementRule::ratio ? smallestRatioWhere(drainage, lon, lat, accept)
                                        : smallestDistanceWhere(drainage, lon, lat, accept);
}

// One population line, read field by field so that a missing or malformed
// value is reported by name instead of leaving a garbage value behind. A
// value is its whole word: "1e3x" or "0,5" are refused, not read as 1 or 0.
class LineFields {
public:
    LineFields(const std::string& line, int lineNumber, const Text& fileText)
        : fields_(line), lineNumber_(lineNumber), fileText_(fileText) {}

    std::string name(const Text& population) {
        std::string word;
        if (!(fields_ >> word)) cannotRead("the name", population);
        return word;
    }

    template <typename T>
    T read(const char* what, const Text& population) {
        std::string word;
        T value{};
        if (!(fields_ >> word)) cannotRead(what, population);
        if (const NumberProblem problem = readNumber(word, value); problem != NumberProblem::none) {
            if (problem != NumberProblem::notANumber)
                std::cerr << fileText_ << ", line " << lineNumber_ << ": " << what << " of population '" << population
                          << "': " << numberProblemText(problem, word, rangeText<T>()) << "!" << std::endl;
            cannotRead(what, population);
        }
        return value;
    }

private:
    [[noreturn]] void cannotRead(const char* what, const Text& population) const {
        throw SimulationError(
            fileText_ + ", line " + lineNumber_ + ": cannot read " + what + " of population '" + population + "'!",
            levelFatal);
    }

    std::istringstream fields_;
    int lineNumber_;
    Text fileText_;
};

// The number on line 1 or 2 of a population file: the first word of the
// line (a "//" comment may follow). False, with the reason on standard error
// when it says more than "not a number", when the word is no such number.
template <typename T>
bool lineValue(const std::string& line, int lineNumber, const Text& fileText, T& value) {
    const std::string_view word = valueWord(line);
    const NumberProblem problem = readNumber(word, value);
    if (problem != NumberProblem::none && problem != NumberProblem::notANumber)
        std::cerr << fileText << ", line " << lineNumber << ": " << numberProblemText(problem, word, rangeText<T>())
                  << "!" << std::endl;
    return problem == NumberProblem::none;
}

Text realText(float value) {
    std::ostringstream text;
    text << value;
    return Text(text.str());
}

Text pointText(float lon, float lat) {
    std::ostringstream text;
    text << "(" << lon << ", " << lat << ")";
    return Text(text.str());
}

}  // namespace

Segment* nearestSegment(const Drainage& drainage, float lon, float lat, const Segment* excluded, PlacementRule rule) {
    return nearestSegmentWhere(drainage, lon, lat, rule, [excluded](const Segment* s) { return s != excluded; });
}

std::int32_t precisionOf(const Segment& segment, float lon, float lat, PlacementRule rule) {
    if (rule == PlacementRule::nearest) {
        // A point typed far off the globe's range (a latitude of 1e30) is
        // more metres away than 32 bits hold: it keeps the largest number,
        // which the warning on far points names.
        const double metres = metresToSegment(segment, lon, lat);
        constexpr auto largest = std::numeric_limits<std::int32_t>::max();
        return metres < largest ? static_cast<std::int32_t>(metres) : largest;
    }
    const auto metres = [lon, lat](float pLon, float pLat) {
        return static_cast<std::int32_t>(common::drainageHaversineMetres(lon, lat, pLon, pLat));
    };
    std::int32_t best = metres(segment.fromNode->lon, segment.fromNode->lat);
    best = std::min(best, metres(segment.lon, segment.lat));
    best = std::min(best, metres(segment.toNode->lon, segment.toNode->lat));
    return best;
}

namespace {

int readPopulationFile(PopulationVector& set, const Text& path, bool isSampleFile, PlacementRule rule, InputLog* log) {
    const Text fileText = Text(isSampleFile ? "Sample file '" : "Population file '") + path + "'";
    std::ifstream in = openInputFile(path, log, isSampleFile ? "samples" : "sources");
    skipByteOrderMark(in);
    // The lines up to the end of the file or up to the first that is too
    // long: reading stops there, and the file is refused below.
    std::vector<std::string> lines;
    bool tooLong = false;
    while (!tooLong && in.peek() != std::char_traits<char>::eof()) {
        Text line;
        tooLong = !readLine(line, in);
        lines.push_back(line.str());
    }
    const int tooLongLine = tooLong ? static_cast<int>(lines.size()) : 0;
    const auto refuseLongLine = [&] {
        throw SimulationError(shortened(fileText.str() + ", line " + std::to_string(tooLongLine) +
                                        ": the line is longer than " + std::to_string(maxLineLength) + " characters!"),
                              levelFatal);
    };
    if (tooLong && tooLongLine <= 3) refuseLongLine();

    std::int64_t announced = 0;
    if (lines.empty() || !lineValue(lines[0], 1, fileText, announced))
        throw SimulationError(fileText + ": line 1 must hold the number of populations!", levelFatal);
    if (announced < 0)
        throw SimulationError(
            fileText + ": the number of populations on line 1 is negative (" + Text(std::to_string(announced)) + ")!",
            levelFatal);
    std::int32_t coordinateFlag = 0;
    if (lines.size() < 2 || !lineValue(lines[1], 2, fileText, coordinateFlag))
        throw SimulationError(fileText + ": line 2 must hold the coordinate flag (0: segment ids, 1: coordinates)!",
                              levelFatal);
    if (tooLong) {
        // A population line that is one single word is a name beyond the
        // text limit.
        const std::string& kept = lines.back();
        if (tooLongLine - 3 <= announced && kept.find_first_of(" \t") == std::string::npos)
            throw SimulationError(fileText + ", line " + tooLongLine + ": the name of population " + (tooLongLine - 3) +
                                      " is longer than 9999 characters!",
                                  levelFatal);
        refuseLongLine();
    }
    const long long following = lines.size() > 3 ? static_cast<long long>(lines.size()) - 3 : 0;
    if (announced > following)
        throw SimulationError(fileText + ": line 1 announces " + Text(std::to_string(announced)) +
                                  " populations, but only " + static_cast<int>(following) + " lines follow the titles!",
                              levelFatal);

    // 7 is no more "coordinates" than 1: a flag that is neither is a typo.
    if (coordinateFlag != 0 && coordinateFlag != 1)
        throw SimulationError(fileText +
                                  ", line 2: the coordinate flag must be 0 (segment ids) or 1 (coordinates), not " +
                                  coordinateFlag + "!",
                              levelFatal);
    const int count = static_cast<int>(announced);
    set.coordinateMode = coordinateFlag != 0;
    set.populations.clear();
    for (int i = 0; i < count; ++i) set.populations.push_back(std::make_unique<PopulationSource>());
    set.count = count;
    set.problem.clear();
    const Drainage& drainage = *set.drainage;
    std::unordered_map<const Segment*, int> firstOnSegment;  // segment-id mode: who holds a segment

    for (int i = 0; i < count; ++i) {
        PopulationSource& p = *set.populations[static_cast<std::size_t>(i)];
        const int lineNumber = 4 + i;
        LineFields fields(lines[static_cast<std::size_t>(3 + i)], lineNumber, fileText);
        const std::string name = fields.name(Text(std::to_string(i + 1)));
        // The text type would silently turn such a name into an empty one.
        if (name.size() >= static_cast<std::size_t>(Text::maxLength))
            throw SimulationError(fileText + ", line " + lineNumber + ": the name of population " + (i + 1) +
                                      " is longer than 9999 characters!",
                                  levelFatal);
        p.name = Text(name);
        const auto size = fields.read<std::int64_t>("the size", p.name);
        if (size < 0 || size > std::numeric_limits<std::int16_t>::max())
            throw SimulationError(fileText + ", line " + lineNumber + ": the size " + Text(std::to_string(size)) +
                                      " of population '" + p.name + "' is not within 0 ... 32767!",
                                  levelFatal);
        // A source without individuals colonises nothing; a sample of 0
        // genes is a sample deme without genes, which the outputs know.
        if (!isSampleFile && size == 0)
            throw SimulationError(fileText + ", line " + lineNumber + ": the source population '" + p.name +
                                      "' has the size 0: a source needs at least one individual!",
                                  levelFatal);
        p.size = static_cast<std::int16_t>(size);

        Text precisionText;
        if (set.coordinateMode) {
            p.lon = fields.read<float>("the longitude", p.name);
            p.lat = fields.read<float>("the latitude", p.name);
            p.segment = nearestSegment(drainage, p.lon, p.lat, nullptr, rule);
            if (p.segment == nullptr)
                throw SimulationError(fileText + ": no segment of the drainage is near the point " +
                                          pointText(p.lon, p.lat) + " of population '" + p.name + "'!",
                                      levelFatal);
            p.segmentId = p.segment->id;
            p.precision = precisionOf(*p.segment, p.lon, p.lat, rule);
            precisionText = Text("\t(precision: ") + p.precision + " m)";
        } else {
            p.segmentId = fields.read<std::int32_t>("the segment id", p.name);
            p.segment = drainage.find(p.segmentId);
            if (p.segment == nullptr) {
                std::cout << " \nERROR in ReadPopulations(): "
                          << "Segment '" << p.segmentId << "' of population '" << p.name
                          << "' does not exist in the drainage!" << std::endl;
                set.problem = fileText + ": segment '" + p.segmentId + "' of population '" + p.name +
                              "' does not exist in the drainage!";
                return 0;
            }
        }
        std::cout << "\n\t\t" << i + 1 << ": " << p.name << "\tSeg: " << p.segmentId << precisionText;

        if (!isSampleFile) {
            p.Resize = fields.read<std::int32_t>("Resize", p.name);
            p.migration = fields.read<float>("the migration rate", p.name);
            std::cout << "\t(Resize = " << p.Resize << ", migration = " << p.migration << ")";
            // Resize is a deme size and migration a probability per lineage
            // and generation: the coalescent has no use for other values (a
            // negative size never lets two lineages meet).
            if (p.Resize < 0)
                throw SimulationError(fileText + ", line " + lineNumber + ": the Resize " + p.Resize +
                                          " of population '" + p.name +
                                          "' is negative (0: keep the size of the source)!",
                                      levelFatal);
            // Sizes are 16-bit numbers like every deme size. A source deme
            // far larger than that lets two lineages meet so rarely that
            // every try of a genealogy walks to its maximum number of
            // generations.
            if (p.Resize > std::numeric_limits<std::int16_t>::max())
                throw SimulationError(fileText + ", line " + lineNumber + ": the Resize " + p.Resize +
                                          " of population '" + p.name +
                                          "' is not within 0 ... 32767 (0: keep the size of the source)!",
                                      levelFatal);
            if (!(p.migration >= 0 && p.migration <= 1))
                throw SimulationError(fileText + ", line " + lineNumber + ": the migration rate " +
                                          realText(p.migration) + " of population '" + p.name +
                                          "' is not a probability from 0 to 1!",
                                      levelFatal);
        }

        // One population per segment. With coordinates the later one moves to
        // the next-nearest segment; each earlier population is looked at once,
        // in file order, against the segment held at that moment.
        const auto moveTo = [&](Segment* next, const PopulationSource& holder) {
            std::cout << "\n\t\tWARNING: Seg " << p.segmentId << " has already the sample '" << holder.name
                      << "'! Searching for a new segment ...";
            if (next == nullptr)
                throw SimulationError(fileText + ": no free segment is left near the point " + pointText(p.lon, p.lat) +
                                          " of population '" + p.name + "'!",
                                      levelFatal);
            p.segment = next;
            p.segmentId = next->id;
            p.precision = precisionOf(*next, p.lon, p.lat, rule);
            std::cout << "\n\t\t" << i + 1 << ": " << p.name << "\tSeg: " << p.segmentId
                      << "\t(precision: " << p.precision << " m)";
        };
        // With segment ids every earlier population holds a segment of its
        // own: the table of held segments gives the one holder there can be,
        // and only that one is looked at.
        int firstEarlier = 0;
        int pastEarlier = i;
        if (!set.coordinateMode) {
            const auto [held, isNew] = firstOnSegment.emplace(p.segment, i);
            firstEarlier = held->second;
            pastEarlier = isNew ? i : held->second + 1;
        }
        for (int j = firstEarlier; j < pastEarlier; ++j) {
            const PopulationSource& earlier = *set.populations[static_cast<std::size_t>(j)];
            if (earlier.segment != p.segment) continue;
            if (!set.coordinateMode) {
                std::cout << "\n-> Error: " << fileText << ", line " << lineNumber << ": population '" << p.name
                          << "' stands on segment " << p.segmentId << " like population '" << earlier.name << "'!";
                throw SimulationError(Text("Reading samples: Seg ") + p.segmentId + " has already a sample!",
                                      levelFatal);
            }
            moveTo(nearestSegment(drainage, p.lon, p.lat, p.segment, rule), earlier);
        }
        // The single scan above can lead back to a segment it left (a third
        // population moved off the first one's segment onto the second's, and
        // off that back onto the first). Two populations on one segment would
        // overwrite each other's deme, so such a population takes the nearest
        // segment that no earlier population holds.
        if (set.coordinateMode) {
            std::unordered_set<const Segment*> held;
            const PopulationSource* holder = nullptr;
            for (int j = 0; j < i; ++j) {
                const PopulationSource& earlier = *set.populations[static_cast<std::size_t>(j)];
                held.insert(earlier.segment);
                if (earlier.segment == p.segment && holder == nullptr) holder = &earlier;
            }
            if (holder != nullptr)
                moveTo(nearestSegmentWhere(drainage, p.lon, p.lat, rule,
                                           [&held](const Segment* s) { return held.count(s) == 0; }),
                       *holder);
        }
        // A point far from every segment is most often a slip in its
        // coordinates (a swapped longitude and latitude, a lost sign). It is
        // placed on the nearest free segment all the same, but among lines of
        // a few metres a distance of kilometres is easy to miss.
        if (set.coordinateMode && static_cast<float>(p.precision) > p.segment->length / 2)
            std::cerr << "WARNING: " << fileText << ", line " << lineNumber << ": "
                      << (isSampleFile ? "the sample '" : "the source population '") << p.name
                      << "' is placed on segment " << p.segmentId << ", " << p.precision
                      << " m from its point: more than half the length of that segment ("
                      << static_cast<long>(p.segment->length + 0.5f) << " m). Check its coordinates." << std::endl;
        if (isSampleFile) p.segment->samplePopulation = &p;
    }
    // Line 1 says how many populations are read; lines after them that are
    // not blank are records left out.
    DroppedRecords dropped;
    for (std::size_t line = 3 + static_cast<std::size_t>(count); line < lines.size(); ++line)
        if (lines[line].find_first_not_of(" \t\r") != std::string::npos)
            dropped.add(static_cast<int>(line) + 1,
                        "after the " + std::to_string(count) + " populations announced on line 1");
    dropped.report(isSampleFile ? "sample" : "population", path);
    return count;
}

}  // namespace

int readPopulations(PopulationVector& populations, const Text& path, bool isSampleFile, PlacementRule rule,
                    InputLog* log) {
    std::cout << "\n\tRead population file  '" << path << "'... ";
    const Stopwatch timer;
    int count = 0;
    try {
        count = readPopulationFile(populations, path, isSampleFile, rule, log);
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text(isSampleFile ? "Reading sample file '" : "Reading population file '") + path + "'!",
                              levelFatal);
    }
    if (count == 0 && !populations.problem.empty()) return 0;
    std::cout << "\n\tdone. (#populations: " << count << "; Duration: " << timer << ")" << std::flush;
    return count;
}

}  // namespace fluviagen
