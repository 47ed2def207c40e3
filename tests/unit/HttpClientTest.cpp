// The libcurl client against the local test service: the bytes on the wire,
// cookies, failures and cancellation. Runs natively and under Wine.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <future>
#include <thread>

#include "TestService.h"
#include "upload/CurlHttpClient.h"
#include "upload/ServiceRequests.h"

namespace snapora {

namespace {

const LocalTime When{2026, 12, 8, 9, 3, 7, 45};

class HttpClientTest : public ::testing::Test {
protected:
    std::unique_ptr<MultipartForm> UploadForm(std::string jpeg = std::string(5000, '\xAB')) {
        return BuildUploadForm(When, "C:\\Temp\\screen.jpg", std::make_unique<MemoryReadStream>(std::move(jpeg)), "Titel",
                               "", {"anna", "pw"});
    }
    testing::TestService service;
    CurlHttpClient client{service.HostAndPort()};
};

using Steady = std::chrono::steady_clock;

}  // namespace

TEST_F(HttpClientTest, UploadGoesOutAsHttp10WithExactHeadersAndBody) {
    auto form = UploadForm();
    std::string expectedBody = UploadForm()->ReadAll();
    std::string reply = client.Post(UploadPath, *form);
    EXPECT_EQ(reply, "ok|4.2|http://" + service.HostAndPort() + "/s1");

    auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method + " " + r.target + " " + r.version, "POST /upload.php HTTP/1.0");
    EXPECT_EQ(r.Header("User-Agent"), "Screenshot Uploader");
    EXPECT_EQ(r.Header("Accept"), "text/html, */*");
    EXPECT_EQ(r.Header("Content-Type"), "multipart/form-data; boundary=--------120826090307045");
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(expectedBody.size()));
    EXPECT_EQ(r.Header("Expect"), "");
    EXPECT_EQ(r.Header("Transfer-Encoding"), "");
    EXPECT_EQ(r.Header("Host"), service.HostAndPort());
    EXPECT_EQ(r.body, expectedBody);
    EXPECT_EQ(r.raw.substr(r.raw.size() - expectedBody.size()), expectedBody);
}

TEST_F(HttpClientTest, GetGoesOutAsHttp11) {
    EXPECT_EQ(client.Get(SessionLoginPath("team")), "ok team");
    auto r = service.Requests().at(0);
    EXPECT_EQ(r.method + " " + r.target + " " + r.version, "GET /loginsession.php?sessionname=team HTTP/1.1");
    EXPECT_EQ(r.Header("User-Agent"), "Screenshot Uploader");
    // A name with a blank reaches the service (which refuses blanks).
    EXPECT_EQ(client.Get(SessionLoginPath("Team Meeting")), "invalidname");
    EXPECT_EQ(service.Requests().at(1).target, "/loginsession.php?sessionname=Team%20Meeting");
}

TEST_F(HttpClientTest, CookieOfOneReplyGoesBackOnLaterRequests) {
    client.Get(SessionLoginPath("a"));
    auto form = BuildAccountTestForm(When, {"demo", "geheim"});
    EXPECT_EQ(client.Post(AccountTestPath, *form), "ok");
    auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Cookie"), "");
    EXPECT_EQ(requests[1].Header("Cookie"), "snapora_session=" + service.SessionId());
}

TEST_F(HttpClientTest, StatusOutsideTwoHundredsIsAFailure) {
    for (int status : {302, 404, 500}) {
        testing::Reply reply;
        reply.status = status;
        reply.body = "ok|4.2|http://x/y";
        reply.extraHeaders = {"Location: http://" + service.HostAndPort() + "/elsewhere"};
        service.Script("/upload.php", reply);
        auto form = UploadForm();
        EXPECT_THROW(client.Post(UploadPath, *form), HttpError) << status;
    }
    EXPECT_EQ(service.Requests().size(), 3u);  // the redirect was not followed
}

TEST_F(HttpClientTest, ConnectionResetMidBodyIsAFailure) {
    testing::Reply reset;
    reset.resetAfterBytes = true;
    reset.resetAt = 1000;
    service.Script("/upload.php", reset);
    auto form = UploadForm(std::string(200000, 'x'));
    EXPECT_THROW(client.Post(UploadPath, *form), HttpError);
}

TEST_F(HttpClientTest, NoServiceIsAFailure) {
    CurlHttpClient nowhere("127.0.0.1:1");
    EXPECT_THROW(nowhere.Get("/"), HttpError);
}

TEST_F(HttpClientTest, DisconnectEndsAWaitingRequestWithinASecond) {
    testing::Reply silent;
    silent.neverAnswer = true;
    service.Script("/upload.php", silent);
    auto form = UploadForm();
    auto upload = std::async(std::launch::async, [&] { return client.Post(UploadPath, *form); });
    ASSERT_TRUE(service.WaitForRequests(1, 5000));
    auto cancelled = Steady::now();
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_THROW(upload.get(), HttpError);
    EXPECT_LT(Steady::now() - cancelled, std::chrono::milliseconds(1000));

    EXPECT_EQ(client.Get(SessionLoginPath("b")), "ok b");  // the client works again afterwards
    EXPECT_TRUE(client.Connected());
}

