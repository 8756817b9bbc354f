#include "answers.h"

#include <arpa/inet.h>

#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "device_model.h"
#include "sockets.h"

namespace sim {

namespace {

using std::chrono::milliseconds;

// Where dev sends its discovery replies: to the requester unless told
// otherwise, always at the reply port.
sockaddr_in discovery_target(const device& dev, const sockaddr_in& requester) {
    sockaddr_in to = requester;
    if (dev.reply_to) to.sin_addr.s_addr = *dev.reply_to;
    return to;
}

// Sleeps until the realtime clock next reads millisecond ms of a second.
void sleep_until_millisecond(int ms) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    long wait_ns = ms * 1'000'000L - now.tv_nsec;
    if (wait_ns < 0) wait_ns += 1'000'000'000L;
    std::this_thread::sleep_for(std::chrono::nanoseconds(wait_ns));
}

void answer_discovery(simulator& sim, const sockaddr_in& requester) {
    const std::vector<device>& devices = sim.opts.devices;
    if (sim.opts.burst > 0) {
        if (sim.opts.burst_at_ms >= 0) sleep_until_millisecond(sim.opts.burst_at_ms);
        std::vector<std::string> texts;
        texts.reserve(devices.size());
        for (const device& dev : devices) texts.push_back(reply_text(dev));
        for (long i = 0; i < sim.opts.burst; ++i) {
            const auto k = static_cast<std::size_t>(i) % devices.size();
            send_now(sim, devices[k].addr, discovery_target(devices[k], requester), texts[k]);
        }
        return;
    }
    const auto now = mono_clock::now();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const device& dev = devices[i];
        if (drops(sim.loss, i, dev, "request")) continue;
        const std::string text = reply_text(dev);
        const sockaddr_in to = discovery_target(dev, requester);
        for (int n = 0; n < dev.count; ++n)
            queue_send(sim, now + milliseconds(dev.delay_ms), dev.addr, to, text);
    }
}

void answer_set(simulator& sim, const sockaddr_in& to, std::string_view message) {
    const auto tokens = set_tokens(message);
    const auto hw = tokens.find("hw");
    if (hw == tokens.end()) return;
    const auto now = mono_clock::now();
    const auto named = sim.by_hw.find(hw->second);
    if (named == sim.by_hw.end()) return;
    for (const std::size_t i : named->second) {
        device& dev = sim.opts.devices[i];
        if (drops(sim.loss, i, dev, "set message")) continue;
        apply_settings(dev, tokens);
        const std::string confirmation = confirmation_text(dev);
        if (dev.set_decoy) queue_send(sim, now, *dev.set_decoy, to, confirmation);
        if (dev.set_flood) {
            for (int t = 0; t < dev.flood_for_ms; t += dev.flood_interval_ms) {
                queue_send(sim, now + milliseconds(t), *dev.set_flood, to, "noise");
            }
        }
        const auto confirmed = now + milliseconds(dev.set_delay_ms);
        if (!dev.set_silent) queue_send(sim, confirmed, dev.addr, to, confirmation);
        // It confirms from the address it had, then moves.
        if (sim.opts.move) queue_settle(sim, confirmed, i);
    }
}

}  // namespace

void handle(simulator& sim, const sockaddr_in& sender, std::string_view payload) {
    std::fprintf(sim.log, "%s %s\n", address_text(sender.sin_addr.s_addr).c_str(),
                 escaped(payload).c_str());
    std::fflush(sim.log);
    // Answers go to the requester's address at the reply port, whatever
    // port the request came from.
    sockaddr_in to = sender;
    to.sin_port = htons(answer_port);
    if (payload == discovery_request) {
        answer_discovery(sim, to);
    } else if (payload.substr(0, set_prefix.size()) == set_prefix) {
        answer_set(sim, to, payload);
    }
}

}  // namespace sim
