#include "privilege.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace {

// The capability sets in the kernel's version 3 layout; glibc has no
// wrapper for capget and capset.
struct capabilities {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

constexpr std::uint32_t net_raw = 1U << CAP_NET_RAW;  // CAP_NET_RAW < 32: the first word

bool get(capabilities& caps) { return syscall(SYS_capget, &caps.header, caps.data) == 0; }
bool set(capabilities& caps) { return syscall(SYS_capset, &caps.header, caps.data) == 0; }

}  // namespace

bool raise_net_raw() {
    capabilities caps;
    if (!get(caps) || (caps.data[0].permitted & net_raw) == 0) return false;
    caps.data[0].effective |= net_raw;
    return set(caps);
}

void drop_net_raw() {
    // Root's exec would fill the permitted set from the bounding set again.
    // Changing it needs CAP_SETPCAP, which a file capability lacks: then
    // the drop fails, harmlessly.
    prctl(PR_CAPBSET_DROP, CAP_NET_RAW, 0, 0, 0);
    capabilities caps;
    if (!get(caps)) return;
    caps.data[0].effective &= ~net_raw;
    caps.data[0].permitted &= ~net_raw;
    caps.data[0].inheritable &= ~net_raw;
    // The kernel lowers the ambient capability with these.
    set(caps);
}

bool drop_all_capabilities() {
    // The bounding set first: changing it needs CAP_SETPCAP, which goes
    // with the rest.
    for (int cap = 0; prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; ++cap)
        prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    capabilities none;
    const bool cleared = set(none);
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && cleared;
}
