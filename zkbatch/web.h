// A request to zkbatch's server and its answer, as plain values: what the
// routes and the checks of access see, whatever library speaks HTTP.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct web_request {
    std::string method;  // GET, POST, ...
    std::string path;    // without the query
    // The query's arguments that the routes know, "" when not given.
    std::string token, dry_run;
    // The headers that the checks of access read; "" when not given.
    std::string host, origin, cookie, authorization;
    std::string body;
    std::string peer;  // the client's address, as the audit records name it
    // The number under which an answer that comes later (a job's) reaches
    // this request.
    std::uint64_t ticket = 0;
};

struct web_response {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beside the usual ones
    bool api = true;                                           // no-store: never kept by a cache
};

// The JSON document {"error": message}, with status.
web_response error_response(int status, const std::string& message);
