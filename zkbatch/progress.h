// The progress of a phase on one self-updating line of standard error, when
// that is a terminal; nothing otherwise, so logs and pipes stay clean. Or
// handed to a sink instead, such as the server's event stream.
#pragma once

#include <chrono>
#include <functional>
#include <string>

struct progress {
    bool on = false;  // standard error is a terminal, or there is a sink
    // Where the texts go instead of the terminal; an empty text ends a phase.
    std::function<void(const std::string&)> sink;
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
