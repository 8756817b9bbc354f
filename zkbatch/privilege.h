// CAP_NET_RAW only for as long as the packet socket needs it: raised to open
// it, then dropped for good before anything reads the network; and a
// server that holds no capability at all while it reads requests.
#pragma once

// Raises CAP_NET_RAW into the effective set where the permitted set holds
// it (root, or a file capability such as cap_net_raw+p); false otherwise.
bool raise_net_raw();

// Drops CAP_NET_RAW from the effective, permitted, inheritable and ambient
// sets, and from the bounding set where the process may change it (root),
// so that neither this process nor a program it runs can use it again.
// Sockets opened before keep working.
void drop_net_raw();

// Drops every capability from every set, and from the bounding set where
// the process may change it (root), and sets no_new_privs, so that
// nothing this process does or runs can gain one again: for a process
// that reads untrusted requests for hours. Sockets and files opened before
// keep working. false when the sets could not be cleared.
bool drop_all_capabilities();
