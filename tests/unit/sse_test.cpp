#include "sse.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SseTest, FramingTable) {
    const struct {
        std::string data, id, framed;
    } cases[] = {
        {"{\"event\":\"appeared\"}", "", "data: {\"event\":\"appeared\"}\n\n"},
        {"x", "1796724724752", "id: 1796724724752\ndata: x\n\n"},
        {"", "", "data: \n\n"},
        {"a\nb", "", "data: a\ndata: b\n\n"},
        {"a\r\nb\rc", "", "data: a\ndata: b\ndata: c\n\n"},
        {"a\n", "", "data: a\n\n"},
        {"a\n\nb", "", "data: a\ndata: \ndata: b\n\n"},
        {"x", "1\n2", "data: x\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(sse_frame(c.data, c.id), c.framed);
    }
}

TEST(SseTest, ClientTakesInPiecesAndDropsWhenFarBehind) {
    sse_client client;
    ASSERT_TRUE(client.push("data: a\n\n"));
    ASSERT_TRUE(client.push("data: b\n\n"));
    char out[12];
    EXPECT_EQ(client.take(out, 12), 12u);
    EXPECT_EQ(std::string(out, 12), "data: a\n\ndat");
    EXPECT_EQ(client.take(out, 12), 6u);
    EXPECT_EQ(std::string(out, 6), "a: b\n\n");
    EXPECT_EQ(client.take(out, 12), 0u);
    const std::string big(sse_backlog_limit / 2, 'x');
    EXPECT_TRUE(client.push(big));
    EXPECT_TRUE(client.push(big));
    EXPECT_FALSE(client.closing);
    EXPECT_FALSE(client.push("y"));
    EXPECT_TRUE(client.closing);
    EXPECT_EQ(client.pending.size(), sse_backlog_limit);
}

}  // namespace
