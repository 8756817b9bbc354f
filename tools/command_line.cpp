#include "command_line.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "fleet.h"
#include "option_values.h"

namespace sim {

void die(const std::string& message) {
    std::fprintf(stderr, "zkdevice: %s\n", message.c_str());
    std::exit(2);
}

namespace {

enum opt_id {
    opt_log = 256,
    opt_ready,
    opt_burst,
    opt_burst_at,
    opt_hold,
    opt_fleet,
    opt_state,
    opt_loss,
    opt_seed,
    opt_move,
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
    opt_reply_to,
    opt_set_reply,
    opt_set_silent,
    opt_set_delay,
    opt_set_crlf,
    opt_set_decoy,
    opt_set_flood,
    opt_flood_interval,
    opt_flood_for,
};

}  // namespace

options parse_options(int argc, char** argv) {
    static const option long_options[] = {
        {"log", required_argument, nullptr, opt_log},
        {"ready-file", required_argument, nullptr, opt_ready},
        {"burst", required_argument, nullptr, opt_burst},
        {"burst-at", required_argument, nullptr, opt_burst_at},
        {"hold", required_argument, nullptr, opt_hold},
        {"fleet", required_argument, nullptr, opt_fleet},
        {"state", required_argument, nullptr, opt_state},
        {"loss", required_argument, nullptr, opt_loss},
        {"seed", required_argument, nullptr, opt_seed},
        {"move", no_argument, nullptr, opt_move},
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
        {"reply-to", required_argument, nullptr, opt_reply_to},
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
    // In the order of opt_hw to opt_ns.
    static constexpr std::optional<std::string> settings::*fields[] = {
        &settings::hw,  &settings::ip,   &settings::nm, &settings::gw,
        &settings::mtu, &settings::dhcp, &settings::ns,
    };
    auto set_field = [&](int id) {
        device& dev = current(id);
        dev.fields.*fields[id - opt_hw] = unescape(optarg);
        dev.has_fields = true;
    };

    long fleet = 0;
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
        case opt_burst_at:
            opts.burst_at_ms = static_cast<int>(parse_number("burst-at", optarg, 0, 999));
            break;
        case opt_hold:
            opts.hold_ports.push_back(
                static_cast<in_port_t>(parse_number("hold", optarg, 1, 65535)));
            break;
        case opt_fleet:
            fleet = parse_number("fleet", optarg, 1, max_fleet);
            break;
        case opt_state:
            opts.state_path = optarg;
            break;
        case opt_loss:
            opts.loss_percent = static_cast<int>(parse_number("loss", optarg, 0, 100));
            break;
        case opt_seed:
            opts.seed = parse_seed(optarg);
            break;
        case opt_move:
            opts.move = true;
            break;
        case opt_device: {
            device dev;
            dev.name = optarg;
            dev.addr = parse_address("device", optarg);
            opts.devices.push_back(std::move(dev));
            break;
        }
        case opt_hw:
        case opt_ip:
        case opt_nm:
        case opt_gw:
        case opt_mtu:
        case opt_dhcp:
        case opt_ns:
            set_field(id);
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
        case opt_reply_to:
            current(id).reply_to = parse_address("reply-to", optarg);
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
    // After the loop, so that options after --fleet still apply to the
    // --device before it.
    std::vector<device> more = make_fleet(fleet);
    opts.devices.insert(opts.devices.end(), more.begin(), more.end());
    if (opts.burst > 0 && opts.devices.empty()) die("--burst needs at least one --device");
    if (opts.burst_at_ms >= 0 && opts.burst == 0) die("--burst-at needs --burst");
    // A burst answers round-robin for all devices at once, with no device's
    // own handling for a draw to decide.
    if (opts.loss_percent > 0 && opts.burst > 0) die("--loss cannot be combined with --burst");
    return opts;
}

}  // namespace sim
