#include "store/postgres/PostgresStore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "store/postgres/PgSchema.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

#define SCREENSHOT_COLUMNS \
    "id, name, file_key, description, uploaded_at, account_id, client_hash, session_id, size, width, height"
#define ACCOUNT_COLUMNS "id, username, password_hash, created_at, disabled::integer"
#define SESSION_COLUMNS "id, name, created_at, last_active, owner_hash, owner_account"
#define ASCII_LOWER(TEXT) "translate(" TEXT ", 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')"

// Picture and record in one statement, so in one transaction: either both
// are there or neither. The database hashes the bytes it keeps. A name that
// was ever given out stores nothing (no row comes back); one taken now fails
// the whole statement. Either way it is tried again with another.
#define INSERT_SCREENSHOT(LOCK, LOCKED)                                                                           \
    "WITH " LOCK "unused AS (SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM retired_names WHERE name = $1)),"          \
    " picture AS (INSERT INTO pictures(key, size, sha256, data) SELECT $2, $8, sha256($11), $11 FROM unused"      \
    " RETURNING key)"                                                                                            \
    " INSERT INTO screenshots(name, file_key, description, uploaded_at, account_id, client_hash, session_id, size," \
    " width, height) SELECT $1, key, $3, $4, $5, $6, $7, $8, $9, $10 FROM picture" LOCKED " RETURNING id"
constexpr PgStatement InsertScreenshot{"insert_screenshot", INSERT_SCREENSHOT("", "")};
// Uploads into one session take their ids and commit one after the other,
// so that ids rise in the order in which they become visible: a page that
// has seen id N never misses a later commit with a smaller one.
constexpr PgStatement InsertSessionScreenshot{
    "insert_session_screenshot",
    INSERT_SCREENSHOT("session_lock AS (SELECT pg_advisory_xact_lock(3, ($7::bigint % 2147483647)::integer)), ",
                      ", session_lock")};
#undef INSERT_SCREENSHOT
constexpr PgStatement FindScreenshotByName{"find_screenshot",
                                           "SELECT " SCREENSHOT_COLUMNS " FROM screenshots WHERE name = $1"};
constexpr PgStatement FindByFormer{"find_by_former_name",
                                   "SELECT " SCREENSHOT_COLUMNS " FROM screenshots"
                                   " WHERE id = (SELECT screenshot_id FROM retired_names WHERE name = $1)"};
constexpr PgStatement NameOfScreenshot{"name_of_screenshot", "SELECT name FROM screenshots WHERE id = $1 FOR UPDATE"};
constexpr PgStatement FormerOwner{"former_owner", "SELECT screenshot_id FROM retired_names WHERE name = $1"};
constexpr PgStatement RenameScreenshotById{"rename_screenshot", "UPDATE screenshots SET name = $2 WHERE id = $1"};
// The new name is this screenshot's again, if it was a former one; the old one becomes a former one.
constexpr PgStatement RetireOldName{"retire_old_name",
                                    "WITH back AS (DELETE FROM retired_names WHERE name = $3)"
                                    " INSERT INTO retired_names(name, screenshot_id) VALUES($2, $1)"};
constexpr PgStatement ListOfAccount{
    "screenshots_of_account", "SELECT " SCREENSHOT_COLUMNS " FROM screenshots WHERE account_id = $1 ORDER BY id DESC"};
constexpr PgStatement ListOfSession{"screenshots_of_session",
                                    "SELECT " SCREENSHOT_COLUMNS
                                    " FROM screenshots WHERE session_id = $1 AND id > $2 ORDER BY id DESC"};
constexpr PgStatement FirstPiece{"picture_first_piece",
                                 "SELECT size, substring(data FROM 1 FOR $2) FROM pictures WHERE key = $1", true};
constexpr PgStatement NextPiece{"picture_piece", "SELECT substring(data FROM $2 FOR $3) FROM pictures WHERE key = $1",
                                true};
constexpr PgStatement InsertAccount{"insert_account",
                                    "INSERT INTO accounts(username, password_hash, created_at) VALUES($1, $2, $3)"
                                    " ON CONFLICT (username_key) DO NOTHING RETURNING id"};
