// The command line: the options parsed as a table, and the real program run
// with them (settings values, seeds of calls started together, the output
// folder, absolute input paths, the run record, the progress line).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::readFile;
using testing_support::runProgram;
using testing_support::settingsText;
using testing_support::StandardError;
using testing_support::TempFolder;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A chain of two segments with a source at the mouth and one sample.
std::string writeTinyRiver(const TempFolder& temp, const std::map<int, std::string>& lines = {}) {
    temp.write("nodes.txt", "h\nh\nh\nh\n1 20.0 45.0\n2 20.01 45.0\n3 20.02 45.0\n");
    temp.write("segments.txt", "h\nh\nh\nh\n1 2 1 785 20.005 45.0\n2 3 2 785 20.015 45.0\n");
    temp.write("populations.txt", "1\n0\nName Size SegID Resize Migration\nMouth 10 1 0 0\n");
    temp.write("samples.txt", "1\n0\nName Genes SegID\nA 4 1\n");
    std::map<int, std::string> all{{7, "10"}, {9, "20"}, {16, "1"}, {17, "3"}};
    for (const auto& [line, text] : lines) all[line] = text;
    return temp.write("settings.txt", settingsText(all));
}

}  // namespace

TEST(CommandLine, ParsesOptionsAndRefusesWhatItCannotUse) {
    struct Row {
        std::vector<std::string> words;
        std::string error;  // empty: accepted
        std::size_t positional = 0;
    };
    const Row rows[] = {
        {{}, "", 0},
        {{"settings.txt"}, "", 1},
        {{"settings.txt", "-5"}, "", 2},  // a negative count stays the count
        {{"--", "-odd.txt"}, "", 1},      // a settings file beginning with a dash
        {{"a", "b", "c"}, "", 3},         // the wrong count is the program's to report
        {{"--seed", "2026", "--out", "out", "s.txt"}, "", 1},
        {{"--seed=-5", "s.txt"}, "", 1},
        {{"--set", "38=0.05", "--set", "generations=2000", "--set", "samples=other.txt", "--set", "31=0"}, "", 0},
        {{"--with", "vcf", "--without", "stats", "-q", "--progress", "--diploid-vcf"}, "", 0},
        {{"-x"}, "not expected: -x", 0},
        {{"--bogus"}, "not expected: --bogus", 0},
        {{"--seed"}, "--seed", 0},
        {{"--seed", "0"}, "from 1 to 161803398", 0},
        {{"--seed", "161803399"}, "from 1 to 161803398", 0},
        {{"--seed", "12x"}, "from 1 to 161803398", 0},
        {{"--seed", ""}, "from 1 to 161803398", 0},
        {{"--seed="}, "--seed", 0},
        {{"--json", "s.txt"}, "--json goes with --list-settings", 0},
        {{"--list-settings", "--plan"}, "one at a time", 0},
        {{"--set"}, "--set", 0},
        {{"--set", "38"}, "expected KEY=VALUE", 0},
        {{"--set", "6=x"}, "no settings line", 0},
        {{"--set", "41=END"}, "no settings line", 0},
        {{"--set", "speed=3"}, "'speed' is no settings line", 0},
        {{"--set", "38=0,05"}, "(migration rate of colonised segments): '0,05' holds a comma", 0},
        {{"--set", "generations=2.5"}, "(number of generations)", 0},
        {{"--set", "trees_output=2"}, "must be 0 or 1", 0},
        {{"--set", "nodes="}, "there is no file name", 0},
        {{"--with", "pdf"}, "--with pdf: no output group", 0},
        {{"--without", "x"}, "--without x: no output group", 0},
        {{"--placement", "ratio", "s.txt"}, "", 1},
        {{"--placement=nearest"}, "", 0},
        {{"--placement", "Ratio"},
         "--placement Ratio: no placement rule of that name (the rules are: nearest ratio)",
         0},
        {{"--placement", ""}, "no placement rule of that name", 0},
        {{"--placement"}, "--placement", 0},
    };
    for (const Row& row : rows) {
        std::string where;
        for (const auto& w : row.words) where += w + " ";
        try {
            const CommandLine c = parseCommandLine(row.words);
            EXPECT_TRUE(row.error.empty()) << where << ": accepted";
            EXPECT_EQ(c.positional.size(), row.positional) << where;
        } catch (const CommandLineError& e) {
            EXPECT_FALSE(row.error.empty()) << where << ": " << e.what();
            EXPECT_TRUE(contains(e.what(), row.error)) << where << ": " << e.what();
        }
    }
    const CommandLine c = parseCommandLine({"--seed", "7", "--out", "out", "--set", "38=0.05", "--set",
                                            "migration_colonised=0.1", "--set", "samples=x.txt", "--with", "vcf",
                                            "--without", "vcf", "--with", "stats", "s.txt", "-3"});
    EXPECT_EQ(c.seed, -7L);
    EXPECT_EQ(c.outFolder, "out/");
    ASSERT_EQ(c.overrides.size(), 2u);
    EXPECT_EQ(c.overrides.at(38).value, "0.1");  // the later value for a line wins
    EXPECT_EQ(c.overrides.at(2).value, "x.txt");
    const std::vector<std::pair<std::string, bool>> groups{{"vcf", true}, {"vcf", false}, {"stats", true}};
    EXPECT_EQ(c.groups, groups);
    EXPECT_EQ(c.positional, (std::vector<std::string>{"s.txt", "-3"}));
    EXPECT_FALSE(c.diploidVcf);
    EXPECT_TRUE(parseCommandLine({"s.txt", "--diploid-vcf"}).diploidVcf);
    EXPECT_EQ(c.placement, PlacementRule::nearest);
    EXPECT_EQ(parseCommandLine({"--placement", "ratio"}).placement, PlacementRule::ratio);
}

