#include "app/Console.h"

#include <algorithm>
#include <cstdint>
#include <streambuf>
#include <vector>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "base/NumberText.h"
#include "app/CommandLine.h"
#include "common/Error.h"
#include "common/Version.h"
#include "app/Plan.h"
#include "app/SimulationLoop.h"
#include "settings/SettingKeys.h"

namespace fluviagen {

namespace {

void printHelp() {
    std::cout << "\n***********************************************************\n"
              << "\nThe program FLUVIAGEN allows to simulate genetic diversity\n"
              << "based on a realistic vectorized environment.\n\n"
              << "FLUVIAGEN requires the following parameters:\n"
              << "1)the path to a settings file (e. g. settings.txt)\n"
              << "2)the number of entire simulations (optional, can also be\n"
              << "  specified in the settings file.\n\n"
              << "Exiting FLUVIAGEN (please press any key)...\n";
}

void printWrongCount(int count) {
    std::cout << "\n ERROR: You passed " << count << " parameters!\n\n"
              << "The program FLUVIAGEN can take up to two parameters:\n"
              << "0 parameter: the program asks for the path to a settings file.\n"
              << "1 parameter: path to a settings file (e. g. settings.txt)\n"
              << "2 parameters: number of entire simulations to perform (optional \n"
              << "  can also be specified in the settings file.\n\n"
              << "Exiting FLUVIAGEN (please press any key)...\n";
}

// The second parameter: the number of entire simulations, replacing the
// settings file's line Setting::entireSimulations. "0", and a parameter that does not begin with a
// number, leave the number of the settings file; a negative number asks for
// no run. Anything else must be a whole number that fits the 32 bits the
// count is kept in; a larger one is refused rather than cut to 32 bits, which
// would make 2147483648 negative (no run) and 99999999999 ask for 1215752191.
std::int32_t numberOfSimulationsParameter(const char* text) {
    std::string_view word(text);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!word.empty() && blank(word.front())) word.remove_prefix(1);
    while (!word.empty() && blank(word.back())) word.remove_suffix(1);
    std::int32_t count = 0;
    const NumberProblem problem = readNumber(word, count);
    if (problem == NumberProblem::notANumber) return 0;
    if (problem != NumberProblem::none)
        throw SimulationError(
            shortened("The second parameter '" + printableWord(word) +
                      "' must be a whole number of entire simulations from " + rangeText<std::int32_t>() +
                      " (0 or no number: the number of the settings file)!"),
            levelFatal);
    return count;
}

}  // namespace

void waitForUser() {
    std::cout.flush();
    int answer = 0;
    std::cin >> answer;
}

namespace {

// A stream buffer that drops everything: the run log of a quiet call.
class DiscardBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Every value of the command line, echoed where a user of a batch job looks
// for what is not in the settings file.
void echoOverrides(const CommandLine& c) {
    for (const auto& [line, given] : c.overrides)
        std::cerr << "Settings line " << line << " (" << findSettingKey(line)->field << ") = " << given.value
                  << " from --set " << given.option << "\n";
}

// A word that only an option would begin with: it stands among the
// parameters because it came after "--" (a negative count is a number).
bool looksLikeOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && (word[1] < '0' || word[1] > '9') && word[1] != '.';
}

// The words of the parameters that look like options, quoted, for the line
// on standard error that says why a call with them went wrong.
std::string optionsAmongParameters(const std::vector<std::string>& positional, std::size_t from) {
    std::string words;
    for (std::size_t i = from; i < positional.size(); ++i)
        if (looksLikeOption(positional[i]))
            words.append(words.empty() ? "'" : ", '").append(printableWord(positional[i])).append("'");
    return words;
}

// --plan: the call resolved as a run resolves it, as JSON on standard
// output and nothing else there; a refusal on standard error.
int printPlan(const CommandLine& options, const std::string& programPath) {
    const auto& positional = options.positional;
    if (positional.empty() || positional.size() > 2) {
        std::cerr << "fluviagen: --plan takes the settings file and optionally the count (" << positional.size()
                  << " parameters given)\n";
        return common::exitFailure;
    }
    // The console lines a run prints go nowhere: standard output holds the
    // plan alone. The lines that explain a refusal follow it to standard error.
    std::ostringstream console;
    std::streambuf* const standardOutput = std::cout.rdbuf(console.rdbuf());
    try {
        const std::int32_t count = positional.size() == 2 ? numberOfSimulationsParameter(positional[1].c_str()) : 0;
        const CallPlan plan = planCall(Text(programPath), Text(positional[0]), count, options);
        std::cout.rdbuf(standardOutput);
        std::cout << planText(plan) << std::flush;
        return 0;
    } catch (const SimulationError& e) {
        std::cout.rdbuf(standardOutput);
        std::istringstream lines(console.str());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("Settings file", 0) == 0 || line.find("ERROR") != std::string::npos ||
                line.find("WARNING") != std::string::npos)
                std::cerr << line << "\n";
        std::cerr << "fluviagen: " << e.message().str() << std::endl;
    } catch (...) {
        std::cout.rdbuf(standardOutput);
        std::cerr << "fluviagen: unhandled error, no special message" << std::endl;
    }
    return common::exitFailure;
}

}  // namespace