constexpr PgStatement FindAccountByName{
    "find_account", "SELECT " ACCOUNT_COLUMNS " FROM accounts WHERE username_key = " ASCII_LOWER("$1")};
// In the order SQLite's NOCASE gives: by the name with ASCII letters lowered, byte by byte.
constexpr PgStatement AllAccounts{"all_accounts",
                                  "SELECT " ACCOUNT_COLUMNS " FROM accounts ORDER BY username_key COLLATE \"C\""};
constexpr PgStatement DisableAccount{"disable_account", "UPDATE accounts SET disabled = $2::integer <> 0 WHERE id = $1"};
constexpr PgStatement LatestSessionByName{
    "latest_session", "SELECT " SESSION_COLUMNS " FROM sessions WHERE name = $1 ORDER BY id DESC LIMIT 1"};
constexpr PgStatement LockSessionName{"lock_session_name", "SELECT pg_advisory_xact_lock(2, $1::integer)"};
constexpr PgStatement TouchSessionById{"touch_session_by_id",
                                       "UPDATE sessions SET last_active = GREATEST(last_active, $2) WHERE id = $1"};
constexpr PgStatement InsertSession{
    "insert_session",
    "INSERT INTO sessions(name, created_at, last_active, owner_hash) VALUES($1, $2, $2, $3) RETURNING id"};
constexpr PgStatement TouchLiveSession{
    "touch_live_session",
    "UPDATE sessions SET last_active = GREATEST(last_active, $2)"
    " WHERE id = (SELECT id FROM sessions WHERE name = $1 ORDER BY id DESC LIMIT 1) AND $2 - last_active <= $3"
    " RETURNING " SESSION_COLUMNS};
constexpr PgStatement SessionAccount{"set_session_account", "UPDATE sessions SET owner_account = $2 WHERE id = $1"};
constexpr PgStatement InsertLogin{"insert_login",
                                  "INSERT INTO logins(token_hash, account_id, expires) VALUES($1, $2, $3)"
                                  " ON CONFLICT (token_hash) DO UPDATE SET account_id = excluded.account_id,"
                                  " expires = excluded.expires"};
constexpr PgStatement FindLoginByToken{
    "find_login",
    "SELECT a.id, a.username, a.password_hash, a.created_at, a.disabled::integer FROM logins l"
    " JOIN accounts a ON a.id = l.account_id WHERE l.token_hash = $1 AND l.expires > $2 AND NOT a.disabled"};
constexpr PgStatement DeleteLogin{"delete_login", "DELETE FROM logins WHERE token_hash = $1"};
constexpr PgStatement InsertSetting{"insert_setting",
                                    "INSERT INTO settings(key, value) VALUES($1, $2) ON CONFLICT (key) DO NOTHING"};
constexpr PgStatement FindSetting{"find_setting", "SELECT value FROM settings WHERE key = $1"};
constexpr PgStatement AddCount{"add_count",
                               "INSERT INTO counts(key, minute, amount) VALUES($1, $2, $3)"
                               " ON CONFLICT (key, minute) DO UPDATE SET amount = counts.amount + excluded.amount"};
constexpr PgStatement PruneCounts{"prune_counts", "DELETE FROM counts WHERE minute < $1"};
constexpr PgStatement SumCounts{"sum_counts",
                                "SELECT COALESCE(sum(amount), 0) FROM counts WHERE key = $1 AND minute >= $2"};
constexpr PgStatement ForgetCounts{"forget_counts", "DELETE FROM counts WHERE key = $1"};
// Only while the screenshot is there: a deletion running meanwhile makes the
// reference to its picture fail, and nothing is kept.
constexpr PgStatement InsertThumbnail{"insert_thumbnail",
                                      "INSERT INTO thumbnails(key, jpeg) SELECT file_key, $3 FROM screenshots"
                                      " WHERE id = $1 AND file_key = $2"
                                      " ON CONFLICT (key) DO UPDATE SET jpeg = excluded.jpeg"};
