// Where the seed of the main generator of a program call comes from. The
// generator takes a negative seed of magnitude 1 to 161803398: --seed on the
// command line, else the environment variable FLUVIAGEN_SEED (so that a batch
// of calls can be reproduced without editing their command lines), else the
// clock and the process id, so that calls started in the same moment (a job
// array) get different seeds.
#pragma once

#include <optional>
#include <string>

namespace fluviagen {

// The seed of a whole-number text from 1 to 161803398 or its negative (the
// range of FLUVIAGEN_SEED and --seed), as the generator takes it: negative.
// None for any other text; the caller's message names where it came from.
std::optional<long> seedFromText(const std::string& text);

// The seed of the main generator for a program call: the --seed of the
// command line, else the negative of FLUVIAGEN_SEED when that variable is set,
// else a seed mixed from the clock and the process id. Throws a fatal
// SimulationError when the variable holds anything but a whole number from 1 to
// 161803398 (or its negative).
long programSeed(std::optional<long> given = std::nullopt);

// The seed of a call without a given seed: the clock (to the nanosecond where
// it has them) and the process id mixed, in -161803398 ... -1.
long distinctClockSeed();

}  // namespace fluviagen
