// How the simulated devices answer what zkdevice receives: discovery
// requests and set messages.
#pragma once

#include <netinet/in.h>

#include <string_view>

#include "simulator.h"

namespace sim {

// Logs one datagram from sender and has every device concerned answer it:
// at once for a burst, else through the send queue.
void handle(simulator& sim, const sockaddr_in& sender, std::string_view payload);

}  // namespace sim
