#include "app/Progress.h"

#include <cstdio>
#include <sstream>
#include <unistd.h>

namespace fluviagen {

namespace {

// Redrawing more often than this costs terminal time and shows nothing new.
constexpr auto redrawEvery = std::chrono::milliseconds(250);

std::string timeText(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    std::ostringstream text;
    if (s >= 3600)
        text << s / 3600 << " h " << (s % 3600) / 60 << " min";
    else if (s >= 60)
        text << s / 60 << " min " << s % 60 << " s";
    else
        text << s << " s";
    return text.str();
}

}  // namespace

bool progressByDefault() { return ::isatty(STDERR_FILENO) == 1; }
bool standardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool ProgressLine::due(bool force) {
    now_ = std::chrono::steady_clock::now();
    if (!force && drawn_ && now_ - last_ < redrawEvery) return false;
    last_ = now_;
    return true;
}

std::string ProgressLine::forwardText(std::int32_t t, std::int32_t G, std::size_t occupied, double elapsed) {
    std::ostringstream text;
    text << "forward simulation: generation " << t << " of " << G << ", " << occupied << " segments occupied";
    if (t > 0 && t < G && elapsed > 0) text << ", about " << timeText(elapsed / t * (G - t)) << " left";
    return text.str();
}

std::string ProgressLine::forwardText(std::int32_t t, std::int32_t G, std::size_t occupied) const {
    return forwardText(t, G, occupied, std::chrono::duration<double>(now_ - phaseStart_).count());
}

void ProgressLine::genetic(int s, int G) {
    if (!geneticShown_ || !due(s == 1 || s == G)) return;
    std::ostringstream text;
    text << "genetic simulation " << s << " of " << G;
    draw(text.str());
}

// Written with one write so that the line stays whole beside other output
// to standard error; "\r" and erase-to-end redraw it in place.
void ProgressLine::draw(const std::string& text) {
    const std::string line = "\r" + text + "\033[K";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::clear() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace fluviagen
