#include "http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

using clock_type = std::chrono::steady_clock;

// One request while MHD handles it: what was read, and the answer of a job
// once it is done.
struct http_call {
    web_request req;
    bool too_large = false;
    std::optional<web_response> answer;
};

namespace {

using call = http_call;

const char* header(MHD_Connection* c, enum MHD_ValueKind kind, const char* name) {
    const char* value = MHD_lookup_connection_value(c, kind, name);
    return value ? value : "";
}

std::string peer_of(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const sockaddr* sa = info->client_addr;
    if (sa->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
    if (sa->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, text,
                  sizeof text);
    return text;
}

// The headers every answer has; the API's are never stored by a cache.
void add_headers(MHD_Response* response, bool api) {
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; frame-ancestors 'none'");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    if (api) MHD_add_response_header(response, "Cache-Control", "no-store");
}

MHD_Result send(MHD_Connection* c, const web_response& r) {
    MHD_Response* response = MHD_create_response_from_buffer(
        r.body.size(), const_cast<char*>(r.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, "Content-Type", r.type.c_str());
    add_headers(response, r.api);
    for (const auto& [name, value] : r.headers)
        MHD_add_response_header(response, name.c_str(), value.c_str());
    const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(r.status), response);
    MHD_destroy_response(response);
    return queued;
}

// What a stream's callbacks get: the server and the client.
struct stream_ctx {
    http_server* h;
    sse_client* client;
};

ssize_t read_stream(void* cls, uint64_t, char* buf, size_t max) {
    sse_client& client = *static_cast<stream_ctx*>(cls)->client;
    if (!client.pending.empty()) return static_cast<ssize_t>(client.take(buf, max));
    if (client.closing) return MHD_CONTENT_READER_END_OF_STREAM;
    // Nothing to send until the next event: the connection rests meanwhile.
    client.waiting = true;
    MHD_suspend_connection(static_cast<MHD_Connection*>(client.connection));
    return 0;
}

void stream_ended(void* cls) {
    const auto* ctx = static_cast<stream_ctx*>(cls);
    ctx->h->streams.erase(ctx->client);
    delete ctx;
}

MHD_Result open_stream(http_server& h, MHD_Connection* c) {
    auto client = std::make_unique<sse_client>();
    client->connection = c;
    auto* ctx = new stream_ctx{&h, client.get()};
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16384, read_stream, ctx, stream_ended);
    if (!response) {
        delete ctx;
        return MHD_NO;
    }
    if (h.opened) h.opened(*client);
    h.streams.emplace(client.get(), std::move(client));
    MHD_add_response_header(response, "Content-Type", "text/event-stream");
    add_headers(response, true);
    const MHD_Result queued = MHD_queue_response(c, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

// Reads what a request's first call tells: its line, the headers the
// checks read, and the query's arguments.
void read_head(call& k, MHD_Connection* c, const char* url, const char* method) {
    k.req.method = method;
    k.req.path = url;
    k.req.host = header(c, MHD_HEADER_KIND, "Host");
    k.req.origin = header(c, MHD_HEADER_KIND, "Origin");
    k.req.cookie = header(c, MHD_HEADER_KIND, "Cookie");
    k.req.authorization = header(c, MHD_HEADER_KIND, "Authorization");
    k.req.token = header(c, MHD_GET_ARGUMENT_KIND, "token");
    k.req.dry_run = header(c, MHD_GET_ARGUMENT_KIND, "dry_run");
    k.req.peer = peer_of(c);
}

MHD_Result on_request(void* cls, MHD_Connection* c, const char* url, const char* method,
                      const char*, const char* upload, size_t* upload_size, void** con_cls) {
    http_server& h = *static_cast<http_server*>(cls);
    auto* k = static_cast<call*>(*con_cls);
    if (!k) {
        k = new call;
        *con_cls = k;
        read_head(*k, c, url, method);
        // Refused before the body is read: no token, a foreign Host or
        // Origin, a body announced too long.
        const verdict v = check_access(*h.policy, k->req);
        if (v != verdict::allowed && v != verdict::trade) return send(c, refusal(v));
        const char* length = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Content-Length");
        if (length && std::strtoull(length, nullptr, 10) > max_body)
            return send(c, error_response(413, "the body is over 1 MiB"));
        if (v == verdict::trade) return send(c, traded(k->req, *h.policy));
        return MHD_YES;
    }
    if (*upload_size > 0) {
        if (k->req.body.size() + *upload_size > max_body) {
            k->too_large = true;
            k->req.body.clear();
        }
        if (!k->too_large) k->req.body.append(upload, *upload_size);
        *upload_size = 0;
        return MHD_YES;
    }
    if (k->answer) return send(c, *k->answer);
    if (const auto it = h.connections.find(c); it != h.connections.end())
        it->second.reading = false;
    if (k->too_large) return send(c, error_response(413, "the body is over 1 MiB"));
    k->req.ticket = h.next_ticket++;
    const routed r = h.handle(k->req);
    if (r.stream) return open_stream(h, c);
    if (!r.later) return send(c, r.now);
    h.waiting[k->req.ticket] = {c, k};
    MHD_suspend_connection(c);
    return MHD_YES;
}

void on_completed(void* cls, MHD_Connection* c, void** con_cls, enum MHD_RequestTerminationCode) {
    http_server& h = *static_cast<http_server*>(cls);
    auto* k = static_cast<call*>(*con_cls);
    if (k) h.waiting.erase(k->req.ticket);
    delete k;
    *con_cls = nullptr;
    // The next request on the connection has its own time.
    if (const auto it = h.connections.find(c); it != h.connections.end()) {
        it->second.reading = true;
        it->second.since = clock_type::now();
    }
}

void on_connection(void* cls, MHD_Connection* c, void**, enum MHD_ConnectionNotificationCode code) {
    http_server& h = *static_cast<http_server*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        h.connections.erase(c);
        return;
    }
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    h.connections[c] = {info ? info->connect_fd : -1, clock_type::now(), true};
}

// Ends the connections that have been sending one request for too long,
// a slowloris's, with an answer that says why.
void end_slow(http_server& h) {
    static constexpr std::string_view timed_out =
        "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    const auto now = clock_type::now();
    for (auto& [c, conn] : h.connections) {
        if (!conn.reading || conn.fd < 0 || now - conn.since < h.limits.request) continue;
        // Nothing of an answer has been written yet, so it can go first.
        ::send(conn.fd, timed_out.data(), timed_out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        shutdown(conn.fd, SHUT_RDWR);
        conn.reading = false;
    }
}

void resume_streams(http_server& h) {
    for (auto& [raw, client] : h.streams) {
        if (!client->waiting) continue;
        client->waiting = false;
        MHD_resume_connection(static_cast<MHD_Connection*>(client->connection));
    }
}

}  // namespace

http_server::~http_server() {
    if (daemon) MHD_stop_daemon(daemon);
}

bool http_start(http_server& h, const listen_address& where, std::string& error) {
    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (where.addr.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
    const auto& sa = reinterpret_cast<const sockaddr_in&>(where.addr);
    h.daemon = MHD_start_daemon(
        flags, ntohs(sa.sin_port), nullptr, nullptr, on_request, &h, MHD_OPTION_SOCK_ADDR,
        &where.addr, MHD_OPTION_CONNECTION_LIMIT, h.limits.connections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, h.limits.per_address, MHD_OPTION_CONNECTION_TIMEOUT,
        h.limits.idle_seconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, h.limits.header_memory,
        MHD_OPTION_NOTIFY_COMPLETED, on_completed, &h, MHD_OPTION_NOTIFY_CONNECTION, on_connection,
        &h, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_END);
    if (!h.daemon) {
        error = "listening on " + where.text + " failed: " + std::strerror(errno);
        return false;
    }
    return true;
}

int http_fd(const http_server& h) {
    const MHD_DaemonInfo* info = MHD_get_daemon_info(h.daemon, MHD_DAEMON_INFO_EPOLL_FD);
    return info ? info->epoll_fd : -1;
}

std::chrono::milliseconds http_timeout(const http_server& h) {
    using std::chrono::milliseconds;
    // While a connection is open, its request's time is looked at each second.
    milliseconds wait = h.connections.empty() ? milliseconds(-1) : milliseconds(1000);
    MHD_UNSIGNED_LONG_LONG ms = 0;
    if (MHD_get_timeout(h.daemon, &ms) == MHD_YES) {
        const milliseconds mhd(static_cast<long long>(std::min<MHD_UNSIGNED_LONG_LONG>(ms, 60000)));
        wait = wait.count() < 0 ? mhd : std::min(wait, mhd);
    }
    return wait;
}

void http_run(http_server& h) {
    MHD_run(h.daemon);
    end_slow(h);
}

void http_answer(http_server& h, std::uint64_t ticket, const web_response& r) {
    const auto it = h.waiting.find(ticket);
    if (it == h.waiting.end()) return;
    const auto [c, k] = it->second;
    h.waiting.erase(it);
    // MHD calls the request's handler again, which sends it.
    k->answer = r;
    MHD_resume_connection(c);
}

void http_broadcast(http_server& h, std::string_view framed) {
    for (auto& [raw, client] : h.streams) client->push(framed);
    resume_streams(h);
}

void http_stop(http_server& h, const web_response& r, std::chrono::milliseconds linger) {
    const MHD_socket listener = MHD_quiesce_daemon(h.daemon);
    if (listener != MHD_INVALID_SOCKET) close(listener);
    while (!h.waiting.empty()) http_answer(h, h.waiting.begin()->first, r);
    for (auto& [raw, client] : h.streams) client->closing = true;
    resume_streams(h);
    const auto end = clock_type::now() + linger;
    while (clock_type::now() < end && !h.connections.empty()) {
        MHD_run(h.daemon);
        poll(nullptr, 0, 10);
    }
    MHD_stop_daemon(h.daemon);
    h.daemon = nullptr;
}
