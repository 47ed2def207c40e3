// Tests of the local test web service itself, through a raw socket client.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "TestService.h"

namespace snapora::testing {
namespace {

#ifdef _WIN32
using SockT = SOCKET;
const SockT kBad = INVALID_SOCKET;
void CloseSock(SockT s) { closesocket(s); }
#else
using SockT = int;
const SockT kBad = -1;
void CloseSock(SockT s) { ::close(s); }
#endif

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A bare HTTP client: sends exactly the bytes given, reads exactly what comes back.
class RawClient {
public:
    enum class End { Closed, Reset, StillOpen };

    explicit RawClient(int port) {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<unsigned short>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(s_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawClient() {
        Close();
#ifdef _WIN32
        WSACleanup();
#endif
    }
    bool Connected() const { return connected_; }

    void Send(const std::string& data) {
        ASSERT_EQ(send(s_, data.data(), static_cast<int>(data.size()), 0), static_cast<int>(data.size()));
    }

    // The next whole response (head + Content-Length body); what arrived so far on timeout or end.
    std::string ReadResponse(int timeoutMs = 5000) {
        auto start = Clock::now();
        for (;;) {
            std::size_t headEnd = buf_.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                std::size_t total = headEnd + 4 + ContentLength(buf_.substr(0, headEnd + 2));
                if (buf_.size() >= total) {
                    std::string response = buf_.substr(0, total);
                    buf_.erase(0, total);
                    return response;
                }
            }
            int left = timeoutMs - static_cast<int>(MsSince(start));
            if (left <= 0 || ReadSome(left) <= 0) {
                std::string partial;
                partial.swap(buf_);
                return partial;
            }
        }
    }

    // Waits for the service to end the connection; bytes arriving meanwhile go to *received.
    End WaitForEnd(int timeoutMs, std::string* received = nullptr) {
        auto start = Clock::now();
        for (;;) {
            int left = timeoutMs - static_cast<int>(MsSince(start));
            if (left <= 0) return End::StillOpen;
            int r = ReadSome(left);
            if (received) *received += buf_;
            buf_.clear();
            if (r == 0) return SendFails() ? End::Reset : End::Closed;
            if (r == -1) return End::Reset;
        }
    }

    void Close() {
        if (s_ != kBad) CloseSock(s_);
        s_ = kBad;
    }

private:
    static std::size_t ContentLength(const std::string& head) {
        std::string lower = head;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::size_t at = lower.find("\r\ncontent-length:");
        return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
    }

    // Wine's recv() reports a reset connection as an orderly close, but a
    // send() then fails at once; after a real close the first send succeeds.
    bool SendFails() {
#ifdef MSG_NOSIGNAL
        return send(s_, "x", 1, MSG_NOSIGNAL) < 0;
#else
        return send(s_, "x", 1, 0) < 0;
#endif
    }

    // 1 data, 0 orderly close, -1 error (reset), -2 timed out.
    int ReadSome(int timeoutMs) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s_, &set);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int w = select(static_cast<int>(s_) + 1, &set, nullptr, nullptr, &tv);
        if (w == 0) return -2;
        if (w < 0) return -1;
        char chunk[65536];
        int n = recv(s_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buf_.append(chunk, static_cast<std::size_t>(n));
            return 1;
        }
        return n == 0 ? 0 : -1;
    }

