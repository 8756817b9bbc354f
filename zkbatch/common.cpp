#include "common.h"

#include <unistd.h>

#include <cstdio>

#include "files.h"

bool scanned(exchange_status status) {
    switch (status) {
    case exchange_status::listen_failed:
        std::fputs("Error listening for replies on UDP port 65002!\n", stderr);
        return false;
    case exchange_status::send_failed:
        std::fputs("Error sending request!\n", stderr);
        return false;
    case exchange_status::done:
        break;
    }
    return true;
}

int put_out(const std::string& text, int status, const std::string& after_saves) {
    std::string error;
    if (write_all(STDOUT_FILENO, text, error)) return status;
    std::fprintf(stderr, "zkbatch: write error: %s\n", error.c_str());
    if (!after_saves.empty()) std::fprintf(stderr, "%s\n", after_saves.c_str());
    return usage_status;
}

void warn(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        if (!w.empty()) std::fprintf(stderr, "%s\n", w.c_str());
}

std::string unscanned_note(const options& opts) {
    const bool system_choice = opts.links.size() == 1 && opts.links[0].source == htonl(INADDR_ANY);
    return system_choice ? unscanned_warning(opts.links) : std::string();
}

std::string plan_name(const std::string& path) { return path == "-" ? "<stdin>" : path; }

bool load_plan(const std::string& path, plan& p) {
    const std::string name = plan_name(path);
    std::string text;
    std::string error;
    if (!read_input(path, text, error)) {
        std::fprintf(stderr, "zkbatch: cannot read '%s': %s\n", name.c_str(), error.c_str());
        return false;
    }
    p = read_plan(text);
    for (const plan_error& e : p.errors) {
        if (e.line > 0)
            std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), e.line, e.message.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", name.c_str(), e.message.c_str());
    }
    return p.errors.empty();
}
