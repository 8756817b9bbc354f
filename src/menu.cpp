#include "menu.h"

#include "devices.h"
#include "prompt.h"
#include "save.h"

namespace {

void display(const device_entry& e, std::FILE* out) {
    std::fprintf(out, "\nConfiguration of selected device:\n");
    std::fprintf(out, "        mac: %s\n", shown(e.hw).c_str());
    std::fprintf(out, "         ip: %s\n", shown(e.ip).c_str());
    std::fprintf(out, "    netmask: %s\n", shown(e.nm).c_str());
    std::fprintf(out, "    gateway: %s\n", shown(e.gw).c_str());
    std::fprintf(out, "       dhcp: %s\n", e.dhcp ? "yes" : "no");
    std::fprintf(out, "        mtu: %d\n", e.mtu);
    std::fprintf(out, " nameserver: %s\n\n", e.ns.empty() ? "(not set)" : shown(e.ns).c_str());
    if (e.dhcp) {
        std::fputs("[d] switch dhcp off\n", out);
    } else {
        std::fputs("[i] change ip\n[n] change netmask\n[g] change gateway\n[d] switch dhcp on\n",
                   out);
    }
    std::fputs("[t] change mtu\n[m] change nameserver\n[s] save and quit\n[q] quit\n\n", out);
}

device_entry* choose_device(std::FILE* in, std::FILE* out) {
    if (num_devs == 1) return devs;
    std::fputs("\n", out);
    for (;;) {
        const int32_t n = get_int("Select a device: ", in, out);
        if (device_entry* e = device_number(n)) return e;
    }
}

// Runs the dialogue until quit or a save; returns the run's exit status.
int dialogue(in_addr_t source, in_addr_t destination, std::FILE* in, std::FILE* out) {
    d = choose_device(in, out);
    bool show = true;
    for (;;) {
        if (show) display(*d, out);
        show = true;
        const char* allowed = d->dhcp ? "dtmsq" : "ingdtmsq";
        switch (get_char("What would you like to do? ", allowed, in, out)) {
        case 'i':
            std::fputs("\n", out);
            get_address("ip address: ", d->ip, in, out);
            break;
        case 'n':
            std::fputs("\n", out);
            get_address("netmask: ", d->nm, in, out);
            break;
        case 'g':
            std::fputs("\n", out);
            get_address("gateway: ", d->gw, in, out);
            break;
        case 'd':
            d->dhcp = !d->dhcp;
            break;
        case 't': {
            std::fputs("\n", out);
            int32_t mtu;
            while ((mtu = get_int("mtu: ", in, out)) < 500 || mtu > 1500)
                std::fputs("mtu value out-of-range!\n", out);
            d->mtu = mtu;
            break;
        }
        case 'm':
            std::fputs("\n", out);
            get_string("nameserver [or \"none\"]: ", d->ns, in, out);
            if (d->ns == "none") std::string().swap(d->ns);
            break;
        case 's':
            if (verify_config(out)) return save_config(source, destination, out);
            show = false;
            break;
        case 'q':
            return 0;
        }
    }
}

}  // namespace

int run_menu(in_addr_t source, in_addr_t destination, std::FILE* in, std::FILE* out) {
    try {
        return dialogue(source, destination, in, out);
    } catch (const end_of_input&) {
        // No answer can come: end as quitting does, on a line of its own.
        std::fputs("\n", out);
        return 0;
    }
}
