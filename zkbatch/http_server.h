// The server's HTTP, spoken by libmicrohttpd in the caller's own loop: its
// epoll descriptor is watched beside the scans' sockets, and run whenever
// it is ready or its time-out passes. One thread, no lock: a request that
// needs the network is suspended until the loop has run its job.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "access.h"
#include "listen.h"
#include "routes.h"
#include "sse.h"
#include "web.h"

struct MHD_Daemon;
struct MHD_Connection;

struct http_limits {
    unsigned connections = 512;  // at once, in all
    unsigned per_address = 448;  // at once from one client address
    unsigned idle_seconds = 60;  // a connection that sends nothing is closed
    std::chrono::seconds request{
        15};  // to send one whole request, from the connection or the last answer
    std::size_t header_memory = 32U << 10;  // for the request line and headers
};

// What the server keeps of one connection: its socket, and since when it
// is sending a request (from its start, or from the last answer), while it
// is.
struct http_connection {
    int fd = -1;
    std::chrono::steady_clock::time_point since{};
    bool reading = true;
};

struct http_call;  // what it keeps of one request

struct http_server {
    MHD_Daemon* daemon = nullptr;
    const access_policy* policy = nullptr;
    http_limits limits;
    // Routes a request that passed the checks of access.
    std::function<routed(const web_request&)> handle;
    // Called with every new stream, which it may fill with events.
    std::function<void(sse_client&)> opened;

    std::uint64_t next_ticket = 1;
    // Requests suspended for a job, by ticket.
    std::map<std::uint64_t, std::pair<MHD_Connection*, http_call*>> waiting;
    std::map<sse_client*, std::unique_ptr<sse_client>> streams;
    std::map<MHD_Connection*, http_connection> connections;

    http_server() = default;
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;
    ~http_server();
};

// Starts listening; false, with the reason in error, when it can't.
bool http_start(http_server& h, const listen_address& where, std::string& error);

// The descriptor to wait for, and how long at most before http_run must
// run anyway (negative: no limit).
int http_fd(const http_server& h);
std::chrono::milliseconds http_timeout(const http_server& h);

// Serves what is ready, and closes connections that took too long to send
// their request.
void http_run(http_server& h);

// Answers the request suspended under ticket.
void http_answer(http_server& h, std::uint64_t ticket, const web_response& r);

// Adds framed events to every stream.
void http_broadcast(http_server& h, std::string_view framed);

// Takes no more connections, answers every suspended request with r, ends
// every stream, and serves for at most linger to send them; then stops.
void http_stop(http_server& h, const web_response& r, std::chrono::milliseconds linger);
