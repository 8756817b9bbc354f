// fail_call: an LD_PRELOAD shim that makes one call of recvmmsg, poll or
// getifaddrs fail with a chosen errno, for the failures that nothing real
// provokes on demand. ZK_FAIL holds comma-separated NAME:N:ERRNO items:
// the N-th call of NAME fails (N+ : that one and every later one; N@S:
// counting from the S-th datagram sent, e.g. a save's receive; Nd for
// recvmmsg: counting only reads that find a datagram, each then taking
// one), e.g.
// ZK_FAIL=recvmmsg:2:EIO, ZK_FAIL=getifaddrs:1+:ENOMEM or
// ZK_FAIL=recvmmsg:1@2:EIO. ERRNO is a name such as EIO or a number. A
// case preloads it through run_case's preload wrapper (before as_user);
// each program counts anew, and the shells and setpriv in front of
// zkdetect make none of these calls.
#include <dlfcn.h>
#include <ifaddrs.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum call { call_recvmmsg, call_poll, call_getifaddrs, call_count };
constexpr const char* call_names[call_count] = {"recvmmsg", "poll", "getifaddrs"};

struct rule {
    long nth = 0;  // 0: this call never fails
    bool later_too = false;
    int error = 0;
    long after_send = 0;        // calls count from this send on
    bool finding_data = false;  // only calls that find a datagram count
};

std::atomic<long> sends;

int errno_of(const std::string& text) {
    for (int e = 1; e < 4096; ++e) {
        const char* name = strerrorname_np(e);
        if (name && text == name) return e;
    }
    return std::atoi(text.c_str());
}

// Read once; a missing or malformed ZK_FAIL ends the program, since a case
// that fails nothing would pass for the wrong reason.
const rule* rules() {
    static rule parsed[call_count];
    static const bool done = [] {
        const char* env = std::getenv("ZK_FAIL");
        const std::string items = env ? env : "";
        if (items.empty()) {
            std::fputs("fail_call: ZK_FAIL names no call to fail\n", stderr);
            std::_Exit(125);
        }
        for (std::size_t start = 0; start < items.size();) {
            std::size_t end = items.find(',', start);
            if (end == std::string::npos) end = items.size();
            const std::string item = items.substr(start, end - start);
            start = end + 1;
            char name[32] = {}, when[32] = {}, error[32] = {};
            const bool well_formed =
                std::sscanf(item.c_str(), "%31[^:]:%31[^:]:%31s", name, when, error) == 3;
            int c = 0;
            while (c < call_count && std::strcmp(name, call_names[c]) != 0) ++c;
            const char* at = std::strchr(when, '@');
            rule r{std::atol(when), std::strchr(when, '+') != nullptr, errno_of(error),
                   at ? std::atol(at + 1) : 0, std::strchr(when, 'd') != nullptr};
            if (!well_formed || c == call_count || r.nth < 1 || r.error < 1) {
                std::fprintf(stderr, "fail_call: cannot use ZK_FAIL item '%s'\n", item.c_str());
                std::_Exit(125);
            }
            parsed[c] = r;
        }
        return true;
    }();
    (void)done;
    return parsed;
}

// Whether this call of c is to fail; sets errno when it is.
bool fails(call c) {
    static std::atomic<long> calls[call_count];
    const rule& r = rules()[c];
    if (sends < r.after_send) return false;
    const long n = ++calls[c];
    if (r.nth == 0 || n < r.nth || (n > r.nth && !r.later_too)) return false;
    errno = r.error;
    return true;
}

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// The C library's own parameter names are reserved identifiers.
// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
extern "C" int recvmmsg(int fd, mmsghdr* msgs, unsigned n, int flags, timespec* timeout) {
    using fn = int (*)(int, mmsghdr*, unsigned, int, timespec*);
    static const auto next = real<fn>("recvmmsg");
    if (rules()[call_recvmmsg].finding_data) {
        // A read that finds nothing passes as it is; one that finds a
        // datagram takes just that one, so that each counts once.
        char byte = 0;
        if (recv(fd, &byte, 0, MSG_PEEK | MSG_DONTWAIT) < 0)
            return next(fd, msgs, n, flags, timeout);
        n = 1;
    }
    return fails(call_recvmmsg) ? -1 : next(fd, msgs, n, flags, timeout);
}

extern "C" int poll(pollfd* fds, nfds_t n, int timeout) {
    using fn = int (*)(pollfd*, nfds_t, int);
    static const auto next = real<fn>("poll");
    return fails(call_poll) ? -1 : next(fds, n, timeout);
}

extern "C" ssize_t send(int fd, const void* data, size_t size, int flags) {
    using fn = ssize_t (*)(int, const void*, size_t, int);
    static const auto next = real<fn>("send");
    // Only the requests count, not what a stream carries.
    int type = 0;
    socklen_t len = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_DGRAM) ++sends;
    return next(fd, data, size, flags);
}

extern "C" int getifaddrs(ifaddrs** list) {
    using fn = int (*)(ifaddrs**);
    static const auto next = real<fn>("getifaddrs");
    if (!fails(call_getifaddrs)) return next(list);
    // What a failed call leaves behind is no list: a caller that used it
    // anyway would crash.
    *list = reinterpret_cast<ifaddrs*>(alignof(ifaddrs));
    return -1;
}
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
