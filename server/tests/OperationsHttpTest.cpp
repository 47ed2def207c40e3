// The operator's side of the real snapora-server over loopback: the
// configuration file, retention at work, one server per data folder, and a
// backup taken in the middle of a load that restores every answered upload.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "HttpClient.h"
#include "ServerProcess.h"
#include "TestSupport.h"

namespace snapora::server::testing {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void Sql(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::size_t Pictures(const std::string& folder) {
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        n += entry.path().string().find(".thumb.") == std::string::npos;
    return n;
}

}  // namespace

TEST(HttpOperations, ConfigurationFileRetentionAndOneServerPerFolder) {
    TempFolder folder;
    const std::string data = folder.Path() + "/data", config = folder.Path() + "/snapora-server.conf";
    std::ofstream(config) << "# as packaged, with a shorter memory\nkeep-days = 3\nlatest-version = 4.3\n";
    std::vector<std::string> names;
    {
        ServerProcess server(data, {"--config", config});
        HttpReply login = Get(server.Port(), "/loginsession.php?sessionname=team");
        ASSERT_EQ(login.body, "ok team");
        const std::string owner = "snapora_client=" + CookieValue(login, "snapora_client");
        for (const char* session : {"team", "", ""}) {
            HttpReply reply = Exchange(server.Port(), ProgramUpload(MakeJpeg(80, 60), "x", owner, session));
            ASSERT_EQ(reply.body.rfind("ok|4.3|", 0), 0u) << reply.body;  // the file's latest-version
            names.push_back(PathOf(reply.body.substr(7)).substr(1));
        }
        // The pool makes each thumbnail soon after its upload.
        std::size_t files = 0;
        for (int i = 0; i < 100 && (files = std::size_t(std::distance(fs::directory_iterator(data + "/pictures"),
                                                                     fs::directory_iterator()))) < 6; ++i)
            std::this_thread::sleep_for(20ms);
        EXPECT_EQ(files, 6u);  // three pictures, three thumbnails
        // A second server on the same folder would clear the first one's uploads in flight: it refuses to start.
        auto [status, output] = RunProgram({"--listen", "127.0.0.1:0", "--data", data});
        EXPECT_EQ(status, 1);
        EXPECT_NE(output.find("another snapora-server is using the data folder"), std::string::npos) << output;
        server.Signal(SIGTERM);
        ASSERT_EQ(server.Wait(12000), 0);
    }
    // Four days pass for the first two.
    Sql(data + "/snapora.db", "UPDATE screenshots SET uploaded_at = uploaded_at - 4 * 86400 WHERE name IN ('" +
                                  names[0] + "', '" + names[1] + "');"
                                  "UPDATE sessions SET last_active = last_active - 4 * 86400");

    ServerProcess server(data, {"--config", config});
    for (int i = 0; i < 100 && server.Log().find("deleted 2 screenshot(s)") == std::string::npos; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_NE(server.Log().find("deleted 2 screenshot(s) older than 3 days and 1 empty session(s)"), std::string::npos)
        << server.Log();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int expected = i < 2 ? 404 : 200;
        EXPECT_EQ(Get(server.Port(), "/" + names[i]).status, expected) << names[i];
        EXPECT_EQ(Get(server.Port(), "/" + names[i] + ".jpg").status, expected) << names[i];
    }
    EXPECT_EQ(Get(server.Port(), "/~team").status, 404);
    EXPECT_EQ(Pictures(data + "/pictures"), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(data + "/pictures"), fs::directory_iterator()), 2);  // and its thumbnail
}

// While six clients upload, a backup is taken; restored into a new folder, it
// serves every upload answered before the backup began, byte for byte, and
// holds no record without its picture.
TEST(HttpOperations, BackupDuringALoadRestoresEveryUploadAnsweredBeforeIt) {
    TempFolder folder;
    const std::string data = folder.Path() + "/data", backup = folder.Path() + "/backup";
    const std::string restored = folder.Path() + "/restored";
    struct Answered {
        std::string address, bytes;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Answered> answered;
    std::chrono::steady_clock::time_point backupStarted;
    {
        ServerProcess server(data);
        std::mutex mutex;
        std::atomic<bool> go{true};
        std::vector<std::thread> clients;
        for (int c = 0; c < 6; ++c)
            clients.emplace_back([&, c] {
                for (int i = 0; go; ++i) {
                    std::string jpeg = MakeJpeg(160 + c, 120 + i % 40);
                    HttpReply reply = Exchange(server.Port(), ProgramUpload(jpeg, "x"), 5000);
                    if (reply.body.rfind("ok|", 0) != 0) continue;
                    std::lock_guard lock(mutex);
                    answered.push_back({reply.body.substr(7), jpeg, std::chrono::steady_clock::now()});
                }
            });
        std::this_thread::sleep_for(1000ms);
        backupStarted = std::chrono::steady_clock::now();
        auto [status, output] = RunProgram({"backup", "--data", data, "--to", backup});
        EXPECT_EQ(status, 0) << output;
        EXPECT_NE(output.find("snapora-server: backup of "), std::string::npos) << output;
        std::this_thread::sleep_for(500ms);  // and the load goes on
        go = false;
        for (auto& t : clients) t.join();
    }
    std::size_t before = 0;
    for (const Answered& a : answered) before += a.at < backupStarted;
    ASSERT_GT(before, 5u);
    ASSERT_GT(answered.size(), before);  // some came after it, too

    auto [status, output] = RunProgram({"restore", "--from", backup, "--data", restored});
    ASSERT_EQ(status, 0) << output;
    ServerProcess server(restored);
    for (const Answered& a : answered) {
        if (a.at < backupStarted) {
            EXPECT_EQ(Get(server.Port(), PathOf(a.address) + ".jpg").body, a.bytes) << a.address;
        }
    }
    const std::size_t records = RecordedScreenshots(restored);
    EXPECT_GE(records, before);
    EXPECT_EQ(Pictures(restored + "/pictures"), records);  // every record has its picture, and no more
}

}  // namespace snapora::server::testing
