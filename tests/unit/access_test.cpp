#include "access.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string token = "00112233445566778899aabbccddeeff";

class AccessTest : public ::testing::Test {
protected:
    access_policy policy{token, {"localhost", "127.0.0.1", "[::1]", "192.0.2.1"}};
};

// The request of a row of the table.
web_request request(const char* method, const std::string& host, const std::string& query_token,
                    const std::string& cookie, const std::string& authorization,
                    const std::string& origin) {
    web_request req;
    req.method = method;
    req.path = "/";
    req.host = host;
    req.token = query_token;
    req.cookie = cookie;
    req.authorization = authorization;
    req.origin = origin;
    return req;
}

// Every way in and every way to be refused: Host first, then the token,
// then the Origin of a change.
TEST_F(AccessTest, DecisionTable) {
    const std::string cookie = std::string(token_cookie) + "=" + token;
    const std::string bearer = "Bearer " + token;
    const std::string other = "00112233445566778899aabbccddeefe";
    const struct {
        const char* name;
        const char* method;
        std::string host, query, cookie, authorization, origin;
        verdict expected;
    } cases[] = {
        {"cookie", "GET", "127.0.0.1:8650", "", cookie, "", "", verdict::allowed},
        {"cookie_among_others", "GET", "localhost:8650", "", "a=b; " + cookie + "; c=d", "", "",
         verdict::allowed},
        {"bearer", "GET", "[::1]:8650", "", "", bearer, "", verdict::allowed},
        {"listening_address", "GET", "192.0.2.1:8650", "", cookie, "", "", verdict::allowed},
        {"host_in_capitals_other_port", "GET", "LOCALHOST:9000", "", cookie, "", "",
         verdict::allowed},
        {"query_token_traded", "GET", "127.0.0.1:8650", token, "", "", "", verdict::trade},
        {"query_token_traded_beside_cookie", "GET", "127.0.0.1:8650", token, cookie, "", "",
         verdict::trade},
        {"nothing", "GET", "127.0.0.1:8650", "", "", "", "", verdict::no_token},
        {"wrong_query_token", "GET", "127.0.0.1:8650", other, "", "", "", verdict::no_token},
        {"query_token_on_a_post", "POST", "127.0.0.1:8650", token, "", "", "", verdict::no_token},
        {"cookie_too_short", "GET", "127.0.0.1", "", cookie.substr(0, cookie.size() - 1), "", "",
         verdict::no_token},
        {"cookie_too_long", "GET", "127.0.0.1", "", cookie + "0", "", "", verdict::no_token},
        {"wrong_bearer", "GET", "127.0.0.1", "", "", "Bearer " + other, "", verdict::no_token},
        {"bearer_lower_case", "GET", "127.0.0.1", "", "", "bearer " + token, "", verdict::no_token},
        {"cookie_of_another_name", "GET", "127.0.0.1", "", "other=" + token, "", "",
         verdict::no_token},
        {"rebound_name", "GET", "attacker.example:8650", "", cookie, "", "", verdict::bad_host},
        {"no_host", "GET", "", "", cookie, "", "", verdict::bad_host},
        {"host_with_known_prefix", "GET", "localhost.example", "", cookie, "", "",
         verdict::bad_host},
        {"host_refused_before_token", "GET", "evil:8650", token, "", "", "", verdict::bad_host},
        {"same_origin_post", "POST", "127.0.0.1:8650", "", cookie, "", "http://127.0.0.1:8650",
         verdict::allowed},
        {"post_without_origin", "POST", "127.0.0.1:8650", "", "", bearer, "", verdict::allowed},
        {"foreign_origin_post", "POST", "127.0.0.1:8650", "", cookie, "", "http://evil.example",
         verdict::foreign_origin},
        {"origin_of_another_port", "POST", "127.0.0.1:8650", "", cookie, "",
         "http://127.0.0.1:9000", verdict::foreign_origin},
        {"null_origin", "POST", "127.0.0.1:8650", "", cookie, "", "null", verdict::foreign_origin},
        {"foreign_origin_get_reads_only", "GET", "127.0.0.1:8650", "", cookie, "",
         "http://evil.example", verdict::allowed},
        {"foreign_origin_without_token", "POST", "127.0.0.1:8650", "", "", "",
         "http://evil.example", verdict::no_token},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(check_access(policy, request(c.method, c.host, c.query, c.cookie, c.authorization,
                                               c.origin)),
                  c.expected);
    }
    // A token never made lets nothing in.
    policy.token.clear();
    EXPECT_EQ(check_access(policy, request("GET", "localhost", "", "zkbatch=", "", "")),
              verdict::no_token);
}

// The headers' edges beyond the table; the token traded for a cookie and
// the refusals' statuses are in the e2e case serve_refuses_and_limits.
TEST_F(AccessTest, Texts) {
    const std::string made = token_text();
    EXPECT_EQ(made.size(), 32u);
    EXPECT_EQ(made.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(made, token_text());
    EXPECT_EQ(host_name("[::1"), "");
    EXPECT_EQ(cookie_value("xzkbatch=2", "zkbatch"), "");
}

}  // namespace
