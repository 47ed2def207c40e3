#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <random>

#include "PgCluster.h"
#include "store/postgres/PgSchema.h"
#include "TestSupport.h"

namespace snapora::server {

using testing::PgCluster;
using testing::FilesIn;
using testing::ReadFile;
using testing::ServerWorld;

namespace fs = std::filesystem;

namespace {

std::string NoiseBytes(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(random());
    return bytes;
}

// Runs SQL on a SQLite database file; the first value of the first row.
std::string SqliteQuery(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string value;
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int, char** values, char**) {
            if (values[0]) *static_cast<std::string*>(out) = values[0];
            return 0;
        },
        &value, nullptr);
    sqlite3_close(db);
    return value;
}

// The contract every store keeps, run against SQLite and against PostgreSQL.
struct StoreContract : ::testing::TestWithParam<std::string> {
    bool Postgres() const { return GetParam() == "PostgreSQL"; }
    std::string database = Postgres() ? PgCluster::Shared().NewDatabase() : "";
    ServerWorld world{database};

    // The schema version as the database records it.
    std::string Version() {
        return Postgres() ? PgCluster::Shared().Query(database, "SELECT version FROM snapora_schema")
                          : SqliteQuery(world.folder.Path() + "/snapora.db", "PRAGMA user_version");
    }
    void SetVersion(int version) {
        if (Postgres())
            PgCluster::Shared().Query(database, "UPDATE snapora_schema SET version = " + std::to_string(version));
        else
            SqliteQuery(world.folder.Path() + "/snapora.db", "PRAGMA user_version = " + std::to_string(version));
    }
};

}  // namespace

// A picture is kept under a key the server chose, never under a client's name,
// and read back whole, in pieces, however large it is.
TEST_P(StoreContract, KeepsPictureAndRecordTogether) {
    for (const std::string& picture : {testing::MakeJpeg(20, 10), NoiseBytes(1300 * 1000)}) {
        UploadedFile staged = world.Stage(picture);
        NewScreenshot n;
        n.description = "x'); DROP TABLE screenshots; -- \"Grüße\"";
        n.clientHash = "hash";
        n.uploadedAt = 42;
        Screenshot stored = world.store->AddScreenshot(n, staged.path);

        EXPECT_FALSE(fs::exists(staged.path));
        EXPECT_EQ(testing::ReadPicture(world.store->OpenPicture(stored)), picture);
        std::optional<Screenshot> found = world.store->FindScreenshot(stored.name);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->description, n.description);  // metacharacters are data, not SQL
        EXPECT_EQ(found->size, std::int64_t(picture.size()));
        EXPECT_EQ(found->uploadedAt, 42);
        EXPECT_EQ(found->fileKey, stored.fileKey);
        EXPECT_NE(found->fileKey, stored.name);
    }
    Screenshot stored = world.store->AddScreenshot(NewScreenshot{}, world.Stage("one").path);
    EXPECT_TRUE(world.store->RenameScreenshot(stored.id, "neu"));
    EXPECT_FALSE(world.store->FindScreenshot(stored.name));
    Screenshot other = world.store->AddScreenshot(NewScreenshot{}, world.Stage("two").path);
    EXPECT_FALSE(world.store->RenameScreenshot(other.id, "neu"));  // taken

    world.store->DeleteScreenshot(stored.id);
    EXPECT_FALSE(world.store->FindScreenshot("neu"));
    EXPECT_FALSE(world.store->OpenPicture(stored));
    EXPECT_EQ(testing::ReadPicture(world.store->OpenPicture(other)), "two");
}