// A service that stays silent, trickles or never ends its reply fails the
// request like a broken connection, instead of holding it for good.
TEST_F(HttpClientTest, MisbehavingServiceFailsTheRequest) {
    client.idleTimeoutSeconds = 1;
    testing::Reply silent, trickle, endless;
    silent.neverAnswer = true;
    trickle.trickleMs = 2500;
    trickle.body = "ok|4.2|http://x/langsam";
    endless.endless = true;
    // libcurl judges the speed over its last five seconds: each case takes some
    // six seconds, so they run side by side.
    std::vector<std::future<void>> runs;
    auto started = Steady::now();
    for (const testing::Reply& reply : {silent, trickle, endless}) {
        service.Script("/upload.php", reply);
        ASSERT_TRUE(service.WaitForRequests(runs.size(), 5000));
        runs.push_back(std::async(std::launch::async, [&] {
            auto form = UploadForm();
            EXPECT_THROW(client.Post(UploadPath, *form), HttpError);
        }));
        ASSERT_TRUE(service.WaitForRequests(runs.size(), 5000));
    }
    for (auto& run : runs) run.get();
    EXPECT_LT(Steady::now() - started, std::chrono::seconds(15));
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.Get(SessionLoginPath("b")), "ok b");  // a reply of normal length still arrives
}

// An endless reply that arrives fast is still cancelled within a second.
TEST_F(HttpClientTest, DisconnectEndsAnEndlessReply) {
    client.maxReplyBytes = std::size_t(1) << 40;
    testing::Reply endless;
    endless.endless = true;
    service.Script("/loginsession.php", endless);
    auto get = std::async(std::launch::async, [&] { return client.Get(SessionLoginPath("x")); });
    ASSERT_TRUE(service.WaitForRequests(1, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto cancelled = Steady::now();
    client.Disconnect();
    EXPECT_THROW(get.get(), HttpError);
    EXPECT_LT(Steady::now() - cancelled, std::chrono::milliseconds(1000));
}

// Sending that breaks off still reports its end, with the connection gone.
TEST_F(HttpClientTest, BrokenSendingStillReportsItsEnd) {
    std::vector<bool> connectedAtEnd;
    client.OnWorkEnd = [&](WorkMode) { connectedAtEnd.push_back(client.Connected()); };
    testing::Reply reset;
    reset.resetAfterBytes = true;
    reset.resetAt = 1000;
    service.Script("/upload.php", reset);
    auto form = UploadForm(std::string(32 << 20, 'x'));  // more than the sockets' buffers hold
    EXPECT_THROW(client.Post(UploadPath, *form), HttpError);
    EXPECT_EQ(connectedAtEnd, std::vector<bool>{false});
}

TEST_F(HttpClientTest, AccountTestRunsBesideAnUpload) {
    testing::Reply slow;
    slow.delayMs = 1500;
    slow.body = "ok|4.2|http://x/slow";
    service.Script("/upload.php", slow);
    auto form = UploadForm(std::string(100000, 'u'));
    auto upload = std::async(std::launch::async, [&] { return client.Post(UploadPath, *form); });
    ASSERT_TRUE(service.WaitForRequests(1, 5000));

    auto started = Steady::now();
    auto test = BuildAccountTestForm(When, {"demo", "falsch"});
    EXPECT_EQ(client.Post(AccountTestPath, *test), "wrong");
    EXPECT_LT(Steady::now() - started, std::chrono::milliseconds(1000));  // not queued behind the upload
    EXPECT_EQ(upload.get(), "ok|4.2|http://x/slow");
    auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body.size(), form->Size());
    EXPECT_TRUE(requests[0].complete);
}

TEST_F(HttpClientTest, ProgressReportsBeginCountsAndEnd) {
    std::vector<std::string> events;
    std::int64_t last = 0;
    client.OnWorkBegin = [&](WorkMode mode, std::int64_t total) {
        events.push_back("begin " + std::to_string(mode) + " " + std::to_string(total));
    };
    client.OnWork = [&](WorkMode, std::int64_t count) {
        EXPECT_GT(count, last);
        last = count;
    };
    client.OnWorkEnd = [&](WorkMode mode) { events.push_back("end " + std::to_string(mode)); };
    auto form = UploadForm(std::string(300000, 'p'));
    std::int64_t total = std::int64_t(form->Size());
    client.Post(UploadPath, *form);
    EXPECT_EQ(events, (std::vector<std::string>{"begin 1 " + std::to_string(total), "end 1"}));
    EXPECT_EQ(last, total);
}

}  // namespace snapora
