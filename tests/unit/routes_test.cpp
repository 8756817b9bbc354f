#include "routes.h"

#include <gtest/gtest.h>

#include <string>

#include "batch_fixture.h"

namespace {

class RoutesTest : public ::testing::Test, protected batch_fixture {
protected:
    server_state s;

    void SetUp() override {
        answer("192.0.2.10", "02:00:5e:00:53:0a", "10.0.0.5");
        answer("192.0.2.11", "02:00:5e:00:53:0b", "10.0.0.6");
        s.table.take(answers, "2026-01-01T00:00:00Z");
        s.undo["02:00:5e:00:53:0b"] = "mac,ip\n02:00:5e:00:53:0b,10.0.0.6\n";
        s.busy.insert("02:00:5e:00:53:0b");
    }

    routed call(const char* method, const std::string& path, const std::string& body = "",
                const char* dry_run = "") {
        web_request req;
        req.method = method;
        req.path = path;
        req.body = body;
        req.dry_run = dry_run;
        req.peer = "127.0.0.1";
        req.ticket = 7;
        return route(s, req);
    }
};

// Requests that are answered at once: the status and the error or the
// start of the body.
TEST_F(RoutesTest, AnsweredAtOnce) {
    const struct {
        const char* method;
        std::string path, body;
        int status;
        std::string starts;
    } cases[] = {
        {"GET", "/", "", 200, "<!doctype html>"},
        {"GET", "/app.js", "", 200, "// zkbatch's page"},
        {"GET", "/style.css", "", 200, ":root"},
        {"GET", "/api/devices", "", 200, "[{\"mac\":\"02:00:5e:00:53:0a\",\"ip\":\"10.0.0.5\""},
        {"GET", "/api/devices.csv", "", 200,
         "mac,ip,netmask,gateway,dhcp,mtu,nameserver,from,interface\n02:00:5e:00:53:0a,"},
        {"GET", "/index.html", "", 404, "{\"error\":\"no such page\"}"},
        {"GET", "/api/devices/02:00:5e:00:53:0a", "", 405,
         "{\"error\":\"method GET not allowed here\"}"},
        {"DELETE", "/api/devices", "", 405, "{\"error\":\"method DELETE not allowed here\"}"},
        {"POST", "/", "", 405, "{\"error\":\"method POST"},
        {"POST", "/api/devices/02:00:5e:00:53:0c", "{}", 404,
         "{\"error\":\"no scan has seen 02:00:5e:00:53:0c\"}"},
        {"POST", "/api/devices/02:00:5e:00:53", "{}", 400,
         "{\"error\":\"'02:00:5e:00:53' is not a MAC address\"}"},
        {"POST", "/api/devices/02-00-5E-00-53-0B", "{}", 409,
         "{\"error\":\"a change of 02:00:5e:00:53:0b is still queued or running\"}"},
        {"POST", "/api/devices/02:00:5e:00:53:0a", "{\"mtu\":1600}", 400,
         "{\"error\":\"mtu value out-of-range!\",\"field\":\"mtu\"}"},
        {"POST", "/api/devices/02:00:5e:00:53:0a", "{\"gateway\":\"192.0.2.1\"}", 400,
         "{\"error\":\"Failed: ip address and gateway are not part of the same "
         "network!\",\"field\":\"gateway\"}"},
        {"POST", "/api/devices/02:00:5e:00:53:0a", "{\"ip\":\"10.0.0.0\"}", 400,
         "{\"error\":\"ip 10.0.0.0 is the network address of 10.0.0.0/24\",\"field\":\"ip\"}"},
        {"POST", "/api/devices/02:00:5e:00:53:0a", "mtu=1400", 400,
         "{\"error\":\"the body is not a JSON object\",\"field\":\"\"}"},
        {"POST", "/api/devices/02:00:5e:00:53:0a", std::string(max_body + 1, ' '), 413,
         "{\"error\":\"the body is over 1 MiB\"}"},
        {"POST", "/api/undo/02:00:5e:00:53:0a", "", 404,
         "{\"error\":\"no change of 02:00:5e:00:53:0a through this server to undo\"}"},
        {"POST", "/api/undo/02:00:5e:00:53:0b", "", 409,
         "{\"error\":\"a change of 02:00:5e:00:53:0b"},
        {"POST", "/api/plan", "mac,colour\n", 400,
         "{\"error\":\"line 1: unknown column 'colour'\",\"errors\":[{\"line\":1"},
        {"POST", "/api/plan", "mac,mtu\n02:00:5e:00:53:0b,1400\n", 409,
         "{\"error\":\"a change of 02:00:5e:00:53:0b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + (" " + c.path));
        const routed r = call(c.method, c.path, c.body);
        EXPECT_FALSE(r.later);
        EXPECT_FALSE(r.stream);
        EXPECT_EQ(r.now.status, c.status);
        EXPECT_EQ(r.now.body.substr(0, c.starts.size()), c.starts);
    }
    EXPECT_TRUE(s.queue.empty());
    EXPECT_EQ(s.busy.size(), 1u);
}

TEST_F(RoutesTest, PageAndApiAnswerTypes) {
    EXPECT_EQ(call("GET", "/").now.type, "text/html; charset=utf-8");
    EXPECT_FALSE(call("GET", "/app.js").now.api);
    EXPECT_TRUE(call("GET", "/api/devices").now.api);
    EXPECT_TRUE(call("GET", "/api/events").stream);
}

// Requests that need the network: a job at the back of the queue, and
// their devices busy until it is done.
TEST_F(RoutesTest, QueuedAsJobs) {
    ASSERT_TRUE(call("POST", "/api/devices/02-00-5E-00-53-0A", "{\"mtu\":1400,\"ip\":null}").later);
    const job& save = s.queue.back();
    EXPECT_EQ(save.kind, job_kind::save);
    EXPECT_EQ(save.mac, "02:00:5e:00:53:0a");
    EXPECT_EQ(save.peer, "127.0.0.1");
    EXPECT_EQ(save.ticket, 7u);
    ASSERT_EQ(save.p.rows.size(), 1u);
    EXPECT_EQ(save.p.rows[0].mtu, 1400);
    EXPECT_FALSE(save.p.rows[0].ip);
    // A second save of it, while the first is queued.
    EXPECT_EQ(call("POST", "/api/devices/02:00:5e:00:53:0a", "{}").now.status, 409);

    s.busy.clear();
    ASSERT_TRUE(call("POST", "/api/undo/02:00:5e:00:53:0b").later);
    EXPECT_EQ(s.queue.back().kind, job_kind::undo);
    EXPECT_EQ(s.queue.back().p.rows.at(0).ip, "10.0.0.6");

    s.busy.clear();
    const std::string plan = "mac,mtu\n02:00:5e:00:53:0a,1400\n02:00:5e:00:53:0c,1400\n";
    ASSERT_TRUE(call("POST", "/api/plan", plan, "1").later);
    EXPECT_EQ(s.queue.back().kind, job_kind::dry_run);
    // A dry run changes nothing, so it keeps no device busy.
    EXPECT_TRUE(s.busy.empty());
    ASSERT_TRUE(call("POST", "/api/plan", plan).later);
    EXPECT_EQ(s.queue.back().kind, job_kind::apply);
    EXPECT_EQ(s.busy.size(), 2u);
    EXPECT_EQ(s.queue.size(), 4u);
}

TEST_F(RoutesTest, FieldOfRefusals) {
    const struct {
        const char *refusal, *field;
    } cases[] = {
        {"Failed: ip address invalid!", "ip"},
        {"Failed: netmask invalid!", "netmask"},
        {"Failed: gateway address invalid!", "gateway"},
        {"Failed: ip address and gateway are not part of the same network!", "gateway"},
        {"netmask 255.0.255.0 is not contiguous", "netmask"},
        {"ip 127.0.0.1 is a loopback address", "ip"},
        {"gateway 10.0.0.5 is the ip address itself", "gateway"},
        {"Error preparing save message!", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(field_of(c.refusal), c.field) << c.refusal;
}

}  // namespace
