// Console entry of fluviagen: banner, settings path, the simulation loop of
// every entire simulation, closing line.
#include "app/Console.h"

int main(int argc, char** argv) { return fluviagen::runConsole(argc, argv); }
