// Simulated datagram loss: each device ignores a share of the datagrams it
// handles. The choice comes from a small generator per device, drawn once
// per datagram in the order they arrive, so that one seed drops the same
// datagrams of the same sequence whatever the timing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "command_line.h"

namespace sim {

struct loss_draws {
    int percent = 0;  // 0: nothing is dropped and nothing drawn
    bool verbose = false;
    std::vector<std::uint64_t> states;  // one generator per device, in their order
};

// The generators for the devices of opts, seeded from --seed or else from
// the clock; with --verbose, reports the seed so that a run can be repeated.
loss_draws start_loss(const options& opts);

// Draws for device number i (dev) and says whether it ignores the datagram
// in hand; what names that datagram in the verbose report of a drop.
bool drops(loss_draws& loss, std::size_t i, const device& dev, const char* what);

}  // namespace sim
