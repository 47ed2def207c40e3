// Over real HTTP on loopback: sessions belong to the client that opened them,
// and over HTTPS (own TLS, or a proxy saying so) cookies are Secure, HSTS is
// sent and the addresses handed out are https://.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "HttpClient.h"
#include "ServerProcess.h"
#include "TestSupport.h"

namespace snapora::server::testing {

namespace {

std::string Shell(const std::string& command) {
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

}  // namespace

TEST(HttpOwnership, ASessionTakesUploadsOnlyFromItsOpener) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    const int port = server.Port();
    HttpReply opened = Get(port, "/loginsession.php?sessionname=Besprechung");
    ASSERT_EQ(opened.body, "ok Besprechung");
    const std::string owner = "snapora_client=" + CookieValue(opened, "snapora_client");
    HttpReply other = Get(port, "/loginsession.php?sessionname=Besprechung", "", "127.0.0.2");
    ASSERT_EQ(other.body.rfind("ok Besprechung-", 0), 0u) << other.body;
    const std::string stranger = "snapora_client=" + CookieValue(other, "snapora_client");
    const std::string jpeg = MakeJpeg(40, 30);
    struct Case { std::string cookie, session, reply; } cases[] = {
        {stranger, "Besprechung", "wrongsession"},
        {"", "Besprechung", "wrongsession"},
        {owner, "Besprechung", "ok|"},
        {stranger, other.body.substr(3), "ok|"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Exchange(port, ProgramUpload(jpeg, "", c.cookie, c.session)).body.substr(0, c.reply.size()), c.reply)
            << c.session;
    EXPECT_EQ(Get(port, "/loginsession.php?sessionname=Besprechung", owner).body, "ok Besprechung");
}

TEST(HttpOwnership, OverHttpsCookiesAreSecureAndAddressesHttps) {
    TempFolder folder;
    const std::string jpeg = MakeJpeg(40, 30);
    {  // behind a proxy: its X-Forwarded-Proto says how the request came
        ServerProcess server(folder.Path() + "/proxied", {"--behind-proxy"});
        for (const std::string proto : {"https", "http"}) {
            std::string request = ProgramUpload(jpeg);
            request.insert(request.find("\r\n") + 2, "X-Real-IP: 203.0.113.7\r\nX-Forwarded-Proto: " + proto + "\r\n");
            HttpReply reply = Exchange(server.Port(), request);
            const bool secure = proto == "https";
            EXPECT_EQ(reply.body.rfind("ok|4.2|" + proto + "://", 0), 0u) << reply.body;
            EXPECT_EQ(Contains(reply.Header("set-cookie"), "; Secure"), secure) << proto;
            EXPECT_EQ(reply.Header("strict-transport-security"), secure ? "max-age=31536000" : "") << proto;
        }
        EXPECT_TRUE(Contains(server.Log(), "203.0.113.7 \"POST /upload.php\" 200"));
    }
    // The server's own TLS, checked with curl.
    const std::string tls = folder.Path() + "/tls";
    Shell("mkdir -p " + tls + " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
          "-subj /CN=localhost -keyout " + tls + "/key.pem -out " + tls + "/cert.pem 2>/dev/null");
    std::ofstream(tls + "/shot.jpg", std::ios::binary) << jpeg;
    ServerProcess server(folder.Path() + "/own", {"--tls-cert", tls + "/cert.pem", "--tls-key", tls + "/key.pem"});
    const std::string reply =
        Shell("curl -sk -D - -F filename=screenshot -F version=4.2 -F description= -F screenshot=@" + tls +
              "/shot.jpg https://127.0.0.1:" + std::to_string(server.Port()) + "/upload.php");
    EXPECT_TRUE(Contains(reply, "Strict-Transport-Security: max-age=31536000")) << reply;
    EXPECT_TRUE(Contains(reply, "HttpOnly; SameSite=Lax; Secure")) << reply;
    EXPECT_TRUE(Contains(reply, "ok|4.2|https://")) << reply;
}

// Behind a proxy every connection is the proxy's: the client address it
// names counts instead, and one client cannot take the others' share.
TEST(HttpOwnership, BehindAProxyRequestsCountPerClientAddress) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data", {"--behind-proxy", "--max-per-address", "2"});
    const int port = server.Port();
    ASSERT_EQ(Get(port, "/loginsession.php?sessionname=team").body, "ok team");
    auto from = [](const std::string& client, const std::string& target) {
        return "GET " + target + " HTTP/1.1\r\nHost: x\r\nX-Real-IP: " + client + "\r\nConnection: close\r\n\r\n";
    };
    std::vector<int> streams;
    for (int i = 0; i < 2; ++i) {
        streams.push_back(Connect(port));
        SendAll(streams.back(), from("198.51.100.1", "/~team/events"));
        ReadAll(streams.back(), 200);
    }
    HttpReply refused = Exchange(port, from("198.51.100.1", "/"));
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.Header("retry-after"), "5");
    EXPECT_EQ(Exchange(port, from("198.51.100.1", "/loginsession.php?sessionname=x")).body,
              "Der Server ist gerade ausgelastet. Bitte versuchen Sie es gleich noch einmal.");
    EXPECT_EQ(Exchange(port, from("198.51.100.2", "/")).status, 200);
    for (int fd : streams) ::close(fd);
}

}  // namespace snapora::server::testing
