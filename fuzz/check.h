// A failed check in a fuzz target: says which and aborts, so that it counts
// as a crash in release builds too (assert would vanish under NDEBUG).
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzz_check_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : fuzz_check_failed(#cond, __FILE__, __LINE__))
