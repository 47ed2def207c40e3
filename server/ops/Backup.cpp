#include "ops/Backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <stdexcept>

#include "config/Options.h"
#include "ops/CommandLine.h"
#include "store/WriteAll.h"
#include "text/LocalTime.h"

namespace snapora::server {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }
[[noreturn]] void FailErrno(const std::string& what) { Fail(what + ": " + std::strerror(errno)); }

class Database {
public:
    Database(const std::string& path, int flags) {
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
            std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            Fail("opening " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, 10000);
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    sqlite3* get() const { return db_; }

    // The first column of every row; `bind` fills a single text parameter when given.
    std::vector<std::string> Column(const char* sql, const std::string* bind = nullptr) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
            Fail(std::string("database: ") + sqlite3_errmsg(db_));
        if (bind) sqlite3_bind_text(statement, 1, bind->data(), int(bind->size()), SQLITE_TRANSIENT);
        std::vector<std::string> rows;
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            rows.emplace_back(text ? text : "");
        }
        sqlite3_finalize(statement);
        if (rc != SQLITE_DONE) Fail(std::string("database: ") + sqlite3_errmsg(db_));
        return rows;
    }

    void CheckWhole(const std::string& what) {
        std::vector<std::string> check = Column("PRAGMA quick_check");
        if (check.size() != 1 || check[0] != "ok") Fail(what + " is damaged: " + (check.empty() ? "" : check[0]));
    }

private:
    sqlite3* db_ = nullptr;
};

void SyncPath(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        errno = error;
        FailErrno("syncing " + path);
    }
    ::close(fd);
}

void CopyDurably(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) FailErrno("reading " + from);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
    if (out < 0) {
        ::close(in);
        FailErrno("creating " + to);
    }
    char buffer[1 << 16];
    ssize_t n;
    bool ok = true;
    while (ok && (n = ::read(in, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        ok = WriteAll(out, buffer, std::size_t(n));
    }
    ok = ok && ::fsync(out) == 0;
    int error = errno;
    ::close(in);
    ::close(out);
    if (!ok) {
        ::unlink(to.c_str());
        errno = error;
        FailErrno("copying " + from + " to " + to);
    }
}

enum class Placed { Linked, Copied, Missing };

// Pictures never change once stored, so a second name for the same file is as good as a copy.
Placed LinkOrCopy(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) return Placed::Linked;
    if (errno == ENOENT && ::access(from.c_str(), F_OK) != 0) return Placed::Missing;
    if (errno != EXDEV && errno != EPERM && errno != EMLINK) FailErrno("linking " + from + " to " + to);
    CopyDurably(from, to);
    return Placed::Copied;
}

void RequireEmptyFolder(const std::string& path) {
    std::error_code error;
    if (fs::exists(path, error) && !fs::is_empty(path, error)) Fail(path + " is not empty");
    fs::create_directories(path, error);
    if (error) Fail("creating " + path + ": " + error.message());
}

// The operator's own files for the download page: plain copies, when there are any.
void CopyDownloads(const std::string& from, const std::string& to) {
    std::error_code error;
    if (!fs::is_directory(from, error)) return;
    fs::create_directories(to, error);
    for (const auto& entry : fs::directory_iterator(from, error))
        if (entry.is_regular_file(error) && !fs::exists(to + "/" + entry.path().filename().string(), error))
            CopyDurably(entry.path().string(), to + "/" + entry.path().filename().string());
}

std::string Stamp() { return LocalTime(std::time(nullptr), "%Y%m%d-%H%M%S"); }

// The configuration names a PostgreSQL database: the data folder holds nothing to back up.
constexpr const char* NotForPostgres =
    "the configuration keeps records and pictures in PostgreSQL (database = ...): back them up with pg_dump";

}  // namespace

BackupSummary BackupData(const std::string& dataDir, const std::string& target) {
    const std::string source = dataDir + "/snapora.db";
    if (!fs::exists(source)) Fail("no database in " + dataDir);
    RequireEmptyFolder(target);
    fs::create_directories(target + "/pictures");
    const std::string partial = target + "/snapora.db.partial";
    {
        Database live(source, SQLITE_OPEN_READWRITE);
        Database copy(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", live.get(), "main");
        if (!backup) Fail(std::string("starting the backup: ") + sqlite3_errmsg(copy.get()));
        // All pages in one step: one read transaction, so one moment of the live database.
        int rc = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) Fail(std::string("copying the database: ") + sqlite3_errstr(rc));
    }

    BackupSummary summary;
    Database copy(partial, SQLITE_OPEN_READWRITE);
    copy.Column("PRAGMA journal_mode=DELETE");  // one self-contained file
    for (const std::string& key : copy.Column("SELECT file_key FROM screenshots")) {
        const std::string picture = "/pictures/" + key + ".jpg", thumbnail = "/pictures/" + key + ".thumb.jpg";
        switch (LinkOrCopy(dataDir + picture, target + picture)) {
            case Placed::Linked: ++summary.linked; break;
            case Placed::Copied: ++summary.copied; break;
            case Placed::Missing:
                // Deleted since the database's moment: the backup leaves it out, as a later moment would.
                copy.Column("DELETE FROM screenshots WHERE file_key = ?", &key);
                ++summary.vanished;
                continue;
        }
        ++summary.screenshots;
        if (::access((dataDir + thumbnail).c_str(), F_OK) == 0) LinkOrCopy(dataDir + thumbnail, target + thumbnail);
    }
    copy.CheckWhole("the copied database");
    SyncPath(partial);
    CopyDownloads(dataDir + "/downloads", target + "/downloads");
    SyncPath(target + "/pictures");
    if (::rename(partial.c_str(), (target + "/snapora.db").c_str()) != 0) FailErrno("finishing the backup");
    SyncPath(target);
    return summary;
}

