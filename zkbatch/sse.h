// Server-sent events: the framing of one event, and the stream of one
// client, whose connection takes what was framed whenever it can.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One event: "id: ID" when an id is given, a "data: " line for every line
// of data (a CR, an LF or CR LF ends one; one at the very end starts no
// line), then the blank line that ends
// the event. An id holding a line break is left out.
std::string sse_frame(std::string_view data, std::string_view id = {});

// A comment line that an idle stream sends now and then, so that a client
// that went away is noticed.
constexpr std::string_view sse_keepalive = ":\n\n";

// A client that falls this far behind is dropped, so that one stalled page
// can't make the server grow.
constexpr std::size_t sse_backlog_limit = 4U << 20;

struct sse_client {
    std::string pending;         // framed, not yet taken by the connection
    bool waiting = false;        // its connection is suspended until more comes
    bool closing = false;        // the stream ends once pending is taken
    void* connection = nullptr;  // the HTTP library's, for resuming it

    // Adds framed text; false (and closing) once the backlog is too long.
    bool push(std::string_view framed);
    // Moves up to max bytes of pending to out; returns how many.
    std::size_t take(char* out, std::size_t max);
};
