// Route netlink: the kernel's answers and their attributes, and a request
// whose answer is read to its end. For the neighbour table, and for
// zkdevice, which moves its devices' addresses with them.
#pragma once

#include <linux/netlink.h>

#include <cstddef>
#include <functional>

enum class dump_state { more, done, failed };

// Walks one receive's worth of an answer (data aligned as the netlink
// header is), handing each message to each, which returns false for one
// that is cut. done at NLMSG_DONE or an acknowledgement (NLMSG_ERROR
// without an error), more while neither has come; failed, with error set
// to the kernel's code (NLMSG_ERROR) or EBADMSG (a message that is cut or
// overruns size), ends the answer.
dump_state walk_answer(const void* data, std::size_t size,
                       const std::function<bool(const nlmsghdr&)>& each, int& error);

// Calls each(type, data, size) for every attribute of message h after its
// fixed part of head bytes; false when h is shorter than that part, or an
// attribute is cut or overruns h.
bool walk_attributes(const nlmsghdr& h, std::size_t head,
                     const std::function<void(unsigned, const void*, std::size_t)>& each);

// Sends request (size bytes) on the route netlink socket fd and reads the
// kernel's answer to its end, handing each message to each; a request
// that is no dump must ask for an acknowledgement (NLM_F_ACK), which ends
// its answer. false, errno set, when it can't be sent or read, or the
// kernel refuses it.
bool netlink_request(int fd, const void* request, std::size_t size,
                     const std::function<bool(const nlmsghdr&)>& each);