int runConsole(int argc, char** argv) {
    const Stopwatch start;
    const std::vector<std::string> words(argv, argv + argc);
    CommandLine options;
    try {
        options = parseCommandLine(std::vector<std::string>(words.begin() + (words.empty() ? 0 : 1), words.end()));
    } catch (const CommandLineError& e) {
        std::cerr << "fluviagen: " << e.what() << "\nfluviagen --help lists the options.\n";
        return common::exitFailure;
    }
    if (options.help) {
        std::cout << commandLineHelp() << std::flush;
        return 0;
    }
    if (options.version) {
        std::cout << "fluviagen " << common::programVersion() << "\n" << std::flush;
        return 0;
    }
    if (options.listSettings) {
        std::cout << settingsTableText(options.json) << std::flush;
        return 0;
    }
    echoOverrides(options);
    if (options.plan) return printPlan(options, words.empty() ? std::string() : words[0]);
    DiscardBuffer discard;
    std::streambuf* const console = std::cout.rdbuf();
    if (options.quiet) std::cout.rdbuf(&discard);
    const auto& positional = options.positional;
    const int parameters = options.classicHelp ? 1 : static_cast<int>(positional.size());
    int status = 0;
    std::string fatalLine;
    try {
        std::cout << "\nFluviagen";
        if (options.classicHelp)
            std::cout << "    (" << *std::find_if(words.begin() + 1, words.end(), [](const std::string& w) {
                return w == "-h" || w == "-H";
            }) << ")";
        else if (parameters == 1 || parameters == 2)
            std::cout << "    (" << positional[0] << ")";
        std::cout << "\n*************";
        std::cout << "\nDate: " << dateString() << std::endl;

        Text settingsPath;
        std::int32_t numberOfSimulations = 0;
        if (options.classicHelp) {
            printHelp();
            std::cout << std::endl;
            waitForUser();
            std::cout.rdbuf(console);
            return 0;
        }
        if (parameters == 0) {
            std::cout << "Enter the path of a settings file: " << std::flush;
            if (!readLine(settingsPath, std::cin))
                throw SimulationError(Text("The path of the settings file is longer than 9999 characters!"),
                                      levelFatal);
        } else if (parameters == 1) {
            settingsPath = Text(positional[0]);
        } else if (parameters == 2) {
            settingsPath = Text(positional[0]);
            if (looksLikeOption(positional[1]))
                std::cerr << "fluviagen: '" << printableWord(positional[1])
                          << "' stands after --, where every word is a parameter: it is taken as the count of "
                             "entire simulations, not as an option\n";
            numberOfSimulations = numberOfSimulationsParameter(positional[1].c_str());
        } else {
            // The console text of a wrong count is the run log's; the reason
            // shows on standard error also in a quiet call.
            const std::string options_ = optionsAmongParameters(positional, 1);
            std::cerr << "fluviagen: " << parameters
                      << " parameters given, but the program takes at most two (the settings file and the count)";
            if (!options_.empty()) std::cerr << "; " << options_ << " stood after --, where no word is an option";
            std::cerr << std::endl;
            printWrongCount(parameters);
            std::cout << std::endl;
            waitForUser();
            std::cout.rdbuf(console);
            return common::exitFailure;
        }
        runProgram(Text(argv[0]), settingsPath, numberOfSimulations, options, words);
    } catch (const SimulationError& e) {
        // A fatal error shows on the console of a quiet call, and on the
        // terminal also when the run log goes to a file.
        std::cout.rdbuf(console);
        std::cout << "\nUnhandled ERROR: " << e << std::endl;
        fatalLine = "fluviagen: " + e.told();
        status = 1;
    } catch (...) {
        std::cout.rdbuf(console);
        std::cout << "\nUnhandled ERROR: no special message!" << std::endl;
        fatalLine = "fluviagen: unhandled error, no special message";
        status = 1;
    }
    std::cout << "\nProgram terminated! (Duration: " << start << ")\nAfter here, only calls to destructors.\n";
    // After the closing line, so that a console showing both streams keeps
    // the run log in one piece.
    if (!fatalLine.empty()) {
        std::cout << std::flush;
        std::cerr << fatalLine << std::endl;
    }
    waitForUser();
    std::cout.rdbuf(console);
    return status;
}

}  // namespace fluviagen
