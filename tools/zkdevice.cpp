// zkdevice: stands in for one or more zefo*kit devices so that zkdetect can
// be tested and measured without real hardware. It listens for requests on
// UDP port 65001 of every local address, logs each datagram it receives, and
// answers from each simulated device's own address to the requester's port
// 65002. One thread serves everything: a poll loop plus a queue of pending
// sends ordered by due time.

#include <arpa/inet.h>
#include <fcntl.h>
#include <getopt.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr in_port_t request_port = 65001;
constexpr in_port_t answer_port = 65002;
// The largest payload one IPv4 UDP datagram can carry.
constexpr std::size_t max_datagram = 65507;
constexpr std::string_view discovery_request = "find zefo.*";
constexpr std::string_view set_prefix = "set ";
// Longest delay, interval or duration accepted: an hour.
constexpr long max_ms = 3600L * 1000;

using mono_clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Owns a descriptor and closes it when destroyed.
struct fd_owner {
    int fd = -1;

    fd_owner() = default;
    explicit fd_owner(int f) : fd(f) {}
    fd_owner(fd_owner&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    fd_owner& operator=(fd_owner&& other) noexcept {
        if (this != &other) {
            reset();
            fd = std::exchange(other.fd, -1);
        }
        return *this;
    }
    fd_owner(const fd_owner&) = delete;
    fd_owner& operator=(const fd_owner&) = delete;
    ~fd_owner() { reset(); }

    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// What a device reports about itself; keys left unset are left out of its
// reply, so a device can e.g. report no gateway.
struct settings {
    std::optional<std::string> hw, ip, nm, gw, mtu, dhcp, ns;
};

struct device {
    std::string name;  // the address as given on the command line
    in_addr_t addr = 0;
    settings fields;
    bool has_fields = false;         // only such devices act on set messages
    std::optional<std::string> raw;  // replaces the discovery reply
    int delay_ms = 0;
    int count = 1;

    std::optional<std::string> set_reply;
    bool set_silent = false;
    int set_delay_ms = 0;
    bool set_crlf = false;
    std::optional<in_addr_t> set_decoy;
    std::optional<in_addr_t> set_flood;
    int flood_interval_ms = 200;
    int flood_for_ms = 10000;
};

struct options {
    std::string log_path;  // empty: standard output
    std::string ready_path;
    bool verbose = false;
    long burst = 0;
    std::vector<in_port_t> hold_ports;
    std::vector<device> devices;
};

// A datagram waiting for its time.
struct pending_send {
    in_addr_t from = 0;
    sockaddr_in to{};
    std::string payload;
};

// Pending sends by due time; a multimap keeps sends that fall due together
// in the order they were queued, which fixes the order replies arrive in.
using send_queue = std::multimap<mono_clock::time_point, pending_send>;

volatile sig_atomic_t stop_requested = 0;

void on_stop_signal(int) { stop_requested = 1; }

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "zkdevice: %s\n", message.c_str());
    std::exit(2);
}

void print_usage(std::FILE* out) {
    std::fputs(
        "Usage: zkdevice [GLOBAL OPTIONS] [--device ADDR [DEVICE OPTIONS]]...\n"
        "Simulates zefo*kit devices: answers \"find zefo.*\" and set messages\n"
        "received on UDP port 65001, replying to the sender's port 65002.\n"
        "\n"
        "Global options:\n"
        "  --log FILE          log every datagram received on port 65001 as\n"
        "                      '<sender> <escaped text>' (default: stdout)\n"
        "  --ready-file FILE   create FILE (holding the pid) once all sockets are bound\n"
        "  --burst N           answer a discovery request with N replies in total,\n"
        "                      round-robin over the devices, as fast as possible\n"
        "  --hold PORT         also bind 0.0.0.0:PORT and keep it (repeatable)\n"
        "  -v, --verbose       report every datagram sent on stderr\n"
        "  -h, --help          show this text\n"
        "\n"
        "--device ADDR starts a new device answering from local address ADDR;\n"
        "the options after it apply to that device:\n"
        "  --hw, --ip, --nm, --gw, --mtu, --dhcp, --ns TEXT\n"
        "                      the settings it reports as hw=..;ip=..;nm=..;gw=..;\n"
        "                      mtu=..;dhcp=..[;ns=..]; unset keys are left out\n"
        "  --raw TEXT          reply with TEXT instead (its fields still name the\n"
        "                      device in set messages)\n"
        "  --raw-file PATH     reply with the bytes of PATH\n"
        "  --raw-size N        reply with N bytes of printable filler\n"
        "  --delay MS          wait MS milliseconds before answering (default 0)\n"
        "  --count N           answers per request (default 1)\n"
        "  --set-reply TEXT    confirmation of a set message (default 'ok hw=<hw>')\n"
        "  --set-silent        do not confirm set messages\n"
        "  --set-delay MS      wait MS milliseconds before confirming\n"
        "  --set-crlf          append CR LF to the confirmation\n"
        "  --set-decoy ADDR    ADDR sends the confirmation text first\n"
        "  --set-flood ADDR    ADDR sends \"noise\" after a set message, every\n"
        "                      --flood-interval MS (200) for --flood-for MS (10000)\n"
        "A device with neither settings nor a raw reply answers with an empty\n"
        "datagram. TEXT values take the escapes \\r \\n \\t \\\\ \\0 \\xHH.\n",
        out);
}

