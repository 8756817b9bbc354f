#include "rounds.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <utility>

#include "save.h"
#include "signals.h"

namespace {

using clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const in_addr_t broadcast = htonl(INADDR_BROADCAST);

// What a receive missed: replies the system dropped, or all that came after
// a wait or read failed.
void warn_missed(const receive_result& got, const char* consequence) {
    if (got.dropped > 0)
        std::fprintf(stderr, "Warning: %s, %s!\n", replies_lost(got.dropped).c_str(), consequence);
    if (got.error != 0)
        std::fprintf(stderr, "Warning: receive failed (%s), %s!\n", std::strerror(got.error),
                     consequence);
}

// Receives on ex for at most receive_timeout, or until handler stops it;
// longer where hooks.until asks for it, by at most receive_timeout more.
// At most retries times, resend() sends again once interval has passed
// since the last send and since *progressed, which the handler sets
// whenever a datagram brings something new: a slow but working network
// gets no copies while its answers still come. resend() returns false when
// nothing needs sending any more. hooks.woke runs after every wait. A stop
// signal ends it at the next wake, a retry_interval at most. side, when
// given, is served during the waits.
receive_result receive_with_retries(const exchange_sockets& ex, const arrival_handler& handler,
                                    int retries, milliseconds interval,
                                    const clock::time_point* progressed,
                                    const std::function<bool()>& resend, const side_wait* side,
                                    const scan_hooks& hooks = {}) {
    const auto start = clock::now();
    const auto deadline = start + receive_timeout;
    const auto end = [&] {
        return hooks.until ? std::clamp(hooks.until(), deadline, deadline + receive_timeout)
                           : deadline;
    };
    auto sent = start;
    const auto due = [&] { return (progressed ? std::max(sent, *progressed) : sent) + interval; };
    for (;;) {
        auto until = retries > 0 ? std::min(due(), end()) : end();
        until = std::min(until, clock::now() + retry_interval);
        const auto left = std::chrono::ceil<milliseconds>(until - clock::now());
        const receive_result got =
            receive_arrivals(ex, handler, std::max(left, milliseconds(0)), side);
        if (hooks.woke) hooks.woke();
        const auto now = clock::now();
        if (got.stopped || got.error != 0 || now >= end() || stop_signal() != 0) return got;
        if (retries > 0 && now >= due()) {
            --retries;
            if (!resend()) retries = 0;
            sent = now;
        }
    }
}

// An answer as zkdetect lists it: a reply without an MTU counts as 1500.
answer parse_answer(in_addr_t addr, char* text) {
    answer entry;
    entry.addr = addr;
    parse_reply(entry, text);
    if (entry.mtu == 0) entry.mtu = 1500;
    return entry;
}

// Opens the sockets of an exchange on every link of net.
exchange_status open_links(const network& net, exchange_sockets& ex) {
    std::vector<exchange_source> sources;
    for (const scan_link& l : net.links) sources.push_back({l.source, l.ifindex});
    return open_exchange(sources, broadcast, true, ex);
}

// Sends text on every link; false when it could not be sent on one.
bool send_everywhere(const exchange_sockets& ex, const char* text) {
    for (std::size_t i = 0; i < ex.requests.size(); ++i)
        if (send_request(ex, i, text) != 0) return false;
    return true;
}

// Opens the sockets of a scan and sends its first request, unless a stop
// signal came.
exchange_status start_scan(const network& net, exchange_sockets& ex) {
    const exchange_status opened = open_links(net, ex);
    if (opened != exchange_status::done || stop_signal() != 0) return opened;
    if (!send_everywhere(ex, discovery_request)) return exchange_status::send_failed;
    return exchange_status::done;
}

// The link a datagram answers: the one whose address it was sent to (a
// device answers the address that asked), else the one whose interface it
// came in on (an answer to a broadcast address), else the first.
std::size_t link_of(const exchange_sockets& ex, const network& net, const arrival& where) {
    for (std::size_t i = 0; i < ex.locals.size(); ++i)
        if (where.to != htonl(INADDR_ANY) && ex.locals[i] == where.to) return i;
    for (std::size_t i = 0; i < net.links.size(); ++i)
        if (net.links[i].ifindex != 0 && net.links[i].ifindex == where.ifindex) return i;
    return 0;
}

// Links joined into segments: those on one interface, and those that a
// device answered on alike.
struct segments {
    std::vector<std::size_t> parent;

    explicit segments(const std::vector<scan_link>& links) {
        for (std::size_t i = 0; i < links.size(); ++i) {
            parent.push_back(i);
            for (std::size_t j = 0; j < i; ++j)
                if (links[i].ifindex != 0 && links[i].ifindex == links[j].ifindex) join(i, j);
        }
    }
    std::size_t of(std::size_t l) {
        while (parent[l] != l) l = parent[l] = parent[parent[l]];
        return l;
    }
    void join(std::size_t a, std::size_t b) {
        a = of(a);
        b = of(b);
        parent[std::max(a, b)] = std::min(a, b);
    }
};

}  // namespace

