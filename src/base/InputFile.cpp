#include "base/InputFile.h"

#include "base/Exception.h"

std::ifstream openInputFile(const my_string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in || isFolder(path)) throw TException(shortened("File '" + path.str() + "' could not be opened!"), levelFatal);
    return in;
}
