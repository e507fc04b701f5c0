// The end of a program's command line as the three programs handle it: CLI11
// parses it; --help and --version print and end the call with status 0;
// anything it refuses is named on standard error with a pointer to --help and
// ends the call with exitFailure.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>
#include <string>

#include "common/Error.h"

namespace common {

// The exit status when the call ends here, nothing when it goes on.
inline std::optional<int> parseOrEnd(CLI::App& app, int argc, char** argv, const std::string& program) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << program << ": " << e.what() << " (see --help)" << std::endl;
        return exitFailure;
    }
    return std::nullopt;
}

}  // namespace common