exchange_status scan(const network& net, const std::set<std::string>& wanted,
                     std::vector<answer>& answers, const scan_hooks& hooks) {
    exchange_sockets ex;
    if (const exchange_status started = start_scan(net, ex); started != exchange_status::done)
        return started;

    segments joined(net.links);
    std::map<std::pair<in_addr_t, std::string>, std::size_t> seen;  // index into answers
    std::set<std::string> missing = wanted;
    auto progressed = clock::now();
    const auto found = [&](const arrival& where, char* text) {
        answer entry = parse_answer(where.from, text);
        const std::size_t on = link_of(ex, net, where);
        const auto [it, fresh] =
            seen.emplace(std::pair(where.from, mac_key(entry.hw)), answers.size());
        if (!fresh) {
            // Heard on several links of one segment, it is tied to the first
            // of them in the order given, whichever answer came first.
            answer& known = answers[it->second];
            joined.join(on, known.link);
            if (on < known.link) {
                known.link = on;
                known.interface = net.links[on].name;
            }
            return false;
        }
        progressed = clock::now();
        missing.erase(it->first.second);
        entry.link = on;
        entry.interface = net.links[on].name;
        answers.push_back(std::move(entry));
        if (hooks.answered) hooks.answered(answers.back());
        net.status_line->show(
            [&] { return "scanning: " + std::to_string(answers.size()) + " answered"; });
        return false;
    };
    // Without a MAC to wait for (an inventory), the requests are spread
    // over the scan, so that one lost request costs no device.
    const bool spread = wanted.empty();
    const milliseconds interval = spread ? receive_timeout / (net.retries + 1) : retry_interval;
    const receive_result got = receive_with_retries(
        ex, found, net.retries, interval, spread ? nullptr : &progressed,
        [&] {
            return (spread || !missing.empty()) && stop_signal() == 0 &&
                   send_everywhere(ex, discovery_request);
        },
        net.side, hooks);
    for (answer& a : answers) a.segment = joined.of(a.link);
    net.status_line->clear();
    warn_missed(got, "the list may be incomplete");
    return exchange_status::done;
}

void save_all(const network& net, std::vector<row_result>& rows) {
    std::vector<row_result*> planned;
    for (row_result& r : rows)
        if (r.result == outcome::planned) planned.push_back(&r);
    if (planned.empty()) return;

    const auto unsent_from = [&](std::size_t first) {
        for (std::size_t i = first; i < planned.size(); ++i) planned[i]->result = outcome::unsent;
    };
    exchange_sockets ex;
    switch (open_links(net, ex)) {
    case exchange_status::listen_failed:
        std::fputs("Error listening for replies on UDP port 65002!\n", stderr);
        return unsent_from(0);
    case exchange_status::send_failed:
        std::fputs("Error sending save request!\n", stderr);
        return unsent_from(0);
    case exchange_status::done:
        break;
    }

    save_book book;
    const auto send = [&](row_result& r) {
        if (send_request(ex, r.found->link, r.message.c_str()) != 0) return false;
        book.sent(r);
        return true;
    };
    // After a stop signal no set message leaves; the rows not sent stay
    // planned.
    for (std::size_t i = 0; i < planned.size() && stop_signal() == 0; ++i) {
        if (!send(*planned[i])) {
            std::fputs("Error sending save request!\n", stderr);
            unsent_from(i);
            break;
        }
    }
    if (book.undecided == 0) return;

    const std::size_t sent = book.undecided;
    auto progressed = clock::now();
    const auto confirmed = [&](const arrival& where, char* text) {
        const std::size_t undecided = book.undecided;
        const bool done = book.take(link_of(ex, net, where), where.from, text);
        if (book.undecided != undecided) progressed = clock::now();
        net.status_line->show([&] {
            const auto confirmed_rows =
                std::count_if(planned.begin(), planned.end(),
                              [](const row_result* r) { return r->result == outcome::saved; });
            return "saving: " + std::to_string(confirmed_rows) + " of " + std::to_string(sent) +
                   " confirmed";
        });
        return done;
    };
    // Only the devices still without an answer are sent their message again.
    const receive_result got = receive_with_retries(
        ex, confirmed, net.retries, retry_interval, &progressed,
        [&] {
            bool any = false;
            for (row_result* r : planned) {
                if (r->result != outcome::unconfirmed || stop_signal() != 0) continue;
                if (!send(*r)) return false;
                any = true;
            }
            return any;
        },
        net.side);
    net.status_line->clear();
    warn_missed(got, "some confirmations may be missing");
}

exchange_status verify_all(const network& net, std::vector<row_result>& rows) {
    verify_book book(rows);
    if (book.pending == 0) return exchange_status::done;
    exchange_sockets ex;
    if (const exchange_status started = start_scan(net, ex); started != exchange_status::done)
        return started;
    const auto send = [&] { return send_everywhere(ex, discovery_request); };

    const std::size_t total = book.pending;
    auto progressed = clock::now();
    const auto checked = [&](const arrival& where, char* text) {
        const std::size_t pending = book.pending;
        const bool done = book.take(parse_answer(where.from, text));
        if (book.pending != pending) progressed = clock::now();
        net.status_line->show([&] {
            return "verifying: " + std::to_string(total - book.pending) + " of " +
                   std::to_string(total) + " verified";
        });
        return done;
    };
    const receive_result got = receive_with_retries(
        ex, checked, net.retries, retry_interval, &progressed,
        [&] { return book.pending > 0 && stop_signal() == 0 && send(); }, net.side);
    net.status_line->clear();
    warn_missed(got, "the verification may be incomplete");
    return exchange_status::done;
}
