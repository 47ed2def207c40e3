// Several snapora-server instances on one PostgreSQL database, some behind
// haproxy: live pages across instances, an instance killed and the database
// restarted under load, and moving a SQLite data folder over.

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "Balancer.h"
#include "HttpClient.h"
#include "PgCluster.h"
#include "ServerProcess.h"
#include "TestSupport.h"

namespace snapora::server::testing {

namespace {

using namespace std::chrono_literals;

// Windows-1252, as the program reads them.
constexpr const char* Unavailable =
    "Der Dienst ist gerade nicht erreichbar. Bitte versuchen Sie es in einer Minute noch einmal.";
constexpr const char* NotStored =
    "Der Screenshot konnte nicht gespeichert werden. Bitte versuchen Sie es sp\xE4ter noch einmal.";

std::unique_ptr<ServerProcess> Instance(const std::string& data, const std::string& database) {
    return std::make_unique<ServerProcess>(data, std::vector<std::string>{"--database", database, "--behind-proxy"});
}

// Uploads from several clients at once until stopped, sorting every outcome.
class Load {
public:
    Load(int port, int clients) {
        for (int i = 0; i < 12; ++i) pictures_.push_back(MakeJpeg(160 + i, 120));
        for (int c = 0; c < clients; ++c)
            threads_.emplace_back([this, port, c] {
                const std::string from = "127.0.0." + std::to_string(10 + c);  // a user on a line of their own
                for (int i = 0; go_; ++i)
                    if (!Record(Exchange(port, ProgramUpload(Picture(c + i)), 10000, from), Picture(c + i)))
                        std::this_thread::sleep_for(50ms);  // as a person would, a moment before trying again
            });
    }
    ~Load() { Stop(); }
    void Stop() {
        go_ = false;
        for (auto& t : threads_)
            if (t.joinable()) t.join();
    }

    std::vector<std::pair<std::string, std::string>> answered;  // address, bytes
    int broken = 0;                  // no reply at all
    std::vector<int> statuses;       // replies other than 200
    std::vector<std::string> texts;  // status 200 but not "ok|"

private:
    const std::string& Picture(int n) const { return pictures_[std::size_t(n) % pictures_.size()]; }
    // true for an upload answered "ok".
    bool Record(const HttpReply& reply, const std::string& bytes) {
        std::lock_guard lock(mutex_);
        if (reply.status == 0) ++broken;
        else if (reply.status != 200) statuses.push_back(reply.status);
        else if (reply.body.rfind("ok|", 0) == 0) answered.emplace_back(reply.body.substr(7), bytes);
        else texts.push_back(reply.body);
        return reply.status == 200 && reply.body.rfind("ok|", 0) == 0;
    }