// For this transaction only: its commit does not wait for the disk. A
// thumbnail lost in a crash of the database is simply made again.
constexpr PgStatement CommitWithoutWaiting{"commit_without_waiting",
                                           "SELECT set_config('synchronous_commit', 'off', true)"};
constexpr PgStatement FindThumbnail{"find_thumbnail", "SELECT jpeg FROM thumbnails WHERE key = $1", true};
// The chosen screenshots, their pictures (with their thumbnails) and ALSO,
// in one statement; their names stay given out (their former names point
// nowhere once they are gone). The deleted ones come back oldest first.
#define DELETE_SCREENSHOTS(CHOSEN, ALSO)                                                                   \
    "WITH gone AS (DELETE FROM screenshots WHERE id IN (" CHOSEN ") RETURNING " SCREENSHOT_COLUMNS "),"   \
    " pictures_gone AS (DELETE FROM pictures WHERE key IN (SELECT file_key FROM gone)),"                   \
    " retired AS (INSERT INTO retired_names(name, screenshot_id) SELECT name, NULL FROM gone"              \
    " ON CONFLICT (name) DO UPDATE SET screenshot_id = NULL)" ALSO                                         \
    " SELECT " SCREENSHOT_COLUMNS " FROM gone ORDER BY uploaded_at, id"
constexpr PgStatement DeleteOne{"delete_screenshot", DELETE_SCREENSHOTS("$1", "")};
constexpr PgStatement DeleteOlder{
    "delete_older",
    DELETE_SCREENSHOTS("SELECT id FROM screenshots WHERE uploaded_at < $1 ORDER BY uploaded_at, id LIMIT $2", "")};
constexpr PgStatement DeleteOfAccount{"delete_of_account",
                                      DELETE_SCREENSHOTS("SELECT id FROM screenshots WHERE account_id = $1", "")};
// Its web logins go with it (ON DELETE CASCADE).
constexpr PgStatement DeleteAccountWithAll{
    "delete_account",
    DELETE_SCREENSHOTS("SELECT id FROM screenshots WHERE account_id = $1",
                       ", account_gone AS (DELETE FROM accounts WHERE id = $1)")};
#undef DELETE_SCREENSHOTS
constexpr PgStatement NewPassword{"set_password_hash",
                                  "WITH changed AS (UPDATE accounts SET password_hash = $2 WHERE id = $1)"
                                  " DELETE FROM logins WHERE account_id = $1"};
constexpr PgStatement DeleteEmptySessions{"delete_empty_sessions",
                                          "DELETE FROM sessions WHERE last_active < $1 AND NOT EXISTS"
                                          " (SELECT 1 FROM screenshots WHERE session_id = sessions.id)"};
constexpr PgStatement CountScreenshots{"count_screenshots",
                                       "SELECT count(*), COALESCE(sum(size), 0) FROM screenshots"};

// Counts are kept two days; every so many counts, older ones are removed.
constexpr std::int64_t KeepCounts = 2 * 24 * 3600;
constexpr int CountsBetweenPrunes = 1000;

Screenshot ReadScreenshot(const PgResult& r, int row) {
    Screenshot s;
    s.id = r.Int(row, 0);
    s.name = r.Text(row, 1);
    s.fileKey = r.Text(row, 2);
    s.description = r.Text(row, 3);
    s.uploadedAt = r.Int(row, 4);
    if (!r.IsNull(row, 5)) s.accountId = r.Int(row, 5);
    s.clientHash = r.Text(row, 6);
    if (!r.IsNull(row, 7)) s.sessionId = r.Int(row, 7);
    s.size = r.Int(row, 8);
    s.width = int(r.Int(row, 9));
    s.height = int(r.Int(row, 10));
    return s;
}

std::vector<Screenshot> ReadScreenshots(const PgResult& r) {
    std::vector<Screenshot> out;
    for (int row = 0; row < r.Rows(); ++row) out.push_back(ReadScreenshot(r, row));
    return out;
}

