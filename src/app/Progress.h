// One updating line on standard error that shows where a long run is: the
// forward simulation (generation, occupied segments, time left) and the
// genetic simulations. Shown with --progress, or when standard error is a
// terminal; never on standard output, whose run log stays as it is.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "demography/Colonisation.h"
#include "demography/MigrationModel.h"

namespace fluviagen {

class ProgressLine {
public:
    // `logOnTerminal`: standard output is a terminal too, where the run log
    // already shows each genetic simulation (a second line would only
    // fight with it).
    ProgressLine(bool shown, bool logOnTerminal) : shown_(shown), geneticShown_(shown && !logOnTerminal) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool shown() const { return shown_; }
    // Generation t of G of the forward simulation; `occupied` is asked only
    // when the line is redrawn (a few times a second).
    template <typename Count>
    void generation(std::int32_t t, std::int32_t G, Count&& occupied) {
        if (!shown_ || !due(t == 1)) return;
        if (t == 1) phaseStart_ = now_;
        draw(forwardText(t, G, static_cast<std::size_t>(occupied())));
        if (t == G) clear();
    }
    void genetic(int s, int G);
    // Removes the line (before the console goes on, and at the end).
    void clear();

    // The text of the forward line, from the figures it shows.
    static std::string forwardText(std::int32_t t, std::int32_t G, std::size_t occupied, double elapsedSeconds);

private:
    bool due(bool force);
    std::string forwardText(std::int32_t t, std::int32_t G, std::size_t occupied) const;
    void draw(const std::string& text);

    bool shown_;
    bool geneticShown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point now_{};
    std::chrono::steady_clock::time_point last_{};
    std::chrono::steady_clock::time_point phaseStart_{};
};

// Whether the progress line is shown by default: standard error is a terminal.
bool progressByDefault();
bool standardOutputIsTerminal();

// The progress line as a watcher of the forward simulation, handing every
// step on to another watcher (or to none).
class ProgressObserver : public GenerationObserver {
public:
    ProgressObserver(ProgressLine* line, std::int32_t generations, GenerationObserver* next)
        : line_(line), generations_(generations), next_(next) {}
    void start(const SegmentStates& states) override {
        if (next_ != nullptr) next_->start(states);
    }
    void generation(std::int32_t t, const MigrationPlan& plan) override {
        if (line_ != nullptr) line_->generation(t, generations_, [&] { return plan.occupiedSegments(); });
        if (next_ != nullptr) next_->generation(t, plan);
    }
    void end(const SegmentStates& states) override {
        if (next_ != nullptr) next_->end(states);
    }

private:
    ProgressLine* line_;
    std::int32_t generations_;
    GenerationObserver* next_;
};

}  // namespace fluviagen
