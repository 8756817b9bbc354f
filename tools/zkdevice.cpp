// zkdevice: stands in for one or more zefo*kit devices so that zkdetect can
// be tested and measured without real hardware. It listens for requests on
// UDP port 65001 of every local address, logs each datagram it receives, and
// answers from each simulated device's own address to the requester's port
// 65002 (or to the address a device was told to answer to).

#include "command_line.h"
#include "event_loop.h"
#include "fleet.h"
#include "moves.h"
#include "sockets.h"

int main(int argc, char** argv) {
    sim::simulator simulator;
    simulator.opts = sim::parse_options(argc, argv);
    simulator.loss = sim::start_loss(simulator.opts);
    const sigset_t wait_mask = sim::catch_stop_signals();
    sim::open_log(simulator);
    if (simulator.opts.move) sim::start_moves(simulator);
    sim::open_sockets(simulator);
    sim::announce_ready(simulator);
    sim::run(simulator, wait_mask);
    sim::close_log(simulator);
    if (!simulator.opts.state_path.empty())
        sim::write_state(simulator.opts.state_path, simulator.opts.devices);
    return 0;
}
