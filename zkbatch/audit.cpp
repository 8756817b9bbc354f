#include "audit.h"

#include <pwd.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>

#include "plan.h"
#include "report.h"

namespace {

bool bare(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == ':' || c == '_' || c == '-';
}

}  // namespace

std::string log_value(std::string_view text) {
    bool plain = !text.empty();
    for (const char c : text) plain = plain && bare(static_cast<unsigned char>(c));
    if (plain) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string audit_record(const row_result& r, const audit_user& user) {
    static const device_entry none{};
    const device_entry& old = r.found ? *r.found : none;
    std::string text = "mac=" + log_value(mac_key(r.row->mac)) +
                       " interface=" + log_value(r.found ? r.found->interface : "");
    const auto pair = [&](const char* key, std::string_view before, std::string_view after) {
        text += std::string(" old_") + key + "=" + log_value(before);
        text += std::string(" new_") + key + "=" + log_value(after);
    };
    pair("ip", old.ip, r.planned.ip);
    pair("netmask", old.nm, r.planned.nm);
    pair("gateway", old.gw, r.planned.gw);
    pair("dhcp", std::to_string(old.dhcp), std::to_string(r.planned.dhcp));
    pair("mtu", std::to_string(old.mtu), std::to_string(r.planned.mtu));
    pair("nameserver", old.ns, r.planned.ns);
    text += " user=" + log_value(user.name) + " uid=" + std::to_string(user.uid);
    if (!user.peer.empty()) text += " via=http peer=" + log_value(user.peer);
    return text + " outcome=" + log_value(outcome_name(r.result));
}

audit_user real_user() {
    audit_user user;
    user.uid = getuid();
    if (const passwd* pw = getpwuid(user.uid)) user.name = pw->pw_name;
    return user;
}

void audit_run(const std::vector<row_result>& rows, const std::string& peer) {
    audit_user user = real_user();
    user.peer = peer;
    bool opened = false;
    for (const row_result& r : rows) {
        if (r.tries == 0) continue;
        if (!opened) openlog("zkbatch", LOG_PID, LOG_USER);
        opened = true;
        const bool done = r.result == outcome::saved || r.result == outcome::verified;
        syslog(done ? LOG_NOTICE : LOG_WARNING, "%s", audit_record(r, user).c_str());
    }
    if (opened) closelog();
}
