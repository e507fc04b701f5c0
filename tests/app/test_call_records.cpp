// The records and maps of a program call belong to that call: what the
// output folder holds after a refused, failed, interrupted or successful
// call, after a map program that fails or is interrupted, and what the run
// record says about the inputs the call read and the error that ended it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "app/MapProgram.h"
#include "app/SimulationLoop.h"
#include "support/TestFiles.h"

using namespace fluviagen;

namespace fs = std::filesystem;
using testing_support::dnaCase;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string set = "settings_samples_DNA";

// The program run on its own: environment variables added, a file size
// limit, standard output and error into files of logs.
struct Call {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

struct Started {
    pid_t pid = 0;
    fs::path out, err;
};

Started start(const Call& call, const TempFolder& logs) {
    Started s{0, logs.path() / "out.txt", logs.path() / "err.txt"};
    const std::string binary = FLUVIAGEN_BINARY;
    std::vector<std::string> words{binary};
    words.insert(words.end(), call.arguments.begin(), call.arguments.end());
    s.pid = ::fork();
    if (s.pid == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(s.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        ::setenv("FLUVIAGEN_SEED", "5", 1);
        ::unsetenv("FLUVIAGEN_MAP");
        for (const auto& [name, value] : call.environment) ::setenv(name.c_str(), value.c_str(), 1);
        // SIGXFSZ keeps its default action: the program must not die of it.
        const rlimit limit{call.fileSizeLimit, call.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    return s;
}

int statusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

struct Ended {
    int status;
    std::string out, err;
};

Ended run(const Call& call) {
    TempFolder logs;
    const Started s = start(call, logs);
    int raw = 0;
    ::waitpid(s.pid, &raw, 0);
    return {statusOf(raw), readFile(s.out), readFile(s.err)};
}

// The names in the output folder (empty when there is none).
std::vector<std::string> namesIn(const TempFolder& temp) {
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(temp.path() / "GeneticOutput", missing))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int countHolding(const TempFolder& temp, const std::string& part) {
    int n = 0;
    for (const std::string& name : namesIn(temp)) n += contains(name, part);
    return n;
}

std::string outputFile(const TempFolder& temp, const std::string& ending) {
    return (temp.path() / "GeneticOutput" / (set + ending)).string();
}

// A stand-in for the map program: a shell script that draws what the body
// says (the output set, folder and name, is "$s").
std::string mapScript(const TempFolder& temp, const std::string& body) {
    const std::string path = temp.write("map.sh", "#!/bin/sh\nfor s; do :; done\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// A value of the JSON record, read by an independent reader.
std::string recordValue(const std::string& record, const std::string& expression) {
    const std::string command = "/usr/bin/python3 -c \"import json,sys; r=json.load(open(sys.argv[1])); print(" +
                                expression + ")\" '" + record + "'";
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
        ::pclose(pipe);
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

TEST(CallRecords, OnlyACallThatBeganToWriteReplacesTheRecords) {
    // A previous call's records describe its outputs together; a call that
    // writes nothing must leave them so, one that writes must take both.
    struct Row {
        const char* what;
        std::map<int, std::string> lines;
        rlim_t fileSizeLimit;
        int status;
        bool oldRecordsKept;
        const char* newStatus;  // of the call's own record; empty: none
    };
    const Row rows[] = {
        {"refused before writing (a bad node file)", {{3, "missing_nodes.txt"}}, RLIM_INFINITY, 1, true, ""},
        {"failed after it began to write (a full disk)", {{21, "1000"}}, 8192, 1, false, "failed"},
        {"succeeded", {}, RLIM_INFINITY, 0, false, "success"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder temp;
        const std::string settings = dnaCase(temp, row.lines);
        const std::string oldComplete = temp.write("GeneticOutput/" + set + ".complete", "old\n");
        const std::string oldRecord = temp.write("GeneticOutput/" + set + "_run.json", "{\"seed\": -1}\n");
        const Ended r = run({{"--without", "maps", "--without", "gpkg", settings}, {}, row.fileSizeLimit});
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(fs::exists(oldComplete) && readFile(oldComplete) == "old\n", row.oldRecordsKept);
        if (row.oldRecordsKept) {
            EXPECT_EQ(readFile(oldRecord), "{\"seed\": -1}\n");
            for (const std::string& name : namesIn(temp))
                EXPECT_TRUE(name == set + ".complete" || name == set + "_run.json" || name == set + ".lock") << name;
        } else {
            EXPECT_EQ(recordValue(oldRecord, "r['status'], r['seed']"), std::string(row.newStatus) + " -5");
        }
        EXPECT_EQ(fs::exists(oldComplete), row.status == 0 || row.oldRecordsKept);
        EXPECT_EQ(countHolding(temp, ".part"), 0);
    }
}

TEST(CallRecords, AFileSizeLimitFailsTheWritesNotTheProcess) {
    // 6 KiB: below the run record of either call. With 1000 linked loci the
    // first project file passes the limit and the call fails; its failure
    // record passes it too.
    struct Row {
        std::map<int, std::string> lines;
        const char* failing;
    };
    for (const Row& row : {Row{{}, "_run.json"}, Row{{{21, "1000"}}, "_1-1.arp"}}) {
        SCOPED_TRACE(row.failing);
        TempFolder temp;
        const Ended r = run({{"--without", "maps", "--without", "gpkg", dnaCase(temp, row.lines)}, {}, 6 * 1024});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(contains(r.err, "fluviagen: Cannot write the output file '" + outputFile(temp, row.failing) +
                                        "': File too large!\n"))
            << r.err;
        EXPECT_EQ(countHolding(temp, ".part"), 0);
        EXPECT_EQ(countHolding(temp, ".complete"), 0);
    }
}

TEST(CallRecords, MapsAreListedOnlyWhenTheMapProgramSucceeded) {
    struct Row {
        const char* what;
        std::string body;
        const char* status;
        std::vector<std::string> maps;  // listed and left in the folder
    };
    const Row rows[] = {
        {"drawn", "echo png > \"${s}_1_map.png\"; echo gpkg > \"$s.gpkg\"", "drawn", {"_1_map.png", ".gpkg"}},
        {"failed after a partial map",
         "echo png > \"${s}_1_map.png\"; echo part > \"$s.gpkg.part.gpkg\"; exit 3",
         "failed",
         {}},
        {"killed", "echo png > \"${s}_1_curve.svg.part\"; kill -KILL $$", "failed", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder temp;
        const std::string settings = dnaCase(temp);
        // An earlier call's maps of the same set, of an entire simulation
        // this call does not have, and of another set.
        for (const char* stale : {"_map.svg", "_7_coalescence_map.png", "_ages.png", ".gpkg"})
            temp.write("GeneticOutput/" + set + stale, "stale\n");
        const std::string other = temp.write("GeneticOutput/other_samples_DNA_map.png", "other\n");
        const Ended r = run({{"--with", "maps", settings}, {{"FLUVIAGEN_MAP", mapScript(temp, row.body)}}});
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string complete = readFile(outputFile(temp, ".complete"));
        const std::string record = outputFile(temp, "_run.json");
        EXPECT_EQ(recordValue(record, "r['status'], r['maps']['status']"), std::string("success ") + row.status);
        std::vector<std::string> expected;
        for (const std::string& map : row.maps) {
            expected.push_back(set + map);
            EXPECT_TRUE(contains(complete, "\n" + set + map + "\n")) << complete;
        }
        std::vector<std::string> left;
        for (const std::string& name : namesIn(temp))
            if (name.rfind(set, 0) == 0 && (contains(name, "_map.") || contains(name, "_ages") ||
                                            contains(name, "gpkg") || contains(name, "_curve")))
                left.push_back(name);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(left, expected);
        EXPECT_EQ(readFile(other), "other\n");
        if (row.maps.empty()) {
            EXPECT_TRUE(contains(r.err, "The maps of " + set + " are not drawn: the map program ")) << r.err;
            EXPECT_FALSE(contains(complete, "_map.png")) << complete;
            EXPECT_TRUE(contains(recordValue(record, "r['maps']['reason']"), "the map program")) << r.err;
        } else {
            EXPECT_EQ(recordValue(record, "r['maps']['files']"),
                      "['" + set + row.maps[0] + "', '" + set + row.maps[1] + "']");
        }
        // The map program read the tables through the completion record.
        EXPECT_TRUE(contains(complete, set + "_2_segments.csv\n"));
    }
}

TEST(CallRecords, TheMapsOfASetAreToldFromItsTablesAndFromOtherSets) {
    // The earlier maps removed before drawing: the set's figures (of any
    // entire simulation), their unfinished forms and the GeoPackage, never
    // a table or a file of another set whose name begins the same way.
    const std::pair<const char*, bool> names[] = {
        {"s_DNA_map.png", true},
        {"s_DNA_12_curve.svg", true},
        {"s_DNA_ages.svg", true},
        {"s_DNA.gpkg", true},
        {"s_DNA.gpkg.part.gpkg-journal", true},
        {"s_DNA_3_map.svg.part", true},
        {"s_DNA_coalescence_map.png", true},
        {"s_DNA_mapinfo.csv", false},
        {"s_DNA_3_segments.csv", false},
        {"s_DNA_2_x_DNA_map.png", false},
        {"s_DNA_ages.png.bak", false},
        {"t_DNA_map.png", false},
        {"s_DNA_x_curve.png", false},
        {"s_DNA.complete", false},
    };
    for (const auto& [name, map] : names) EXPECT_EQ(isMapFileOf("s_DNA", name), map) << name;
}

TEST(CallRecords, ASignalDuringTheMapsEndsTheCallAsEveryInterruptedCall) {
    // The map program writes a partial figure and waits; the signal comes
    // at a random moment of its run and must reach it.
    std::mt19937 random(29);
    for (const auto& [sig, name] : {std::pair{SIGINT, "SIGINT"}, std::pair{SIGTERM, "SIGTERM"},
                                    std::pair{SIGHUP, "SIGHUP"}, std::pair{SIGTERM, "SIGTERM"}}) {
        SCOPED_TRACE(name);
        TempFolder temp, logs;
        const std::string settings = dnaCase(temp);
        const std::string pidFile = (temp.path() / "map.pid").string();
        const std::string script =
            mapScript(temp, "echo $$ > '" + pidFile +
                                "'; echo png > \"${s}_1_map.png\"; echo p > \"${s}_1_curve.png.part\"; "
                                "exec sleep 30");
        const Started s = start({{"--with", "maps", settings}, {{"FLUVIAGEN_MAP", script}}}, logs);
        int raw = 0;
        bool ended = false;
        for (int wait = 0; wait < 3000 && !ended && !fs::exists(pidFile); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ended = ::waitpid(s.pid, &raw, WNOHANG) == s.pid;
        }
        ASSERT_FALSE(ended) << readFile(s.err);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 60)(random)));
        ::kill(s.pid, sig);
        ::waitpid(s.pid, &raw, 0);
        EXPECT_EQ(statusOf(raw), 128 + sig);
        EXPECT_TRUE(contains(readFile(s.err), std::string("\nInterrupted by ") + name +
                                                  ": the outputs of this call in " + temp.folder() +
                                                  "GeneticOutput/ are incomplete.\n"))
            << readFile(s.err);
        const pid_t child = std::stoi(readFile(pidFile));
        EXPECT_EQ(::kill(child, 0), -1) << "the map program outlived the call";
        ::kill(child, SIGKILL);
        EXPECT_EQ(countHolding(temp, ".part"), 0);
        EXPECT_EQ(countHolding(temp, ".complete"), 0);
        EXPECT_EQ(countHolding(temp, "_run.json"), 0);
        EXPECT_EQ(countHolding(temp, "_map.png"), 0);
    }
}

TEST(CallRecords, TheRunRecordHashesEachInputAsItWasRead) {
    // A dynamic environment with two maps; sources and samples hold the same
    // kind of text, so a role that names or hashes the wrong file shows.
    TempFolder temp;
    const fs::path cases(FLUVIAGEN_SOURCE_DIR "/tests/e2e/cases/dynamic");
    for (const char* name : {"close.txt", "dynamic.txt", "reopen.txt", "settings.txt"})
        fs::copy(cases / name, temp.path());
    dnaCase(temp);  // the shared drainage and populations
    fs::copy(cases / "settings.txt", temp.path() / "settings.txt", fs::copy_options::overwrite_existing);
    const std::string settings = temp.folder() + "settings.txt";
    // The map program runs after every input has been read: it changes the
    // settings and the samples, which the record must not see.
    const std::string script =
        mapScript(temp, "echo '// edited' >> '" + settings + "'; echo 1 > '" + temp.folder() + "samples.txt'");
    const std::string before = temp.write("before.txt", readFile(settings));
    const Ended r = run({{"--with", "maps", "--without", "gpkg", settings}, {{"FLUVIAGEN_MAP", script}}});
    ASSERT_EQ(r.status, 0) << r.err;
    fs::copy(fs::path(FLUVIAGEN_SOURCE_DIR "/tests/e2e/shared/samples.txt"), temp.path() / "samples.txt",
             fs::copy_options::overwrite_existing);
    fs::copy(before, settings, fs::copy_options::overwrite_existing);
    const std::string check = temp.write("check.py", R"(import hashlib, json, os, sys
r = json.load(open(sys.argv[1]))
folder = sys.argv[2]
want = {'settings': 'settings.txt', 'sources': 'sources.txt', 'samples': 'samples.txt',
        'nodes': 'river_nodes.txt', 'segments': 'river_segments.txt', 'dynamic': 'dynamic.txt'}
roles = [f['role'] for f in r['inputs']]
assert roles == ['settings', 'sources', 'samples', 'nodes', 'segments', 'dynamic', 'map', 'map'], roles
for f in r['inputs']:
    name = os.path.basename(f['path'])
    if f['role'] in want:
        assert name == want[f['role']], f
    data = open(folder + name, 'rb').read()
    assert f['sha256'] == hashlib.sha256(data).hexdigest() and f['size'] == len(data), f
assert sorted(os.path.basename(f['path']) for f in r['inputs'] if f['role'] == 'map') == ['close.txt', 'reopen.txt']
print('ok')
)");
    const std::string command = "/usr/bin/python3 " + check + " " + outputFile(temp, "_run.json") + " " + temp.folder();
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(outputFile(temp, "_run.json"));
}

TEST(CallRecords, FileNamesWithControlCharactersAreRefusedNamingTheFile) {
    TempFolder temp;
    const std::string settings = dnaCase(temp);
    const std::string oddSettings = temp.write("set\ntings.txt", readFile(settings));
    temp.write("sam\nples.txt", readFile(temp.path() / "samples.txt"));
    struct Row {
        std::vector<std::string> arguments;
        std::string named;
    };
    const Row rows[] = {
        {{oddSettings}, "The settings file: the file name '" + temp.folder() + "set?tings.txt'"},
        {{"--set", "samples=sam\nples.txt", settings}, "--set samples: the file name 'sam?ples.txt'"},
        {{"--set",
          "1=sour\x01"
          "ces.txt",
          settings},
         "--set 1: the file name 'sour?ces.txt'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.named);
        const Ended r = run({row.arguments, {}, RLIM_INFINITY});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, "fluviagen: " + row.named + " holds a control character")) << r.err;
        EXPECT_TRUE(namesIn(temp).empty());
    }
}

TEST(CallRecords, ABadDrainageRecordIsNamedByItsTrueLineOnStandardError) {
    struct Row {
        const char* file;
        const char* specified;  // the run log's text, which counts records
        std::string told;
    };
    const Row rows[] = {
        {"river_nodes.txt", "Reading node file in line '",
         "node file '%', line 9: the longitude 'abc' is not a number!"},
        {"river_segments.txt", "Reading line ", "segment file '%', line 9: the length 'abc' is not a number!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        TempFolder temp;
        const std::string settings = dnaCase(temp);
        // Line 9 holds the fifth record; its second field (a longitude, a
        // from-node id) or fourth (a length) is made bad.
        std::istringstream lines(readFile(temp.path() / row.file));
        std::string text, line;
        for (int number = 1; std::getline(lines, line); ++number) {
            if (number == 9) {
                std::istringstream words(line);
                std::vector<std::string> fields;
                for (std::string w; words >> w;) fields.push_back(w);
                fields[std::string(row.file) == "river_nodes.txt" ? 1 : 3] = "abc";
                line.clear();
                for (const std::string& w : fields) line += w + " ";
            }
            text += line + "\n";
        }
        temp.write(row.file, text);
        const Ended r = run({{settings}, {}, RLIM_INFINITY});
        EXPECT_EQ(r.status, 1);
        std::string told = row.told;
        told.replace(told.find('%'), 1, temp.folder() + row.file);
        EXPECT_TRUE(contains(r.err, "\nfluviagen: " + told + "\n")) << r.err;
        EXPECT_TRUE(contains(r.out, row.specified)) << r.out;
        EXPECT_FALSE(contains(r.err, row.specified)) << r.err;
    }
}

namespace {

// A console whose reader fails at the closing line of the entire
// simulations: an error that is not one of the program's own, after the
// outputs are written.
class FailingAtTheEnd : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        return std::string_view(s, static_cast<std::size_t>(n)).find("Simulations succeeded") == std::string_view::npos
                   ? n
                   : 0;
    }
};

}  // namespace

TEST(CallRecords, AnUnexpectedErrorEndsTheCallAsFailed) {
    TempFolder temp;
    const std::string settings = dnaCase(temp);
    CommandLine options;
    options.seed = -5;
    options.groups = {{"maps", false}, {"gpkg", false}};
    FailingAtTheEnd failing;
    std::streambuf* const console = std::cout.rdbuf(&failing);
    const auto exceptions = std::cout.exceptions();
    std::cout.exceptions(std::ios::badbit);
    bool thrown = false;
    testing::internal::CaptureStderr();
    try {
        runProgram(Text("fluviagen"), Text(settings), 0, options, {"fluviagen", settings});
    } catch (const std::ios_base::failure&) {
        thrown = true;
    } catch (...) {
    }
    testing::internal::GetCapturedStderr();
    std::cout.exceptions(exceptions);
    std::cout.rdbuf(console);
    std::cout.clear();
    EXPECT_TRUE(thrown);
    const std::string record = outputFile(temp, "_run.json");
    EXPECT_EQ(recordValue(record, "r['status'], r['exit_status'], r['error'].startswith('no special message')"),
              "failed 1 True");
    EXPECT_FALSE(fs::exists(outputFile(temp, ".complete")));
}
