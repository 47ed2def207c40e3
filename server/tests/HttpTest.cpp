// snapora-server over real HTTP on loopback: the program's requests, the
// limits of the HTTP layer, signals and durability.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "HttpClient.h"
#include "ServerProcess.h"
#include "TestSupport.h"

namespace snapora::server::testing {

namespace {

using namespace std::chrono_literals;

}  // namespace

TEST(Http, TheProgramsUploadRenameAndTheAddressServingTheExactPicture) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    const std::string jpeg = MakeJpeg(300, 200);

    HttpReply uploaded = Exchange(server.Port(), ProgramUpload(jpeg, "Gr\xFC\xDF" "e x'); DROP TABLE screenshots;--"));
    EXPECT_EQ(uploaded.status, 200);
    const std::string prefix = "ok|4.2|http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    ASSERT_EQ(uploaded.body.rfind(prefix, 0), 0u) << uploaded.body;
    const std::string address = uploaded.body.substr(7);
    EXPECT_EQ(address.size() - address.rfind('/') - 1, 10u);  // a default name: 50 random bits
    const std::string cookie = "snapora_client=" + CookieValue(uploaded, "snapora_client");

    HttpReply page = Get(server.Port(), PathOf(address));
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("Grüße x&#39;); DROP TABLE screenshots;--"), std::string::npos);
    EXPECT_EQ(page.Header("x-content-type-options"), "nosniff");
    HttpReply picture = Get(server.Port(), PathOf(address) + ".jpg");
    EXPECT_EQ(picture.Header("content-type"), "image/jpeg");
    EXPECT_EQ(picture.body, jpeg);

    HttpReply renamed = Exchange(server.Port(), ProgramPost("/rename.php", {{"filename", address.substr(address.rfind('/') + 1)},
                                                                            {"newfilename", "Mein Fenster"}}, cookie));
    EXPECT_EQ(renamed.body, "http://127.0.0.1:" + std::to_string(server.Port()) + "/Mein_Fenster");
    EXPECT_EQ(Get(server.Port(), "/Mein_Fenster.jpg").body, jpeg);
    EXPECT_EQ(Get(server.Port(), "/Gr%C3%BC%C3%9Fe").status, 404);
    HttpReply former = Get(server.Port(), PathOf(address) + ".jpg");  // links already shared keep working
    EXPECT_EQ(former.status, 302);
    EXPECT_EQ(former.Header("location"), "/Mein_Fenster.jpg");

    EXPECT_EQ(Get(server.Port(), "/loginsession.php?sessionname=team").body, "ok team");
    EXPECT_NE(server.Log().find("\"POST /upload.php\" 200"), std::string::npos) << server.Log();
}

// Small uploads stay in memory, larger ones go to a staged file part way
// through; either way the exact bytes are stored and nothing is left behind.
TEST(Http, UploadsInMemoryOrStagedAreStoredExactly) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    for (std::size_t padding : {std::size_t(0), std::size_t(400 * 1024), std::size_t(3 * 1024 * 1024)}) {
        const std::string jpeg = MakeJpeg(640, 480) + std::string(padding, '\0');  // zeros after the end are allowed
        HttpReply uploaded = Exchange(server.Port(), ProgramUpload(jpeg, "padded"));
        ASSERT_EQ(uploaded.body.rfind("ok|", 0), 0u) << padding << ": " << uploaded.body;
        EXPECT_EQ(Get(server.Port(), PathOf(uploaded.body.substr(7)) + ".jpg").body, jpeg) << padding;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.Path() + "/data/staging"))
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();
}

TEST(Http, EncodedTraversalFindsNothing) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    for (const char* target : {"/..%2f..%2fetc%2fpasswd", "/%2e%2e/%2e%2e/etc/passwd", "/..%5csnapora.db",
                               "/%2e%2e%2fsnapora.db", "/x%00.jpg", "/pictures/%2e%2e/snapora.db.jpg",
                               "/downloads/..%2fsnapora.db", "/~..%2f..%2fetc"}) {
        HttpReply reply = Get(server.Port(), target);
        EXPECT_EQ(reply.status, 404) << target;
        EXPECT_EQ(reply.body.find("root:"), std::string::npos) << target;
    }
}