TEST(CommandLine, HelpVersionAndRefusalsBeforeAnyWork) {
    const auto help = runProgram({"--help"}, "", "", "", 0, StandardError::Apart);
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--seed N", "--out DIR", "--set KEY=VALUE", "--with NAME", "--without NAME", "--quiet", "--progress",
          "--version", "--diploid-vcf", "38 migration_colonised", "--placement RULE"})
        EXPECT_TRUE(contains(help.output, option)) << option;
    EXPECT_FALSE(contains(help.output, "Fluviagen\n"));  // no banner, no wait
    const auto version = runProgram({"--version"}, "", "", "", 0, StandardError::Apart);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("fluviagen ", 0), 0u);
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--nope", "s.txt"}, {"--set", "38=x", "s.txt"}, {"-settings.txt"}}) {
        const auto r = runProgram(words, "", "", "", 0, StandardError::Apart);
        EXPECT_EQ(r.status, 1) << words[0];
        EXPECT_EQ(r.output, "") << words[0];  // not even the banner
        EXPECT_TRUE(contains(r.errors, "fluviagen: ")) << r.errors;
    }
}

TEST(CommandLine, SetReplacesSettingsLinesAndIsEchoed) {
    TempFolder temp;
    const std::string settings = writeTinyRiver(temp);
    temp.write("other_samples.txt", "1\n0\nName Genes SegID\nB 6 1\n");
    const auto r = runProgram({"--set", "generations=7", "--set", "17=2", "--set", "samples=other_samples.txt", "--set",
                               "34=0", "--set", "38=0.25", settings},
                              "", "5", "", 0, StandardError::Apart);
    ASSERT_EQ(r.status, 0) << r.output << r.errors;
    EXPECT_TRUE(contains(r.output, "*  2 genetic simulations (per demographic simulation)\n*  7 generations"));
    EXPECT_TRUE(contains(r.errors, "Settings line 9 (number of generations) = 7 from --set generations=7\n"));
    EXPECT_TRUE(
        contains(r.errors, "Settings line 38 (migration rate of colonised segments) = 0.25 from --set 38=0.25"));
    const std::string out = temp.folder() + "GeneticOutput/";
    EXPECT_TRUE(std::filesystem::exists(out + "settings_other_samples_DNA_1-2.arp"));      // the sample file's name
    EXPECT_FALSE(std::filesystem::exists(out + "settings_other_samples_DNA_true.trees"));  // line 34 off
    EXPECT_TRUE(contains(readFile(out + "settings_other_samples_DNA_1-1.arp"), "SampleName=\"B\""));

    // Values the file's own rules refuse are refused naming the option.
    const std::pair<const char*, const char*> refused[] = {
        {"capacity=40000",
         "--set capacity=40000 (carrying capacity): '40000' is outside the values a run can use (1..32767)"},
        {"38=1.5",
         "--set 38=1.5 (migration rate of colonised segments): '1.5' is outside the values a run can use (0..1)"},
        {"data_type=9", "--set data_type=9 (data type): '9' is outside the values a run can use (0|1|2|3|4)"},
        // A rule that depends on another line (the data type) once the file is read.
        {"mutation_rate=2", "--set mutation_rate=2 (mutation rate): must be a number from 0 to 1, not 2!"},
    };
    for (const auto& [option, message] : refused) {
        const auto bad = runProgram({"--set", option, settings}, "", "5", "", 0, StandardError::Apart);
        EXPECT_EQ(bad.status, 1) << option;
        EXPECT_TRUE(contains(bad.errors, message)) << option << ": " << bad.errors;
        EXPECT_FALSE(contains(bad.output, "run finished")) << option;
    }
}