// Decodes the C-style escapes that let tests put control and zero bytes
// into a datagram from a shell command line.
std::string unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) die("a backslash ends the text '" + std::string(text) + "'");
        switch (text[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case '0':
            out += '\0';
            break;
        case 'x': {
            const auto hex_digit = [&](std::size_t k) {
                return k < text.size() && std::isxdigit(static_cast<unsigned char>(text[k]));
            };
            if (!hex_digit(i + 1) || !hex_digit(i + 2)) {
                die("\\x needs two hex digits in '" + std::string(text) + "'");
            }
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
            break;
        }
        default:
            die(std::string("unknown escape \\") + text[i] + " in '" + std::string(text) + "'");
        }
    }
    return out;
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

long parse_number(const char* option, const char* text, long low, long high) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        die(std::string("--") + option + ": '" + text + "' is not a number from " +
            std::to_string(low) + " to " + std::to_string(high));
    }
    return value;
}

int parse_ms(const char* option, const char* text) {
    return static_cast<int>(parse_number(option, text, 0, max_ms));
}

in_addr_t parse_address(const char* option, const char* text) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text, &parsed) != 1) {
        die(std::string("--") + option + ": '" + text + "' is not an IPv4 address");
    }
    return parsed.s_addr;
}

std::string address_text(in_addr_t addr) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = addr;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) die(std::string("--raw-file: cannot read '") + path + "'");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > max_datagram) {
        die(std::string("--raw-file: '") + path + "' holds more than " +
            std::to_string(max_datagram) + " bytes");
    }
    return bytes;
}

// Printable filler without ';' or '=', so it carries no key=value token.
std::string filler(std::size_t size) {
    static constexpr std::string_view pattern = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out(size, ' ');
    for (std::size_t i = 0; i < size; ++i) out[i] = pattern[i % pattern.size()];
    return out;
}

enum opt_id {
    opt_log = 256,
    opt_ready,
    opt_burst,
    opt_hold,
    opt_device,
    opt_hw,
    opt_ip,
    opt_nm,
    opt_gw,
    opt_mtu,
    opt_dhcp,
    opt_ns,
    opt_raw,
    opt_raw_file,
    opt_raw_size,
    opt_delay,
    opt_count,
    opt_set_reply,
    opt_set_silent,
    opt_set_delay,
    opt_set_crlf,
    opt_set_decoy,
    opt_set_flood,
    opt_flood_interval,
    opt_flood_for,
};

