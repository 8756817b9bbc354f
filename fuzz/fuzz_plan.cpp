// Fuzz target: a plan as zkbatch reads it, from a file or standard input.
// Checks the CSV records read back through the writer unchanged, and that
// a plan without errors holds only what the checks let through.
//
// Input: the plan text, any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "check.h"
#include "csv.h"
#include "plan.h"
#include "prompt.h"

namespace {

bool canonical(const std::string& address) {
    std::string copy = address;
    return verify_address(copy.data()) && copy == address;
}

void check_records(std::string_view text) {
    for (const csv_record& r : read_csv(text)) {
        FUZZ_CHECK(r.line >= 1);
        if (!r.error.empty() || (r.fields.size() == 1 && r.fields[0].empty())) continue;
        std::string written;
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            written += (i ? "," : "") + csv_field(r.fields[i]);
        const auto back = read_csv(written + "\n");
        FUZZ_CHECK(back.size() == 1 && back[0].error.empty() && back[0].fields == r.fields);
    }
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
    return 0;
}
