// Fuzz target: a plan as zkbatch reads it, from a file or standard input.
// Checks the CSV records read back through the writer unchanged, that a
// plan without errors holds only what the checks let through, and that
// the undo file of applying it to devices with odd settings is a plan
// that reads back without an error.
//
// Input: the plan text, any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include <arpa/inet.h>

#include <vector>

#include "check.h"
#include "checks.h"
#include "commission.h"
#include "csv.h"
#include "inventory.h"
#include "plan.h"
#include "prompt.h"

namespace {

bool canonical(const std::string& address) {
    std::string copy = address;
    return verify_address(copy.data()) && copy == address;
}

// Records read as the plan reads them (with ';' too) are written back with
// commas, as the undo file writes them, and read back the same.
void check_records(std::string_view text) {
    for (const csv_record& r : read_csv(text, csv_separator(text))) {
        FUZZ_CHECK(r.line >= 1);
        if (!r.error.empty() || (r.fields.size() == 1 && r.fields[0].empty())) continue;
        std::string written;
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            written += (i ? "," : "") + csv_field(r.fields[i]);
        const auto back = read_csv(written + "\n");
        FUZZ_CHECK(back.size() == 1 && back[0].error.empty() && back[0].fields == r.fields);
    }
}

// Devices that answer for every row, with settings that no plan can write
// among them: no gateway, an MTU outside 500 to 1500, the word "none", an
// address shared with another device.
std::vector<answer> answers_for(const plan& p) {
    static const char* const ips[] = {"10.0.0.5", "10.0.0.5", "", "010.0.0.7", "10.0.0.0"};
    static const char* const gateways[] = {"10.0.0.1", "", "10.0.0.1", "x"};
    static const char* const nameservers[] = {"", "none", "8.8.8.8", "a b"};
    static const int32_t mtus[] = {1500, 9000, 576, -3};
    std::vector<answer> answers(p.rows.size());
    for (std::size_t i = 0; i < p.rows.size(); ++i) {
        answer& e = answers[i];
        e.addr = htonl(0xc0000200U + static_cast<uint32_t>(i % 250));
        std::snprintf(e.hw, sizeof e.hw, "%s", mac_key(p.rows[i].mac).c_str());
        std::snprintf(e.ip, sizeof e.ip, "%s", ips[i % std::size(ips)]);
        std::snprintf(e.nm, sizeof e.nm, "%s", "255.255.255.0");
        std::snprintf(e.gw, sizeof e.gw, "%s", gateways[i % std::size(gateways)]);
        e.mtu = mtus[i % std::size(mtus)];
        e.dhcp = static_cast<uint8_t>(i % 2);
        e.ns = nameservers[i % std::size(nameservers)];
    }
    return answers;
}

void check_undo(const plan& p) {
    const std::vector<answer> answers = answers_for(p);
    const std::vector<row_result> rows = match(p, answers);
    for (const plan_error& e : find_conflicts(rows, answers, {}).errors)
        FUZZ_CHECK(e.line >= 1 && !e.message.empty());
    std::vector<std::string> warnings;
    const plan undo = read_plan(undo_plan(rows, warnings));
    FUZZ_CHECK(undo.errors.empty());
    std::size_t planned = 0;
    for (const row_result& r : rows) planned += r.result == outcome::planned;
    FUZZ_CHECK(undo.rows.size() == planned);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_records(text);

    const plan p = read_plan(text);
    int last_line = 0;
    for (const plan_error& e : p.errors) {
        FUZZ_CHECK(e.line >= last_line && !e.message.empty());
        last_line = e.line;
    }
    if (!p.errors.empty()) return 0;

    std::set<std::string> macs, ips;
    for (const plan_row& r : p.rows) {
        FUZZ_CHECK(r.mac.size() == 17 && macs.insert(mac_key(r.mac)).second);
        for (const auto* a : {&r.ip, &r.netmask, &r.gateway}) FUZZ_CHECK(!*a || canonical(**a));
        if (r.ip) FUZZ_CHECK(ips.insert(*r.ip).second);
        FUZZ_CHECK((!r.mtu || (*r.mtu >= 500 && *r.mtu <= 1500)) && (!r.dhcp || *r.dhcp <= 1));
        if (r.nameserver) {
            FUZZ_CHECK(r.nameserver->size() <= static_cast<std::size_t>(word_limit));
            FUZZ_CHECK(r.nameserver->find_first_of(std::string_view(";= \0", 4)) ==
                       std::string::npos);
        }
    }
    check_undo(p);
    return 0;
}