    SockT s_ = kBad;
    bool connected_ = false;
    std::string buf_;
};

int StatusOf(const std::string& response) {
    return response.size() > 12 ? std::stoi(response.substr(9, 3)) : 0;
}

std::string BodyOf(const std::string& response) {
    std::size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? "" : response.substr(at + 4);
}

// The value of a response header (first match, name case-insensitive), "" if absent.
std::string HeaderOf(const std::string& response, const std::string& name) {
    RecordedRequest parsed;
    std::size_t pos = response.find("\r\n") + 2;
    std::size_t end = response.find("\r\n\r\n");
    while (pos < end) {
        std::size_t nl = response.find("\r\n", pos);
        std::string line = response.substr(pos, nl - pos);
        std::size_t colon = line.find(':');
        parsed.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
        pos = nl + 2;
    }
    return parsed.Header(name);
}

Reply MakeReply(int status, std::string body, std::vector<std::string> extraHeaders = {}) {
    Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.extraHeaders = std::move(extraHeaders);
    return reply;
}

std::string Exchange(const TestService& service, const std::string& request) {
    RawClient client(service.Port());
    client.Send(request);
    return client.ReadResponse();
}

std::string Get(const std::string& target, const std::string& more = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + more + "\r\n";
}

using Field = std::tuple<std::string, std::string, std::string>;  // name, value, filename

std::string MultipartPost(const std::string& target, const std::vector<Field>& fields) {
    const std::string boundary = "--------Snapora7d93";
    std::string body;
    for (const auto& [name, value, filename] : fields) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"";
        if (!filename.empty()) body += "; filename=\"" + filename + "\"\r\nContent-Type: image/jpeg";
        body += "\r\n\r\n" + value + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return "POST " + target + " HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=" + boundary +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(TestService, RecordsRawRequestsAndAnswersWithTheSessionCookie) {
    TestService service;
    ASSERT_GT(service.Port(), 0);
    EXPECT_EQ(service.HostAndPort(), "127.0.0.1:" + std::to_string(service.Port()));

    const std::string body("he\0\r\nlo", 7);
    const std::string request =
        "POST /some/where?x=1 HTTP/1.1\r\nHost: h\r\nX-Mixed-Case:  Value \r\nContent-Length: 7\r\n"
        "Connection: close\r\n\r\n" + body;
    std::string response = Exchange(service, request);
    EXPECT_EQ(StatusOf(response), 404);
    EXPECT_EQ(BodyOf(response), "not found");
    EXPECT_EQ(HeaderOf(response, "set-cookie"), "snapora_session=" + service.SessionId() + "; Path=/");
    EXPECT_FALSE(service.SessionId().empty());
    EXPECT_EQ(HeaderOf(response, "Content-Type"), "text/html; charset=windows-1252");
    EXPECT_EQ(HeaderOf(response, "Content-Length"), "9");
    EXPECT_EQ(HeaderOf(response, "Connection"), "close");

    ASSERT_TRUE(service.WaitForRequests(1, 2000));
    RecordedRequest r = service.Requests().at(0);
    EXPECT_EQ(r.raw, request);
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/some/where?x=1");
    EXPECT_EQ(r.Path(), "/some/where");
    EXPECT_EQ(r.Query(), "x=1");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.Header("x-mixed-case"), "Value");
    EXPECT_EQ(r.Header("Missing"), "");
    EXPECT_EQ(r.body, body);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.sequence, 1);

    // HTTP/1.0: "Connection: close", then the service closes.
    {
        RawClient client(service.Port());
        client.Send("GET /x HTTP/1.0\r\n\r\n");
        response = client.ReadResponse();
        EXPECT_EQ(response.substr(0, 13), "HTTP/1.0 404 ");
        EXPECT_EQ(HeaderOf(response, "Connection"), "close");
        EXPECT_EQ(client.WaitForEnd(2000), RawClient::End::Closed);
    }

