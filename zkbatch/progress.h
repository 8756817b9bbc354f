// The progress of a phase on one self-updating line of standard error, when
// that is a terminal; nothing otherwise, so logs and pipes stay clean.
#pragma once

#include <chrono>
#include <string>

struct progress {
    bool on = false;  // standard error is a terminal
    std::chrono::steady_clock::time_point next{};
    bool shown = false;

    // Replaces the line with the text that make() returns; at most ten times
    // a second, unless now is set.
    template <class Make>
    void show(Make make, bool now = false) {
        if (!on) return;
        const auto t = std::chrono::steady_clock::now();
        if (!now && t < next) return;
        next = t + std::chrono::milliseconds(100);
        put(make());
    }

    // Erases the line at the end of a phase.
    void clear();

    void put(const std::string& text);
};

// A progress line that stderr gets only when it is a terminal.
progress terminal_progress();
