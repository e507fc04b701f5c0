#include "app/Console.h"

#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "base/NumberText.h"
#include "app/RunLoop.h"

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

// The second parameter: the number of entire simulations, replacing line 16
// of the settings file. "0", and a parameter that does not begin with a
// number, leave the number of the settings file; a negative number asks for
// no run. Anything else must be a whole number that fits the 32 bits the
// count is kept in: strtol and a cast once turned 2147483648 into 0 runs and
// 99999999999 into 1215752191.
std::int32_t numberOfSimulationsParameter(const char* text) {
    std::string_view word(text);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!word.empty() && blank(word.front())) word.remove_prefix(1);
    while (!word.empty() && blank(word.back())) word.remove_suffix(1);
    std::int32_t count = 0;
    const NumberProblem problem = readNumber(word, count);
    if (problem == NumberProblem::notANumber) return 0;
    if (problem != NumberProblem::none)
        throw TException(shortened("The second parameter '" + printableWord(word) +
                                   "' must be a whole number of entire simulations from " +
                                   rangeText<std::int32_t>() + " (0 or no number: the number of the settings file)!"),
                         levelFatal);
    return count;
}

}  // namespace

void waitForUser() {
    std::cout.flush();
    int answer = 0;
    std::cin >> answer;
}

int runConsole(int argc, char** argv) {
    const myTimer start;
    const int parameters = argc - 1;
    int status = 0;
    try {
        std::cout << "\nFluviagen";
        if (parameters == 1 || parameters == 2) std::cout << "    (" << argv[1] << ")";
        std::cout << "\n*************";
        std::cout << "\nDate: " << dateString() << std::endl;

        my_string settingsPath;
        std::int32_t numberOfSimulations = 0;
        if (parameters == 0) {
            std::cout << "Enter the path of a settings file: " << std::flush;
            if (!readLine(settingsPath, std::cin))
                throw TException(my_string("The path of the settings file is longer than 9999 characters!"),
                                 levelFatal);
        } else if (parameters == 1) {
            const my_string first(argv[1]);
            if (first == "-h" || first == "-H") {
                printHelp();
                std::cout << std::endl;
                waitForUser();
                return 0;
            }
            settingsPath = first;
        } else if (parameters == 2) {
            settingsPath = my_string(argv[1]);
            numberOfSimulations = numberOfSimulationsParameter(argv[2]);
        } else {
            printWrongCount(parameters);
            std::cout << std::endl;
            waitForUser();
            return 1;
        }
        runProgram(my_string(argv[0]), settingsPath, numberOfSimulations);
    } catch (const TException& e) {
        std::cout << "\nUnhandled ERROR: " << e << std::endl;
        status = 1;
    } catch (...) {
        std::cout << "\nUnhandled ERROR: no special message!" << std::endl;
        status = 1;
    }
    std::cout << "\nProgram terminated! (Duration: " << start << ")\nAfter here, only calls to destructors.\n";
    waitForUser();
    return status;
}
