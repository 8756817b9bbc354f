// Fuzz target: what zkbatch's server reads of a request with its own code.
// The path's MAC and the JSON body of a save go through the routes, the
// body through read_settings alone too, and the Host and Cookie headers
// through the checks of access.
//
// Input: lines, in order: the path after /api/devices/, the Host header,
// the Cookie header; the rest is the body.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "access.h"
#include "check.h"
#include "plan.h"
#include "prompt.h"
#include "routes.h"
#include "settings_body.h"

namespace {

std::string_view line(std::string_view& text) {
    const std::size_t end = text.find('\n');
    const std::string_view first = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    return first;
}

bool canonical(const std::optional<std::string>& address) {
    if (!address) return true;
    std::string copy = *address;
    return verify_address(copy.data()) && copy.c_str() == *address;
}

// A row taken from a body holds only what zkdetect's checks let through.
void check_row(const plan_row& row) {
    FUZZ_CHECK(canonical(row.ip) && canonical(row.netmask) && canonical(row.gateway));
    FUZZ_CHECK(!row.mtu || (*row.mtu >= 500 && *row.mtu <= 1500));
    FUZZ_CHECK(!row.dhcp || *row.dhcp <= 1);
    FUZZ_CHECK(!row.nameserver || row.nameserver->empty() ||
               !cell_problem(col_nameserver, *row.nameserver));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string mac(line(text));
    const std::string host(line(text));
    const std::string cookie(line(text));
    const std::string body(text);

    plan_row row;
    settings_error error;
    if (read_settings(body, row, error)) {
        check_row(row);
        FUZZ_CHECK(error.message.empty());
    } else {
        FUZZ_CHECK(!error.message.empty());
    }

    server_state s;
    answer known;
    known.addr = inet_addr("192.0.2.10");
    parse_reply(known, std::string("hw=02:00:5e:00:53:0a;ip=192.0.2.10;nm=255.255.255.0;"
                                   "gw=192.0.2.1;mtu=1500;dhcp=0;")
                           .data());
    s.table.take({known}, "2026-01-01T00:00:00Z");
    web_request req;
    req.method = "POST";
    req.path = "/api/devices/" + mac;
    req.body = body;
    const routed r = route(s, req);
    FUZZ_CHECK(!r.stream);
    if (r.later) {
        // Only the known device, and only with a body read_settings takes.
        FUZZ_CHECK(s.queue.size() == 1 && s.queue.front().mac == "02:00:5e:00:53:0a");
        FUZZ_CHECK(s.queue.front().p.rows.size() == 1 && error.message.empty());
        check_row(s.queue.front().p.rows[0]);
    } else {
        FUZZ_CHECK(r.now.status == 400 || r.now.status == 404 || r.now.status == 413);
        FUZZ_CHECK(s.queue.empty() && s.busy.empty());
    }

    const access_policy policy{"00112233445566778899aabbccddeeff", {"localhost", "127.0.0.1"}};
    web_request get;
    get.method = "GET";
    get.host = host;
    get.cookie = cookie;
    const verdict v = check_access(policy, get);
    const std::string name = host_name(host);
    FUZZ_CHECK(name.size() <= host.size());
    FUZZ_CHECK(v != verdict::allowed || (name == "localhost" || name == "127.0.0.1"));
    FUZZ_CHECK(v != verdict::allowed || cookie_value(cookie, token_cookie) == policy.token);
    return 0;
}
