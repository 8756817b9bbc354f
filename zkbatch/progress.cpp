#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace {

// Carriage return, the text, then erase to the end of the line; standard
// error is unbuffered, so it shows at once.
void overwrite(const std::string& text) { std::fprintf(stderr, "\r%s\x1b[K", text.c_str()); }

}  // namespace

void progress::put(const std::string& text) {
    if (sink) {
        sink(text);
    } else {
        overwrite(text);
    }
    shown = true;
}

void progress::clear() {
    if (shown) sink ? sink("") : overwrite("");
    shown = false;
    next = {};
}

progress terminal_progress() {
    progress p;
    p.on = isatty(STDERR_FILENO) != 0;
    return p;
}
