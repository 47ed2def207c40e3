#include "store/SqliteStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "text/Names.h"

namespace snapora::server {

namespace {

// Run on every open, outside any transaction.
constexpr const char* Pragmas[] = {
    "PRAGMA journal_mode=WAL",
    "PRAGMA synchronous=FULL",
    "PRAGMA foreign_keys=ON",
};

// A column that an older database may lack: added when it is missing.
struct Column {
    const char *table, *name, *definition;
};

// Step N takes the schema from version N to N + 1 (PRAGMA user_version).
struct SchemaStep {
    std::vector<const char*> statements;
    std::vector<Column> addedColumns;
};

// A database from before versions were counted is at 0 with some of its
// tables already there: the first step only creates what is missing and adds
// the columns that later builds added before versions were counted.
const std::vector<SchemaStep> SchemaSteps = {
    {
        {
            "CREATE TABLE IF NOT EXISTS accounts(id INTEGER PRIMARY KEY, username TEXT NOT NULL UNIQUE COLLATE NOCASE,"
            " password_hash TEXT NOT NULL, created_at INTEGER NOT NULL)",
            "CREATE TABLE IF NOT EXISTS sessions(id INTEGER PRIMARY KEY, name TEXT NOT NULL, created_at INTEGER NOT NULL,"
            " last_active INTEGER NOT NULL)",
            "CREATE INDEX IF NOT EXISTS sessions_by_name ON sessions(name, id)",
            "CREATE TABLE IF NOT EXISTS screenshots(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
            " file_key TEXT NOT NULL UNIQUE, description TEXT NOT NULL, uploaded_at INTEGER NOT NULL,"
            " account_id INTEGER REFERENCES accounts(id), client_hash TEXT NOT NULL,"
            " session_id INTEGER REFERENCES sessions(id), size INTEGER NOT NULL, width INTEGER NOT NULL,"
            " height INTEGER NOT NULL)",
            "CREATE INDEX IF NOT EXISTS screenshots_by_account ON screenshots(account_id, id)",
            "CREATE INDEX IF NOT EXISTS screenshots_by_session ON screenshots(session_id, id)",
            "CREATE INDEX IF NOT EXISTS screenshots_by_time ON screenshots(uploaded_at)",
            "CREATE TABLE IF NOT EXISTS logins(token_hash TEXT PRIMARY KEY,"
            " account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE, expires INTEGER NOT NULL)",
            "CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
            // Every name a screenshot had before its current one; screenshot_id is
            // NULL once the screenshot is deleted. No name here is ever given again.
            "CREATE TABLE IF NOT EXISTS retired_names(name TEXT PRIMARY KEY, screenshot_id INTEGER)",
            "CREATE INDEX IF NOT EXISTS retired_names_by_screenshot ON retired_names(screenshot_id)",
        },
        {
            {"accounts", "disabled", "INTEGER NOT NULL DEFAULT 0"},
            {"sessions", "owner_hash", "TEXT NOT NULL DEFAULT ''"},
            {"sessions", "owner_account", "INTEGER REFERENCES accounts(id) ON DELETE SET NULL"},
        },
    },
};

// The counts behind the limits: a database of their own (DATA/limits.db),
// written often and lightly synced; losing the last counts in a crash costs nothing.
constexpr const char* LimitsSchema[] = {
    "PRAGMA journal_mode=WAL",
    "PRAGMA synchronous=NORMAL",
    "CREATE TABLE IF NOT EXISTS counts(key TEXT NOT NULL, minute INTEGER NOT NULL, amount INTEGER NOT NULL,"
    " PRIMARY KEY(key, minute)) WITHOUT ROWID",
};
constexpr std::int64_t KeepCounts = 2 * 24 * 3600;

constexpr const char* ScreenshotColumns =
    "id, name, file_key, description, uploaded_at, account_id, client_hash, session_id, size, width, height";
constexpr const char* AccountColumns = "id, username, password_hash, created_at, disabled";
constexpr const char* SessionColumns = "id, name, created_at, last_active, owner_hash, owner_account";

sqlite3* OpenDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw StoreError("opening " + path + ": " + why);
    }
    sqlite3_busy_timeout(db, 5000);  // the operator's commands write while the server runs
    return db;
}