Account ReadAccount(const PgResult& r, int row) {
    return Account{r.Int(row, 0), r.Text(row, 1), r.Text(row, 2), r.Int(row, 3), r.Int(row, 4) != 0};
}

std::optional<Account> ReadAccount(const PgResult& r) {
    if (r.Rows() == 0) return std::nullopt;
    return ReadAccount(r, 0);
}

std::optional<Session> ReadSession(const PgResult& r) {
    if (r.Rows() == 0) return std::nullopt;
    Session session{r.Int(0, 0), r.Text(0, 1), r.Int(0, 2), r.Int(0, 3), r.Text(0, 4), std::nullopt};
    if (!r.IsNull(0, 5)) session.ownerAccount = r.Int(0, 5);
    return session;
}

// The same 32 bits for a name in every instance (FNV-1a).
std::int64_t NameLockKey(const std::string& name) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    return std::int32_t(hash);
}

// A staged upload mapped into memory: the one copy of the picture this request holds.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd_ < 0 || ::fstat(fd_, &info) != 0)
            throw StoreError("reading the upload: " + std::string(std::strerror(errno)));
        size_ = std::size_t(info.st_size);
        if (size_ > 0) {
            void* data = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, 0);
            if (data == MAP_FAILED) throw StoreError("reading the upload: " + std::string(std::strerror(errno)));
            data_ = data;
        }
    }
    ~MappedFile() {
        if (data_) ::munmap(data_, size_);
        if (fd_ >= 0) ::close(fd_);
    }
    const unsigned char* Data() const { return static_cast<const unsigned char*>(data_); }
    std::size_t Size() const { return size_; }

private:
    int fd_ = -1;
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// Removes the staged file when the upload is done with, whatever happened.
struct Unlinker {
    const std::string& path;
    ~Unlinker() { ::unlink(path.c_str()); }
};

// A picture in pieces: the first came with the opening, the others are
// fetched as the sending reaches them, each on whichever pooled connection is free.
class PgPictureReader final : public PictureReader {
public:
    PgPictureReader(PgPool& pool, std::string key, std::uint64_t size, std::string first)
        : pool_(pool), key_(std::move(key)), size_(size), piece_(std::move(first)) {}

    std::uint64_t Size() const override { return size_; }

    std::size_t Read(std::uint64_t offset, char* buffer, std::size_t max) override {
        if (offset >= size_) return 0;
        if (offset < pieceAt_ || offset >= pieceAt_ + piece_.size()) {
            piece_ = pool_.Run([&](PgConnection& c) {
                PgResult r = c.Execute(NextPiece, key_, std::int64_t(offset + 1),
                                       std::int64_t(PostgresStore::PictureChunk));
                if (r.Rows() == 0) throw StoreError("the picture " + key_ + " was deleted while it was sent");
                return std::string(r.Bytes(0, 0));
            });
            pieceAt_ = offset;
            if (piece_.empty()) throw StoreError("the picture " + key_ + " is shorter than recorded");
        }
        std::size_t n = std::min<std::uint64_t>(max, pieceAt_ + piece_.size() - offset);
        std::memcpy(buffer, piece_.data() + (offset - pieceAt_), n);
        return n;
    }

private:
    PgPool& pool_;
    const std::string key_;
    const std::uint64_t size_;
    std::string piece_;
    std::uint64_t pieceAt_ = 0;
};

}  // namespace

PostgresStore::PostgresStore(const std::string& conninfo, const std::string& dataDir, std::size_t connections)
    : pool_(conninfo, connections), staging_(dataDir) {
    pool_.Run([](PgConnection& c) { UpgradePgSchema(c); });
}

Screenshot PostgresStore::AddScreenshot(const NewScreenshot& n, const std::string& stagedFile) {
    Unlinker unlink{stagedFile};
    MappedFile picture(stagedFile);
    return AddScreenshotBytes(n, std::string_view(reinterpret_cast<const char*>(picture.Data()), picture.Size()));
}