TEST(CommandLine, CallsStartedTogetherGetDistinctSeeds) {
    TempFolder temp;
    for (const int calls : {2, 8}) {
        std::string script = "cd '" + temp.folder() + "' && unset FLUVIAGEN_SEED; for i in $(seq " +
                             std::to_string(calls) + "); do '" FLUVIAGEN_BINARY "' /no/such/settings.txt " +
                             "</dev/null >seed_$i.txt 2>&1 & done; wait";
        ASSERT_EQ(std::system(script.c_str()), 0);
        std::set<std::string> seeds;
        for (int i = 1; i <= calls; ++i) {
            const std::string text = readFile(temp.folder() + "seed_" + std::to_string(i) + ".txt");
            const auto at = text.find("seed = ");
            ASSERT_NE(at, std::string::npos) << text;
            const std::string seed = text.substr(at + 7, text.find('\n', at) - at - 7);
            EXPECT_EQ(seed.front(), '-');
            const long value = std::stol(seed);
            EXPECT_TRUE(value >= -161803398 && value <= -1) << value;
            seeds.insert(seed);
        }
        EXPECT_EQ(seeds.size(), static_cast<std::size_t>(calls));
    }
}

TEST(CommandLine, AbsolutePathsAndTheOutputFolder) {
    TempFolder data;
    const std::string settings = writeTinyRiver(data);
    TempFolder elsewhere;
    const std::string nodes = elsewhere.write("abs_nodes.txt", readFile(data.folder() + "nodes.txt"));
    std::filesystem::remove(data.folder() + "nodes.txt");
    data.write("settings.txt", readFile(settings));
    const std::string withAbsolute =
        data.write("abs.txt", settingsText({{3, nodes}, {7, "10"}, {9, "20"}, {16, "1"}, {17, "3"}}));
    const auto plain = runProgram({withAbsolute}, "", "11", "", 0, StandardError::Apart);
    ASSERT_EQ(plain.status, 0) << plain.output << plain.errors;

    const std::string out = elsewhere.folder() + "new/deeper";
    const auto moved = runProgram({"--out", out, withAbsolute}, "", "11", "", 0, StandardError::Apart);
    ASSERT_EQ(moved.status, 0) << moved.output << moved.errors;
    // The same files with the same contents, in the other folder (the run
    // record tells where and when, so it differs).
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(data.folder() + "GeneticOutput"))
        names.insert(entry.path().filename().string());
    std::set<std::string> movedNames;
    for (const auto& entry : std::filesystem::directory_iterator(out))
        movedNames.insert(entry.path().filename().string());
    EXPECT_EQ(names, movedNames);
    for (const std::string& name : names) {
        if (name.find("_run.json") != std::string::npos) continue;
        EXPECT_EQ(readFile(data.folder() + "GeneticOutput/" + name), readFile(out + "/" + name)) << name;
    }
    EXPECT_TRUE(contains(moved.errors, "Outputs written to " + out + "/ (" + std::to_string(names.size()) +
                                           " files; listed in abs_samples_DNA.complete)"))
        << moved.errors;

    const std::string file = elsewhere.write("a_file", "x");
    const auto blocked = runProgram({"--out", file + "/sub", withAbsolute}, "", "11", "", 0, StandardError::Apart);
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(contains(blocked.errors, "'" + file + "' is a file, not a folder")) << blocked.errors;
}