// Refuses to open what would look like a fresh start but is not one.
std::string CheckedDataDir(const std::string& dataDir, bool mayCreate) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(dataDir + "/snapora.db", error)) return dataDir;
    if (!mayCreate) throw StoreError("there is no database " + dataDir + "/snapora.db");
    const std::string pictures = dataDir + "/pictures";
    if (fs::exists(pictures, error) && !fs::is_empty(pictures, error))
        throw StoreError(pictures + " holds pictures but the database " + dataDir +
                         "/snapora.db is missing; restore it (with snapora.db-wal if there is one) or move the "
                         "pictures away before starting");
    return dataDir;
}

}  // namespace

// A prepared statement, reset and unbound after every use.
class SqliteStore::Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
            throw StoreError(std::string("preparing ") + sql + ": " + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }

    Statement& Bind(std::int64_t value) {
        sqlite3_bind_int64(stmt_, ++bound_, value);
        return *this;
    }
    Statement& Bind(const std::string& value) {
        sqlite3_bind_text(stmt_, ++bound_, value.data(), int(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(const std::optional<std::int64_t>& value) {
        if (value) return Bind(*value);
        sqlite3_bind_null(stmt_, ++bound_);
        return *this;
    }
    // true while there is a row; false at the end. A constraint failure is
    // reported as `constraint` when asked for, thrown otherwise.
    bool Step(bool* constraint = nullptr) {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        if (constraint && (rc & 0xFF) == SQLITE_CONSTRAINT) {
            *constraint = true;
            return false;
        }
        throw StoreError(std::string("database: ") + sqlite3_errmsg(db_));
    }
    void Run() {
        while (Step()) {
        }
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string Text(int column) const {
        auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? std::string(text, std::size_t(sqlite3_column_bytes(stmt_, column))) : std::string();
    }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        bound_ = 0;
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    int bound_ = 0;
};

namespace {

// Resets the statement when the use ends, also by an exception.
template <class S>
struct Use {
    S& s;
    explicit Use(S& statement) : s(statement) {}
    ~Use() { s.Reset(); }
    S* operator->() { return &s; }
};

template <class S>
Screenshot ReadScreenshot(S& s) {
    Screenshot r;
    r.id = s.Int(0);
    r.name = s.Text(1);
    r.fileKey = s.Text(2);
    r.description = s.Text(3);
    r.uploadedAt = s.Int(4);
    if (!s.IsNull(5)) r.accountId = s.Int(5);
    r.clientHash = s.Text(6);
    if (!s.IsNull(7)) r.sessionId = s.Int(7);
    r.size = s.Int(8);
    r.width = int(s.Int(9));
    r.height = int(s.Int(10));
    return r;
}

template <class S>
Account ReadAccount(S& s) {
    return Account{s.Int(0), s.Text(1), s.Text(2), s.Int(3), s.Int(4) != 0};
}

template <class S>
Session ReadSession(S& s) {
    Session r{s.Int(0), s.Text(1), s.Int(2), s.Int(3), s.Text(4), std::nullopt};
    if (!s.IsNull(5)) r.ownerAccount = s.Int(5);
    return r;
}

}  // namespace

// One write transaction; rolled back unless committed.
class SqliteStore::Transaction {
public:
    explicit Transaction(SqliteStore& store) : store_(store) { Use(store_.Prepared("BEGIN IMMEDIATE"))->Run(); }
    ~Transaction() {
        if (!open_) return;
        try {
            Use(store_.Prepared("ROLLBACK"))->Run();
        } catch (const StoreError&) {
            // SQLite has rolled back by itself already
        }
    }
    void Commit() {
        Use(store_.Prepared("COMMIT"))->Run();
        open_ = false;
    }

private:
    SqliteStore& store_;
    bool open_ = true;
};

SqliteStore::FolderLock::~FolderLock() {
    if (fd >= 0) ::close(fd);
}

SqliteStore::SqliteStore(const std::string& dataDir, Opening opening)
    : files_(CheckedDataDir(dataDir, opening == Opening::Serve)) {
    if (opening == Opening::Serve) {
        const std::string lockPath = dataDir + "/snapora.lock";
        lock_.fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lock_.fd < 0) throw StoreError("cannot open " + lockPath);
        if (::flock(lock_.fd, LOCK_EX | LOCK_NB) != 0)
            throw StoreError("another snapora-server is using the data folder " + dataDir);
    }
    db_ = OpenDatabase(dataDir + "/snapora.db");
    try {
        for (const char* sql : Pragmas) Statement(db_, sql).Run();
        Upgrade(dataDir + "/snapora.db");
        limits_ = OpenDatabase(dataDir + "/limits.db");
        for (const char* sql : LimitsSchema) Statement(limits_, sql).Run();
        Use totals(Prepared("SELECT COUNT(*), COALESCE(SUM(size), 0) FROM screenshots"));
        if (totals->Step()) totals_ = StoreTotals{totals->Int(0), totals->Int(1)};
    } catch (...) {
        statements_.clear();
        sqlite3_close(limits_);
        sqlite3_close(db_);
        throw;
    }
}

int SqliteStore::SchemaVersion() { return int(SchemaSteps.size()); }

// Once, in one transaction: a crash midway leaves the older version whole.
void SqliteStore::Upgrade(const std::string& path) {
    Statement(db_, "BEGIN IMMEDIATE").Run();
    try {
        Statement version(db_, "PRAGMA user_version");
        version.Step();
        const int found = int(version.Int(0));
        if (found > SchemaVersion())
            throw StoreError(path + " has schema version " + std::to_string(found) + ", newer than the " +
                             std::to_string(SchemaVersion()) + " this snapora-server knows: run a newer one");
        for (int step = found; step < SchemaVersion(); ++step) {
            for (const char* sql : SchemaSteps[std::size_t(step)].statements) Statement(db_, sql).Run();
            for (const Column& column : SchemaSteps[std::size_t(step)].addedColumns) {
                bool present = false;
                Statement info(db_, (std::string("PRAGMA table_info(") + column.table + ")").c_str());
                while (info.Step()) present = present || info.Text(1) == column.name;
                if (!present)
                    Statement(db_, (std::string("ALTER TABLE ") + column.table + " ADD COLUMN " + column.name + " " +
                                    column.definition).c_str()).Run();
            }
        }
        if (found != SchemaVersion())
            Statement(db_, ("PRAGMA user_version = " + std::to_string(SchemaVersion())).c_str()).Run();
        Statement(db_, "COMMIT").Run();
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

PictureFolder::Recovery SqliteStore::Recover() {
    std::lock_guard lock(mutex_);
    std::set<std::string> keys;
    Use all(Prepared("SELECT file_key FROM screenshots"));
    while (all->Step()) keys.insert(all->Text(0));
    return files_.CleanUp(keys);
}

SqliteStore::~SqliteStore() {
    statements_.clear();
    limitStatements_.clear();
    sqlite3_close(db_);
    sqlite3_close(limits_);
}

SqliteStore::Statement& SqliteStore::Prepared(const char* sql) {
    for (auto& [text, statement] : statements_)
        if (text == sql) return *statement;
    statements_.emplace_back(sql, std::make_unique<Statement>(db_, sql));
    return *statements_.back().second;
}

SqliteStore::Statement& SqliteStore::PreparedLimits(const char* sql) {
    for (auto& [text, statement] : limitStatements_)
        if (text == sql) return *statement;
    limitStatements_.emplace_back(sql, std::make_unique<Statement>(limits_, sql));
    return *limitStatements_.back().second;
}

// The names tried for one record in the running transaction; a failed
// insert undoes only itself. False when none of them was free.
bool SqliteStore::InsertRecord(Screenshot& r) {
    static constexpr const char* Insert =
        "INSERT INTO screenshots(name, file_key, description, uploaded_at, account_id, client_hash, session_id,"
        " size, width, height) SELECT ?1,?2,?3,?4,?5,?6,?7,?8,?9,?10"
        " WHERE NOT EXISTS (SELECT 1 FROM retired_names WHERE name = ?1)";
    for (int attempt = 0; attempt < 20; ++attempt) {
        r.name = RandomScreenshotName();
        bool taken = false;
        Use insert(Prepared(Insert));
        insert->Bind(r.name).Bind(r.fileKey).Bind(r.description).Bind(r.uploadedAt).Bind(r.accountId);
        insert->Bind(r.clientHash).Bind(r.sessionId).Bind(r.size).Bind(std::int64_t(r.width));
        insert->Bind(std::int64_t(r.height)).Step(&taken);
        taken = taken || sqlite3_changes(db_) == 0;  // a name given out before
        if (!taken) {
            r.id = sqlite3_last_insert_rowid(db_);
            return true;
        }
    }
    return false;
}

// One transaction for the whole batch: either all its records are there, or
// (a failed commit) none is and each upload hears of it. Their pictures'
// moves into the folder reach the disk first, with one sync for all.
void SqliteStore::RecordBatch(const std::vector<PendingRecord*>& batch) {
    try {
        files_.SyncFolder();  // outside the lock: only one batch is recorded at a time anyway
    } catch (...) {
        for (PendingRecord* pending : batch) pending->failure = std::current_exception();
        return;
    }
    std::lock_guard lock(mutex_);
    std::vector<PendingRecord*> written;
    try {
        Transaction transaction(*this);
        for (PendingRecord* pending : batch) {
            if (InsertRecord(pending->record))
                written.push_back(pending);
            else
                pending->failure = std::make_exception_ptr(StoreError("no free screenshot name found"));
        }
        transaction.Commit();
    } catch (...) {
        for (PendingRecord* pending : batch) pending->failure = std::current_exception();
        return;
    }
    for (PendingRecord* pending : written) {
        ++totals_.screenshots;
        totals_.bytes += pending->record.size;
    }
}

Screenshot SqliteStore::AddScreenshot(const NewScreenshot& n, const std::string& stagedFile) {
    const std::string key = RandomHex(16);
    files_.Place(stagedFile, key);  // its data on disk; its name before it is recorded (RecordBatch)
    struct stat info {};
    return Record(n, key, ::stat(files_.PathOf(key).c_str(), &info) == 0 ? info.st_size : 0);
}

Screenshot SqliteStore::AddScreenshotBytes(const NewScreenshot& n, std::string_view picture) {
    const std::string key = RandomHex(16);
    files_.Place(picture, key);
    return Record(n, key, std::int64_t(picture.size()));
}

Screenshot SqliteStore::Record(const NewScreenshot& n, const std::string& fileKey, std::int64_t size) {
    PendingRecord mine;
    Screenshot& r = mine.record;
    r = RecordOf(n);
    r.fileKey = fileKey;
    r.size = size;

    // Answered only once its transaction is committed: the uploads that came
    // while another batch was syncing go together in the next one.
    std::vector<PendingRecord*> batch;
    {
        std::unique_lock lock(pendingMutex_);
        pending_.push_back(&mine);
        recorded_.wait(lock, [&] { return mine.done || !recording_; });
        if (!mine.done) {
            recording_ = true;
            batch.assign(pending_.begin(), pending_.end());
            pending_.clear();
        }
    }
    if (!batch.empty()) {
        RecordBatch(batch);
        {
            std::lock_guard lock(pendingMutex_);
            for (PendingRecord* pending : batch) pending->done = true;
            recording_ = false;
        }
        recorded_.notify_all();
    }
    if (mine.failure) {
        files_.Remove(r.fileKey);
        std::rethrow_exception(mine.failure);
    }
    return r;
}

std::optional<Screenshot> SqliteStore::FindScreenshot(const std::string& name) {
    std::lock_guard lock(mutex_);
    static const std::string sql = std::string("SELECT ") + ScreenshotColumns + " FROM screenshots WHERE name = ?";
    Use find(Prepared(sql.c_str()));
    find->Bind(name);
    if (!find->Step()) return std::nullopt;
    return ReadScreenshot(find.s);
}

bool SqliteStore::RenameScreenshot(std::int64_t id, const std::string& newName) {
    std::lock_guard lock(mutex_);
    Transaction transaction(*this);
    std::string oldName;
    {
        Use find(Prepared("SELECT name FROM screenshots WHERE id = ?"));
        find->Bind(id);
        if (!find->Step()) return false;
        oldName = find->Text(0);
    }
    if (oldName == newName) return true;
    {
        // A former name comes back only to its own screenshot.
        Use former(Prepared("SELECT screenshot_id FROM retired_names WHERE name = ?"));
        former->Bind(newName);
        if (former->Step() && (former->IsNull(0) || former->Int(0) != id)) return false;
    }
    bool taken = false;
    {
        Use rename(Prepared("UPDATE screenshots SET name = ? WHERE id = ?"));
        rename->Bind(newName).Bind(id).Step(&taken);
    }
    if (taken) return false;
    {
        Use back(Prepared("DELETE FROM retired_names WHERE name = ?"));
        back->Bind(newName).Run();
    }
    Use retire(Prepared("INSERT INTO retired_names(name, screenshot_id) VALUES(?,?)"));
    retire->Bind(oldName).Bind(id).Run();
    transaction.Commit();
    return true;
}

// Under the lock and in a transaction: the record goes, its names stay given out.
void SqliteStore::RetireAndDelete(std::int64_t id, const std::string& name) {
    {
        Use orphan(Prepared("UPDATE retired_names SET screenshot_id = NULL WHERE screenshot_id = ?"));
        orphan->Bind(id).Run();
    }
    {
        Use retire(Prepared("INSERT OR REPLACE INTO retired_names(name, screenshot_id) VALUES(?, NULL)"));
        retire->Bind(name).Run();
    }
    Use remove(Prepared("DELETE FROM screenshots WHERE id = ?"));
    remove->Bind(id).Run();
}

void SqliteStore::DeleteScreenshot(std::int64_t id) {
    std::lock_guard lock(mutex_);
    static const std::string sql = std::string("SELECT ") + ScreenshotColumns + " FROM screenshots WHERE id = ? LIMIT ?";
    DeleteListed(sql.c_str(), id, 1);
}

std::vector<Screenshot> SqliteStore::ScreenshotsOfAccount(std::int64_t accountId) {
    std::lock_guard lock(mutex_);
    static const std::string sql =
        std::string("SELECT ") + ScreenshotColumns + " FROM screenshots WHERE account_id = ? ORDER BY id DESC";
    Use list(Prepared(sql.c_str()));
    list->Bind(accountId);
    std::vector<Screenshot> out;
    while (list->Step()) out.push_back(ReadScreenshot(list.s));
    return out;
}

std::vector<Screenshot> SqliteStore::ScreenshotsOfSession(std::int64_t sessionId, std::int64_t afterId) {
    std::lock_guard lock(mutex_);
    static const std::string sql = std::string("SELECT ") + ScreenshotColumns +
                                   " FROM screenshots WHERE session_id = ? AND id > ? ORDER BY id DESC";
    Use list(Prepared(sql.c_str()));
    list->Bind(sessionId).Bind(afterId);
    std::vector<Screenshot> out;
    while (list->Step()) out.push_back(ReadScreenshot(list.s));
    return out;
}

std::unique_ptr<PictureReader> SqliteStore::OpenPicture(const Screenshot& screenshot) {
    return files_.Open(screenshot.fileKey);
}

std::string SqliteStore::StagingFolder() { return files_.StagingFolder(); }

std::optional<Account> SqliteStore::CreateAccount(const std::string& userName, const std::string& passwordHash,
                                                  std::int64_t now) {
    std::lock_guard lock(mutex_);
    bool taken = false;
    Use insert(Prepared("INSERT INTO accounts(username, password_hash, created_at) VALUES(?,?,?)"));
    insert->Bind(userName).Bind(passwordHash).Bind(now).Step(&taken);
    if (taken) return std::nullopt;
    return Account{sqlite3_last_insert_rowid(db_), userName, passwordHash, now, false};
}

std::optional<Account> SqliteStore::FindAccount(const std::string& userName) {
    std::lock_guard lock(mutex_);
    static const std::string sql = std::string("SELECT ") + AccountColumns + " FROM accounts WHERE username = ?";
    Use find(Prepared(sql.c_str()));
    find->Bind(userName);
    if (!find->Step()) return std::nullopt;
    return ReadAccount(find.s);
}

std::optional<Session> SqliteStore::LatestSession(const std::string& name) {
    static const std::string sql =
        std::string("SELECT ") + SessionColumns + " FROM sessions WHERE name = ? ORDER BY id DESC LIMIT 1";
    Use find(Prepared(sql.c_str()));
    find->Bind(name);
    if (!find->Step()) return std::nullopt;
    return ReadSession(find.s);
}

Session SqliteStore::OpenSession(const std::string& name, std::int64_t now, std::int64_t idleSeconds) {
    std::lock_guard lock(mutex_);
    std::optional<Session> session = LatestSession(name);
    if (session && now - session->lastActive <= idleSeconds) {
        Use touch(Prepared("UPDATE sessions SET last_active = ? WHERE id = ?"));
        touch->Bind(now).Bind(session->id).Run();
        session->lastActive = now;
        return *session;
    }
    Use insert(Prepared("INSERT INTO sessions(name, created_at, last_active) VALUES(?,?,?)"));
    insert->Bind(name).Bind(now).Bind(now).Run();
    return Session{sqlite3_last_insert_rowid(db_), name, now, now, "", std::nullopt};
}

std::optional<Session> SqliteStore::TouchSession(const std::string& name, std::int64_t now,
                                                 std::int64_t idleSeconds) {
    std::lock_guard lock(mutex_);
    std::optional<Session> session = LatestSession(name);
    if (!session || now - session->lastActive > idleSeconds) return std::nullopt;
    Use touch(Prepared("UPDATE sessions SET last_active = ? WHERE id = ?"));
    touch->Bind(now).Bind(session->id).Run();
    session->lastActive = now;
    return session;
}

std::optional<Session> SqliteStore::ClaimSession(const std::string& name, const std::string& ownerHash,
                                                 std::int64_t now, std::int64_t idleSeconds, bool onlyUnused) {
    std::lock_guard lock(mutex_);
    Transaction transaction(*this);
    std::optional<Session> latest = LatestSession(name);
    const bool live = latest && now - latest->lastActive <= idleSeconds;
    if (live && latest->ownerHash == ownerHash) {
        Use touch(Prepared("UPDATE sessions SET last_active = ? WHERE id = ?"));
        touch->Bind(now).Bind(latest->id).Run();
        latest->lastActive = now;
        transaction.Commit();
        return latest;
    }
    if (live || (onlyUnused && latest)) return std::nullopt;
    {
        Use insert(Prepared("INSERT INTO sessions(name, created_at, last_active, owner_hash) VALUES(?,?,?,?)"));
        insert->Bind(name).Bind(now).Bind(now).Bind(ownerHash).Run();
    }
    Session session{sqlite3_last_insert_rowid(db_), name, now, now, ownerHash, std::nullopt};
    transaction.Commit();
    return session;
}

void SqliteStore::SetSessionAccount(std::int64_t sessionId, std::int64_t accountId) {
    std::lock_guard lock(mutex_);
    Use set(Prepared("UPDATE sessions SET owner_account = ? WHERE id = ?"));
    set->Bind(accountId).Bind(sessionId).Run();
}

std::optional<Session> SqliteStore::FindSession(const std::string& name) {
    std::lock_guard lock(mutex_);
    return LatestSession(name);
}

void SqliteStore::AddLogin(const std::string& tokenHash, std::int64_t accountId, std::int64_t expires) {
    std::lock_guard lock(mutex_);
    Use insert(Prepared("INSERT OR REPLACE INTO logins(token_hash, account_id, expires) VALUES(?,?,?)"));
    insert->Bind(tokenHash).Bind(accountId).Bind(expires).Run();
}

std::optional<Account> SqliteStore::FindLogin(const std::string& tokenHash, std::int64_t now) {
    std::lock_guard lock(mutex_);
    Use find(Prepared("SELECT a.id, a.username, a.password_hash, a.created_at, a.disabled FROM logins l"
                      " JOIN accounts a ON a.id = l.account_id WHERE l.token_hash = ? AND l.expires > ?"
                      " AND a.disabled = 0"));
    find->Bind(tokenHash).Bind(now);
    if (!find->Step()) return std::nullopt;
    return ReadAccount(find.s);
}

void SqliteStore::RemoveLogin(const std::string& tokenHash) {
    std::lock_guard lock(mutex_);
    Use remove(Prepared("DELETE FROM logins WHERE token_hash = ?"));
    remove->Bind(tokenHash).Run();
}

std::string SqliteStore::Setting(const std::string& key, const std::string& fallback) {
    std::lock_guard lock(mutex_);
    {
        Use insert(Prepared("INSERT OR IGNORE INTO settings(key, value) VALUES(?,?)"));
        insert->Bind(key).Bind(fallback).Run();
    }
    Use find(Prepared("SELECT value FROM settings WHERE key = ?"));
    find->Bind(key);
    return find->Step() ? find->Text(0) : fallback;
}

std::optional<Screenshot> SqliteStore::FindByFormerName(const std::string& name) {
    std::lock_guard lock(mutex_);
    static const std::string sql = std::string("SELECT ") + ScreenshotColumns +
                                   " FROM screenshots WHERE id = (SELECT screenshot_id FROM retired_names WHERE name = ?)";
    Use find(Prepared(sql.c_str()));
    find->Bind(name);
    if (!find->Step()) return std::nullopt;
    return ReadScreenshot(find.s);
}

std::vector<Account> SqliteStore::Accounts() {
    std::lock_guard lock(mutex_);
    static const std::string sql = std::string("SELECT ") + AccountColumns + " FROM accounts ORDER BY username";
    Use list(Prepared(sql.c_str()));
    std::vector<Account> out;
    while (list->Step()) out.push_back(ReadAccount(list.s));
    return out;
}

void SqliteStore::SetAccountDisabled(std::int64_t accountId, bool disabled) {
    std::lock_guard lock(mutex_);
    Use set(Prepared("UPDATE accounts SET disabled = ? WHERE id = ?"));
    set->Bind(std::int64_t(disabled)).Bind(accountId).Run();
}

void SqliteStore::Count(const std::string& key, std::int64_t amount, std::int64_t at) {
    std::lock_guard lock(limitsMutex_);
    {
        Use add(PreparedLimits("INSERT INTO counts(key, minute, amount) VALUES(?,?,?)"
                               " ON CONFLICT(key, minute) DO UPDATE SET amount = amount + excluded.amount"));
        add->Bind(key).Bind(at - at % 60).Bind(amount).Run();
    }
    if (++countsSincePrune_ >= 1000) {
        countsSincePrune_ = 0;
        Use prune(PreparedLimits("DELETE FROM counts WHERE minute < ?"));
        prune->Bind(at - KeepCounts).Run();
    }
}

std::int64_t SqliteStore::Counted(const std::string& key, std::int64_t since) {
    std::lock_guard lock(limitsMutex_);
    Use sum(PreparedLimits("SELECT COALESCE(SUM(amount), 0) FROM counts WHERE key = ? AND minute >= ?"));
    sum->Bind(key).Bind(since + 59 - (since + 59) % 60);  // whole minutes from since on
    return sum->Step() ? sum->Int(0) : 0;
}

void SqliteStore::Forget(const std::string& key) {
    std::lock_guard lock(limitsMutex_);
    Use remove(PreparedLimits("DELETE FROM counts WHERE key = ?"));
    remove->Bind(key).Run();
}

std::uint64_t SqliteStore::FreeBytes() {
    struct statvfs info {};
    if (::statvfs(files_.PicturesFolder().c_str(), &info) != 0) return UINT64_MAX;
    return std::uint64_t(info.f_bavail) * info.f_frsize;
}

std::vector<Screenshot> SqliteStore::DeleteListed(const char* selectSql, std::int64_t argument, std::int64_t limit,
                                                  const char* alsoSql) {
    std::vector<Screenshot> gone;
    {
        Transaction transaction(*this);
        {
            Use list(Prepared(selectSql));
            list->Bind(argument).Bind(limit);
            while (list->Step()) gone.push_back(ReadScreenshot(list.s));
        }
        for (const Screenshot& shot : gone) RetireAndDelete(shot.id, shot.name);
        if (alsoSql) {
            Use also(Prepared(alsoSql));
            also->Bind(argument).Run();
        }
        transaction.Commit();
    }
    // After the records: a crash in between leaves an orphan, quarantined at the next start.
    for (const Screenshot& shot : gone) {
        files_.Remove(shot.fileKey);
        --totals_.screenshots;
        totals_.bytes -= shot.size;
    }
    return gone;
}

std::vector<Screenshot> SqliteStore::DeleteScreenshotsBefore(std::int64_t uploadedBefore, int limit) {
    std::lock_guard lock(mutex_);
    static const std::string sql = std::string("SELECT ") + ScreenshotColumns +
                                   " FROM screenshots WHERE uploaded_at < ? ORDER BY uploaded_at, id LIMIT ?";
    return DeleteListed(sql.c_str(), uploadedBefore, limit);
}

std::vector<Screenshot> SqliteStore::DeleteScreenshotsOfAccount(std::int64_t accountId) {
    std::lock_guard lock(mutex_);
    static const std::string sql =
        std::string("SELECT ") + ScreenshotColumns + " FROM screenshots WHERE account_id = ? ORDER BY id LIMIT ?";
    return DeleteListed(sql.c_str(), accountId, -1);
}

std::vector<Screenshot> SqliteStore::DeleteAccount(std::int64_t accountId) {
    std::lock_guard lock(mutex_);
    static const std::string sql =
        std::string("SELECT ") + ScreenshotColumns + " FROM screenshots WHERE account_id = ? ORDER BY id LIMIT ?";
    // Its web logins go with it (ON DELETE CASCADE).
    return DeleteListed(sql.c_str(), accountId, -1, "DELETE FROM accounts WHERE id = ?");
}

void SqliteStore::SetPasswordHash(std::int64_t accountId, const std::string& passwordHash) {
    std::lock_guard lock(mutex_);
    Transaction transaction(*this);
    {
        Use update(Prepared("UPDATE accounts SET password_hash = ? WHERE id = ?"));
        update->Bind(passwordHash).Bind(accountId).Run();
    }
    Use logouts(Prepared("DELETE FROM logins WHERE account_id = ?"));
    logouts->Bind(accountId).Run();
    transaction.Commit();
}

int SqliteStore::RemoveEmptySessions(std::int64_t idleBefore) {
    std::lock_guard lock(mutex_);
    Use remove(Prepared("DELETE FROM sessions WHERE last_active < ? AND NOT EXISTS"
                        " (SELECT 1 FROM screenshots WHERE session_id = sessions.id)"));
    remove->Bind(idleBefore).Run();
    return sqlite3_changes(db_);
}

void SqliteStore::SaveThumbnail(const Screenshot& screenshot, const std::string& jpeg) {
    const std::string staged = files_.StageThumbnail(jpeg);  // the slow part, outside the lock
    std::lock_guard lock(mutex_);
    // Under the lock, so a deletion either sees the thumbnail and removes it, or happened before and keeps it out.
    Use find(Prepared("SELECT 1 FROM screenshots WHERE id = ? AND file_key = ?"));
    find->Bind(screenshot.id).Bind(screenshot.fileKey);
    if (find->Step())
        files_.PlaceThumbnail(staged, screenshot.fileKey);
    else
        ::unlink(staged.c_str());
}

std::optional<std::string> SqliteStore::LoadThumbnail(const Screenshot& screenshot) {
    std::ifstream in(files_.ThumbnailPathOf(screenshot.fileKey), std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

StoreTotals SqliteStore::Totals() {
    std::lock_guard lock(mutex_);
    return totals_;
}

}  // namespace snapora::server