    std::vector<std::string> pictures_;
    std::atomic<bool> go_{true};
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

// Every answered upload, byte for byte, from each of the instances.
void ExpectAllServed(const Load& load, const std::vector<int>& ports) {
    for (int port : ports)
        for (const auto& [address, bytes] : load.answered)
            EXPECT_EQ(Get(port, PathOf(address) + ".jpg").body, bytes) << address << " from port " << port;
}

// Nothing half-stored: every picture belongs to a screenshot and every screenshot has its picture.
void ExpectWholeRecords(const std::string& database, std::size_t atLeast) {
    PgCluster& pg = PgCluster::Shared();
    EXPECT_EQ(pg.Query(database, "SELECT count(*) FROM pictures p LEFT JOIN screenshots s ON s.file_key = p.key"
                                 " WHERE s.id IS NULL"),
              "0");
    EXPECT_EQ(pg.Query(database, "SELECT count(*) FROM screenshots"), pg.Query(database, "SELECT count(*) FROM pictures"));
    EXPECT_GE(std::stoul(pg.Query(database, "SELECT count(*) FROM screenshots")), atLeast);
}

// A session's event stream held open on an instance.
int OpenEventStream(int port, const std::string& session) {
    int stream = Connect(port);
    SendAll(stream, "GET /~" + session + "/events?after=0 HTTP/1.1\r\nHost: x\r\nAccept: text/event-stream\r\n\r\n");
    EXPECT_NE(ReadAll(stream, 500).find("retry: 1000"), std::string::npos);
    return stream;
}

// The session's owner: the cookie of the client that opened it.
std::string OpenSession(int port, const std::string& session) {
    HttpReply login = Get(port, "/loginsession.php?sessionname=" + session);
    EXPECT_EQ(login.body, "ok " + session);
    return "snapora_client=" + CookieValue(login, "snapora_client");
}

// How long an upload by the session's owner through one instance takes to show on a stream held open on another.
long MillisecondsUntilSeen(int stream, int uploadPort, const std::string& owner, const std::string& session,
                           const std::string& description) {
    auto sent = SteadyClock::now();
    HttpReply uploaded = Exchange(uploadPort, ProgramUpload(MakeJpeg(40, 30), description, owner, session));
    EXPECT_EQ(uploaded.body.substr(0, 3), "ok|") << uploaded.body;
    const std::string expected = "\"description\":\"" + description + "\"";
    std::string event;
    while (event.find(expected) == std::string::npos && Elapsed(sent) < 5000) event += ReadAll(stream, 100);
    EXPECT_NE(event.find(expected), std::string::npos) << event;
    return Elapsed(sent);
}

long MillisecondsUntilSeenElsewhere(int uploadPort, int pagePort, const std::string& session) {
    const std::string owner = OpenSession(uploadPort, session);
    int stream = OpenEventStream(pagePort, session);
    long elapsed = MillisecondsUntilSeen(stream, uploadPort, owner, session, "Folie " + session);
    ::close(stream);
    return elapsed;
}

}  // namespace

TEST(Cluster, ASessionPageOnOneInstanceShowsUploadsThroughAnother) {
    TempFolder folder;
    const std::string database = PgCluster::Shared().NewDatabase();
    auto a = Instance(folder.Path() + "/a", database);
    auto b = Instance(folder.Path() + "/b", database);
    EXPECT_LT(MillisecondsUntilSeenElsewhere(a->Port(), b->Port(), "ab"), 1000);
    EXPECT_LT(MillisecondsUntilSeenElsewhere(b->Port(), a->Port(), "ba"), 1000);
}

// Killed with SIGKILL under load behind the balancer: only the uploads in
// flight on the killed instance fail; every answered one is served whole by
// every instance afterwards, and nothing half-stored is left anywhere.
TEST(Cluster, OneInstanceKilledUnderLoadLosesNoAnsweredUpload) {
    TempFolder folder;
    const std::string database = PgCluster::Shared().NewDatabase();
    auto a = Instance(folder.Path() + "/a", database);
    auto b = Instance(folder.Path() + "/b", database);
    Balancer balancer({a->Port(), b->Port()});
    constexpr int Clients = 8;
    Load load(balancer.Port(), Clients);
    std::this_thread::sleep_for(1500ms);
    a->Signal(SIGKILL);
    EXPECT_EQ(a->Wait(5000), 128 + SIGKILL);
    std::this_thread::sleep_for(1500ms);
    load.Stop();

    const int failed = load.broken + int(load.statuses.size());
    std::cout << "answered " << load.answered.size() << ", failed in flight " << failed << " (" << load.broken
              << " broken connections, " << load.statuses.size() << " answered 502 by the balancer)\n";
    ASSERT_GT(load.answered.size(), 20u);
    EXPECT_LE(failed, Clients);  // at most one in flight per client
    for (int status : load.statuses) EXPECT_EQ(status, 502);
    EXPECT_TRUE(load.texts.empty()) << load.texts[0];

    auto restarted = Instance(folder.Path() + "/a", database);  // takes over the killed one's staging folder
    int stagingFolders = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path() + "/a/staging"))
        ++stagingFolders;
    EXPECT_EQ(stagingFolders, 1);
    ExpectAllServed(load, {b->Port(), restarted->Port()});
    ExpectWholeRecords(database, load.answered.size());
}

