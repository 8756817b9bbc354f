#include "exchange.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <utility>

namespace {

bool open_fd(int fd) { return fcntl(fd, F_GETFD) != -1; }

// A socket's owner closes it on every path: when destroyed, and when another
// is moved over it; a moved-from owner closes nothing.
TEST(ExchangeTest, SocketOwnerClosesOnEveryPath) {
    const int first = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_TRUE(open_fd(first));
    { const socket_fd owner(first); }
    EXPECT_FALSE(open_fd(first));

    socket_fd a(socket(AF_INET, SOCK_DGRAM, 0));
    socket_fd b(socket(AF_INET, SOCK_DGRAM, 0));
    const int replaced = a.fd, kept = b.fd;
    a = std::move(b);
    EXPECT_FALSE(open_fd(replaced));
    EXPECT_EQ(a.fd, kept);
    EXPECT_FALSE(b.valid());
    socket_fd& same = a;
    a = std::move(same);
    EXPECT_TRUE(open_fd(kept));
    {
        const socket_fd c(std::move(a));
        EXPECT_FALSE(a.valid());
    }
    EXPECT_FALSE(open_fd(kept));
}

}  // namespace