Screenshot PostgresStore::AddScreenshotBytes(const NewScreenshot& n, std::string_view picture) {
    Screenshot r = RecordOf(n);
    r.size = std::int64_t(picture.size());
    const PgStatement& insert = r.sessionId ? InsertSessionScreenshot : InsertScreenshot;
    for (int attempt = 0; attempt < 20; ++attempt) {
        r.name = RandomScreenshotName();
        r.fileKey = RandomHex(16);
        try {
            std::optional<std::int64_t> id = pool_.Run([&](PgConnection& c) -> std::optional<std::int64_t> {
                PgResult inserted = c.Execute(insert, r.name, r.fileKey, r.description, r.uploadedAt, r.accountId,
                                              r.clientHash, r.sessionId, r.size, r.width, r.height,
                                              PgBytes{picture.data(), picture.size()});
                if (inserted.Rows() == 0) return std::nullopt;  // given out before
                return inserted.Int(0, 0);
            });
            if (id) {
                r.id = *id;
                return r;
            }
        } catch (const PgError& error) {
            if (error.sqlstate != "23505") throw;  // otherwise the name is taken: another
        }
    }
    throw StoreError("no free screenshot name found");
}

std::optional<Screenshot> PostgresStore::FindScreenshot(const std::string& name) {
    return pool_.Run([&](PgConnection& c) -> std::optional<Screenshot> {
        PgResult r = c.Execute(FindScreenshotByName, name);
        if (r.Rows() == 0) return std::nullopt;
        return ReadScreenshot(r, 0);
    });
}

// In one transaction under the screenshot's row lock: a former name comes
// back only to its own screenshot; a name taken now is refused by the database.
bool PostgresStore::RenameScreenshot(std::int64_t id, const std::string& newName) {
    return pool_.Run([&](PgConnection& c) {
        PgTransaction transaction(c);
        PgResult current = c.Execute(NameOfScreenshot, id);
        if (current.Rows() == 0) return false;
        const std::string oldName = current.Text(0, 0);
        if (oldName == newName) return true;
        PgResult former = c.Execute(FormerOwner, newName);
        if (former.Rows() == 1 && (former.IsNull(0, 0) || former.Int(0, 0) != id)) return false;
        try {
            c.Execute(RenameScreenshotById, id, newName);
        } catch (const PgError& error) {
            if (error.sqlstate == "23505") return false;  // taken
            throw;
        }
        c.Execute(RetireOldName, id, oldName, newName);
        transaction.Commit();
        return true;
    });
}

void PostgresStore::DeleteScreenshot(std::int64_t id) {
    pool_.Run([&](PgConnection& c) { c.Execute(DeleteOne, id); });
}

std::vector<Screenshot> PostgresStore::ScreenshotsOfAccount(std::int64_t accountId) {
    return pool_.Run([&](PgConnection& c) { return ReadScreenshots(c.Execute(ListOfAccount, accountId)); });
}

std::vector<Screenshot> PostgresStore::ScreenshotsOfSession(std::int64_t sessionId, std::int64_t afterId) {
    return pool_.Run([&](PgConnection& c) { return ReadScreenshots(c.Execute(ListOfSession, sessionId, afterId)); });
}

std::unique_ptr<PictureReader> PostgresStore::OpenPicture(const Screenshot& screenshot) {
    return pool_.Run([&](PgConnection& c) -> std::unique_ptr<PictureReader> {
        PgResult r = c.Execute(FirstPiece, screenshot.fileKey, std::int64_t(PictureChunk));
        if (r.Rows() == 0) return nullptr;
        return std::make_unique<PgPictureReader>(pool_, screenshot.fileKey, std::uint64_t(r.Int(0, 0)),
                                                 std::string(r.Bytes(0, 1)));
    });
}

std::string PostgresStore::StagingFolder() { return staging_.Folder(); }

std::optional<Account> PostgresStore::CreateAccount(const std::string& userName, const std::string& passwordHash,
                                                    std::int64_t now) {
    return pool_.Run([&](PgConnection& c) -> std::optional<Account> {
        PgResult r = c.Execute(InsertAccount, userName, passwordHash, now);
        if (r.Rows() == 0) return std::nullopt;
        return Account{r.Int(0, 0), userName, passwordHash, now, false};
    });
}