// A declared body above the limit is answered at once: most of it is never sent.
TEST(Http, TooLargeUploadIsAnsweredTooBigWithoutReadingIt) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data", {"--max-upload", "100000"});
    int fd = Connect(server.Port());
    ASSERT_GE(fd, 0);
    const std::string head = "POST /upload.php HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                             "Content-Length: 50000000\r\n\r\n--b\r\nContent-Disposition: form-data; name=\"screenshot\"; "
                             "filename=\"x.jpg\"\r\n\r\n";
    ASSERT_TRUE(SendAll(fd, head + std::string(32 * 1024, 'x')));
    HttpReply reply = ParseReply(ReadAll(fd, 3000));
    ::close(fd);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "toobig");

    // Above the limit but within the room for fields, the picture is streamed, dropped, and refused.
    HttpReply streamed = Exchange(server.Port(), ProgramUpload(std::string(150000, 'j')));
    EXPECT_EQ(streamed.body, "toobig");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path() + "/data/staging"));
}

TEST(Http, HeaderFloodSlowClientsAndConnectionLimitsLeaveTheServerServing) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data", {"--timeout", "2", "--max-connections", "6", "--threads", "2"});
    std::string flood = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 4000; ++i) flood += "X-Header-" + std::to_string(i) + ": value\r\n";
    HttpReply refused = Exchange(server.Port(), flood + "\r\n");
    EXPECT_TRUE(refused.status == 431 || refused.status == 413 || refused.status == 400 || refused.status == 0)
        << refused.status;
    EXPECT_EQ(Get(server.Port(), "/").status, 200);

    // Connections that say half a request and then nothing.
    std::vector<int> slow;
    for (int i = 0; i < 6; ++i) {
        slow.push_back(Connect(server.Port()));
        SendAll(slow.back(), "GET / HT");
    }
    std::this_thread::sleep_for(200ms);
    // A seventh waits unserved (the server accepts no more) until the timeout frees the slots.
    auto started = SteadyClock::now();
    long servedAfter = 0;
    std::thread waiting([&] {
        if (Get(server.Port(), "/").status == 200) servedAfter = Elapsed(started);
    });
    for (int fd : slow) {
        EXPECT_EQ(ReadAll(fd, 6000), "");  // closed by the server, without a reply
        ::close(fd);
    }
    waiting.join();
    EXPECT_GE(servedAfter, 1000);
    EXPECT_LT(servedAfter, 5000);
    EXPECT_EQ(Get(server.Port(), "/").status, 200);
}

TEST(Http, SessionPageStreamReceivesANewUploadWithinASecond) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    HttpReply login = Get(server.Port(), "/loginsession.php?sessionname=vortrag");
    ASSERT_EQ(login.body, "ok vortrag");
    const std::string owner = "snapora_client=" + CookieValue(login, "snapora_client");
    int stream = Connect(server.Port());
    SendAll(stream, "GET /~vortrag/events?after=0 HTTP/1.1\r\nHost: x\r\nAccept: text/event-stream\r\n\r\n");
    std::string head = ReadAll(stream, 500);
    EXPECT_NE(head.find("text/event-stream"), std::string::npos);
    EXPECT_NE(head.find("retry: 1000"), std::string::npos);

    auto sent = SteadyClock::now();
    HttpReply uploaded = Exchange(server.Port(), ProgramUpload(MakeJpeg(40, 30), "Folie 1", owner, "vortrag"));
    ASSERT_EQ(uploaded.body.substr(0, 3), "ok|");
    std::string event;
    while (event.find("\n\n") == std::string::npos && Elapsed(sent) < 3000) event += ReadAll(stream, 200);
    EXPECT_LT(Elapsed(sent), 1000);
    EXPECT_NE(event.find("\"description\":\"Folie 1\""), std::string::npos) << event;
    ::close(stream);

    server.Signal(SIGTERM);  // with the stream gone and one parked before: a clean stop
    EXPECT_EQ(server.Wait(12000), 0);
}

