// Fuzz target: the whole dialogue of run_menu, from the device choice to
// quit, save or the end of input, over a list of entries made by
// device_found. The network is replaced by the exchange() below (this target
// is linked without src/exchange.cpp), which checks the set message and
// answers it as the input says.
//
// Input, in order:
//   byte 0   how the save goes. With bit 0x40 set the exchange fails before
//            anything is received: the reply socket can't be opened when
//            bit 0x20 is clear ('A'..'G'), the send fails when it is set
//            ('a'..'g'). Otherwise bits 0-1 say what the selected device
//            answers: 0 a confirmation "ok hw=<its hw>", 1 a refusal
//            "err hw=<its hw>", 2 nothing (the receive times out), 3 nothing,
//            but a confirmation comes from another address; bit 2 adds a
//            confirmation from another address before that. So '0'..'7'.
//   byte 1   the number of replies: '1'..'8' give 1..8 (any byte works, as
//            1 + ((byte - '1') & 7)).
//   replies  that many datagram payloads, each ended by a zero byte; reply n
//            comes from 192.0.2.(9+n). A zero byte ends a datagram's text
//            anyway, so the separator costs no input the receiver could
//            have passed on. Replies missing at the end of input are empty.
//   the rest standard input of the dialogue.
// Missing leading bytes count as '0' and '1'.
#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "check.h"
#include "devices.h"
#include "exchange.h"
#include "menu.h"
#include "prompt.h"
#include "save.h"

namespace {

enum class answer { confirm = 0, refuse = 1, none = 2, elsewhere = 3 };

struct save_plan {
    bool fails = false;
    exchange_status failure = exchange_status::done;
    answer reply = answer::confirm;
    bool other_first = false;
};

const in_addr_t source_addr = inet_addr("192.0.2.1");
const in_addr_t broadcast_addr = htonl(INADDR_BROADCAST);
const in_addr_t other_addr = inet_addr("192.0.2.200");
// Host order, so that reply n's address is a sum.
const uint32_t first_device = ntohl(inet_addr("192.0.2.10"));

save_plan plan;
int set_messages = 0;

// What the terminal would see: the end of the output, and whether a control
// byte (other than the line feed) got through to it.
struct terminal_watch {
    char tail[64];
    std::size_t tail_length;
    bool control_byte;
} watch;

ssize_t watch_write(void*, const char* buf, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(buf[i]);
        if ((b < 0x20 && b != '\n') || (b >= 0x7f && b <= 0x9f)) watch.control_byte = true;
    }
    const std::size_t keep = size < sizeof watch.tail ? size : sizeof watch.tail;
    if (watch.tail_length + keep > sizeof watch.tail) {
        const std::size_t drop = watch.tail_length + keep - sizeof watch.tail;
        std::memmove(watch.tail, watch.tail + drop, watch.tail_length - drop);
        watch.tail_length -= drop;
    }
    std::memcpy(watch.tail + watch.tail_length, buf + size - keep, keep);
    watch.tail_length += keep;
    return static_cast<ssize_t>(size);
}

bool output_ends_with(std::string_view text) {
    const std::string_view tail(watch.tail, watch.tail_length);
    return tail.size() >= text.size() && tail.substr(tail.size() - text.size()) == text;
}

// The length of e's set message, counted from its parts:
// "set hw=..;ip=..;nm=..;mtu=..;gw=..;dhcp=.[;ns=..];".
std::size_t set_message_length(const device_entry& e) {
    std::size_t n = std::strlen("set hw=;ip=;nm=;mtu=;gw=;dhcp=0;");
    n += std::strlen(e.hw) + std::strlen(e.ip) + std::strlen(e.nm) + std::strlen(e.gw);
    n += std::to_string(e.mtu).size();
    if (!e.ns.empty()) n += std::strlen(";ns=") + e.ns.size();
    return n;
}

// Hands handler one datagram "<word> hw=<d's hw>" from addr.
bool deliver(const reply_handler& handler, in_addr_t addr, const char* word) {
    char text[max_payload + 1];
    std::snprintf(text, sizeof text, "%s hw=%s", word, d->hw);
    return handler(addr, text);
}

save_plan read_plan(uint8_t b) {
    save_plan p;
    if (b & 0x40) {
        p.fails = true;
        p.failure = b & 0x20 ? exchange_status::send_failed : exchange_status::listen_failed;
    } else {
        p.reply = static_cast<answer>(b & 3);
        p.other_first = (b & 4) != 0;
    }
    return p;
}

}  // namespace