std::optional<Account> PostgresStore::FindAccount(const std::string& userName) {
    return pool_.Run([&](PgConnection& c) { return ReadAccount(c.Execute(FindAccountByName, userName)); });
}

// Under a lock on the name, so that two instances opening it at once join one session.
Session PostgresStore::OpenSession(const std::string& name, std::int64_t now, std::int64_t idleSeconds) {
    return pool_.Run([&](PgConnection& c) {
        PgTransaction transaction(c);
        c.Execute(LockSessionName, NameLockKey(name));
        std::optional<Session> session = ReadSession(c.Execute(LatestSessionByName, name));
        if (session && now - session->lastActive <= idleSeconds) {
            c.Execute(TouchSessionById, session->id, now);
            session->lastActive = std::max(session->lastActive, now);
        } else {
            session = Session{c.Execute(InsertSession, name, now, std::string()).Int(0, 0), name, now, now, "",
                              std::nullopt};
        }
        transaction.Commit();
        return *session;
    });
}

std::optional<Session> PostgresStore::TouchSession(const std::string& name, std::int64_t now,
                                                   std::int64_t idleSeconds) {
    return pool_.Run([&](PgConnection& c) { return ReadSession(c.Execute(TouchLiveSession, name, now, idleSeconds)); });
}

// Under the lock on the name, as OpenSession: two instances claiming one name at once hand it to one owner.
std::optional<Session> PostgresStore::ClaimSession(const std::string& name, const std::string& ownerHash,
                                                   std::int64_t now, std::int64_t idleSeconds, bool onlyUnused) {
    return pool_.Run([&](PgConnection& c) -> std::optional<Session> {
        PgTransaction transaction(c);
        c.Execute(LockSessionName, NameLockKey(name));
        std::optional<Session> latest = ReadSession(c.Execute(LatestSessionByName, name));
        const bool live = latest && now - latest->lastActive <= idleSeconds;
        if (live && latest->ownerHash == ownerHash) {
            c.Execute(TouchSessionById, latest->id, now);
            latest->lastActive = std::max(latest->lastActive, now);
            transaction.Commit();
            return latest;
        }
        if (live || (onlyUnused && latest)) return std::nullopt;
        Session session{c.Execute(InsertSession, name, now, ownerHash).Int(0, 0), name, now, now, ownerHash,
                        std::nullopt};
        transaction.Commit();
        return session;
    });
}

void PostgresStore::SetSessionAccount(std::int64_t sessionId, std::int64_t accountId) {
    pool_.Run([&](PgConnection& c) { c.Execute(SessionAccount, sessionId, accountId); });
}

std::optional<Screenshot> PostgresStore::FindByFormerName(const std::string& name) {
    return pool_.Run([&](PgConnection& c) -> std::optional<Screenshot> {
        PgResult r = c.Execute(FindByFormer, name);
        if (r.Rows() == 0) return std::nullopt;
        return ReadScreenshot(r, 0);
    });
}

std::vector<Account> PostgresStore::Accounts() {
    return pool_.Run([&](PgConnection& c) {
        PgResult r = c.Execute(AllAccounts);
        std::vector<Account> out;
        for (int row = 0; row < r.Rows(); ++row) out.push_back(ReadAccount(r, row));
        return out;
    });
}

void PostgresStore::SetAccountDisabled(std::int64_t accountId, bool disabled) {
    pool_.Run([&](PgConnection& c) { c.Execute(DisableAccount, accountId, int(disabled)); });
}

void PostgresStore::Count(const std::string& key, std::int64_t amount, std::int64_t at) {
    const bool prune = ++countsSincePrune_ % CountsBetweenPrunes == 0;
    pool_.Run([&](PgConnection& c) {
        c.Execute(AddCount, key, at - at % 60, amount);
        if (prune) c.Execute(PruneCounts, at - KeepCounts);
    });
}

