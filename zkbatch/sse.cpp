#include "sse.h"

#include <algorithm>
#include <cstring>

std::string sse_frame(std::string_view data, std::string_view id) {
    std::string out;
    if (!id.empty() && id.find_first_of("\r\n") == std::string_view::npos) {
        out += "id: ";
        out += id;
        out += '\n';
    }
    for (;;) {
        const std::size_t end = data.find_first_of("\r\n");
        out += "data: ";
        out += data.substr(0, end);
        out += '\n';
        if (end == std::string_view::npos) break;
        const std::size_t next = data.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
        data.remove_prefix(next);
        // A line break at the end ends the last line; it starts none.
        if (data.empty()) break;
    }
    return out + '\n';
}

bool sse_client::push(std::string_view framed) {
    if (closing) return false;
    if (pending.size() + framed.size() > sse_backlog_limit) {
        closing = true;
        return false;
    }
    pending += framed;
    return true;
}

std::size_t sse_client::take(char* out, std::size_t max) {
    const std::size_t n = std::min(max, pending.size());
    std::memcpy(out, pending.data(), n);
    pending.erase(0, n);
    return n;
}
