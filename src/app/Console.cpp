#include "app/Console.h"

#include <cstdlib>
#include <iostream>

#include "base/Exception.h"
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
        long numberOfSimulations = 0;
        if (parameters == 0) {
            std::cout << "Enter the path of a settings file: " << std::flush;
            readLine(settingsPath, std::cin);
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
            numberOfSimulations = std::strtol(argv[2], nullptr, 10);
        } else {
            printWrongCount(parameters);
            std::cout << std::endl;
            waitForUser();
            return 1;
        }
        runProgram(my_string(argv[0]), settingsPath, static_cast<std::int32_t>(numberOfSimulations));
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
