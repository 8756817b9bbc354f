#include "privilege.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

// What the child found: 0 when every check held, else the first that failed.
enum child_result {
    ok,
    not_permitted,
    open_before,
    ambient_before,
    open_after,
    raised_after,
    kept
};

// A packet socket for protocol 0 receives nothing: only the permission
// check matters.
bool packet_socket_refused() {
    const int fd = socket(AF_PACKET, SOCK_DGRAM, 0);
    if (fd >= 0) close(fd);
    return fd < 0 && errno == EPERM;
}

constexpr std::uint32_t net_raw = 1U << CAP_NET_RAW;

// The process's capability sets (CAP_NET_RAW is in the first word).
struct capabilities {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    bool get() { return syscall(SYS_capget, &header, data) == 0; }
    bool set() { return syscall(SYS_capset, &header, data) == 0; }
};

// Makes CAP_NET_RAW inheritable and ambient, as a caller might have, so that
// a program it runs would get it.
bool make_ambient() {
    capabilities caps;
    if (!caps.get()) return false;
    caps.data[0].inheritable |= net_raw;
    return caps.set() && prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_RAW, 0, 0) == 0;
}

child_result drop_in_child() {
    if (!raise_net_raw()) return not_permitted;
    if (packet_socket_refused()) return open_before;
    if (!make_ambient()) return ambient_before;
    drop_net_raw();
    if (!packet_socket_refused()) return open_after;
    if (raise_net_raw()) return raised_after;
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, CAP_NET_RAW, 0, 0) != 0) return kept;
    capabilities caps;
    if (!caps.get() || (caps.data[0].inheritable & net_raw) != 0) return kept;
    // Only root may change the bounding set.
    if (geteuid() == 0 && prctl(PR_CAPBSET_READ, CAP_NET_RAW, 0, 0, 0) != 0) return kept;
    return ok;
}

// The capability goes for the rest of the process; a child keeps the test
// process's own.
TEST(PrivilegeTest, DropLeavesNoPacketSocket) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(drop_in_child());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == not_permitted) GTEST_SKIP() << "CAP_NET_RAW is not permitted here";
    EXPECT_EQ(WEXITSTATUS(status), ok);
}

}  // namespace