exchange_status exchange(in_addr_t source, in_addr_t destination, const char* text,
                         const reply_handler& handler, std::chrono::milliseconds /*bound*/,
                         receive_result* /*received*/) {
    ++set_messages;
    FUZZ_CHECK(set_messages == 1);
    FUZZ_CHECK(source == source_addr && destination == broadcast_addr);
    FUZZ_CHECK(d != nullptr);

    const std::size_t length = strnlen(text, set_message_size);
    FUZZ_CHECK(length <= max_payload);
    FUZZ_CHECK(length == set_message_length(*d));
    // The message names the selected device and its address, and ends its
    // last token.
    char start[64];
    const int start_length = std::snprintf(start, sizeof start, "set hw=%s;ip=%s;", d->hw, d->ip);
    FUZZ_CHECK(std::strncmp(text, start, static_cast<std::size_t>(start_length)) == 0);
    FUZZ_CHECK(text[length - 1] == ';');

    if (plan.fails) return plan.failure;
    // Only a datagram from the selected device's address ends the receive.
    if (plan.other_first) FUZZ_CHECK(!deliver(handler, other_addr, "ok"));
    switch (plan.reply) {
    case answer::confirm:
        FUZZ_CHECK(deliver(handler, d->addr, "ok"));
        break;
    case answer::refuse:
        FUZZ_CHECK(deliver(handler, d->addr, "err"));
        break;
    case answer::none:
        break;
    case answer::elsewhere:
        FUZZ_CHECK(!deliver(handler, other_addr, "ok"));
        break;
    }
    return exchange_status::done;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static std::FILE* const terminal = [] {
        // device_found prints the list lines to stdout.
        if (!std::freopen("/dev/null", "w", stdout)) std::abort();
        std::FILE* f = fopencookie(nullptr, "w", {nullptr, watch_write, nullptr, nullptr});
        if (!f) std::abort();
        return f;
    }();

    const uint8_t* p = data;
    const uint8_t* const end = data + size;
    plan = read_plan(p < end ? *p++ : '0');
    const int replies = (((p < end ? *p++ : '1') - '1') & 7) + 1;

    for (int n = 1; n <= replies; ++n) {
        const auto* zero =
            static_cast<const uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(end - p)));
        const uint8_t* const stop = zero ? zero : end;
        char text[max_payload + 1];
        const std::size_t length = std::min(static_cast<std::size_t>(stop - p), max_payload);
        std::memcpy(text, p, length);
        text[length] = '\0';
        device_found(htonl(first_device + static_cast<uint32_t>(n) - 1), text);
        p = zero ? zero + 1 : end;
    }

    // fmemopen reads only in this mode; it wants a buffer even for no input.
    static uint8_t no_input[1];
    const std::size_t input_size = static_cast<std::size_t>(end - p);
    std::FILE* in = fmemopen(input_size ? const_cast<uint8_t*>(p) : no_input, input_size, "r");
    if (!in) std::abort();
    set_messages = 0;
    saved = false;
    watch.tail_length = 0;
    watch.control_byte = false;

    const int status = run_menu(source_addr, broadcast_addr, in, terminal);
    std::fclose(in);
    std::fflush(terminal);

    FUZZ_CHECK(status == 0 || status == -1);
    FUZZ_CHECK(!watch.control_byte);
    if (set_messages == 0) {
        // Quit, the end of input, or a message too long for one datagram.
        FUZZ_CHECK(!saved);
        if (status == -1) {
            FUZZ_CHECK(d != nullptr && set_message_length(*d) > max_payload);
            FUZZ_CHECK(output_ends_with("Error preparing save message!\n"));
        }
    } else if (plan.fails) {
        FUZZ_CHECK(status == -1 && !saved);
        FUZZ_CHECK(output_ends_with(plan.failure == exchange_status::listen_failed
                                        ? "Error listening for replies on UDP port 65002!\n"
                                        : "Error sending save request!\n"));
    } else {
        const bool confirmed = plan.reply == answer::confirm;
        FUZZ_CHECK(status == 0 && saved == confirmed);
        FUZZ_CHECK(output_ends_with(confirmed ? "Configuration saved!\n"
                                              : "Failed saving configuration\n"));
    }

    release_list();
    return 0;
}
