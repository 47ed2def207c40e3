#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sqlite3.h>

#include "TestSupport.h"

namespace snapora::server {

using testing::ReadFile;
using testing::ServerWorld;

namespace fs = std::filesystem;

int FilesIn(const std::string& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
}

// A picture is kept under a key the server chose, never under a client's name.
TEST(SqliteStore, KeepsPictureAndRecordTogether) {
    ServerWorld world;
    const std::string jpeg = testing::MakeJpeg(20, 10);
    UploadedFile staged = world.Stage(jpeg);
    NewScreenshot n;
    n.description = "x'); DROP TABLE screenshots; -- \"Grüße\"";
    n.clientHash = "hash";
    n.uploadedAt = 42;
    Screenshot stored = world.store->AddScreenshot(n, staged.path);

    EXPECT_FALSE(fs::exists(staged.path));
    EXPECT_EQ(ReadFile(world.store->PicturePath(stored)), jpeg);
    EXPECT_EQ(world.store->PicturePath(stored), world.folder.Path() + "/pictures/" + stored.fileKey + ".jpg");
    std::optional<Screenshot> found = world.store->FindScreenshot(stored.name);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->description, n.description);  // metacharacters are data, not SQL
    EXPECT_EQ(found->size, std::int64_t(jpeg.size()));
    EXPECT_EQ(found->uploadedAt, 42);

    EXPECT_TRUE(world.store->RenameScreenshot(stored.id, "neu"));
    EXPECT_FALSE(world.store->FindScreenshot(stored.name));
    Screenshot other = world.store->AddScreenshot(n, world.Stage(jpeg).path);
    EXPECT_FALSE(world.store->RenameScreenshot(other.id, "neu"));  // taken

    world.store->DeleteScreenshot(stored.id);
    EXPECT_FALSE(world.store->FindScreenshot("neu"));
    EXPECT_EQ(FilesIn(world.folder.Path() + "/pictures"), 1);
}

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
        keptName = store.AddScreenshot(n, staged).name;
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

TEST(SqliteStore, SessionsJoinWhileLiveAndStartAfreshAfterIdling) {
    ServerWorld world;
    Store& store = *world.store;
    Session first = store.OpenSession("team", 1000, 60);
    EXPECT_EQ(store.OpenSession("team", 1050, 60).id, first.id);       // joined
    EXPECT_TRUE(store.TouchSession("team", 1100, 60));                 // 50 s after the join
    EXPECT_FALSE(store.TouchSession("team", 1161, 60));                // idle too long
    EXPECT_FALSE(store.TouchSession("other", 1100, 60));
    Session second = store.OpenSession("team", 1200, 60);
    EXPECT_NE(second.id, first.id);
    EXPECT_EQ(store.FindSession("team")->id, second.id);
}

// A database made before sessions had owners and accounts could be disabled opens and gains both.
TEST(SqliteStore, OpensADatabaseOfTheFirstSchema) {
    testing::TempFolder folder;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder.Path() + "/snapora.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE accounts(id INTEGER PRIMARY KEY, username TEXT NOT NULL UNIQUE COLLATE NOCASE,"
                           " password_hash TEXT NOT NULL, created_at INTEGER NOT NULL);"
                           "CREATE TABLE sessions(id INTEGER PRIMARY KEY, name TEXT NOT NULL, created_at INTEGER NOT NULL,"
                           " last_active INTEGER NOT NULL);"
                           "INSERT INTO accounts VALUES(1, 'anna', 'x', 5); INSERT INTO sessions VALUES(1, 'team', 1, 1000);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    SqliteStore store(folder.Path());
    EXPECT_FALSE(store.FindAccount("anna")->disabled);
    EXPECT_EQ(store.FindSession("team")->ownerHash, "");
    EXPECT_FALSE(store.ClaimSession("team", "owner", 1001, 60, false));  // live, and nobody's: not given away
    EXPECT_EQ(store.ClaimSession("team", "owner", 1100, 60, false)->ownerHash, "owner");
}

// Limits count per minute: a window takes the minutes that begin within it.
TEST(SqliteStore, CountsAddUpPerKeyAndWindow) {
    ServerWorld world;
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

TEST(SqliteStore, AccountsAndLogins) {
    ServerWorld world;
    Store& store = *world.store;
    std::optional<Account> anna = store.CreateAccount("Anna", "$argon2id$x", 5);
    ASSERT_TRUE(anna);
    EXPECT_FALSE(store.CreateAccount("anna", "$argon2id$y", 6));  // names differ only in case
    EXPECT_EQ(store.FindAccount("ANNA")->id, anna->id);
    EXPECT_FALSE(store.FindAccount("' OR 1=1 --"));

    store.AddLogin("tokenhash", anna->id, 100);
    EXPECT_EQ(store.FindLogin("tokenhash", 99)->userName, "Anna");
    EXPECT_FALSE(store.FindLogin("tokenhash", 100));  // expired
    store.RemoveLogin("tokenhash");
    EXPECT_FALSE(store.FindLogin("tokenhash", 50));

    EXPECT_EQ(store.Setting("secret", "first"), "first");
    EXPECT_EQ(store.Setting("secret", "second"), "first");
}

}  // namespace snapora::server
