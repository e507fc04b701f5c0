// Console entry of fluviagen: banner, settings path, one World that runs
// every entire simulation, closing line.
#include "app/Console.h"

int main(int argc, char** argv) { return runConsole(argc, argv); }
