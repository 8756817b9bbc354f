#include "options.h"

#include <arpa/inet.h>
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host.h"
#include "rounds.h"

namespace {

void print_usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: zkbatch [OPTIONS] --list\n"
                 "       zkbatch [OPTIONS] PLAN\n"
                 "Lists the zefo*kit devices that answer a scan, or gives each device named\n"
                 "in PLAN (a CSV file; - reads standard input) the settings the plan holds.\n"
                 "\n"
                 "  -l, --list          print every device that answered, as CSV\n"
                 "  -j, --json          print the inventory or the report as JSON\n"
                 "  -n, --dry-run       check the plan against a scan and print the set\n"
                 "                      messages, but send none\n"
                 "      --verify        scan again after the saves and compare\n"
                 "  -u, --undo FILE     before the first set message, write FILE: a plan that\n"
                 "                      gives every device to be changed back what it holds\n"
                 "  -r, --retries N     send a request or set message without an answer\n"
                 "                      again up to N times (0-%d, default %d)\n"
                 "  -s, --source ADDR   send from the local address ADDR, or from the primary\n"
                 "                      IPv4 address of interface ADDR (default: any)\n"
                 "  -h, --help          show this text\n"
                 "      --version       show the version\n"
                 "\n"
                 "Plan columns: mac (required), ip, netmask, gateway, dhcp, mtu, nameserver;\n"
                 "an empty cell keeps the device's value. A row whose device holds its\n"
                 "settings already is left alone. Exit status: 0 all done, 1 some row not\n"
                 "done, 2 usage, plan, address conflict, scan or write error. See zkbatch(1).\n",
                 max_retries, default_retries);
}

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "zkbatch: %s\nTry 'zkbatch --help'.\n", message.c_str());
    std::exit(usage_status);
}

// An interface name, or an address in any form inet_aton takes.
in_addr_t source_address(const std::string& text) {
    in_addr_t addr = 0;
    const interface_lookup lookup = interface_address(text, addr);
    const int lookup_error = errno;
    switch (lookup) {
    case interface_lookup::found:
        return addr;
    case interface_lookup::no_ipv4:
        usage_error("--source: interface '" + text + "' has no IPv4 address");
    case interface_lookup::unknown:
    case interface_lookup::failed:
        break;
    }
    in_addr parsed{};
    if (inet_aton(text.c_str(), &parsed)) return parsed.s_addr;
    if (lookup == interface_lookup::failed)
        usage_error("--source: '" + text +
                    "' is not an IPv4 address, and the interfaces can't be listed: " +
                    std::strerror(lookup_error));
    usage_error("--source: '" + text + "' is neither an IPv4 address nor an interface");
}

int retries_count(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 2 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const int n = digits ? std::stoi(text) : -1;
    if (n < 0 || n > max_retries)
        usage_error("--retries: '" + text + "' is not a number from 0 to " +
                    std::to_string(max_retries));
    return n;
}

}  // namespace

options parse_options(int argc, char** argv) {
    enum { opt_version = 256, opt_verify };
    static const option long_options[] = {
        {"list", no_argument, nullptr, 'l'},
        {"json", no_argument, nullptr, 'j'},
        {"dry-run", no_argument, nullptr, 'n'},
        {"verify", no_argument, nullptr, opt_verify},
        {"undo", required_argument, nullptr, 'u'},
        {"retries", required_argument, nullptr, 'r'},
        {"source", required_argument, nullptr, 's'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, opt_version},
        {},
    };
    options opts;
    opts.retries = default_retries;
    std::string source;
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, ":ljnu:r:s:h", long_options, nullptr)) != -1) {
        switch (id) {
        case 'l':
            opts.list = true;
            break;
        case 'j':
            opts.json = true;
            break;
        case 'n':
            opts.dry_run = true;
            break;
        case opt_verify:
            opts.verify = true;
            break;
        case 'u':
            opts.undo_path = optarg;
            if (opts.undo_path.empty()) usage_error("--undo needs a file name");
            break;
        case 'r':
            opts.retries = retries_count(optarg);
            break;
        case 's':
            source = optarg;
            break;
        case 'h':
            print_usage(stdout);
            std::exit(0);
        case opt_version:
            std::printf("zkbatch %s\n", ZK_VERSION);
            std::exit(0);
        case ':':
            usage_error(std::string("option ") + argv[optind - 1] + " needs a value");
        default:
            usage_error(std::string("unknown option ") + argv[optind - 1]);
        }
    }
    if (optind < argc) opts.plan_path = argv[optind++];
    if (optind < argc) usage_error(std::string("unexpected argument '") + argv[optind] + "'");
    if (opts.list == opts.plan_path.has_value()) usage_error("give either --list or a PLAN");
    if (opts.list && (opts.dry_run || opts.verify || !opts.undo_path.empty()))
        usage_error("--dry-run, --verify and --undo go with a PLAN");
    if (opts.dry_run && opts.verify) usage_error("--dry-run saves nothing to verify");
    // Looked up last, so that a usage error above is reported as such.
    if (!source.empty()) opts.source = source_address(source);
    return opts;
}