TEST(CommandLine, RunRecordTellsSettingsInputsAndOutputs) {
    TempFolder temp;
    const std::string settings = writeTinyRiver(temp);
    const auto r = runProgram({"--set", "17=2", settings, "2"}, "", "77", "", 0, StandardError::Apart);
    ASSERT_EQ(r.status, 0) << r.output << r.errors;
    const std::string record = temp.folder() + "GeneticOutput/settings_samples_DNA_run.json";
    // Read back by an independent reader; checksums recomputed from the inputs.
    const std::string check = temp.write("check.py", R"(import hashlib, json, os, sys
r = json.load(open(sys.argv[1]))
folder = os.path.dirname(sys.argv[2]) + '/'
assert r['status'] == 'success' and r['exit_status'] == 0 and r['seed'] == -77, r
for f in r['inputs']:
    path = f['path'] if f['path'].startswith('/') else folder + os.path.basename(f['path'])
    data = open(path, 'rb').read()
    assert f['sha256'] == hashlib.sha256(data).hexdigest() and f['size'] == len(data), f
want = {'settings': 'settings.txt', 'sources': 'populations.txt', 'samples': 'samples.txt',
        'nodes': 'nodes.txt', 'segments': 'segments.txt'}
assert all(os.path.basename(f['path']) == want[f['role']] for f in r['inputs']), r['inputs']
roles = [f['role'] for f in r['inputs']]
assert roles == ['settings', 'sources', 'samples', 'nodes', 'segments'], roles
s = {v['line']: v for v in r['settings']}
assert len(s) == 39 and s[17]['value'] == '2' and s[17]['source'] == '--set', s[17]
assert s[16]['value'] == '2' and s[16]['source'] == 'count parameter', s[16]
assert s[9]['source'] == 'file' and s[9]['name'] == 'generations' and s[9]['value'] == '20'
e = r['entire_simulations']
assert [x['e'] for x in e] == [1, 2] and all(x['accepted'] for x in e), e
assert 'settings_samples_DNA_2-1.arp' in e[1]['files']
outs = {o['path']: o['size'] for o in r['outputs']}
assert outs['settings_samples_DNA_1-1.arp'] == os.path.getsize(os.path.dirname(sys.argv[1]) + '/settings_samples_DNA_1-1.arp')
print('ok')
)");
    const std::string command = "/usr/bin/python3 " + check + " " + record + " " + settings;
    EXPECT_EQ(std::system(command.c_str()), 0);

    // A failed call leaves its record, with the reason.
    temp.write("samples.txt", "1\n0\nName Genes SegID\nA 4 9\n");
    const auto failed = runProgram({settings}, "", "77", "", 0, StandardError::Apart);
    EXPECT_EQ(failed.status, 1);
    const std::string text = readFile(record);
    EXPECT_TRUE(contains(text, "\"status\": \"failed\"")) << text;
    EXPECT_TRUE(contains(text, "\"exit_status\": 1"));
}

