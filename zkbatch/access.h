// Who may use the server: a token made at each start, traded for a cookie;
// a Host header that names this server, so that no DNS name rebound to it
// reaches it; and no change asked for by a page of another origin.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "web.h"

// The cookie that carries the token.
constexpr const char* token_cookie = "zkbatch";

struct access_policy {
    std::string token;               // hex, from token_text
    std::vector<std::string> hosts;  // names a Host header may give, without a port
};

enum class verdict {
    allowed,
    trade,           // the token in the query: the answer sets the cookie
    bad_host,        // 421: the Host header names another server
    no_token,        // 403: no valid token, cookie or bearer
    foreign_origin,  // 403: a change asked for by another origin
};

// Decides on a request: first the Host header, then the token (query on a
// GET, cookie, or Authorization: Bearer), then the Origin of a request
// that may change anything (any but GET and HEAD), which must be this
// server's as the Host header names it, when it is given.
verdict check_access(const access_policy& policy, const web_request& req);

// A fresh token of 128 random bits (getrandom) as 32 hex digits; "" when
// the system gives no random bytes.
std::string token_text();

// Whether a and b are equal, in a time that depends on their lengths only.
bool same_secret(std::string_view a, std::string_view b);

// The value of cookie name in a Cookie header, "" when it has none.
std::string cookie_value(std::string_view header, std::string_view name);

// The host of a Host header, without its port: "[::1]:8650" gives "[::1]",
// "Localhost" gives "localhost".
std::string host_name(std::string_view header);

// The answer to a request that check_access did not allow.
web_response refusal(verdict v);

// The answer that trades the token of req's query for the cookie
// (HttpOnly, SameSite=Strict): a redirect to the same path without it.
web_response traded(const web_request& req, const access_policy& policy);
