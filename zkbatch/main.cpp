// zkbatch: lists the zefo*kit devices on the local segment, and commissions
// many at once from a plan that names each device by its MAC address.
#include <arpa/inet.h>
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "commission.h"
#include "inventory.h"
#include "plan.h"
#include "report.h"

namespace {

constexpr int usage_status = 2;

void print_usage(std::FILE* out) {
    std::fputs(
        "Usage: zkbatch [OPTIONS] --list\n"
        "       zkbatch [OPTIONS] PLAN\n"
        "Lists the zefo*kit devices that answer a scan, or gives each device named\n"
        "in PLAN (a CSV file; - reads standard input) the settings the plan holds.\n"
        "\n"
        "  -l, --list          print every device that answered, as CSV\n"
        "  -j, --json          with --list: print a JSON array instead\n"
        "  -n, --dry-run       check the plan against a scan and print the set\n"
        "                      messages, but send none\n"
        "      --verify        scan again after the saves and compare\n"
        "  -s, --source ADDR   send from the local address ADDR (default: any)\n"
        "  -h, --help          show this text\n"
        "      --version       show the version\n"
        "\n"
        "Plan columns: mac (required), ip, netmask, gateway, dhcp, mtu, nameserver;\n"
        "an empty cell keeps the device's value. Exit status: 0 all done, 1 some row\n"
        "not done, 2 usage, plan or scan error. See zkbatch(1).\n",
        out);
}

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "zkbatch: %s\nTry 'zkbatch --help'.\n", message.c_str());
    std::exit(usage_status);
}

struct options {
    bool list = false, json = false, dry_run = false, verify = false;
    in_addr source{htonl(INADDR_ANY)};
    const char* plan_path = nullptr;
};

options parse_options(int argc, char** argv) {
    enum { opt_version = 256, opt_verify };
    static const option long_options[] = {
        {"list", no_argument, nullptr, 'l'},
        {"json", no_argument, nullptr, 'j'},
        {"dry-run", no_argument, nullptr, 'n'},
        {"verify", no_argument, nullptr, opt_verify},
        {"source", required_argument, nullptr, 's'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, opt_version},
        {nullptr, 0, nullptr, 0},
    };
    options opts;
    opterr = 0;
    int id = 0;
    while ((id = getopt_long(argc, argv, ":ljns:h", long_options, nullptr)) != -1) {
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
        case 's':
            if (!inet_aton(optarg, &opts.source))
                usage_error(std::string("--source: '") + optarg + "' is not an IPv4 address");
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
    if (opts.list == (opts.plan_path != nullptr)) usage_error("give either --list or a PLAN");
    if (opts.json && !opts.list) usage_error("--json goes with --list");
    if (opts.list && (opts.dry_run || opts.verify))
        usage_error("--dry-run and --verify go with a PLAN");
    if (opts.dry_run && opts.verify) usage_error("--dry-run saves nothing to verify");
    return opts;
}

// The whole plan text, from a file or standard input ("-").
bool read_all(const char* path, std::string& text) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (std::strcmp(path, "-") != 0) {
        file.open(path, std::ios::binary);
        in = &file;
    }
    text.assign(std::istreambuf_iterator<char>(*in), std::istreambuf_iterator<char>());
    return !in->bad() && (in == &std::cin || file.is_open());
}

// A failed scan ends the run with zkdetect's message.
bool scanned(in_addr_t source, std::vector<device_entry>& answers) {
    switch (scan(source, answers)) {
    case exchange_status::listen_failed:
        std::fputs("Error listening for replies on UDP port 65002!\n", stderr);
        return false;
    case exchange_status::send_failed:
        std::fputs("Error sending request!\n", stderr);
        return false;
    case exchange_status::done:
        break;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const options opts = parse_options(argc, argv);

    // The whole plan is read and checked before anything is sent.
    plan p;
    if (opts.plan_path) {
        std::string text;
        if (!read_all(opts.plan_path, text)) {
            std::fprintf(stderr, "zkbatch: cannot read '%s': %s\n", opts.plan_path,
                         std::strerror(errno));
            return usage_status;
        }
        p = read_plan(text);
        const std::string name = std::strcmp(opts.plan_path, "-") == 0 ? "<stdin>" : opts.plan_path;
        for (const plan_error& e : p.errors) {
            if (e.line > 0)
                std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), e.line, e.message.c_str());
            else
                std::fprintf(stderr, "%s: %s\n", name.c_str(), e.message.c_str());
        }
        if (!p.errors.empty()) return usage_status;
    }

    std::vector<device_entry> answers;
    if (!scanned(opts.source.s_addr, answers)) return usage_status;
    if (opts.list) {
        if (opts.json) {
            write_json(std::cout, answers);
        } else {
            write_csv(std::cout, answers);
        }
        return 0;
    }

    std::vector<row_result> rows = match(p, answers);
    if (opts.dry_run) {
        for (const row_result& r : rows)
            if (r.result == outcome::planned) std::cout << shown(r.message) << '\n';
        return write_report(std::cout, rows, outcome::planned);
    }
    save_all(opts.source.s_addr, rows);
    if (opts.verify) {
        std::vector<device_entry> after;
        // Without the second scan the saves are still reported.
        if (!scanned(opts.source.s_addr, after)) {
            write_report(std::cout, rows, outcome::verified);
            return usage_status;
        }
        verify_all(rows, after);
    }
    return write_report(std::cout, rows, opts.verify ? outcome::verified : outcome::saved);
}
