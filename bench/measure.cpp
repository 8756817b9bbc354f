// measure: runs a command and reports the CPU time and peak memory of that
// command alone, to the microsecond.
//
//   measure RESULT_FILE COMMAND [ARGS...]
//
// Writes "<user µs> <system µs> <max RSS KiB> <exit status>" to RESULT_FILE
// and exits with the command's status. Standard input and output pass
// through untouched.
//
// /usr/bin/time rounds to 10 ms, which is the whole budget of a small scan.
// The kernel also counts the peak memory of the process that forked the
// command before it became the command, so this stays small: C library calls
// only, no C++ runtime.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: measure RESULT_FILE COMMAND [ARGS...]\n", stderr);
        return 2;
    }
    std::FILE* result = std::fopen(argv[1], "w");
    if (!result) {
        std::fprintf(stderr, "measure: cannot write %s: %s\n", argv[1], std::strerror(errno));
        return 2;
    }
    const pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "measure: fork failed: %s\n", std::strerror(errno));
        return 2;
    }
    if (child == 0) {
        execv(argv[2], argv + 2);
        std::fprintf(stderr, "measure: cannot run %s: %s\n", argv[2], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "measure: wait failed: %s\n", std::strerror(errno));
            return 2;
        }
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const auto micros = [](const timeval& t) {
        return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_usec;
    };
    std::fprintf(result, "%lld %lld %ld %d\n", micros(usage.ru_utime), micros(usage.ru_stime),
                 usage.ru_maxrss, code);
    if (std::fclose(result) != 0) return 2;
    return code;
}