// The database restarts under load: meanwhile the program's requests get a
// German text with status 200 and pages a 503; the instances reconnect by
// themselves, live pages included, and no answered upload is lost.
TEST(Cluster, DatabaseRestartUnderLoad) {
    TempFolder folder;
    const std::string database = PgCluster::Shared().NewDatabase();
    auto a = Instance(folder.Path() + "/a", database);
    auto b = Instance(folder.Path() + "/b", database);
    Balancer balancer({a->Port(), b->Port()});
    const std::string before = Exchange(balancer.Port(), ProgramUpload(MakeJpeg(50, 50))).body.substr(7);
    const std::string owner = OpenSession(a->Port(), "vortrag");
    const int stream = OpenEventStream(b->Port(), "vortrag");  // a page that stays open throughout
    Load load(balancer.Port(), 6);
    std::this_thread::sleep_for(1000ms);

    PgCluster::Shared().Stop("immediate");
    std::this_thread::sleep_for(300ms);
    for (int port : {a->Port(), b->Port()}) {
        HttpReply login = Get(port, "/loginsession.php?sessionname=team");
        EXPECT_EQ(login.status, 200);
        EXPECT_EQ(login.body, Unavailable);
        HttpReply page = Get(port, PathOf(before));
        EXPECT_EQ(page.status, 503);
        EXPECT_EQ(page.Header("retry-after"), "30");
    }
    std::this_thread::sleep_for(5500ms);  // past a keep-alive look of the open page
    PgCluster::Shared().Start();
    auto started = SteadyClock::now();
    while (Exchange(balancer.Port(), ProgramUpload(MakeJpeg(50, 50))).body.rfind("ok|", 0) != 0 && Elapsed(started) < 20000)
        std::this_thread::sleep_for(100ms);
    std::cout << "uploads succeed again " << Elapsed(started) << " ms after the database is back\n";
    std::this_thread::sleep_for(1000ms);
    load.Stop();

    std::cout << "answered " << load.answered.size() << ", refused with a text " << load.texts.size() << "\n";
    EXPECT_EQ(load.broken, 0);
    EXPECT_TRUE(load.statuses.empty());
    EXPECT_FALSE(load.texts.empty());
    for (const std::string& text : load.texts) EXPECT_TRUE(text == NotStored || text == Unavailable) << text;
    EXPECT_EQ(a->Wait(0), -1);  // both still running
    EXPECT_EQ(b->Wait(0), -1);
    ExpectAllServed(load, {a->Port(), b->Port()});
    ExpectWholeRecords(database, load.answered.size());
    EXPECT_LT(MillisecondsUntilSeen(stream, a->Port(), owner, "vortrag", "danach"), 1000);
    ::close(stream);
}

// Limits hold for the whole service, not for each instance: failed logins
// counted on one instance throttle on the other, a day's upload quota used
// up through one is used up through the other. The operator's commands act
// on the database, for every instance at once.
TEST(Cluster, LimitsAndTheOperatorsCommandsHoldForEveryInstance) {
    TempFolder folder;
    const std::string database = PgCluster::Shared().NewDatabase();
    const std::string jpeg = MakeJpeg(40, 30);
    const std::vector<std::string> options = {"--database", database, "--quota-anonymous",
                                              std::to_string(jpeg.size() * 2)};
    ServerProcess a(folder.Path() + "/a", options), b(folder.Path() + "/b", options);
    auto testLogin = [](int port, const std::string& password) {
        const std::string request =
            ProgramPost("/account.htm?action=testlogin", {{"username", "anna"}, {"password", password}});
        return Exchange(port, request, 10000, "127.0.0.7").body;
    };
    auto command = [&](std::vector<std::string> arguments, const std::string& input = "") {
        arguments.insert(arguments.end(), {"--database", database});
        return RunProgram(arguments, input);
    };
    ASSERT_EQ(command({"account", "add", "anna"}, "geheim1\n").status, 0);
    const std::string throttled =
        "Zu viele fehlgeschlagene Anmeldungen. Bitte versuchen Sie es in einigen Minuten noch einmal.";
    struct Step { int port; std::string password, reply; } steps[] = {
        {b.Port(), "geheim1", "ok"},      {a.Port(), "falsch", "wrong"}, {b.Port(), "falsch", "wrong"},
        {a.Port(), "falsch", "wrong"},    {b.Port(), "falsch", "wrong"}, {a.Port(), "falsch", "wrong"},
        {b.Port(), "geheim1", throttled},  // the fifth failure was counted on the other instance
    };
    for (const Step& step : steps) EXPECT_EQ(testLogin(step.port, step.password), step.reply) << step.port;

    // Room for two pictures a day from one address, wherever they arrive.
    struct Upload { int port; std::string reply; } uploads[] = {
        {a.Port(), "ok|"}, {b.Port(), "ok|"}, {a.Port(), "Das Tageskontingent"}};
    for (const Upload& upload : uploads)
        EXPECT_EQ(Exchange(upload.port, ProgramUpload(jpeg), 10000, "127.0.0.8").body.substr(0, upload.reply.size()),
                  upload.reply);

    EXPECT_EQ(command({"account", "disable", "anna"}).status, 0);
    EXPECT_NE(command({"account", "list"}).output.find("anna\tdisabled\t"), std::string::npos);
    std::ofstream(folder.Path() + "/server.conf") << "database = " << database << "\n";
    const ProgramRun configured = RunProgram({"account", "list", "--config", folder.Path() + "/server.conf"});
    EXPECT_NE(configured.output.find("anna\tdisabled"), std::string::npos) << configured.output;
    EXPECT_EQ(command({"account", "delete", "anna"}).status, 0);
    EXPECT_TRUE(command({"account", "list"}).output.find("anna") == std::string::npos);
}

