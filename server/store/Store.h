#pragma once
// The records and the pictures behind one interface: SQLite with a folder of
// picture files, or PostgreSQL holding both, without the handlers noticing.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/PictureReader.h"
#include "store/Records.h"

namespace snapora::server {

struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The database cannot be reached just now (a restart, a network fault); the
// same request may well succeed a moment later.
struct StoreUnavailable : StoreError {
    using StoreError::StoreError;
};

class Store {
public:
    virtual ~Store() = default;

    // Takes the staged upload (a file of the store's staging folder, see
    // StagingFolder), makes it durable under a name of the server's choosing
    // and records it under a fresh random screenshot name. The file is gone
    // from the staging folder afterwards, whatever happens. Throws StoreError.
    virtual Screenshot AddScreenshot(const NewScreenshot& screenshot, const std::string& stagedFile) = 0;
    // The same for an upload that arrived in memory.
    virtual Screenshot AddScreenshotBytes(const NewScreenshot& screenshot, std::string_view picture) = 0;
    virtual std::optional<Screenshot> FindScreenshot(const std::string& name) = 0;
    // false when the new name is taken or was ever given out to another
    // screenshot. The old name is kept for this screenshot (see FindByFormerName).
    virtual bool RenameScreenshot(std::int64_t id, const std::string& newName) = 0;
    // Its names stay given out: no later screenshot gets them.
    virtual void DeleteScreenshot(std::int64_t id) = 0;
    virtual std::vector<Screenshot> ScreenshotsOfAccount(std::int64_t accountId) = 0;   // newest first
    // Newest first; only those with an id above afterId.
    virtual std::vector<Screenshot> ScreenshotsOfSession(std::int64_t sessionId, std::int64_t afterId = 0) = 0;
    // The picture's bytes as they were uploaded; nullptr when it has gone.
    virtual std::unique_ptr<PictureReader> OpenPicture(const Screenshot& screenshot) = 0;
    // Where uploads are written while they arrive (same file system as the pictures).
    virtual std::string StagingFolder() = 0;

    // nullopt when the user name is taken (compared without regard to ASCII case).
    virtual std::optional<Account> CreateAccount(const std::string& userName, const std::string& passwordHash,
                                                 std::int64_t now) = 0;
    virtual std::optional<Account> FindAccount(const std::string& userName) = 0;

    // The session of that name that has seen activity within idleSeconds, or a new one.
    virtual Session OpenSession(const std::string& name, std::int64_t now, std::int64_t idleSeconds) = 0;
    // The live session of that name, its activity time moved to now; nullopt when expired or unknown.
    virtual std::optional<Session> TouchSession(const std::string& name, std::int64_t now,
                                                std::int64_t idleSeconds) = 0;
    // The latest session of that name, live or expired (for its page).
    virtual std::optional<Session> FindSession(const std::string& name) = 0;

    // Web logins: the token's hash, never the token.
    virtual void AddLogin(const std::string& tokenHash, std::int64_t accountId, std::int64_t expires) = 0;
    virtual std::optional<Account> FindLogin(const std::string& tokenHash, std::int64_t now) = 0;
    virtual void RemoveLogin(const std::string& tokenHash) = 0;

    // A value kept across restarts (the server's secret key).
    virtual std::string Setting(const std::string& key, const std::string& fallback) = 0;

    // --- Ownership of names and sessions ---------------------------------

    // The screenshot a former name of it leads to; nullopt when the name was
    // never given out or its screenshot is deleted.
    virtual std::optional<Screenshot> FindByFormerName(const std::string& name) = 0;
    // In one step: the live session of that name when ownerHash owns it (its
    // activity time moved to now); otherwise a new session of that name owned
    // by ownerHash, unless a live session of another owner holds the name, or
    // onlyUnused is set and any session ever had it: nullopt then.
    virtual std::optional<Session> ClaimSession(const std::string& name, const std::string& ownerHash,
                                                std::int64_t now, std::int64_t idleSeconds, bool onlyUnused) = 0;
    // The account the session's owner uploads with.
    virtual void SetSessionAccount(std::int64_t sessionId, std::int64_t accountId) = 0;

    // --- The operator's account commands -----------------------------------

    virtual std::vector<Account> Accounts() = 0;  // by name
    // Disabled: no login and no upload under it; its browser logins end.
    virtual void SetAccountDisabled(std::int64_t accountId, bool disabled) = 0;

    // --- Limits every instance shares (throttles, rate limits, quotas) -----

    // Adds amount under key at time `at`; counts are kept per minute and
    // forgotten after two days.
    virtual void Count(const std::string& key, std::int64_t amount, std::int64_t at) = 0;
    // The sum counted under key from `since` on: in the minutes that begin at or after it.
    virtual std::int64_t Counted(const std::string& key, std::int64_t since) = 0;
    virtual void Forget(const std::string& key) = 0;
    // Bytes still free where pictures are kept; no limit where the store cannot tell.
    virtual std::uint64_t FreeBytes() { return UINT64_MAX; }
    // --- Thumbnails: one small JPEG per screenshot, kept with it and deleted with it.
    // Saving for a screenshot that is gone meanwhile keeps nothing.
    virtual void SaveThumbnail(const Screenshot& screenshot, const std::string& jpeg) = 0;
    virtual std::optional<std::string> LoadThumbnail(const Screenshot& screenshot) = 0;

    // --- Retention and self-service: records and pictures go together (their
    // names stay given out); each returns the screenshots it deleted, so
    // their session pages can be told.
    // The oldest first, at most `limit` of them.
    virtual std::vector<Screenshot> DeleteScreenshotsBefore(std::int64_t uploadedBefore, int limit) = 0;
    virtual std::vector<Screenshot> DeleteScreenshotsOfAccount(std::int64_t accountId) = 0;
    // The account with its screenshots and web logins.
    virtual std::vector<Screenshot> DeleteAccount(std::int64_t accountId) = 0;
    // A new password; every web login of the account ends.
    virtual void SetPasswordHash(std::int64_t accountId, const std::string& passwordHash) = 0;
    // Sessions idle since before then that hold no screenshot any more; returns how many went.
    virtual int RemoveEmptySessions(std::int64_t idleBefore) = 0;

    // --- Figures for monitoring.
    virtual StoreTotals Totals() = 0;
};

}  // namespace snapora::server
