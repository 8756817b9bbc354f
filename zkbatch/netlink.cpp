#include "netlink.h"

#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <vector>

dump_state walk_answer(const void* data, std::size_t size,
                       const std::function<bool(const nlmsghdr&)>& each, int& error) {
    error = EBADMSG;
    if (size > INT32_MAX) return dump_state::failed;
    int left = static_cast<int>(size);
    for (const auto* h = static_cast<const nlmsghdr*>(data); NLMSG_OK(h, left);
         h = NLMSG_NEXT(h, left)) {
        if (h->nlmsg_type == NLMSG_DONE) return dump_state::done;
        if (h->nlmsg_type == NLMSG_ERROR) {
            if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return dump_state::failed;
            const int code = static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
            if (code == 0) return dump_state::done;
            if (code < 0) error = -code;
            return dump_state::failed;
        }
        if (!each(*h)) return dump_state::failed;
    }
    if (left > 0) return dump_state::failed;
    return dump_state::more;
}

bool walk_attributes(const nlmsghdr& h, std::size_t head,
                     const std::function<void(unsigned, const void*, std::size_t)>& each) {
    if (h.nlmsg_len < NLMSG_LENGTH(head)) return false;
    int left = static_cast<int>(h.nlmsg_len - NLMSG_LENGTH(head));
    const auto* a = reinterpret_cast<const rtattr*>(static_cast<const char*>(NLMSG_DATA(&h)) +
                                                    NLMSG_ALIGN(head));
    for (; RTA_OK(a, left); a = RTA_NEXT(a, left)) each(a->rta_type, RTA_DATA(a), RTA_PAYLOAD(a));
    // What RTA_OK refused but did not use up is a cut attribute.
    return left <= 0;
}

bool netlink_request(int fd, const void* request, std::size_t size,
                     const std::function<bool(const nlmsghdr&)>& each) {
    if (send(fd, request, size, 0) != static_cast<ssize_t>(size)) return false;
    // The kernel makes a dump's messages for a buffer of this size; MSG_TRUNC
    // tells a longer one. Words keep the headers aligned.
    std::vector<std::uint32_t> buffer(8192);
    const std::size_t bytes = buffer.size() * sizeof buffer[0];
    for (;;) {
        const ssize_t n = recv(fd, buffer.data(), bytes, MSG_TRUNC);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) > bytes) {
            errno = EMSGSIZE;
            return false;
        }
        int error = 0;
        switch (walk_answer(buffer.data(), static_cast<std::size_t>(n), each, error)) {
        case dump_state::done:
            return true;
        case dump_state::more:
            break;
        case dump_state::failed:
            errno = error;
            return false;
        }
    }
}
