#include "web.h"

#include <nlohmann/json.hpp>

web_response error_response(int status, const std::string& message) {
    web_response r;
    r.status = status;
    // A message may quote what a client or a device sent.
    const nlohmann::json doc = {{"error", message}};
    r.body = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return r;
}