    // A body cut short by the client is recorded as incomplete.
    {
        RawClient client(service.Port());
        client.Send("POST /cut HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
        client.Close();
    }
    ASSERT_TRUE(service.WaitForRequests(3, 2000));
    r = service.Requests().at(2);
    EXPECT_EQ(r.target, "/cut");
    EXPECT_EQ(r.body, "abc");
    EXPECT_EQ(r.raw, "POST /cut HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
    EXPECT_FALSE(r.complete);

    // Chunked bodies are decoded; raw keeps the chunks. Expect: 100-continue gets its interim answer.
    const std::string chunked = "POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n0\r\n\r\n";
    EXPECT_EQ(StatusOf(Exchange(service, chunked)), 404);
    {
        RawClient client(service.Port());
        client.Send("POST /e HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n");
        EXPECT_EQ(client.ReadResponse(), "HTTP/1.1 100 Continue\r\n\r\n");
        client.Send("ok");
        EXPECT_EQ(StatusOf(client.ReadResponse()), 404);
    }
    ASSERT_TRUE(service.WaitForRequests(5, 2000));
    auto all = service.Requests();
    EXPECT_EQ(all[3].body, "abcde");
    EXPECT_EQ(all[3].raw, chunked);
    EXPECT_EQ(all[4].body, "ok");

    service.ClearRequests();
    EXPECT_TRUE(service.Requests().empty());
}

TEST(TestService, ScriptedRepliesComeInOrderLongestPrefixFirst) {
    TestService service;
    service.Script("/r", MakeReply(302, "moved", {"Location: http://elsewhere/"}));
    service.Script("/r", MakeReply(201, "second"));
    service.Script("/r/long", MakeReply(202, "long"));
    service.SetDefault("/r", MakeReply(200, "standing", {"Content-Type: text/plain"}));

    std::string response = Exchange(service, Get("/r/long/x"));
    EXPECT_EQ(StatusOf(response), 202);
    EXPECT_EQ(BodyOf(response), "long");
    response = Exchange(service, Get("/r"));
    EXPECT_EQ(response.substr(0, 18), "HTTP/1.1 302 Found");
    EXPECT_EQ(HeaderOf(response, "Location"), "http://elsewhere/");
    EXPECT_EQ(BodyOf(response), "moved");
    EXPECT_EQ(BodyOf(Exchange(service, Get("/r?a"))), "second");
    response = Exchange(service, Get("/r/long"));
    EXPECT_EQ(BodyOf(response), "standing");
    EXPECT_EQ(HeaderOf(response, "Content-Type"), "text/plain");
    EXPECT_EQ(StatusOf(Exchange(service, Get("/other"))), 404);

    Reply slow;
    slow.body = "late";
    slow.delayMs = 300;
    service.Script("/slow", slow);
    auto start = Clock::now();
    EXPECT_EQ(BodyOf(Exchange(service, Get("/slow"))), "late");
    EXPECT_GE(MsSince(start), 280);
}

TEST(TestService, ResetAfterBodyBytesDropsTheConnectionWithoutAnswer) {
    TestService service;
    Reply reset;
    reset.resetAfterBytes = true;
    reset.resetAt = 5;
    service.Script("/upload.php", reset);

    RawClient client(service.Port());
    client.Send("POST /upload.php HTTP/1.1\r\nContent-Length: 20\r\n\r\n0123456789");
    std::string received;
    EXPECT_EQ(client.WaitForEnd(3000, &received), RawClient::End::Reset);
    EXPECT_EQ(received, "");
    ASSERT_TRUE(service.WaitForRequests(1, 2000));
    RecordedRequest r = service.Requests().at(0);
    EXPECT_EQ(r.body, "01234");
    EXPECT_EQ(r.raw, "POST /upload.php HTTP/1.1\r\nContent-Length: 20\r\n\r\n01234");
    EXPECT_FALSE(r.complete);
}

TEST(TestService, HeldAndDelayedRepliesEndWhenTheServiceIsDestroyed) {
    auto service = std::make_unique<TestService>();
    Reply hold;
    hold.neverAnswer = true;
    service->Script("/hold", hold);
    Reply wait;
    wait.delayMs = 60000;
    service->Script("/wait", wait);

    RawClient held(service->Port()), waiting(service->Port()), midRequest(service->Port());
    held.Send(Get("/hold"));
    waiting.Send(Get("/wait"));
    midRequest.Send("POST /half HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc");
    ASSERT_TRUE(service->WaitForRequests(2, 2000));
    EXPECT_EQ(held.WaitForEnd(300), RawClient::End::StillOpen);

    auto start = Clock::now();
    service.reset();
    EXPECT_LT(MsSince(start), 2000);
    std::string received;
    EXPECT_NE(held.WaitForEnd(2000, &received), RawClient::End::StillOpen);
    EXPECT_NE(waiting.WaitForEnd(2000, &received), RawClient::End::StillOpen);
    EXPECT_NE(midRequest.WaitForEnd(2000, &received), RawClient::End::StillOpen);
    EXPECT_EQ(received, "");
}

TEST(TestService, KeepAliveServesSeveralRequestsOnOneConnection) {
    TestService service;
    {
        RawClient client(service.Port());
        client.Send(Get("/a"));
        std::string first = client.ReadResponse();
        EXPECT_EQ(StatusOf(first), 404);
        EXPECT_EQ(HeaderOf(first, "Connection"), "");
        client.Send(Get("/b") + Get("/c"));  // pipelined
        EXPECT_EQ(StatusOf(client.ReadResponse()), 404);
        EXPECT_EQ(StatusOf(client.ReadResponse()), 404);
        client.Send(Get("/d", "Connection: close\r\n"));
        EXPECT_EQ(HeaderOf(client.ReadResponse(), "Connection"), "close");
        EXPECT_EQ(client.WaitForEnd(2000), RawClient::End::Closed);
    }
    {
        RawClient client(service.Port());
        client.Send("GET /e HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
        EXPECT_EQ(HeaderOf(client.ReadResponse(), "Connection"), "keep-alive");
        client.Send("GET /f HTTP/1.0\r\n\r\n");
        EXPECT_EQ(HeaderOf(client.ReadResponse(), "Connection"), "close");
        EXPECT_EQ(client.WaitForEnd(2000), RawClient::End::Closed);
    }
    ASSERT_TRUE(service.WaitForRequests(6, 2000));
    auto all = service.Requests();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(all[i].connectionId, all[0].connectionId);
    EXPECT_EQ(all[3].target, "/d");
    EXPECT_EQ(all[4].connectionId, all[5].connectionId);
    EXPECT_NE(all[4].connectionId, all[0].connectionId);
}

TEST(TestService, BuiltInRepliesOfTheWebService) {
    TestService service;
    const std::string host = "http://" + service.HostAndPort() + "/";
    const std::string picture("\xFF\xD8\r\n--------Snapora7d9\0\xFF\xD9", 25);

    std::string upload = MultipartPost("/upload.php", {{"sessionname", "abc", ""}, {"file", picture, "shot.jpg"}});
    EXPECT_EQ(BodyOf(Exchange(service, upload)), "ok|4.2|" + host + "s1");
    EXPECT_EQ(BodyOf(Exchange(service, upload)), "ok|4.2|" + host + "s2");
    EXPECT_EQ(BodyOf(Exchange(service, MultipartPost("/upload.php", {{"sessionname", "expired", ""}}))),
              "wrongsession");
    EXPECT_EQ(BodyOf(Exchange(service, upload)), "ok|4.2|" + host + "s3");
    ASSERT_TRUE(service.WaitForRequests(1, 2000));
    RecordedRequest first = service.Requests().at(0);
    auto fields = TestService::MultipartFields(first);
    EXPECT_EQ(fields["sessionname"], "abc");
    EXPECT_EQ(fields["file"], picture);
    EXPECT_EQ(TestService::FieldFilename(first, "file"), "shot.jpg");
    EXPECT_EQ(TestService::FieldFilename(first, "sessionname"), "");

    EXPECT_EQ(BodyOf(Exchange(service, MultipartPost("/rename.php", {{"newfilename", "neu.jpg", ""}}))),
              host + "neu.jpg");

    EXPECT_EQ(BodyOf(Exchange(service, Get("/loginsession.php?sessionname=Abc_1"))), "ok Abc_1");
    EXPECT_EQ(BodyOf(Exchange(service, Get("/loginsession.php?sessionname=%C3%A4"))), "ok %C3%A4");
    EXPECT_EQ(BodyOf(Exchange(service, Get("/loginsession.php?sessionname="))), "invalidname");
    EXPECT_EQ(BodyOf(Exchange(service, Get("/loginsession.php?sessionname=a b"))), "invalidname");
    EXPECT_EQ(BodyOf(Exchange(service, Get("/loginsession.php?sessionname=a%20b"))), "invalidname");

    const std::string login = "/account.htm?action=testlogin";
    EXPECT_EQ(BodyOf(Exchange(service, MultipartPost(login, {{"username", "demo", ""}, {"password", "geheim", ""}}))),
              "ok");
    EXPECT_EQ(BodyOf(Exchange(service, MultipartPost(login, {{"username", "demo", ""}, {"password", "x", ""}}))),
              "wrong");
    EXPECT_EQ(BodyOf(Exchange(service, "POST " + login + " HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded"
                                                        "\r\nContent-Length: 29\r\n\r\nusername=demo&password=geheim")),
              "ok");

    std::string response = Exchange(service, Get("/nothing.php"));
    EXPECT_EQ(StatusOf(response), 404);
    EXPECT_EQ(BodyOf(response), "not found");
    EXPECT_EQ(StatusOf(Exchange(service, Get("/upload.php"))), 405);
}

}  // namespace
}  // namespace snapora::testing
