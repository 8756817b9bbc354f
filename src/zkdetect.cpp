// zkdetect: finds zefo*kit devices on the local segment and changes a
// device's IP settings.
#include <arpa/inet.h>

#include <cstdio>

#include "devices.h"
#include "exchange.h"
#include "menu.h"

int main(int argc, char** argv) {
    const in_addr_t destination = htonl(INADDR_BROADCAST);
    in_addr source{htonl(INADDR_ANY)};

    // Only a single argument names the source; any other count scans from
    // every local address.
    if (argc == 2 && !inet_aton(argv[1], &source)) {
        std::printf(
            "Failed: source address invalid, please supply your local IP Address as first "
            "argument!\n");
        return -1;
    }

    std::printf("Scanning network for zefo*kit devices...\n");
    switch (exchange(source.s_addr, destination, discovery_request, device_found)) {
    case exchange_status::listen_failed:
        std::printf("Error listening for replies on UDP port 65002!\n");
        return -1;
    case exchange_status::send_failed:
        std::printf("Error sending request!\n");
        return -1;
    case exchange_status::done:
        break;
    }

    if (num_devs == 0) {
        std::printf("None found.\n");
        return 0;
    }
    return run_menu(source.s_addr, destination);
}