TEST_P(StoreContract, SessionsJoinWhileLiveAndStartAfreshAfterIdling) {
    Store& store = *world.store;
    Session first = store.OpenSession("team", 1000, 60);
    EXPECT_EQ(store.OpenSession("team", 1050, 60).id, first.id);       // joined
    EXPECT_TRUE(store.TouchSession("team", 1100, 60));                 // 50 s after the join
    EXPECT_FALSE(store.TouchSession("team", 1161, 60));                // idle too long
    EXPECT_FALSE(store.TouchSession("other", 1100, 60));
    Session second = store.OpenSession("team", 1200, 60);
    EXPECT_NE(second.id, first.id);
    EXPECT_EQ(store.FindSession("team")->id, second.id);

    NewScreenshot n;
    n.sessionId = second.id;
    std::int64_t a = store.AddScreenshot(n, world.Stage("a").path).id;
    std::int64_t b = store.AddScreenshot(n, world.Stage("b").path).id;
    std::vector<Screenshot> shots = store.ScreenshotsOfSession(second.id);
    ASSERT_EQ(shots.size(), 2u);
    EXPECT_EQ(shots[0].id, b);  // newest first
    EXPECT_EQ(store.ScreenshotsOfSession(second.id, a).size(), 1u);
    EXPECT_TRUE(store.ScreenshotsOfSession(first.id).empty());
}

TEST_P(StoreContract, AccountsAndLogins) {
    Store& store = *world.store;
    std::optional<Account> anna = store.CreateAccount("Anna", "$argon2id$x", 5);
    ASSERT_TRUE(anna);
    EXPECT_FALSE(store.CreateAccount("anna", "$argon2id$y", 6));  // names differ only in case
    EXPECT_TRUE(store.CreateAccount("änna", "$argon2id$z", 6));   // beyond ASCII, case is not folded
    EXPECT_EQ(store.FindAccount("ANNA")->id, anna->id);
    EXPECT_FALSE(store.FindAccount("' OR 1=1 --"));

    store.AddLogin("tokenhash", anna->id, 100);
    EXPECT_EQ(store.FindLogin("tokenhash", 99)->userName, "Anna");
    EXPECT_FALSE(store.FindLogin("tokenhash", 100));  // expired
    store.RemoveLogin("tokenhash");
    EXPECT_FALSE(store.FindLogin("tokenhash", 50));

    NewScreenshot n;
    n.accountId = anna->id;
    store.AddScreenshot(n, world.Stage("x").path);
    EXPECT_EQ(store.ScreenshotsOfAccount(anna->id).size(), 1u);

    EXPECT_EQ(store.Setting("secret", "first"), "first");
    EXPECT_EQ(store.Setting("secret", "second"), "first");
}

// A new server upgrades an older schema and keeps what it held; it refuses a newer one.
TEST_P(StoreContract, SchemaVersions) {
    const std::string current = Version();
    EXPECT_EQ(current, std::to_string(Postgres() ? PgSchemaVersion() : SqliteStore::SchemaVersion()));
    world.store->Setting("secret", "kept");
    world.store.reset();

    SetVersion(std::stoi(current) + 1);
    try {
        testing::OpenStore(world.folder.Path(), database);
        ADD_FAILURE() << "a newer schema was accepted";
    } catch (const StoreError& error) {
        EXPECT_NE(std::string(error.what()).find("newer"), std::string::npos) << error.what();
    }
    SetVersion(std::stoi(current));
    EXPECT_EQ(testing::OpenStore(world.folder.Path(), database)->Setting("secret", "new"), "kept");
}

// Made once, kept with the picture, gone with it; one made late for a screenshot already gone is not kept.
TEST_P(StoreContract, ThumbnailsLiveAndDieWithTheirScreenshot) {
    Screenshot shot = world.Add(100);
    EXPECT_FALSE(world.store->LoadThumbnail(shot));
    std::optional<std::string> made = world.thumbnails.Get(shot);
    ASSERT_TRUE(made);
    EXPECT_EQ(world.store->LoadThumbnail(shot), made);
    EXPECT_EQ(FilesIn(world.store->StagingFolder()), 0);
    EXPECT_EQ(world.StoredPictures(), 2);

    world.store->DeleteScreenshot(shot.id);
    EXPECT_EQ(world.StoredPictures(), 0);
    world.store->SaveThumbnail(shot, *made);  // late, for a screenshot already gone
    EXPECT_EQ(world.StoredPictures(), 0);
    EXPECT_FALSE(world.store->LoadThumbnail(shot));
    EXPECT_EQ(FilesIn(world.store->StagingFolder()), 0);
}

