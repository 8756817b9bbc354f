#include "devices.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

device_entry* devs = nullptr;
int32_t num_devs = 0;
device_entry* d = nullptr;

namespace {

template <std::size_t N>
void store_text(char (&field)[N], std::string_view value) {
    std::memcpy(field, value.data(), value.size());
    field[value.size()] = '\0';
}

// The leading decimal integer, as strtol reads it, held at the limits of a
// 32-bit int instead of overflowing.
int32_t leading_int(std::string_view v) {
    std::size_t i = 0;
    while (i < v.size() && std::isspace(static_cast<unsigned char>(v[i]))) ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                   : int64_t{std::numeric_limits<int32_t>::max()};
    int64_t n = 0;
    for (; i < v.size() && std::isdigit(static_cast<unsigned char>(v[i])); ++i) {
        n = n * 10 + (v[i] - '0');
        if (n > limit) n = limit;
    }
    return static_cast<int32_t>(negative ? -n : n);
}

void store(device_entry& e, std::string_view key, std::string_view value) {
    if (key == "hw") {
        // A MAC address written xx:xx:xx:xx:xx:xx; other lengths are not one.
        if (value.size() == sizeof e.hw - 1) store_text(e.hw, value);
    } else if (key == "ip" || key == "nm" || key == "gw") {
        char(&field)[16] = key == "ip" ? e.ip : key == "nm" ? e.nm : e.gw;
        if (value.size() < sizeof field) store_text(field, value);
    } else if (key == "mtu") {
        e.mtu = leading_int(value);
    } else if (key == "dhcp") {
        e.dhcp = value[0] == '1';
    } else if (key == "ns") {
        e.ns.assign(value);
    }
}

bool control_byte(char c) {
    const auto b = static_cast<unsigned char>(c);
    // C0 controls, DEL, and the C1 range: a terminal takes 0x9B alone, or
    // 0xC2 0x9B in UTF-8, for the start of a control sequence.
    return b < 0x20 || (b >= 0x7f && b <= 0x9f);
}

// shown() for a text field, into a buffer of the same size: the list line
// is printed once per reply, and this spares it two allocations.
template <std::size_t N>
const char* shown_in(const char (&field)[N], char (&out)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        out[i] = control_byte(field[i]) && field[i] ? '?' : field[i];
    return out;
}

}  // namespace

void parse_reply(device_entry& entry, char* text) {
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string_view token = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);

        const std::size_t eq = token.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view value = token.substr(eq + 1);
        // A line break ends the value (find_first_of would call memchr per
        // byte, and thousands of replies pass through here).
        std::size_t cut = 0;
        while (cut < value.size() && value[cut] != '\r' && value[cut] != '\n') ++cut;
        value = value.substr(0, cut);
        if (value.empty()) continue;
        store(entry, token.substr(0, eq), value);
    }
}

bool device_found(in_addr_t addr, char* text) {
    device_entry* entry = nullptr;
    try {
        auto made = std::make_unique<device_entry>();
        made->addr = addr;
        parse_reply(*made, text);
        entry = made.release();
    } catch (const std::bad_alloc&) {
        // Out of memory: end the scan and go on with the devices listed.
        return true;
    }
    if (entry->mtu == 0) entry->mtu = 1500;

    entry->next = devs;
    devs = entry;
    ++num_devs;
    char hw[sizeof entry->hw];
    char ip[sizeof entry->ip];
    std::printf("[%d] mac:%s ip:%s\n", num_devs, shown_in(entry->hw, hw), shown_in(entry->ip, ip));
    return false;
}

device_entry* device_number(int32_t n) {
    if (n < 1 || n > num_devs) return nullptr;
    device_entry* e = devs;
    for (int32_t i = num_devs; i > n && e; --i) e = e->next;
    return e;
}

std::string shown(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        if (control_byte(c)) c = '?';
    }
    return s;
}
