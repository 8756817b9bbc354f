#include "access.h"

#include <sys/random.h>

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool has_token(const access_policy& policy, const web_request& req) {
    // A token that was never made lets nothing in.
    if (policy.token.empty()) return false;
    const std::string bearer = "Bearer ";
    if (req.authorization.compare(0, bearer.size(), bearer) == 0 &&
        same_secret(std::string_view(req.authorization).substr(bearer.size()), policy.token))
        return true;
    const std::string cookie = cookie_value(req.cookie, token_cookie);
    return !cookie.empty() && same_secret(cookie, policy.token);
}

}  // namespace

bool same_secret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string token_text() {
    std::uint8_t bytes[16];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return {};
    std::string text;
    for (const std::uint8_t b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        text += hex;
    }
    return text;
}

std::string cookie_value(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        std::string_view pair = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name)
            return std::string(pair.substr(eq + 1));
    }
    return {};
}

std::string host_name(std::string_view header) {
    if (!header.empty() && header.front() == '[') {
        const std::size_t close = header.find(']');
        return close == std::string_view::npos ? std::string() : lower(header.substr(0, close + 1));
    }
    return lower(header.substr(0, header.find(':')));
}

verdict check_access(const access_policy& policy, const web_request& req) {
    const std::string host = host_name(req.host);
    bool known = false;
    for (const std::string& h : policy.hosts) known = known || (!host.empty() && h == host);
    if (!known) return verdict::bad_host;
    const bool reads = req.method == "GET" || req.method == "HEAD";
    // The printed URL's token is traded whenever it comes, so that it
    // leaves the address bar.
    if (reads && !req.token.empty() && !policy.token.empty() &&
        same_secret(req.token, policy.token))
        return verdict::trade;
    if (!has_token(policy, req)) return verdict::no_token;
    if (!reads && !req.origin.empty() && lower(req.origin) != "http://" + lower(req.host))
        return verdict::foreign_origin;
    return verdict::allowed;
}

web_response refusal(verdict v) {
    switch (v) {
    case verdict::bad_host:
        return error_response(421, "this server does not answer to that Host");
    case verdict::no_token:
        return error_response(403, "no valid token: open the URL that zkbatch printed");
    case verdict::foreign_origin:
        return error_response(403, "a change from another origin is refused");
    case verdict::allowed:
    case verdict::trade:
        break;
    }
    return error_response(500, "no refusal");
}

web_response traded(const web_request& req, const access_policy& policy) {
    web_response r;
    r.status = 303;
    r.type = "text/plain";
    r.headers = {{"Location", req.path},
                 {"Set-Cookie", std::string(token_cookie) + "=" + policy.token +
                                    "; Path=/; HttpOnly; SameSite=Strict"}};
    return r;
}