options parse_options(int argc, char** argv) {
    static const option long_options[] = {
        {"log", required_argument, nullptr, opt_log},
        {"ready-file", required_argument, nullptr, opt_ready},
        {"burst", required_argument, nullptr, opt_burst},
        {"hold", required_argument, nullptr, opt_hold},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, 'h'},
        {"device", required_argument, nullptr, opt_device},
        {"hw", required_argument, nullptr, opt_hw},
        {"ip", required_argument, nullptr, opt_ip},
        {"nm", required_argument, nullptr, opt_nm},
        {"gw", required_argument, nullptr, opt_gw},
        {"mtu", required_argument, nullptr, opt_mtu},
        {"dhcp", required_argument, nullptr, opt_dhcp},
        {"ns", required_argument, nullptr, opt_ns},
        {"raw", required_argument, nullptr, opt_raw},
        {"raw-file", required_argument, nullptr, opt_raw_file},
        {"raw-size", required_argument, nullptr, opt_raw_size},
        {"delay", required_argument, nullptr, opt_delay},
        {"count", required_argument, nullptr, opt_count},
        {"set-reply", required_argument, nullptr, opt_set_reply},
        {"set-silent", no_argument, nullptr, opt_set_silent},
        {"set-delay", required_argument, nullptr, opt_set_delay},
        {"set-crlf", no_argument, nullptr, opt_set_crlf},
        {"set-decoy", required_argument, nullptr, opt_set_decoy},
        {"set-flood", required_argument, nullptr, opt_set_flood},
        {"flood-interval", required_argument, nullptr, opt_flood_interval},
        {"flood-for", required_argument, nullptr, opt_flood_for},
        {nullptr, 0, nullptr, 0},
    };

    options opts;
    // Per-device options need a device to apply to.
    auto current = [&](int id) -> device& {
        if (opts.devices.empty()) {
            for (const option* o = long_options; o->name; ++o) {
                if (o->val == id) die(std::string("--") + o->name + " must follow a --device");
            }
        }
        return opts.devices.back();
    };
    auto set_field = [&](int id, std::optional<std::string> settings::*field) {
        device& dev = current(id);
        dev.fields.*field = unescape(optarg);
        dev.has_fields = true;
    };

    opterr = 0;
    int id = 0;
    // '+' stops at the first non-option so stray words are reported;
    // ':' tells a missing value apart from an unknown option.
    while ((id = getopt_long(argc, argv, "+:hv", long_options, nullptr)) != -1) {
        switch (id) {
        case 'h':
            print_usage(stdout);
            std::exit(0);
        case 'v':
            opts.verbose = true;
            break;
        case opt_log:
            opts.log_path = optarg;
            break;
        case opt_ready:
            opts.ready_path = optarg;
            break;
        case opt_burst:
            opts.burst = parse_number("burst", optarg, 1, 100'000'000);
            break;
        case opt_hold:
            opts.hold_ports.push_back(
                static_cast<in_port_t>(parse_number("hold", optarg, 1, 65535)));
            break;
        case opt_device: {
            device dev;
            dev.name = optarg;
            dev.addr = parse_address("device", optarg);
            opts.devices.push_back(std::move(dev));
            break;
        }
        case opt_hw:
            set_field(id, &settings::hw);
            break;
        case opt_ip:
            set_field(id, &settings::ip);
            break;
        case opt_nm:
            set_field(id, &settings::nm);
            break;
        case opt_gw:
            set_field(id, &settings::gw);
            break;
        case opt_mtu:
            set_field(id, &settings::mtu);
            break;
        case opt_dhcp:
            set_field(id, &settings::dhcp);
            break;
        case opt_ns:
            set_field(id, &settings::ns);
            break;
        case opt_raw:
            current(id).raw = unescape(optarg);
            break;
        case opt_raw_file:
            current(id).raw = read_file(optarg);
            break;
        case opt_raw_size:
            current(id).raw = filler(static_cast<std::size_t>(
                parse_number("raw-size", optarg, 0, static_cast<long>(max_datagram))));
            break;
        case opt_delay:
            current(id).delay_ms = parse_ms("delay", optarg);
            break;
        case opt_count:
            current(id).count = static_cast<int>(parse_number("count", optarg, 0, 100000));
            break;
        case opt_set_reply:
            current(id).set_reply = unescape(optarg);
            break;
        case opt_set_silent:
            current(id).set_silent = true;
            break;
        case opt_set_delay:
            current(id).set_delay_ms = parse_ms("set-delay", optarg);
            break;
        case opt_set_crlf:
            current(id).set_crlf = true;
            break;
        case opt_set_decoy:
            current(id).set_decoy = parse_address("set-decoy", optarg);
            break;
        case opt_set_flood:
            current(id).set_flood = parse_address("set-flood", optarg);
            break;
        case opt_flood_interval:
            current(id).flood_interval_ms =
                static_cast<int>(parse_number("flood-interval", optarg, 1, max_ms));
            break;
        case opt_flood_for:
            current(id).flood_for_ms = parse_ms("flood-for", optarg);
            break;
        case ':':
            die(std::string("option ") + argv[optind - 1] + " needs a value (see --help)");
        default:
            die(std::string("unknown option ") + argv[optind - 1] + " (see --help)");
        }
    }
    if (optind < argc) die(std::string("unexpected argument '") + argv[optind] + "' (see --help)");
    if (opts.burst > 0 && opts.devices.empty()) die("--burst needs at least one --device");
    return opts;
}

