#pragma once
// Moving a SQLite data folder into PostgreSQL: records with their ids, and
// every picture (with its thumbnail), each screenshot together with its
// picture in one transaction. What is already there is left alone (so a
// second run copies only what the first did not), but checked: a record that
// differs, or a picture whose bytes in the database do not hash to its
// file's SHA-256, is reported, never overwritten.

#include <functional>
#include <string>
#include <vector>

namespace snapora::server {

struct MigrationReport {
    int recordsCopied = 0, recordsPresent = 0;    // accounts, sessions, screenshots, former names, logins, settings
    int picturesCopied = 0, picturesPresent = 0;
    int picturesVerified = 0;                     // in the database and alike by SHA-256
    std::vector<std::string> problems;            // empty when everything arrived whole
};

// Run with the servers stopped. Throws StoreError when either side cannot be opened.
MigrationReport MigrateToPostgres(const std::string& dataDir, const std::string& conninfo,
                                  const std::function<void(const std::string&)>& progress);

}  // namespace snapora::server