TEST_P(StoreContract, DeletingByAgeAccountOrWholeAccountTakesRecordsPicturesAndLogins) {
    Store& store = *world.store;
    const std::int64_t anna = store.CreateAccount("anna", "$argon2id$a", 1)->id;
    const std::int64_t ben = store.CreateAccount("ben", "$argon2id$b", 1)->id;
    Session team = store.OpenSession("team", 1000, 60);
    std::vector<Screenshot> shots = {world.Add(1000, anna, team.id), world.Add(2000, ben), world.Add(3000, anna),
                                     world.Add(4000)};
    EXPECT_EQ(store.Totals().screenshots, 4);
    const std::int64_t bytesEach = shots[0].size;
    EXPECT_EQ(store.Totals().bytes, 4 * bytesEach);

    std::vector<Screenshot> old = store.DeleteScreenshotsBefore(3500, 2);  // the oldest two of three
    ASSERT_EQ(old.size(), 2u);
    EXPECT_EQ(old[0].id, shots[0].id);
    EXPECT_EQ(old[1].id, shots[1].id);
    EXPECT_FALSE(store.FindScreenshot(shots[0].name));
    EXPECT_TRUE(store.FindScreenshot(shots[2].name));
    EXPECT_EQ(world.StoredPictures(), 2);
    EXPECT_EQ(store.Totals().screenshots, 2);
    EXPECT_EQ(store.RemoveEmptySessions(1500), 1);  // team idled since 1000 and is empty now
    EXPECT_FALSE(store.FindSession("team"));

    store.AddLogin("token-a", anna, 10000);
    store.AddLogin("token-b", ben, 10000);
    store.SetPasswordHash(ben, "$argon2id$new");
    EXPECT_EQ(store.FindAccount("ben")->passwordHash, "$argon2id$new");
    EXPECT_FALSE(store.FindLogin("token-b", 5000));  // every login ended
    EXPECT_EQ(store.FindLogin("token-a", 5000)->id, anna);

    EXPECT_EQ(store.DeleteScreenshotsOfAccount(ben).size(), 0u);
    std::vector<Screenshot> annas = store.DeleteAccount(anna);
    ASSERT_EQ(annas.size(), 1u);
    EXPECT_EQ(annas[0].id, shots[2].id);
    EXPECT_FALSE(store.FindAccount("anna"));
    EXPECT_FALSE(store.FindLogin("token-a", 5000));
    EXPECT_TRUE(store.CreateAccount("anna", "$argon2id$c", 2));  // the name is free again
    EXPECT_TRUE(store.FindScreenshot(shots[3].name));
    EXPECT_EQ(world.StoredPictures(), 1);
    EXPECT_EQ(store.Totals().screenshots, 1);
    EXPECT_EQ(store.Totals().bytes, bytesEach);
}

