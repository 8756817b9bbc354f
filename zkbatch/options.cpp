#include "options.h"

#include <arpa/inet.h>
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "listen.h"
#include "rounds.h"

namespace {

void print_usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: zkbatch [OPTIONS] --list\n"
                 "       zkbatch [OPTIONS] --watch [--interval SECONDS]\n"
                 "       zkbatch [OPTIONS] --serve [--listen [ADDR:]PORT] [--interval SECONDS]\n"
                 "       zkbatch [OPTIONS] PLAN\n"
                 "Lists the zefo*kit devices that answer a scan, watches them, shows them in\n"
                 "a browser, or gives each device named in PLAN (a CSV file; - reads\n"
                 "standard input) the settings the plan holds.\n"
                 "\n"
                 "  -l, --list          print every device that answered, as CSV\n"
                 "  -w, --watch         scan until interrupted, printing each device that\n"
                 "                      appears, changes or vanishes and each address conflict\n"
                 "                      that begins or ends, one line each\n"
                 "      --serve         watch, and serve the devices, their edits and plans\n"
                 "                      over HTTP until interrupted; the URL to open, with\n"
                 "                      its token, goes to standard error\n"
                 "      --listen [ADDR:]PORT  where --serve listens (default %s)\n"
                 "      --interval SECONDS  start a scan of the watch every SECONDS (%d-%d,\n"
                 "                      default %d)\n"
                 "  -j, --json          print the inventory, the events or the report as JSON\n"
                 "  -n, --dry-run       check the plan against a scan and print the set\n"
                 "                      messages, but send none\n"
                 "      --verify        scan again after the saves and compare\n"
                 "  -y, --yes           send without asking, also on a terminal\n"
                 "  -u, --undo FILE     before the first set message, write FILE: a plan that\n"
                 "                      gives every device to be changed back what it holds\n"
                 "  -r, --retries N     send a request or set message without an answer\n"
                 "                      again up to N times (0-%d, default %d)\n"
                 "  -s, --source ADDR   scan from the local address ADDR, or from the primary\n"
                 "                      IPv4 address of interface ADDR; repeat it to scan\n"
                 "                      several segments (default: the system's choice)\n"
                 "  -a, --all-interfaces  scan from every interface that is up and has an\n"
                 "                      IPv4 broadcast address\n"
                 "  -h, --help          show this text\n"
                 "      --version       show the version\n"
                 "\n"
                 "Plan columns: mac (required), ip, netmask, gateway, dhcp, mtu, nameserver;\n"
                 "an empty cell keeps the device's value. A row whose device holds its\n"
                 "settings already is left alone. Exit status: 0 all done (a watch or a\n"
                 "server: ended by SIGINT or SIGTERM), 1 some row not done, 2 usage, plan,\n"
                 "address conflict, scan, listen or write error. See zkbatch(1).\n",
                 default_listen, min_interval, max_interval, default_interval, max_retries,
                 default_retries);
}

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "zkbatch: %s\nTry 'zkbatch --help'.\n", message.c_str());
    std::exit(usage_status);
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

int interval_seconds(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const int n = digits ? std::stoi(text) : -1;
    if (n < min_interval || n > max_interval)
        usage_error("--interval: '" + text + "' is not a whole number of seconds from " +
                    std::to_string(min_interval) + " to " + std::to_string(max_interval));
    return n;
}

}  // namespace

options parse_options(int argc, char** argv) {
    enum { opt_version = 256, opt_verify, opt_interval, opt_serve, opt_listen };
    static const option long_options[] = {
        {"list", no_argument, nullptr, 'l'},
        {"watch", no_argument, nullptr, 'w'},
        {"interval", required_argument, nullptr, opt_interval},
        {"serve", no_argument, nullptr, opt_serve},
        {"listen", required_argument, nullptr, opt_listen},
        {"json", no_argument, nullptr, 'j'},
        {"dry-run", no_argument, nullptr, 'n'},
        {"verify", no_argument, nullptr, opt_verify},
        {"undo", required_argument, nullptr, 'u'},
        {"yes", no_argument, nullptr, 'y'},
        {"retries", required_argument, nullptr, 'r'},
        {"source", required_argument, nullptr, 's'},
        {"all-interfaces", no_argument, nullptr, 'a'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, opt_version},
        {},
    };
    options opts;
    opts.retries = default_retries;
    std::vector<std::string> sources;
    bool all_interfaces = false;
    bool interval_given = false;
    // An empty --listen is a value to refuse, not the default.
    std::optional<std::string> listen;
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, ":lwjnyu:r:s:ah", long_options, nullptr)) != -1) {
        switch (id) {
        case 'l':
            opts.list = true;
            break;
        case 'w':
            opts.watch = true;
            break;
        case opt_serve:
            opts.serve = true;
            break;
        case opt_listen:
            listen = optarg;
            break;
        case opt_interval:
            opts.interval = interval_seconds(optarg);
            interval_given = true;
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
        case 'y':
            opts.yes = true;
            break;
        case 'u':
            opts.undo_path = optarg;
            if (opts.undo_path.empty()) usage_error("--undo needs a file name");
            break;
        case 'r':
            opts.retries = retries_count(optarg);
            break;
        case 's':
            sources.emplace_back(optarg);
            break;
        case 'a':
            all_interfaces = true;
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
    if (opts.list + opts.watch + opts.serve + opts.plan_path.has_value() != 1)
        usage_error("give one of --list, --watch, --serve or a PLAN");
    if (!opts.plan_path && (opts.dry_run || opts.verify || opts.yes))
        usage_error("--dry-run, --verify and --yes go with a PLAN");
    if (!opts.plan_path && !opts.serve && !opts.undo_path.empty())
        usage_error("--undo goes with a PLAN or --serve");
    if (opts.serve && opts.json) usage_error("--serve answers in JSON already");
    if (interval_given && !opts.watch && !opts.serve)
        usage_error("--interval goes with --watch or --serve");
    if (listen && !opts.serve) usage_error("--listen goes with --serve");
    opts.listen = listen.value_or(default_listen);
    listen_address where;
    if (std::string why; !parse_listen(opts.listen, where, why)) usage_error(why);
    if (opts.dry_run && opts.verify) usage_error("--dry-run saves nothing to verify");
    if (all_interfaces && !sources.empty())
        usage_error("give --source or --all-interfaces, not both");
    // Looked up last, so that a usage error above is reported as such.
    std::string error;
    if (!resolve_links(sources, all_interfaces, opts.links, error)) usage_error(error);
    return opts;
}
