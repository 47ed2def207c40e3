#include "store/postgres/Migration.h"

#include <sodium.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "store/SqliteStore.h"
#include "store/postgres/PgConnection.h"
#include "store/postgres/PgSchema.h"

namespace snapora::server {

namespace {

using Row = std::vector<std::optional<std::string>>;

// A table that is copied row for row; its key column comes first.
struct Table {
    const char* name;
    const char* columns;
    const char* conflict;                // what to do with a row already there
    const char* readColumns = nullptr;   // to compare with the source's text, where they differ from `columns`
};

constexpr const char* KeepIt = "ON CONFLICT DO NOTHING";
// The source's settings (the server's key above all) are the ones its cookies were made with.
constexpr const char* TakeTheSources = "ON CONFLICT (key) DO UPDATE SET value = excluded.value"
                                       " WHERE settings.value IS DISTINCT FROM excluded.value";

// In the order their references need; screenshots come with their pictures.
// SQLite keeps truth as 0 and 1.
constexpr Table Accounts{"accounts", "id, username, password_hash, created_at, disabled", KeepIt,
                         "id, username, password_hash, created_at, disabled::integer"};
constexpr Table Sessions{"sessions", "id, name, created_at, last_active, owner_hash, owner_account", KeepIt};
constexpr Table Screenshots{"screenshots",
                            "id, name, file_key, description, uploaded_at, account_id, client_hash, session_id, size,"
                            " width, height",
                            KeepIt};
constexpr Table RetiredNames{"retired_names", "name, screenshot_id", KeepIt};
constexpr Table Logins{"logins", "token_hash, account_id, expires", KeepIt};
constexpr Table Settings{"settings", "key, value", TakeTheSources};
constexpr const Table* CountersOf[] = {&Accounts, &Sessions, &Screenshots};

constexpr PgStatement InsertPicture{
    "migrate_picture",
    "INSERT INTO pictures(key, size, sha256, data) VALUES($1, $2, $3, $4) ON CONFLICT DO NOTHING RETURNING 1"};
constexpr PgStatement CopyThumbnail{"migrate_thumbnail",
                                      "INSERT INTO thumbnails(key, jpeg) VALUES($1, $2) ON CONFLICT DO NOTHING"};
// The stored hash and a fresh one over the stored bytes, both against the file's.
constexpr PgStatement CheckPicture{
    "migrate_check_picture", "SELECT size = $2 AND sha256 = $3 AND sha256(data) = $3 FROM pictures WHERE key = $1"};

// The statements that copy one table's rows and read one back, made from the
// table's fixed names. Not movable: the statements point into the texts.
struct TableCopy {
    explicit TableCopy(const Table& t)
        : table(t),
          insertSql(std::string("INSERT INTO ") + t.name + "(" + t.columns + ") VALUES(" + Placeholders(t.columns) +
                    ") " + t.conflict + " RETURNING 1"),
          readSql(std::string("SELECT ") + (t.readColumns ? t.readColumns : t.columns) + " FROM " + t.name + " WHERE " +
                  KeyOf(t.columns) + " = $1"),
          insertName(std::string("migrate_insert_") + t.name),
          readName(std::string("migrate_read_") + t.name),
          insert{insertName.c_str(), insertSql.c_str()},
          read{readName.c_str(), readSql.c_str()} {}
    TableCopy(const TableCopy&) = delete;

    static std::string Placeholders(const std::string& columns) {
        std::string out = "$1";
        int n = 1;
        for (char c : columns)
            if (c == ',') out += ", $" + std::to_string(++n);
        return out;
    }
    static std::string KeyOf(const std::string& columns) { return columns.substr(0, columns.find(',')); }

    const Table& table;
    const std::string insertSql, readSql, insertName, readName;
    const PgStatement insert, read;
};

// The source database, read-only.
class Source {
public:
    explicit Source(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw StoreError("opening " + path + ": " + why);
        }
    }
    ~Source() { sqlite3_close(db_); }

    template <class Each>
    void ForEachRow(const Table& table, Each each) {
        const std::string sql = std::string("SELECT ") + table.columns + " FROM " + table.name + " ORDER BY 1";
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            throw StoreError(std::string("reading ") + table.name + ": " + sqlite3_errmsg(db_));
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(statement, &sqlite3_finalize);
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            Row row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                if (text) row.emplace_back(std::string(text, std::size_t(sqlite3_column_bytes(statement, i))));
                else row.emplace_back(std::nullopt);
            }
            each(row);
        }
        if (rc != SQLITE_DONE) throw StoreError(std::string("reading ") + table.name + ": " + sqlite3_errmsg(db_));
    }

private:
    sqlite3* db_ = nullptr;
};

