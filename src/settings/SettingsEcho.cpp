// The console echo of the settings: the block of general settings the
// program prints once the file is read.
#include <iostream>

#include "settings/Settings.h"

namespace fluviagen {

void Settings::echoSettings() const {
    std::cout << "\n************************\n*  "
              << "General Settings:\n*  " << numDemographicSimulations
              << " demographic simulations (entire simulations)\n*  " << numGeneticSimulations
              << " genetic simulations (per demographic simulation)\n*  " << numGenerations
              << " generations to simulate"
              << "\n************************\n\n";
}

}  // namespace fluviagen