// Limits count per minute: a window takes the minutes that begin within it.
TEST_P(StoreContract, CountsAddUpPerKeyAndWindow) {
    Store& store = *world.store;
    store.Count("a", 2, 6000);
    store.Count("a", 3, 6059);
    store.Count("a", 4, 6060);
    store.Count("b", 100, 6060);
    EXPECT_EQ(store.Counted("a", 6000), 9);
    EXPECT_EQ(store.Counted("a", 6001), 4);
    EXPECT_EQ(store.Counted("a", 6061), 0);
    store.Forget("a");
    EXPECT_EQ(store.Counted("a", 0), 0);
    EXPECT_EQ(store.Counted("b", 0), 100);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreContract, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

// What a crash leaves is cleared at the next start: a staged upload goes; a
// picture renamed but never recorded is moved aside, never deleted.
TEST(SqliteStore, StartClearsHalfDoneUploadsAndQuarantinesUnknownPictures) {
    testing::TempFolder folder;
    std::string keptName;
    {
        SqliteStore store(folder.Path());
        NewScreenshot n;
        std::string staged = store.StagingFolder() + "/upload-1";
        std::ofstream(staged) << testing::MakeJpeg(8, 8);
        Screenshot kept = store.AddScreenshot(n, staged);
        keptName = kept.name;
        EXPECT_TRUE(fs::exists(folder.Path() + "/pictures/" + kept.fileKey + ".jpg"));  // under the server's key
        std::ofstream(store.StagingFolder() + "/upload-2") << "half";
        std::ofstream(folder.Path() + "/pictures/0123456789abcdef0123456789abcdef.jpg") << "never recorded";
    }
    SqliteStore reopened(folder.Path());
    PictureFolder::Recovery recovery = reopened.Recover();
    EXPECT_EQ(recovery.stagedRemoved, 1);
    EXPECT_EQ(recovery.quarantined, std::vector<std::string>{"0123456789abcdef0123456789abcdef.jpg"});
    EXPECT_EQ(FilesIn(reopened.StagingFolder()), 0);
    EXPECT_EQ(FilesIn(folder.Path() + "/pictures"), 1);
    EXPECT_EQ(ReadFile(folder.Path() + "/quarantine/0123456789abcdef0123456789abcdef.jpg"), "never recorded");
    EXPECT_TRUE(reopened.FindScreenshot(keptName));

    // Pictures without their database: no fresh start over them.
    fs::rename(folder.Path() + "/snapora.db", folder.Path() + "/elsewhere.db");
    EXPECT_THROW(SqliteStore(folder.Path()), StoreError);
    EXPECT_EQ(FilesIn(folder.Path() + "/pictures"), 1);
}

// A database made before schema versions were counted, before sessions had
// owners and accounts could be disabled, opens at this build's version and
// keeps its records.
TEST(SqliteStore, OpensADatabaseOfTheFirstSchema) {
    testing::TempFolder folder;
    const std::string database = folder.Path() + "/snapora.db";
    SqliteQuery(database, "CREATE TABLE accounts(id INTEGER PRIMARY KEY, username TEXT NOT NULL UNIQUE COLLATE NOCASE,"
                          " password_hash TEXT NOT NULL, created_at INTEGER NOT NULL);"
                          "CREATE TABLE sessions(id INTEGER PRIMARY KEY, name TEXT NOT NULL, created_at INTEGER NOT NULL,"
                          " last_active INTEGER NOT NULL);"
                          "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
                          "INSERT INTO accounts VALUES(1, 'anna', 'x', 5); INSERT INTO sessions VALUES(1, 'team', 1, 1000);"
                          "INSERT INTO settings VALUES('secret', 'from before')");
    SqliteStore store(folder.Path());
    EXPECT_EQ(SqliteQuery(database, "PRAGMA user_version"), std::to_string(SqliteStore::SchemaVersion()));
    EXPECT_EQ(store.Setting("secret", "new"), "from before");
    EXPECT_FALSE(store.FindAccount("anna")->disabled);
    EXPECT_EQ(store.FindSession("team")->ownerHash, "");
    EXPECT_FALSE(store.ClaimSession("team", "owner", 1001, 60, false));  // live, and nobody's: not given away
    EXPECT_EQ(store.ClaimSession("team", "owner", 1100, 60, false)->ownerHash, "owner");
}

// Instances that share one database: it alone decides names, sessions and
// the secret, even when they ask at the same moment; they upgrade a fresh
// database together without tripping over each other.
TEST(PostgresStore, InstancesAgreeThroughTheDatabase) {
    const std::string database = PgCluster::Shared().NewDatabase();
    testing::TempFolder folder;
    constexpr int Instances = 4;
    std::vector<std::future<std::unique_ptr<Store>>> starting;
    for (int i = 0; i < Instances; ++i)
        starting.push_back(std::async(std::launch::async, [&] { return testing::OpenStore(folder.Path(), database); }));
    std::vector<std::unique_ptr<Store>> stores;
    for (auto& s : starting) stores.push_back(s.get());

    // Each asks once, all at the same time; the answers are collected per question.
    auto together = [&](auto ask) {
        std::vector<std::future<decltype(ask(*stores[0], 0))>> asked;
        for (int i = 0; i < Instances; ++i)
            asked.push_back(std::async(std::launch::async, [&, i] { return ask(*stores[std::size_t(i)], i); }));
        std::vector<decltype(ask(*stores[0], 0))> answers;
        for (auto& a : asked) answers.push_back(a.get());
        return answers;
    };
    auto accounts = together([](Store& s, int i) { return bool(s.CreateAccount(i % 2 ? "Berta" : "berta", "h", 1)); });
    EXPECT_EQ(std::count(accounts.begin(), accounts.end(), true), 1);
    auto sessions = together([](Store& s, int) { return s.OpenSession("vortrag", 1000, 60).id; });
    EXPECT_EQ(std::count(sessions.begin(), sessions.end(), sessions[0]), Instances);
    auto secrets = together([](Store& s, int i) { return s.Setting("secret", "from " + std::to_string(i)); });
    EXPECT_EQ(std::count(secrets.begin(), secrets.end(), secrets[0]), Instances);

    std::vector<std::int64_t> ids;
    for (auto& store : stores) {
        std::string path = store->StagingFolder() + "/upload";
        std::ofstream(path) << "x";
        ids.push_back(store->AddScreenshot(NewScreenshot{}, path).id);
    }
    auto renames = together([&](Store& s, int i) { return s.RenameScreenshot(ids[std::size_t(i)], "einzig"); });
    EXPECT_EQ(std::count(renames.begin(), renames.end(), true), 1);
}

// At the start the whole pool is opened, as far as the database lets it:
// the connections it refuses are left to be tried again when needed.
TEST(PostgresStore, FillsItsPoolAsFarAsTheDatabaseAllows) {
    for (const int limit : {-1, 3}) {
        const std::string admin = PgCluster::Shared().NewDatabase();
        const std::string role = limit < 0 ? "unlimited" : "limited" + std::to_string(limit);
        PgCluster::Shared().Query(admin, "DROP ROLE IF EXISTS " + role);
        PgCluster::Shared().Query(admin, "CREATE ROLE " + role + " LOGIN CONNECTION LIMIT " + std::to_string(limit));
        std::string database = admin;
        database.replace(database.find("user=postgres"), 13, "user=" + role);
        PgPool pool(database, 5);
        const std::size_t expected = limit < 0 ? pool.Size() : std::size_t(limit);
        EXPECT_EQ(pool.Fill(), expected) << role;
        EXPECT_EQ(PgCluster::Shared().Query(admin, "SELECT count(*) FROM pg_stat_activity WHERE usename = '" + role + "'"),
                  std::to_string(expected))
            << role;
        EXPECT_EQ(pool.Fill(), expected) << "filled again, " << role;
        EXPECT_EQ(pool.Run([](PgConnection& c) { return c.Execute(PgStatement{"one", "SELECT 1"}).Int(0, 0); }), 1);
    }
}

// The database restarts under a running store: calls fail as "unavailable"
// meanwhile, and the store reconnects by itself afterwards, also when no
// call came meanwhile and every connection in its pool is a stale one.
TEST(PostgresStore, ReconnectsAfterTheDatabaseRestarts) {
    ServerWorld world(PgCluster::Shared().NewDatabase());
    PgPool& pool = static_cast<PostgresStore&>(*world.store).Pool();
    Screenshot shot = world.store->AddScreenshot(NewScreenshot{}, world.Stage("vorher").path);
    for (const char* mode : {"fast", "immediate"})
        for (bool askedMeanwhile : {true, false}) {
            // Every connection of the pool in use at once, then all idle.
            std::latch together(std::ptrdiff_t(pool.Size()));
            std::vector<std::future<void>> users;
            for (std::size_t i = 0; i < pool.Size(); ++i)
                users.push_back(std::async(std::launch::async, [&] {
                    pool.Run([&](PgConnection&) { together.arrive_and_wait(); });
                }));
            for (auto& user : users) user.get();

            PgCluster::Shared().Stop(mode);
            if (askedMeanwhile) {
                EXPECT_THROW(world.store->FindScreenshot(shot.name), StoreUnavailable) << mode;
                UploadedFile staged = world.Stage("während");
                EXPECT_THROW(world.store->AddScreenshot(NewScreenshot{}, staged.path), StoreUnavailable) << mode;
                EXPECT_FALSE(fs::exists(staged.path));
            }
            PgCluster::Shared().Start();
            EXPECT_EQ(testing::ReadPicture(world.store->OpenPicture(*world.store->FindScreenshot(shot.name))), "vorher")
                << mode << (askedMeanwhile ? ", asked meanwhile" : ", not asked meanwhile");
        }
}

}  // namespace snapora::server