// A SQLite data folder moves into PostgreSQL whole: pictures, names, the
// key that the program's cookie was hashed with; a second run copies
// nothing twice; a picture that changed is reported.
TEST(Cluster, MigrateCopiesADataFolderOnceAndChecksEveryPicture) {
    TempFolder folder;
    const std::string data = folder.Path() + "/data";
    const std::string database = PgCluster::Shared().NewDatabase();
    std::vector<std::pair<std::string, std::string>> uploaded;  // address path, bytes
    std::string cookie, formerName;
    {
        ServerProcess sqlite(data);
        for (int i = 0; i < 3; ++i) {
            const std::string jpeg = MakeJpeg(100 + i, 80);
            HttpReply reply = Exchange(sqlite.Port(), ProgramUpload(jpeg, "", cookie));
            ASSERT_EQ(reply.body.rfind("ok|", 0), 0u) << reply.body;
            if (cookie.empty()) cookie = "snapora_client=" + CookieValue(reply, "snapora_client");
            uploaded.emplace_back(PathOf(reply.body.substr(7)), jpeg);
        }
        // A renamed one: its former name must keep leading to it, and never be given again.
        formerName = uploaded[2].first;
        const std::string rename =
            ProgramPost("/rename.php", {{"filename", formerName.substr(1)}, {"newfilename", "vorher"}}, cookie);
        ASSERT_EQ(PathOf(Exchange(sqlite.Port(), rename).body), "/vorher");
        uploaded[2].first = "/vorher";
        // The thumbnails follow the uploads after a pause.
        for (int i = 0; i < 100 && FilesIn(data + "/pictures") < 6; ++i)
            std::this_thread::sleep_for(20ms);
        sqlite.Signal(SIGTERM);
        ASSERT_EQ(sqlite.Wait(12000), 0);
    }
    auto migrate = [&] { return RunProgram({"migrate", "--data", data, "--database", database}); };
    // Three screenshots, the secret key and a former name.
    for (const char* tally : {"records: 5 copied, 0 already there; pictures: 3 copied, 0 already there, 3 checked",
                              "records: 0 copied, 5 already there; pictures: 0 copied, 3 already there, 3 checked"}) {
        ProgramRun run = migrate();
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(tally), std::string::npos) << run.output;
    }
    int thumbnails = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data + "/pictures"))
        thumbnails += entry.path().string().find(".thumb.jpg") != std::string::npos;
    EXPECT_GT(thumbnails, 0);  // made with the uploads
    EXPECT_EQ(PgCluster::Shared().Query(database, "SELECT count(*) FROM thumbnails"), std::to_string(thumbnails));

    // A picture file that changed since its copy no longer matches the database's.
    const std::string key = PgCluster::Shared().Query(
        database, "SELECT file_key FROM screenshots WHERE name = '" + uploaded[1].first.substr(1) + "'");
    std::ofstream(data + "/pictures/" + key + ".jpg", std::ios::app) << "x";
    ProgramRun changed = migrate();
    EXPECT_EQ(changed.status, 1);
    EXPECT_NE(changed.output.find("PROBLEM: screenshots id"), std::string::npos) << changed.output;
    EXPECT_NE(changed.output.find("differs from " + data + "/pictures/" + key + ".jpg"), std::string::npos)
        << changed.output;

    auto postgres = Instance(folder.Path() + "/pg", database);
    for (const auto& [path, bytes] : uploaded) EXPECT_EQ(Get(postgres->Port(), path + ".jpg").body, bytes) << path;
    EXPECT_EQ(Get(postgres->Port(), formerName).Header("location"), "/vorher");
    const std::string name = uploaded[0].first.substr(1);
    HttpReply renamed = Exchange(
        postgres->Port(), ProgramPost("/rename.php", {{"filename", name}, {"newfilename", "umgezogen"}}, cookie));
    EXPECT_EQ(renamed.body, "http://127.0.0.1:" + std::to_string(postgres->Port()) + "/umgezogen");
    // New ids clear the copied ones.
    EXPECT_EQ(Exchange(postgres->Port(), ProgramUpload(MakeJpeg(10, 10))).body.rfind("ok|", 0), 0u);
}

}  // namespace snapora::server::testing