// The placement rule is said once on standard error when a population file
// gives points, and stands in the run record; a resampled run that reads
// populations by id says once that the ids are the resampled drainage's.
TEST(CommandLine, PlacementAndResampledIdsAreSaid) {
    struct Row {
        bool sourcesByPoint, samplesByPoint;
        const char* segmentLength;
        std::vector<std::string> options;
        const char* placement;  // the rule named on standard error; empty: none
        bool resampledIds;
    };
    const Row rows[] = {
        {false, false, "0", {}, "", false},
        {false, true, "0", {}, "nearest", false},
        {true, true, "0", {"--placement", "ratio"}, "ratio", false},
        {false, false, "400", {}, "", true},
        {true, false, "400", {"--placement", "nearest"}, "nearest", true},
        {true, true, "400", {}, "nearest", false},
    };
    for (const Row& row : rows) {
        TempFolder temp;
        const std::string settings = writeTinyRiver(temp, {{40, row.segmentLength}});
        if (row.sourcesByPoint)
            temp.write("populations.txt", "1\n1\nName Size Lon Lat Resize Migration\nMouth 10 20.001 45.0001 0 0\n");
        if (row.samplesByPoint) temp.write("samples.txt", "1\n1\nName Genes Lon Lat\nA 4 20.002 45.0\n");
        std::vector<std::string> words = row.options;
        words.push_back(settings);
        const auto r = runProgram(words, "", "5", "", 0, StandardError::Apart);
        const std::string what = std::string(row.placement) + " " + row.segmentLength;
        ASSERT_EQ(r.status, 0) << what << r.output << r.errors;
        const std::string said = "Placement of populations given by coordinates: ";
        EXPECT_EQ(contains(r.errors, said), *row.placement != 0) << what << r.errors;
        if (*row.placement != 0) {
            EXPECT_TRUE(contains(r.errors, said + row.placement + " (")) << what << r.errors;
            EXPECT_EQ(r.errors.find(said), r.errors.rfind(said)) << what << ": said twice";
        }
        EXPECT_EQ(contains(r.errors,
                           "Note: populations given by segment id stand on the drainage resampled to 400 m "
                           "segments (settings line 40): their ids are those of the resampled drainage, "
                           "not those of the segment file 'segments.txt'."),
                  row.resampledIds)
            << what << r.errors;
        const std::string record = readFile(temp.folder() + "GeneticOutput/settings_samples_DNA_run.json");
        const bool ratio = row.options.size() == 2 && row.options[1] == "ratio";
        EXPECT_TRUE(contains(record, std::string("\"placement\": \"") + (ratio ? "ratio" : "nearest") + "\""))
            << what << record;
    }
}

TEST(CommandLine, ProgressOnlyWhenAskedOrOnATerminal) {
    TempFolder temp;
    const std::string settings = writeTinyRiver(temp, {{9, "300"}});
    const auto quiet = runProgram({settings}, "", "3", "", 0, StandardError::Apart);
    EXPECT_FALSE(contains(quiet.errors, "forward simulation")) << quiet.errors;
    const auto asked = runProgram({"--progress", settings}, "", "3", "", 0, StandardError::Apart);
    EXPECT_TRUE(contains(asked.errors, "forward simulation: generation 1 of 300")) << asked.errors;
    EXPECT_TRUE(contains(asked.errors, "genetic simulation 3 of 3"));
    EXPECT_EQ(asked.output.find('\r'), std::string::npos);  // the run log stays clean
    // Standard error on a pseudo-terminal: shown without being asked.
    const std::string script = temp.write("pty_run.py", R"(import os, pty, sys
out = os.open(sys.argv[2], os.O_WRONLY | os.O_CREAT)
pid, fd = pty.fork()
if pid == 0:
    os.dup2(out, 1)
    os.dup2(os.open('/dev/null', os.O_RDONLY), 0)  # the closing wait ends at once
    os.environ['FLUVIAGEN_SEED'] = '3'
    os.execv(sys.argv[1], [sys.argv[1], sys.argv[3]])
seen = b''
while True:
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        break
    if not chunk:
        break
    seen += chunk
os.waitpid(pid, 0)
sys.exit(0 if b'forward simulation: generation' in seen else 1)
)");
    const std::string command =
        "/usr/bin/python3 " + script + " " FLUVIAGEN_BINARY " " + temp.folder() + "log.txt " + settings + " </dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    // --quiet: nothing on standard output but a fatal error.
    const auto silent = runProgram({"--quiet", settings}, "", "3", "", 0, StandardError::Apart);
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.output, "");
    const auto fatal = runProgram({"--quiet", "/no/such/settings.txt"}, "", "3", "", 0, StandardError::Apart);
    EXPECT_TRUE(contains(fatal.output, "FATAL ERROR: File '/no/such/settings.txt' could not be opened!"));
    EXPECT_TRUE(contains(fatal.errors, "fluviagen: File '/no/such/settings.txt' could not be opened!"));
}
