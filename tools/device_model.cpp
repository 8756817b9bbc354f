#include "device_model.h"

#include <cstdio>
#include <utility>

namespace sim {

std::string reply_text(const device& dev) {
    if (dev.raw) return *dev.raw;
    std::string out;
    auto add = [&](const char* key, const std::optional<std::string>& value) {
        if (!value) return;
        if (!out.empty()) out += ';';
        out += key;
        out += '=';
        out += *value;
    };
    add("hw", dev.fields.hw);
    add("ip", dev.fields.ip);
    add("nm", dev.fields.nm);
    add("gw", dev.fields.gw);
    add("mtu", dev.fields.mtu);
    add("dhcp", dev.fields.dhcp);
    add("ns", dev.fields.ns);
    return out;
}

std::string filler(std::size_t size) {
    static constexpr std::string_view pattern = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out(size, ' ');
    for (std::size_t i = 0; i < size; ++i) out[i] = pattern[i % pattern.size()];
    return out;
}

std::map<std::string, std::string> set_tokens(std::string_view message) {
    std::map<std::string, std::string> tokens;
    std::string_view rest = message.substr(set_prefix.size());
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string_view token = rest.substr(0, end);
        const std::size_t eq = token.find('=');
        if (eq != std::string_view::npos) {
            tokens[std::string(token.substr(0, eq))] = std::string(token.substr(eq + 1));
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return tokens;
}

void apply_settings(device& dev, const std::map<std::string, std::string>& tokens) {
    const std::pair<const char*, std::optional<std::string> settings::*> keys[] = {
        {"ip", &settings::ip}, {"nm", &settings::nm},     {"mtu", &settings::mtu},
        {"gw", &settings::gw}, {"dhcp", &settings::dhcp},
    };
    for (const auto& [key, field] : keys) {
        if (const auto it = tokens.find(key); it != tokens.end()) dev.fields.*field = it->second;
    }
    if (const auto it = tokens.find("ns"); it != tokens.end()) {
        dev.fields.ns = it->second;
    } else {
        dev.fields.ns.reset();
    }
}

std::string confirmation_text(const device& dev) {
    std::string text = dev.set_reply.value_or("ok hw=" + dev.fields.hw.value_or(""));
    if (dev.set_crlf) text += "\r\n";
    return text;
}

// The log shows every byte so that a golden file can pin what zkdetect sent,
// terminators and stray control bytes included.
std::string escaped(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            if (b < 0x20 || b >= 0x7f) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02x", b);
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out;
}

}  // namespace sim
