// Opening the program's input files.
#pragma once

#include <fstream>

#include "base/Utilities.h"

// Opens an input file for reading. A file that cannot be opened, or a folder
// given where a file is expected, is a fatal error: "File '<path>' could not
// be opened!".
std::ifstream openInputFile(const my_string& path);
