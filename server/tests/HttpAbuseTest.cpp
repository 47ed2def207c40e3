// snapora-server under attack from one address, over real HTTP on loopback:
// others are still served, and every refusal keeps the program's reply forms.
// Each attack is bounded in count and time.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "HttpClient.h"
#include "ServerProcess.h"
#include "TestSupport.h"

namespace snapora::server::testing {

namespace {

using namespace std::chrono_literals;


// Opens `count` connections from `from` and sends each `head`.
std::vector<int> Hold(int port, const std::string& from, int count, const std::string& head) {
    std::vector<int> held;
    for (int i = 0; i < count; ++i) {
        held.push_back(Connect(port, from));
        SendAll(held.back(), head);
    }
    return held;
}

void CloseAll(const std::vector<int>& fds) {
    for (int fd : fds) ::close(fd);
}

// Sends all requests at once on connections opened first, then reads every reply.
std::vector<HttpReply> AllAtOnce(int port, const std::string& from, const std::vector<std::string>& requests) {
    std::vector<int> fds;
    for (std::size_t i = 0; i < requests.size(); ++i) fds.push_back(Connect(port, from));
    for (std::size_t i = 0; i < requests.size(); ++i) SendAll(fds[i], requests[i]);
    std::vector<HttpReply> replies;
    for (int fd : fds) replies.push_back(ParseReply(ReadAll(fd, 10000)));
    CloseAll(fds);
    return replies;
}

}  // namespace

// Connections beyond an address's share are closed at once; a head that
// trickles in and a body slower than the minimum rate are closed at their
// deadline; meanwhile another address is served.
TEST(HttpAbuse, OneAddressCannotHoldTheConnectionsOfOthers) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data",
                         {"--max-per-address", "4", "--head-timeout", "2", "--min-rate", "100000"});
    const int port = server.Port();
    std::vector<int> heads = Hold(port, "127.0.0.2", 8, "GET / HTTP/1.1\r\nHost: x\r\n");
    std::vector<int> bodies = Hold(port, "127.0.0.3", 1,
                                   "POST /upload.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
                                   "boundary=b\r\nContent-Length: 200000\r\n\r\n--b\r\n");
    int refused = 0;
    for (int fd : heads) refused += ClosedByServer(fd, 300);
    EXPECT_EQ(refused, 4);  // beyond the share of four
    EXPECT_EQ(Get(port, "/").status, 200);

    // One byte every 200 ms keeps a connection busy, never idle: the deadline closes it.
    const auto started = std::chrono::steady_clock::now();
    bool allClosed = false;
    while (!allClosed && std::chrono::steady_clock::now() - started < 6s) {
        allClosed = true;
        for (int fd : heads) allClosed &= !SendAll(fd, "X") || ClosedByServer(fd, 0);
        allClosed &= !SendAll(bodies[0], "x") || ClosedByServer(bodies[0], 0);
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_TRUE(allClosed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_TRUE(Contains(server.Log(), "closed a connection from 127.0.0.2: request head not complete in time"));
    EXPECT_TRUE(Contains(server.Log(), "closed a connection from 127.0.0.3: request body too slow"));
    CloseAll(heads);
    CloseAll(bodies);
    EXPECT_EQ(Get(port, "/", "", "127.0.0.2").status, 200);  // and the address is welcome again
}

// Streams are capped per address and in all (per session too); a refused one
// is told to come back later, an admitted one ends after its lifetime.
TEST(HttpAbuse, EventStreamsAreCappedAndEndAfterTheirLifetime) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data", {"--max-streams", "6", "--stream-lifetime", "1"});
    const int port = server.Port();
    ASSERT_EQ(Get(port, "/loginsession.php?sessionname=team").body, "ok team");
    const std::string request = "GET /~team/events HTTP/1.1\r\nHost: x\r\n\r\n";
    struct Case { const char* from; bool admitted; } cases[] = {
        {"127.0.0.2", true}, {"127.0.0.2", true}, {"127.0.0.2", true}, {"127.0.0.2", true},
        {"127.0.0.2", false},  // four per address
        {"127.0.0.3", true}, {"127.0.0.3", true},
        {"127.0.0.4", false},  // six in all
    };
    std::vector<int> open;
    for (const Case& c : cases) {
        int fd = Connect(port, c.from);
        SendAll(fd, request);
        const std::string head = ReadAll(fd, 300);
        EXPECT_TRUE(Contains(head, c.admitted ? "retry: 1000" : "retry: 30000")) << c.from << head;
        open.push_back(fd);
    }
    // The keep-alive round (every five seconds) ends streams past their lifetime.
    int ended = 0;
    for (int fd : open) ended += ClosedByServer(fd, 7000);
    EXPECT_EQ(ended, 8);
    CloseAll(open);
    int again = Connect(port, "127.0.0.4");
    SendAll(again, request);
    EXPECT_TRUE(Contains(ReadAll(again, 300), "retry: 1000"));
    ::close(again);
}

