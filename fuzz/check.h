// Shared by the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "devices.h"

// Frees the device list, which the program itself never does, so that memory
// stays bounded across inputs.
inline void release_list() {
    while (devs) {
        device_entry* next = devs->next;
        delete devs;
        devs = next;
    }
    num_devs = 0;
    d = nullptr;
}

// A failed check in a fuzz target: says which and aborts, so that it counts
// as a crash in release builds too (assert would vanish under NDEBUG).
[[noreturn]] inline void fuzz_check_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : fuzz_check_failed(#cond, __FILE__, __LINE__))
