// stock_rcvbuf: an LD_PRELOAD shim that gives a program the receive buffers
// of a stock Debian or Ubuntu kernel, whatever this machine's settings:
// SO_RCVBUFFORCE is refused as for an unprivileged user, and SO_RCVBUF is
// capped at the default net.core.rmem_max of 212,992 bytes. With
// ZK_STOCK_ROOT set, SO_RCVBUFFORCE passes, as for root on such a kernel.
// The machine's own limit is global and is never changed for a benchmark.
#include <dlfcn.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

constexpr int stock_rmem_max = 212992;

using setsockopt_fn = int (*)(int, int, int, const void*, socklen_t);

}  // namespace

// The C library's own parameter names are reserved identifiers.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int setsockopt(int fd, int level, int name, const void* value, socklen_t len) {
    static const auto real = reinterpret_cast<setsockopt_fn>(dlsym(RTLD_NEXT, "setsockopt"));
    static const bool root = std::getenv("ZK_STOCK_ROOT") != nullptr;
    if (level == SOL_SOCKET && name == SO_RCVBUFFORCE && !root) {
        errno = EPERM;
        return -1;
    }
    if (level == SOL_SOCKET && name == SO_RCVBUF && value && len == sizeof(int)) {
        const int capped = std::min(*static_cast<const int*>(value), stock_rmem_max);
        return real(fd, level, name, &capped, len);
    }
    return real(fd, level, name, value, len);
}
