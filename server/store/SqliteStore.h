#pragma once
// The store on SQLite (WAL, full sync) and a folder of picture files.
// One connection behind a mutex; every statement is prepared once and bound.
// Uploads arriving together share a transaction, and so one sync of the log.

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

#include "store/PictureFolder.h"
#include "store/Store.h"

struct sqlite3;

namespace snapora::server {

class SqliteStore final : public Store {
public:
    // Serve: the server's own, one process at a time (DATA/snapora.lock);
    // creates what is missing. Beside: the operator's commands next to a
    // running server; the database must be there.
    enum class Opening { Serve, Beside };
    // Opens DATA/snapora.db (and DATA/limits.db beside it) and the picture
    // folders. Throws StoreError, also when the database is missing but
    // pictures are there (a lost or misplaced database must not look like a
    // fresh start), and when another server has the folder open.
    explicit SqliteStore(const std::string& dataDir, Opening opening = Opening::Serve);
    ~SqliteStore() override;

    Screenshot AddScreenshot(const NewScreenshot& screenshot, const std::string& stagedFile) override;
    Screenshot AddScreenshotBytes(const NewScreenshot& screenshot, std::string_view picture) override;
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

    std::optional<Screenshot> FindByFormerName(const std::string& name) override;
    std::optional<Session> ClaimSession(const std::string& name, const std::string& ownerHash, std::int64_t now,
                                        std::int64_t idleSeconds, bool onlyUnused) override;
    void SetSessionAccount(std::int64_t sessionId, std::int64_t accountId) override;

    std::vector<Account> Accounts() override;
    void SetAccountDisabled(std::int64_t accountId, bool disabled) override;

    void Count(const std::string& key, std::int64_t amount, std::int64_t at) override;
    std::int64_t Counted(const std::string& key, std::int64_t since) override;
    void Forget(const std::string& key) override;
    std::uint64_t FreeBytes() override;

    void SaveThumbnail(const Screenshot& screenshot, const std::string& jpeg) override;
    std::optional<std::string> LoadThumbnail(const Screenshot& screenshot) override;
    std::vector<Screenshot> DeleteScreenshotsBefore(std::int64_t uploadedBefore, int limit) override;
    std::vector<Screenshot> DeleteScreenshotsOfAccount(std::int64_t accountId) override;
    std::vector<Screenshot> DeleteAccount(std::int64_t accountId) override;
    void SetPasswordHash(std::int64_t accountId, const std::string& passwordHash) override;
    int RemoveEmptySessions(std::int64_t idleBefore) override;
    StoreTotals Totals() override;

    // At the server's start, never while another process serves: clears what
    // a crash may have left (staged uploads) and quarantines picture files no
    // record names.
    PictureFolder::Recovery Recover();
    // The schema version this build creates and upgrades to.
    static int SchemaVersion();

private:
    class Statement;
    class Transaction;
    void Upgrade(const std::string& path);
    Statement& Prepared(const char* sql);
    Statement& PreparedLimits(const char* sql);
    std::optional<Session> LatestSession(const std::string& name);
    void RetireAndDelete(std::int64_t id, const std::string& name);
    // Deletes the listed records in one transaction, then their files; the mutex is held.
    std::vector<Screenshot> DeleteListed(const char* selectSql, std::int64_t argument, std::int64_t limit,
                                         const char* alsoSql = nullptr);
    // An upload's record waiting for the transaction that takes it.
    struct PendingRecord {
        Screenshot record;
        bool done = false;
        std::exception_ptr failure;
    };
    // Inserts one record under a free name (the mutex is held); false when none was found.
    bool InsertRecord(Screenshot& record);
    // Records the batch in one transaction; each one's failure goes to its upload.
    void RecordBatch(const std::vector<PendingRecord*>& batch);
    // Records a picture already in place under fileKey, batched with the uploads arriving beside it.
    Screenshot Record(const NewScreenshot& screenshot, const std::string& fileKey, std::int64_t size);

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    // Uploads waiting for a transaction; one of their threads writes at a time and takes all that wait.
    std::mutex pendingMutex_;
    std::condition_variable recorded_;
    std::deque<PendingRecord*> pending_;
    bool recording_ = false;
    PictureFolder files_;
    std::vector<std::pair<const char*, std::unique_ptr<Statement>>> statements_;
    // Counts for the limits: a database of their own, committed without
    // waiting for the disk (a lost minute of counts harms nothing).
    std::mutex limitsMutex_;
    sqlite3* limits_ = nullptr;
    std::vector<std::pair<const char*, std::unique_ptr<Statement>>> limitStatements_;
    unsigned countsSincePrune_ = 0;
    struct FolderLock {
        int fd = -1;
        ~FolderLock();
    } lock_;
    StoreTotals totals_;  // kept up to date by every change, so reading them costs nothing
};

}  // namespace snapora::server