// Binds a UDP socket to addr:port; dies naming the address if it can't,
// since a test whose device can't answer would fail for the wrong reason.
fd_owner bind_udp(in_addr_t addr, in_port_t port, bool broadcast) {
    fd_owner sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sock.fd < 0) die(std::string("cannot open a UDP socket: ") + std::strerror(errno));
    if (broadcast) {
        const int on = 1;
        if (setsockopt(sock.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            die(std::string("cannot set SO_BROADCAST: ") + std::strerror(errno));
        }
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = addr;
    local.sin_port = htons(port);
    if (::bind(sock.fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        die("cannot bind " + address_text(addr) + ":" + std::to_string(port) + ": " +
            std::strerror(errno));
    }
    return sock;
}

// The discovery reply a device sends with its current settings.
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

// The key=value tokens of a set message, after its "set " prefix.
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

// The device adopts the settings it was sent, as a real one would, so that
// a later scan reports them; a message without ns clears the nameserver.
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

struct simulator {
    options opts;
    fd_owner listener;
    std::vector<fd_owner> held;
    std::map<in_addr_t, fd_owner> senders;  // one socket per local address we send from
    send_queue queue;
    std::FILE* log = stdout;

    void open_sockets() {
        listener = bind_udp(INADDR_ANY, request_port, true);
        for (const in_port_t port : opts.hold_ports)
            held.push_back(bind_udp(INADDR_ANY, port, false));
        auto need_sender = [&](in_addr_t addr) {
            // Look first: emplace would bind a socket before finding the key.
            if (senders.find(addr) == senders.end())
                // cppcheck-suppress stlFindInsert
                senders.emplace(addr, bind_udp(addr, 0, false));
        };
        for (const device& dev : opts.devices) {
            need_sender(dev.addr);
            if (dev.set_decoy) need_sender(*dev.set_decoy);
            if (dev.set_flood) need_sender(*dev.set_flood);
        }
    }

    void queue_send(mono_clock::time_point when, in_addr_t from, const sockaddr_in& to,
                    std::string payload) {
        queue.emplace(when, pending_send{from, to, std::move(payload)});
    }

    void send_now(in_addr_t from, const sockaddr_in& to, const std::string& payload) {
        const int fd = senders.at(from).fd;
        for (;;) {
            const ssize_t sent = ::sendto(fd, payload.data(), payload.size(), 0,
                                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
            if (sent >= 0) break;
            // A burst may outrun the loopback queue; wait a moment and retry.
            if (errno == ENOBUFS || errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
                continue;
            }
            if (errno == EINTR) continue;
            std::fprintf(stderr, "zkdevice: sending from %s failed: %s\n",
                         address_text(from).c_str(), std::strerror(errno));
            return;
        }
        if (opts.verbose) {
            std::fprintf(stderr, "zkdevice: %s -> %s:%u %zu bytes\n", address_text(from).c_str(),
                         address_text(to.sin_addr.s_addr).c_str(), ntohs(to.sin_port),
                         payload.size());
        }
    }

    void send_due() {
        const auto now = mono_clock::now();
        while (!queue.empty() && queue.begin()->first <= now) {
            const pending_send& next = queue.begin()->second;
            send_now(next.from, next.to, next.payload);
            queue.erase(queue.begin());
        }
    }

    void answer_discovery(const sockaddr_in& to) {
        if (opts.burst > 0) {
            std::vector<std::string> texts;
            for (const device& dev : opts.devices) texts.push_back(reply_text(dev));
            for (long i = 0; i < opts.burst; ++i) {
                const auto k = static_cast<std::size_t>(i) % opts.devices.size();
                send_now(opts.devices[k].addr, to, texts[k]);
            }
            return;
        }
        const auto now = mono_clock::now();
        for (const device& dev : opts.devices) {
            const std::string text = reply_text(dev);
            for (int i = 0; i < dev.count; ++i)
                queue_send(now + milliseconds(dev.delay_ms), dev.addr, to, text);
        }
    }

    void answer_set(const sockaddr_in& to, std::string_view message) {
        const auto tokens = set_tokens(message);
        const auto hw = tokens.find("hw");
        if (hw == tokens.end()) return;
        const auto now = mono_clock::now();
        for (device& dev : opts.devices) {
            if (!dev.has_fields || dev.fields.hw.value_or("") != hw->second) continue;
            apply_settings(dev, tokens);
            std::string confirmation =
                dev.set_reply.value_or("ok hw=" + dev.fields.hw.value_or(""));
            if (dev.set_crlf) confirmation += "\r\n";
            if (dev.set_decoy) queue_send(now, *dev.set_decoy, to, confirmation);
            if (dev.set_flood) {
                for (int t = 0; t < dev.flood_for_ms; t += dev.flood_interval_ms) {
                    queue_send(now + milliseconds(t), *dev.set_flood, to, "noise");
                }
            }
            if (!dev.set_silent)
                queue_send(now + milliseconds(dev.set_delay_ms), dev.addr, to, confirmation);
        }
    }

    void handle(const sockaddr_in& sender, std::string_view payload) {
        std::fprintf(log, "%s %s\n", address_text(sender.sin_addr.s_addr).c_str(),
                     escaped(payload).c_str());
        std::fflush(log);
        // Answers go to the requester's address at the reply port, whatever
        // port the request came from.
        sockaddr_in to = sender;
        to.sin_port = htons(answer_port);
        if (payload == discovery_request) {
            answer_discovery(to);
        } else if (payload.substr(0, set_prefix.size()) == set_prefix) {
            answer_set(to, payload);
        }
    }

    void receive_all() {
        static char buffer[max_datagram + 1];
        for (;;) {
            sockaddr_in sender{};
            socklen_t size = sizeof sender;
            const ssize_t got = ::recvfrom(listener.fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&sender), &size);
            if (got < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    std::fprintf(stderr, "zkdevice: receiving failed: %s\n", std::strerror(errno));
                }
                return;
            }
            handle(sender, std::string_view(buffer, static_cast<std::size_t>(got)));
        }
    }

    void run(const sigset_t& wait_mask) {
        while (!stop_requested) {
            timespec wait{};
            timespec* timeout = nullptr;
            if (!queue.empty()) {
                const auto left = std::max(queue.begin()->first - mono_clock::now(),
                                           mono_clock::duration::zero());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
                wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
                timeout = &wait;
            }
            pollfd watched{listener.fd, POLLIN, 0};
            // The stop signals are blocked except inside ppoll, so a signal
            // can't slip in between the flag test and the wait.
            const int ready = ::ppoll(&watched, 1, timeout, &wait_mask);
            if (ready < 0 && errno != EINTR)
                die(std::string("poll failed: ") + std::strerror(errno));
            if (ready > 0) receive_all();
            send_due();
        }
        // A request that arrived together with the stop signal still
        // belongs in the log the tests compare.
        receive_all();
    }
};

void write_ready_file(const std::string& path) {
    // Written under another name and renamed, so a poller never sees it
    // half-written.
    const std::string temporary = path + ".tmp";
    std::FILE* f = std::fopen(temporary.c_str(), "w");
    if (!f) die("cannot write '" + temporary + "': " + std::strerror(errno));
    std::fprintf(f, "%ld\n", static_cast<long>(::getpid()));
    if (std::fclose(f) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        die("cannot write '" + path + "': " + std::strerror(errno));
    }
}

}  // namespace

int main(int argc, char** argv) {
    simulator sim;
    sim.opts = parse_options(argc, argv);

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigset_t wait_mask;
    sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
    sigdelset(&wait_mask, SIGINT);
    sigdelset(&wait_mask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (!sim.opts.log_path.empty()) {
        sim.log = std::fopen(sim.opts.log_path.c_str(), "w");
        if (!sim.log) die("cannot open log '" + sim.opts.log_path + "': " + std::strerror(errno));
    }
    sim.open_sockets();
    if (!sim.opts.ready_path.empty()) write_ready_file(sim.opts.ready_path);
    if (sim.opts.verbose) {
        std::fprintf(stderr, "zkdevice: ready with %zu device(s)\n", sim.opts.devices.size());
    }

    sim.run(wait_mask);

    std::fflush(sim.log);
    if (sim.log != stdout) std::fclose(sim.log);
    return 0;
}
