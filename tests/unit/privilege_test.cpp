#include "privilege.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// A packet socket for protocol 0 receives nothing: only the permission
// check matters.
bool packet_socket_refused() {
    const int fd = socket(AF_PACKET, SOCK_DGRAM, 0);
    if (fd >= 0) close(fd);
    return fd < 0 && errno == EPERM;
}

// 0 when the drop held, else the number of the first check that failed.
int drop_and_check() {
    if (!raise_net_raw() || packet_socket_refused()) return 1;
    drop_net_raw();
    if (!packet_socket_refused()) return 2;
    if (raise_net_raw()) return 3;
    // Root's next program would get it back from the bounding set.
    if (geteuid() == 0 && prctl(PR_CAPBSET_READ, CAP_NET_RAW, 0, 0, 0) != 0) return 4;
    return 0;
}

TEST(PrivilegeTest, DropLeavesNoPacketSocket) {
    // Raising what the process may use changes nothing it could not do.
    if (!raise_net_raw()) GTEST_SKIP() << "CAP_NET_RAW is not permitted here";
    // In a child, since the drop lasts for the rest of the process.
    EXPECT_EXIT(std::exit(drop_and_check()), testing::ExitedWithCode(0), "");
}

// 0 when no capability is left in any set and none can come back.
int drop_all_and_check() {
    if (!drop_all_capabilities() || raise_net_raw() || !packet_socket_refused()) return 1;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0) return 2;
    for (const auto& d : data)
        if (d.effective != 0 || d.permitted != 0 || d.inheritable != 0) return 3;
    if (prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) != 1) return 4;
    if (geteuid() == 0 && prctl(PR_CAPBSET_READ, CAP_SYS_ADMIN, 0, 0, 0) != 0) return 5;
    return 0;
}

TEST(PrivilegeTest, DropAllLeavesNothing) {
    if (!raise_net_raw()) GTEST_SKIP() << "CAP_NET_RAW is not permitted here";
    EXPECT_EXIT(std::exit(drop_all_and_check()), testing::ExitedWithCode(0), "");
}

}  // namespace
