#pragma once
// Backups of the data folder while the server runs, and putting one back.
// The database is copied through SQLite's online backup (one consistent
// moment, writers go on meanwhile); then the pictures its records name, which
// never change once stored, are hard-linked (copied across file systems).

#include <cstdint>
#include <string>
#include <vector>

namespace snapora::server {

struct BackupSummary {
    std::int64_t screenshots = 0;
    int linked = 0, copied = 0;
    int vanished = 0;  // deleted on the live side between the database's copy and their picture's
};

// Into target, which must be missing or empty. Throws std::runtime_error.
BackupSummary BackupData(const std::string& dataDir, const std::string& target);

struct RestoreSummary {
    std::int64_t screenshots = 0;
    std::string setAside;  // where the replaced database and pictures went, if any
};

// Checks the backup whole (database and every picture), then puts it into
// dataDir. Refuses while a server uses dataDir, and when it holds a database
// unless `replace`, which moves that aside first. Run as root, what it
// writes is given to dataDir's owner. Throws std::runtime_error.
RestoreSummary RestoreData(const std::string& backupDir, const std::string& dataDir, bool replace);

// The subcommands "backup" and "restore": their arguments, the exit status.
int RunBackup(const std::vector<std::string>& arguments);
int RunRestore(const std::vector<std::string>& arguments);

}  // namespace snapora::server
