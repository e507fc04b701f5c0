// The program's console entry: command line, banner, the simulation loop, closing line.
#pragma once

namespace fluviagen {

// Runs the program for a command line; returns the process exit status:
// 0 after a normal end and after the help text, 1 after the wrong-count text
// and after an unhandled error (so batch scripts can tell success from
// failure).
int runConsole(int argc, char** argv);

// Waits until the user types something that is not blank and presses Enter;
// ends at once when standard input has ended.
void waitForUser();

}  // namespace fluviagen
