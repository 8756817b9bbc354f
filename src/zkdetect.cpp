// zkdetect: finds zefo*kit devices on the local segment and changes a
// device's IP settings.
#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "devices.h"
#include "exchange.h"
#include "menu.h"

namespace {

// An outcome the operator could not read is no success: when standard
// output failed, the run that would end with 0 ends with -1.
int finish(int status) {
    const bool write_failed = std::fflush(stdout) != 0 || std::ferror(stdout);
    return write_failed && status == 0 ? -1 : status;
}

}  // namespace

int main(int argc, char** argv) {
    const in_addr_t destination = htonl(INADDR_BROADCAST);
    in_addr source{htonl(INADDR_ANY)};

    // Only a single argument names the source; any other count scans from
    // every local address.
    if (argc == 2 && !inet_aton(argv[1], &source)) {
        std::printf(
            "Failed: source address invalid, please supply your local IP Address as first "
            "argument!\n");
        return finish(-1);
    }

    std::printf("Scanning network for zefo*kit devices...\n");
    receive_result scanned;
    switch (exchange(source.s_addr, destination, discovery_request, device_found, receive_timeout,
                     &scanned)) {
    case exchange_status::listen_failed:
        std::printf("Error listening for replies on UDP port 65002!\n");
        return finish(-1);
    case exchange_status::send_failed:
        std::printf("Error sending request!\n");
        return finish(-1);
    case exchange_status::done:
        break;
    }
    if (scanned.dropped > 0) {
        std::printf("Warning: %s, the list is incomplete!\n",
                    replies_lost(scanned.dropped).c_str());
    }
    // The scan goes on with what it heard, but the operator must know that
    // it stopped listening early.
    if (scanned.error != 0) {
        std::printf("Warning: receive failed (%s), the list is incomplete!\n",
                    std::strerror(scanned.error));
    }

    if (num_devs == 0) {
        std::printf("None found.\n");
        return finish(0);
    }
    return finish(run_menu(source.s_addr, destination));
}