// Password work runs on a small pool; one address gets two places in it, and
// what finds no place is answered at once: the program's request with a
// text, a page with 503 and Retry-After.
TEST(HttpAbuse, PasswordWorkWithoutRoomIsAnsweredBusyAtOnce) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    const int port = server.Port();
    const std::string test = ProgramPost("/account.htm?action=testlogin", {{"username", "niemand"}, {"password", "x"}});
    int busy = 0;
    for (const HttpReply& reply : AllAtOnce(port, "127.0.0.2", std::vector<std::string>(6, test))) {
        EXPECT_EQ(reply.status, 200);
        busy += reply.body == "Der Server ist gerade ausgelastet. Bitte versuchen Sie es gleich noch einmal.";
        EXPECT_TRUE(reply.body == "wrong" || Contains(reply.body, "ausgelastet")) << reply.body;
    }
    EXPECT_GE(busy, 3);

    HttpReply form = Get(port, "/account.htm?action=login", "", "127.0.0.3");
    const std::string cookie = "snapora_form=" + CookieValue(form, "snapora_form");
    const std::string marker = "name=\"csrf\" value=\"";
    const std::string csrf = form.body.substr(form.body.find(marker) + marker.size(), 64);
    const std::string body = "username=niemand&password=x&csrf=" + csrf;
    const std::string login = "POST /account.htm?action=login HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: " +
                              cookie + "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
    int unavailable = 0;
    for (const HttpReply& reply : AllAtOnce(port, "127.0.0.3", std::vector<std::string>(6, login))) {
        if (reply.status != 503) continue;
        ++unavailable;
        EXPECT_EQ(reply.Header("retry-after"), "5");
    }
    EXPECT_GE(unavailable, 3);
}

// One table of hostile requests, each against a server set up for it.
TEST(HttpAbuse, HostileRequestsGetTheProgramsReplyForms) {
    const std::string jpeg = MakeJpeg(400, 300), large = MakeJpeg(2000, 1500);
    const long diskLimit = 300000;  // the database fits, the large picture does not
    ASSERT_GT(large.size(), std::size_t(diskLimit));
    std::string giant = jpeg;  // a few hundred bytes that claim 65500 x 65500 pixels
    giant.replace(giant.find("\xFF\xC0") + 5, 4, "\xFF\xDC\xFF\xDC");
    giant.resize(giant.find("\xFF\xDA") + 40);
    std::string garbage = jpeg.substr(0, jpeg.find("\xFF\xDA") + 14) + std::string(20000, '\x55') + "\xFF\xD9";
    std::vector<FormPart> fields;
    for (int i = 0; i < 63; ++i) fields.push_back({"field" + std::to_string(i), std::string(64 * 1024, 'f')});
    const std::string notJpeg = "Die hochgeladene Datei ist kein JPEG-Bild.";
    struct Case {
        const char* what;
        std::vector<std::string> options;
        long fileSizeLimit;
        std::string request, reply;
    } cases[] = {
        {"a header followed by anything", {}, 0, ProgramUpload(garbage), notJpeg},
        {"a small file claiming 65500 x 65500", {}, 0, ProgramUpload(giant), notJpeg},
        {"63 text fields of 64 KiB", {}, 0, ProgramPost("/upload.php", fields),
         "Die Anfrage war unvollst\xE4ndig oder fehlerhaft."},
        {"beyond the day's quota", {"--quota-anonymous", "1000"}, 0, ProgramUpload(jpeg),
         "Das Tageskontingent f\xFCr Uploads ist ersch\xF6pft. Bitte versuchen Sie es morgen noch einmal."},
        {"below the free-space floor", {"--min-free", "1125899906842624"}, 0, ProgramUpload(jpeg),
         "Der Server hat zurzeit keinen Speicherplatz frei. Bitte versuchen Sie es sp\xE4ter noch einmal."},
        {"a full disk", {}, diskLimit, ProgramUpload(large),
         "Der Screenshot konnte nicht gespeichert werden. Bitte versuchen Sie es sp\xE4ter noch einmal."},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        ServerProcess server(folder.Path() + "/data", c.options, c.fileSizeLimit);
        HttpReply reply = Exchange(server.Port(), c.request, 10000);
        EXPECT_EQ(reply.status, 200) << c.what;
        EXPECT_EQ(reply.body, c.reply) << c.what;
        EXPECT_EQ(Get(server.Port(), "/").status, 200) << c.what;
    }
}

// Past its burst (and the rate that refills it), an address's requests wait
// a second each; others' do not.
TEST(HttpAbuse, AFloodFromOneAddressIsPaced) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    int firstPaced = 0;
    for (int i = 1; i <= 600 && !firstPaced; ++i) {
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_EQ(Get(server.Port(), "/faq.htm", "", "127.0.0.2").status, 200);
        if (std::chrono::steady_clock::now() - sent >= 900ms) firstPaced = i;
    }
    EXPECT_GT(firstPaced, 200);
    EXPECT_EQ(Get(server.Port(), "/").status, 200);
}

// Guessing names: past 60 unknown names in 5 minutes an address hears 429,
// for names that exist too; other addresses are not affected.
TEST(HttpAbuse, GuessingNamesIsAnsweredTooManyRequests) {
    TempFolder folder;
    ServerProcess server(folder.Path() + "/data");
    const std::string address = Exchange(server.Port(), ProgramUpload(MakeJpeg(40, 30))).body.substr(7);
    for (int i = 0; i < 60; ++i) ASSERT_EQ(Get(server.Port(), "/guess" + std::to_string(i), "", "127.0.0.2").status, 404);
    HttpReply refused = Get(server.Port(), PathOf(address), "", "127.0.0.2");
    EXPECT_EQ(refused.status, 429);
    EXPECT_EQ(refused.Header("retry-after"), "300");
    EXPECT_EQ(Get(server.Port(), PathOf(address)).status, 200);
    EXPECT_EQ(Get(server.Port(), "/guess").status, 404);
}

}  // namespace snapora::server::testing
