#pragma once
// The store on PostgreSQL: records and pictures in one database that any
// number of server instances share. Uniqueness, sessions and limits are
// decided by the database, never by one instance. Uploads are staged in a
// folder of this process's own under the data folder.

#include <atomic>

#include "store/StagingArea.h"
#include "store/Store.h"
#include "store/postgres/PgPool.h"

namespace snapora::server {

class PostgresStore final : public Store {
public:
    // Connects, upgrades the schema when it is older (refuses a newer one).
    // Throws StoreError, StoreUnavailable when the database cannot be reached.
    PostgresStore(const std::string& conninfo, const std::string& dataDir, std::size_t connections);

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

    void SaveThumbnail(const Screenshot& screenshot, const std::string& jpeg) override;
    std::optional<std::string> LoadThumbnail(const Screenshot& screenshot) override;
    std::vector<Screenshot> DeleteScreenshotsBefore(std::int64_t uploadedBefore, int limit) override;
    std::vector<Screenshot> DeleteScreenshotsOfAccount(std::int64_t accountId) override;
    std::vector<Screenshot> DeleteAccount(std::int64_t accountId) override;
    void SetPasswordHash(std::int64_t accountId, const std::string& passwordHash) override;
    int RemoveEmptySessions(std::int64_t idleBefore) override;
    StoreTotals Totals() override;

    int RemovedAtStart() const { return staging_.RemovedAtStart(); }
    PgPool& Pool() { return pool_; }

    // Pictures are read in pieces of this many bytes: one piece holds any
    // picture the program sends.
    static constexpr std::size_t PictureChunk = 512 * 1024;

private:
    PgPool pool_;
    StagingArea staging_;
    std::atomic<int> countsSincePrune_{0};
};

}  // namespace snapora::server
