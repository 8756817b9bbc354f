#include "loss.h"

#include <chrono>
#include <cstdio>

namespace sim {

namespace {

// splitmix64: eight bytes of state a device, so that a fleet of 100,000
// costs little.
constexpr std::uint64_t golden_gamma = 0x9e3779b97f4a7c15;

std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
}

std::uint64_t next(std::uint64_t& state) {
    state += golden_gamma;
    return mix(state);
}

}  // namespace

loss_draws start_loss(const options& opts) {
    loss_draws loss;
    loss.percent = opts.loss_percent;
    loss.verbose = opts.verbose;
    if (loss.percent == 0) return loss;
    const std::uint64_t seed = opts.seed.value_or(
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    if (opts.verbose) {
        std::fprintf(stderr, "zkdevice: --loss %d with --seed %llu\n", loss.percent,
                     static_cast<unsigned long long>(seed));
    }
    // Device i starts from output i of a generator seeded with the seed:
    // starting points far apart, so the devices' draws are independent.
    std::uint64_t root = seed;
    loss.states.resize(opts.devices.size());
    for (std::uint64_t& state : loss.states) state = next(root);
    return loss;
}

bool drops(loss_draws& loss, std::size_t i, const device& dev, const char* what) {
    if (loss.percent == 0) return false;
    // The bias of the remainder is below one in 10^17.
    if (static_cast<int>(next(loss.states[i]) % 100) >= loss.percent) return false;
    if (loss.verbose) std::fprintf(stderr, "zkdevice: %s drops %s\n", dev.name.c_str(), what);
    return true;
}

}  // namespace sim
