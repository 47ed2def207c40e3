#pragma once
// The store on SQLite (WAL, full sync) and a folder of picture files.
// One connection behind a mutex; every statement is prepared once and bound.
// One server at a time: the data folder is locked (DATA/snapora.lock) while a store is open.

#include <memory>
#include <mutex>

#include "store/PictureFolder.h"
#include "store/Store.h"

struct sqlite3;

namespace snapora::server {

class SqliteStore final : public Store {
public:
    // Opens or creates DATA/snapora.db and the picture folders, and clears
    // what a crash may have left (staged uploads, unrecorded pictures).
    // Throws StoreError, also when another process has the folder open.
    explicit SqliteStore(const std::string& dataDir);
    ~SqliteStore() override;

    Screenshot AddScreenshot(const NewScreenshot& screenshot, const std::string& stagedFile) override;
    std::optional<Screenshot> FindScreenshot(const std::string& name) override;
    bool RenameScreenshot(std::int64_t id, const std::string& newName) override;
    void DeleteScreenshot(std::int64_t id) override;
    std::vector<Screenshot> ScreenshotsOfAccount(std::int64_t accountId) override;
    std::vector<Screenshot> ScreenshotsOfSession(std::int64_t sessionId, std::int64_t afterId = 0) override;
    std::unique_ptr<PictureReader> OpenPicture(const Screenshot& screenshot) override;
    std::string StagingFolder() override;

    std::optional<Account> CreateAccount(const std::string& userName, const std::string& passwordHash,
                                         std::int64_t now) override;
    std::optional<Account> FindAccount(const std::string& userName) override;

    Session OpenSession(const std::string& name, std::int64_t now, std::int64_t idleSeconds) override;
    std::optional<Session> TouchSession(const std::string& name, std::int64_t now, std::int64_t idleSeconds) override;
    std::optional<Session> FindSession(const std::string& name) override;

    void AddLogin(const std::string& tokenHash, std::int64_t accountId, std::int64_t expires) override;
    std::optional<Account> FindLogin(const std::string& tokenHash, std::int64_t now) override;
    void RemoveLogin(const std::string& tokenHash) override;

    std::string Setting(const std::string& key, const std::string& fallback) override;

    void SaveThumbnail(const Screenshot& screenshot, const std::string& jpeg) override;
    std::optional<std::string> LoadThumbnail(const Screenshot& screenshot) override;
    std::vector<Screenshot> DeleteScreenshotsBefore(std::int64_t uploadedBefore, int limit) override;
    std::vector<Screenshot> DeleteScreenshotsOfAccount(std::int64_t accountId) override;
    std::vector<Screenshot> DeleteAccount(std::int64_t accountId) override;
    void SetPasswordHash(std::int64_t accountId, const std::string& passwordHash) override;
    int RemoveEmptySessions(std::int64_t idleBefore) override;
    StoreTotals Totals() override;

    int RemovedAtStart() const { return removedAtStart_; }
    // The schema version this build creates and upgrades to.
    static int SchemaVersion();

private:
    class Statement;
    void Upgrade(const std::string& path);
    Statement& Prepared(const char* sql);
    std::optional<Session> LatestSession(const std::string& name);
    // Deletes the listed records in one transaction, then their files; the mutex is held.
    std::vector<Screenshot> DeleteListed(const char* selectSql, std::int64_t argument, std::int64_t limit,
                                         const char* alsoSql = nullptr);
    void Run(const char* sql);

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    PictureFolder files_;
    std::vector<std::pair<const char*, std::unique_ptr<Statement>>> statements_;
    int removedAtStart_ = 0;
    struct FolderLock {
        int fd = -1;
        ~FolderLock();
    } lock_;
    StoreTotals totals_;  // kept up to date by every change, so reading them costs nothing
};

}  // namespace snapora::server
