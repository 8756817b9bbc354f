// minimal_reader: the limit of any one-socket reader and the CPU reference
// for zkdetect. It asks for the same receive buffer, broadcasts the
// discovery request, and for 3 seconds reads every reply into memory with
// recvmmsg, printing nothing but the count at the end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int want = 32 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(65002);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::perror("minimal_reader: bind");
        return 2;
    }
    const int sender = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(sender, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(65001);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const char request[] = "find zefo.*";
    if (sendto(sender, request, sizeof request - 1, 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) < 0) {
        std::perror("minimal_reader: sendto");
        return 2;
    }

    constexpr unsigned batch = 64;
    static char bufs[batch][511];
    iovec iov[batch];
    mmsghdr msgs[batch];
    std::vector<std::string> replies;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (;;) {
        for (unsigned i = 0; i < batch; ++i) {
            iov[i] = {bufs[i], sizeof bufs[i]};
            msgs[i] = {};
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
        }
        const int got = recvmmsg(fd, msgs, batch, MSG_DONTWAIT, nullptr);
        if (got > 0) {
            for (int i = 0; i < got; ++i) replies.emplace_back(bufs[i], msgs[i].msg_len);
            continue;
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR) break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{fd, POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(left.count()));
    }
    std::printf("%zu\n", replies.size());
    return 0;
}
