#include "app/SeedPolicy.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

#include "base/Exception.h"
#include "base/NumberText.h"

namespace fluviagen {

namespace {

constexpr long largestSeed = 161803398;

}  // namespace

std::optional<long> seedFromText(const std::string& text) {
    std::int64_t value = 0;
    if (readNumber(text, value) != NumberProblem::none) return std::nullopt;
    const std::int64_t magnitude = value < 0 ? -value : value;
    if (magnitude < 1 || magnitude > largestSeed) return std::nullopt;
    return -static_cast<long>(magnitude);
}

long distinctClockSeed() {
    // splitmix64's finaliser: every bit of the clock and of the process id
    // reaches every bit of the result, so calls a nanosecond or a process
    // apart land far apart in the seed range.
    const auto nanoseconds = std::chrono::system_clock::now().time_since_epoch().count();
    std::uint64_t x = static_cast<std::uint64_t>(nanoseconds) ^ (static_cast<std::uint64_t>(::getpid()) << 40) ^
                      static_cast<std::uint64_t>(::getpid());
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return -static_cast<long>(x % static_cast<std::uint64_t>(largestSeed) + 1);
}

long programSeed(std::optional<long> given) {
    if (given) return *given;
    const char* text = std::getenv("FLUVIAGEN_SEED");
    if (text == nullptr) return distinctClockSeed();
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    const bool whole = end != text && *end == '\0' && errno == 0;
    const long long magnitude = value < 0 ? -value : value;
    if (!whole || magnitude < 1 || magnitude > largestSeed)
        throw SimulationError(Text("The environment variable FLUVIAGEN_SEED must hold a whole number from 1 to "
                                   "161803398 (or its negative), not '") +
                                  Text(std::string(text).substr(0, 100)) + "'!",
                              levelFatal);
    return -static_cast<long>(magnitude);
}

}  // namespace fluviagen