RestoreSummary RestoreData(const std::string& backupDir, const std::string& dataDir, bool replace) {
    const std::string backupDb = backupDir + "/snapora.db";
    if (!fs::exists(backupDb)) Fail("no backup in " + backupDir + " (snapora.db is missing)");
    std::vector<std::string> keys;
    {
        Database backup(backupDb, SQLITE_OPEN_READONLY);
        backup.CheckWhole("the backup's database");
        keys = backup.Column("SELECT file_key FROM screenshots");
    }
    for (const std::string& key : keys)
        if (::access((backupDir + "/pictures/" + key + ".jpg").c_str(), R_OK) != 0)
            Fail("the backup is incomplete: pictures/" + key + ".jpg is missing");

    std::error_code error;
    fs::create_directories(dataDir, error);
    if (error) Fail("creating " + dataDir + ": " + error.message());
    const std::string lockPath = dataDir + "/snapora.lock";
    int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0) FailErrno("opening " + lockPath);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closeLock{lock};
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) Fail("a snapora-server is using " + dataDir + ": stop it first");

    RestoreSummary summary;
    std::vector<std::string> created = {lockPath};
    if (fs::exists(dataDir + "/snapora.db")) {
        if (!replace) Fail(dataDir + " holds a database already; --replace moves it aside first");
        summary.setAside = dataDir + "/replaced-" + Stamp();
        fs::create_directories(summary.setAside);
        for (const char* part : {"snapora.db", "snapora.db-wal", "snapora.db-shm", "pictures", "staging"})
            if (fs::exists(dataDir + "/" + part, error)) fs::rename(dataDir + "/" + part, summary.setAside + "/" + part);
    }
    fs::create_directories(dataDir + "/pictures");
    created.push_back(dataDir + "/pictures");
    for (const std::string& key : keys) {
        for (const std::string& file : {key + ".jpg", key + ".thumb.jpg"}) {
            const std::string from = backupDir + "/pictures/" + file, to = dataDir + "/pictures/" + file;
            if (fs::exists(to, error) || !fs::exists(from, error)) continue;
            LinkOrCopy(from, to);
            created.push_back(to);
        }
    }
    SyncPath(dataDir + "/pictures");
    const std::string partial = dataDir + "/snapora.db.partial";
    ::unlink(partial.c_str());
    CopyDurably(backupDb, partial);
    if (::rename(partial.c_str(), (dataDir + "/snapora.db").c_str()) != 0) FailErrno("putting the database in place");
    created.push_back(dataDir + "/snapora.db");
    CopyDownloads(backupDir + "/downloads", dataDir + "/downloads");
    SyncPath(dataDir);

    // Restored by root for a server that runs as its own user: theirs, like the folder.
    struct stat folder {};
    if (::geteuid() == 0 && ::stat(dataDir.c_str(), &folder) == 0 && folder.st_uid != 0) {
        for (const auto& entry : fs::recursive_directory_iterator(dataDir + "/downloads", error))
            created.push_back(entry.path().string());
        created.push_back(dataDir + "/downloads");
        for (const std::string& path : created) ::lchown(path.c_str(), folder.st_uid, folder.st_gid);
    }
    summary.screenshots = std::int64_t(keys.size());
    return summary;
}

int RunBackup(const std::vector<std::string>& arguments) {
    CommandLine line = ReadCommandLine(arguments, {"--data", "--to"});
    if (line.error.empty() && line.values.count("--database")) line.error = NotForPostgres;
    if (!line.error.empty() || line.replace) {
        std::cerr << "snapora-server backup: " << (line.error.empty() ? "unknown argument --replace" : line.error)
                  << "\nUsage: snapora-server backup --data DIR --to DIR   (or --config FILE for the data folder)\n";
        return 2;
    }
    try {
        BackupSummary s = BackupData(line.values["--data"], line.values["--to"]);
        std::cout << "snapora-server: backup of " << s.screenshots << " screenshot(s) in " << line.values["--to"] << " ("
                  << s.linked << " picture(s) hard-linked, " << s.copied << " copied";
        if (s.vanished) std::cout << "; " << s.vanished << " deleted meanwhile, left out";
        std::cout << ")\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "snapora-server backup: " << error.what() << "\n";
        return 1;
    }
}

int RunRestore(const std::vector<std::string>& arguments) {
    CommandLine line = ReadCommandLine(arguments, {"--from", "--data"});
    if (line.error.empty() && line.values.count("--database")) line.error = NotForPostgres;
    if (!line.error.empty()) {
        std::cerr << "snapora-server restore: " << line.error
                  << "\nUsage: snapora-server restore --from DIR --data DIR [--replace]   (or --config FILE)\n";
        return 2;
    }
    try {
        RestoreSummary s = RestoreData(line.values["--from"], line.values["--data"], line.replace);
        std::cout << "snapora-server: restored " << s.screenshots << " screenshot(s) into " << line.values["--data"];
        if (!s.setAside.empty()) std::cout << "; the replaced data is in " << s.setAside;
        std::cout << "\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "snapora-server restore: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace snapora::server
