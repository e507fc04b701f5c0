// The errors of the three programs and the exit statuses they end with.
//
// Every error a program reports to its user derives from common::Error: the
// message says what is wrong and where (the file, and the line when there is
// one), so the handler at the top of a program only prints it. The kinds
// differ in who raises them, not in how they are reported:
//   UsageError  - a command line that cannot be used (unknown option, missing
//                 or refused value);
//   InputError  - an input file or value the program cannot use;
//   OutputError - a file that cannot be staged, written or put into place.
// The simulator's own error (base/Exception.h) keeps its level (error or
// fatal), which decides whether the next entire simulation is tried; it is
// reported through the same exit statuses.
#pragma once

#include <stdexcept>

namespace common {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class UsageError : public Error {
public:
    using Error::Error;
};

class InputError : public Error {
public:
    using Error::Error;
};

class OutputError : public Error {
public:
    using Error::Error;
};

// What each program returns to its caller. A signal ends a call with
// 128 + the signal number (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP),
// as a shell reports a process a signal ended (common/SignalCleanup.h).
enum ExitStatus : int {
    exitSuccess = 0,  // everything asked for was written
    exitFailure = 1,  // bad usage, unusable input, or an output not written
};

}  // namespace common