std::string Describe(const TableCopy& copy, const Row& row) {
    return std::string(copy.table.name) + " " + TableCopy::KeyOf(copy.table.columns) + " " + row[0].value_or("NULL");
}

// Copies a row unless one with its key is there; true when the database then
// holds exactly this row. `copied` says whether it was this call that put it there.
bool CopyRow(PgConnection& c, const TableCopy& copy, const Row& row, bool& copied) {
    PgParams params;
    for (const auto& value : row) params.Add(value);
    copied = c.Execute(copy.insert, params).Rows() == 1;
    PgResult back = c.Execute(copy.read, row[0]);
    if (back.Rows() != 1) return false;
    for (std::size_t i = 0; i < row.size(); ++i) {
        std::optional<std::string> there;
        if (!back.IsNull(0, int(i))) there = back.Text(0, int(i));
        if (there != row[i]) return false;
    }
    return true;
}

void CopyTable(PgConnection& c, Source& source, const Table& table, MigrationReport& report) {
    TableCopy copy(table);
    source.ForEachRow(table, [&](const Row& row) {
        bool copied = false;
        if (!CopyRow(c, copy, row, copied))
            report.problems.push_back(Describe(copy, row) + ": the database holds a different record under its key");
        else
            ++(copied ? report.recordsCopied : report.recordsPresent);
    });
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

// One screenshot and its picture, together or not at all; then the picture is checked.
void CopyScreenshot(PgConnection& c, const TableCopy& copy, const std::string& dataDir, const Row& row,
                    MigrationReport& report) {
    const std::string key = row[2].value_or("");
    const std::string path = dataDir + "/pictures/" + key + ".jpg";
    std::optional<std::string> picture = ReadWholeFile(path);
    if (!picture) {
        report.problems.push_back(Describe(copy, row) + ": its picture " + path + " cannot be read");
        return;
    }
    unsigned char sha256[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(sha256, reinterpret_cast<const unsigned char*>(picture->data()), picture->size());
    const PgBytes hash{sha256, sizeof sha256};
    const std::int64_t size = std::int64_t(picture->size());

    PgTransaction transaction(c);
    const bool pictureCopied =
        c.Execute(InsertPicture, key, size, hash, PgBytes{picture->data(), picture->size()}).Rows() == 1;
    bool copied = false;
    if (!CopyRow(c, copy, row, copied)) {
        report.problems.push_back(Describe(copy, row) + ": the database holds a different record under its key or name");
        return;  // rolled back, its picture with it
    }
    // Its thumbnail, if one was made; the server makes any that is missing when it is first asked for.
    if (std::optional<std::string> thumbnail = ReadWholeFile(dataDir + "/pictures/" + key + ".thumb.jpg"))
        c.Execute(CopyThumbnail, key, PgBytes{thumbnail->data(), thumbnail->size()});
    transaction.Commit();
    ++(copied ? report.recordsCopied : report.recordsPresent);
    ++(pictureCopied ? report.picturesCopied : report.picturesPresent);

    PgResult check = c.Execute(CheckPicture, key, size, hash);
    if (check.Rows() == 1 && check.Text(0, 0) == "t")
        ++report.picturesVerified;
    else
        report.problems.push_back(Describe(copy, row) + ": its picture in the database differs from " + path);
}

}  // namespace

MigrationReport MigrateToPostgres(const std::string& dataDir, const std::string& conninfo,
                                  const std::function<void(const std::string&)>& progress) {
    const std::string path = dataDir + "/snapora.db";
    if (!std::filesystem::is_regular_file(path)) throw StoreError("there is no " + path);
    {
        SqliteStore upgraded(dataDir);  // the source at this build's schema, as starting the server on it would leave it
    }
    Source source(path);

    PgConnection c(conninfo);
    UpgradePgSchema(c);
    MigrationReport report;
    for (const Table* table : {&Accounts, &Sessions}) CopyTable(c, source, *table, report);

    TableCopy screenshots(Screenshots);
    int done = 0;
    source.ForEachRow(Screenshots, [&](const Row& row) {
        CopyScreenshot(c, screenshots, dataDir, row, report);
        if (++done % 200 == 0) progress(std::to_string(done) + " screenshots so far");
    });
    for (const Table* table : {&RetiredNames, &Logins, &Settings}) CopyTable(c, source, *table, report);

    // New rows made by the servers must not take ids the copies brought along.
    for (const Table* table : CountersOf) {
        const std::string sql = std::string("SELECT setval(pg_get_serial_sequence('") + table->name +
                                "', 'id'), COALESCE(max(id), 0) + 1, false) FROM " + table->name;
        const std::string name = std::string("migrate_counter_") + table->name;
        c.Execute(PgStatement{name.c_str(), sql.c_str()});
    }
    return report;
}

}  // namespace snapora::server