TEST(Http, SigtermWithAnOpenEventStreamEndsCleanly) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    Get(server.Port(), "/loginsession.php?sessionname=team");
    int stream = Connect(server.Port());
    SendAll(stream, "GET /~team/events HTTP/1.1\r\nHost: x\r\n\r\n");
    ReadAll(stream, 300);
    server.Signal(SIGTERM);
    auto started = SteadyClock::now();
    EXPECT_EQ(server.Wait(12000), 0);
    EXPECT_LT(Elapsed(started), 3000);
    EXPECT_NE(server.Log().find("snapora-server: stopped"), std::string::npos);
    ::close(stream);
}

// An upload that is still arriving when SIGTERM comes is finished and answered before the server ends.
TEST(Http, SigtermLetsARunningUploadFinish) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    const std::string jpeg = MakeJpeg(120, 90);
    const std::string request = ProgramUpload(jpeg);
    int fd = Connect(server.Port());
    ASSERT_TRUE(SendAll(fd, request.substr(0, request.size() / 2)));
    std::this_thread::sleep_for(300ms);
    server.Signal(SIGTERM);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(SendAll(fd, request.substr(request.size() / 2)));
    HttpReply reply = ParseReply(ReadAll(fd, 5000));
    ::close(fd);
    ASSERT_EQ(reply.body.rfind("ok|", 0), 0u) << reply.body;
    EXPECT_EQ(server.Wait(12000), 0);
    EXPECT_EQ(Connect(server.Port()), -1);  // gone

    ServerProcess again(folder.Path() + "/data");
    EXPECT_EQ(Get(again.Port(), PathOf(reply.body.substr(7)) + ".jpg").body, jpeg);
}

// Killed in the middle of a burst: every upload answered "ok" serves exactly
// its bytes after the restart, and nothing half-written is left anywhere.
TEST(Http, SigkillDuringABurstLosesNoAnsweredUpload) {
    TempFolder folder;
    const std::string data = folder.Path() + "/data";
    std::vector<std::pair<std::string, std::string>> answered;  // address, bytes
    {
        ServerProcess server(data);
        std::mutex mutex;
        std::atomic<bool> go{true};
        std::vector<std::thread> clients;
        for (int c = 0; c < 6; ++c) {
            clients.emplace_back([&, c] {
                for (int i = 0; go; ++i) {
                    std::string jpeg = MakeJpeg(200 + c, 150 + i % 50);
                    HttpReply reply = Exchange(server.Port(), ProgramUpload(jpeg), 3000);
                    if (reply.body.rfind("ok|", 0) != 0) continue;
                    std::lock_guard lock(mutex);
                    answered.emplace_back(reply.body.substr(7), jpeg);
                }
            });
        }
        std::this_thread::sleep_for(1500ms);
        server.Signal(SIGKILL);
        EXPECT_EQ(server.Wait(5000), 128 + SIGKILL);
        go = false;
        for (auto& t : clients) t.join();
    }
    ASSERT_GT(answered.size(), 5u);

    ServerProcess restarted(data);
    for (const auto& [address, bytes] : answered)
        EXPECT_EQ(Get(restarted.Port(), PathOf(address) + ".jpg").body, bytes) << address;
    EXPECT_TRUE(std::filesystem::is_empty(data + "/staging"));
    const std::size_t records = RecordedScreenshots(data);
    std::size_t files = 0, thumbnails = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data + "/pictures"))
        ++(entry.path().string().find(".thumb.jpg") == std::string::npos ? files : thumbnails);
    EXPECT_EQ(files, records);  // no picture without its record
    EXPECT_LE(thumbnails, records);
    EXPECT_GE(records, answered.size());
}

}  // namespace snapora::server::testing