std::int64_t PostgresStore::Counted(const std::string& key, std::int64_t since) {
    return pool_.Run([&](PgConnection& c) {
        return c.Execute(SumCounts, key, since + 59 - (since + 59) % 60).Int(0, 0);  // whole minutes from since on
    });
}

void PostgresStore::Forget(const std::string& key) {
    pool_.Run([&](PgConnection& c) { c.Execute(ForgetCounts, key); });
}

std::optional<Session> PostgresStore::FindSession(const std::string& name) {
    return pool_.Run([&](PgConnection& c) { return ReadSession(c.Execute(LatestSessionByName, name)); });
}

void PostgresStore::AddLogin(const std::string& tokenHash, std::int64_t accountId, std::int64_t expires) {
    pool_.Run([&](PgConnection& c) { c.Execute(InsertLogin, tokenHash, accountId, expires); });
}

std::optional<Account> PostgresStore::FindLogin(const std::string& tokenHash, std::int64_t now) {
    return pool_.Run([&](PgConnection& c) { return ReadAccount(c.Execute(FindLoginByToken, tokenHash, now)); });
}

void PostgresStore::RemoveLogin(const std::string& tokenHash) {
    pool_.Run([&](PgConnection& c) { c.Execute(DeleteLogin, tokenHash); });
}

std::string PostgresStore::Setting(const std::string& key, const std::string& fallback) {
    return pool_.Run([&](PgConnection& c) {
        c.Execute(InsertSetting, key, fallback);
        PgResult r = c.Execute(FindSetting, key);
        return r.Rows() ? r.Text(0, 0) : fallback;
    });
}

void PostgresStore::SaveThumbnail(const Screenshot& screenshot, const std::string& jpeg) {
    pool_.Run([&](PgConnection& c) {
        PgTransaction transaction(c);
        c.Execute(CommitWithoutWaiting);
        try {
            c.Execute(InsertThumbnail, screenshot.id, screenshot.fileKey, PgBytes{jpeg.data(), jpeg.size()});
        } catch (const PgError& error) {
            if (error.sqlstate != "23503") throw;  // otherwise its picture was deleted meanwhile
            return;
        }
        transaction.Commit();
    });
}

std::optional<std::string> PostgresStore::LoadThumbnail(const Screenshot& screenshot) {
    return pool_.Run([&](PgConnection& c) -> std::optional<std::string> {
        PgResult r = c.Execute(FindThumbnail, screenshot.fileKey);
        if (r.Rows() == 0) return std::nullopt;
        return std::string(r.Bytes(0, 0));
    });
}

std::vector<Screenshot> PostgresStore::DeleteScreenshotsBefore(std::int64_t uploadedBefore, int limit) {
    return pool_.Run([&](PgConnection& c) { return ReadScreenshots(c.Execute(DeleteOlder, uploadedBefore, limit)); });
}

std::vector<Screenshot> PostgresStore::DeleteScreenshotsOfAccount(std::int64_t accountId) {
    return pool_.Run([&](PgConnection& c) { return ReadScreenshots(c.Execute(DeleteOfAccount, accountId)); });
}

std::vector<Screenshot> PostgresStore::DeleteAccount(std::int64_t accountId) {
    return pool_.Run([&](PgConnection& c) { return ReadScreenshots(c.Execute(DeleteAccountWithAll, accountId)); });
}

void PostgresStore::SetPasswordHash(std::int64_t accountId, const std::string& passwordHash) {
    pool_.Run([&](PgConnection& c) { c.Execute(NewPassword, accountId, passwordHash); });
}

int PostgresStore::RemoveEmptySessions(std::int64_t idleBefore) {
    return pool_.Run([&](PgConnection& c) { return c.Execute(DeleteEmptySessions, idleBefore).Affected(); });
}

StoreTotals PostgresStore::Totals() {
    return pool_.Run([&](PgConnection& c) {
        PgResult r = c.Execute(CountScreenshots);
        return StoreTotals{r.Int(0, 0), r.Int(0, 1)};
    });
}

}  // namespace snapora::server
