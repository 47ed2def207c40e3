#pragma once
// One libpq connection. Every query the server sends goes through Execute: a
// statement prepared once per connection, its values bound as parameters,
// never spliced into the SQL.

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "store/Store.h"

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace snapora::server {

// A statement of the server's, prepared on each connection at its first use.
// Its name stands for its SQL: one name, one text. With binaryResult its
// columns come back as bytes (pictures).
struct PgStatement {
    const char* name;
    const char* sql;
    bool binaryResult = false;
};

// Raw bytes for a bytea parameter; not copied, so they must outlive the call.
struct PgBytes {
    const void* data;
    std::size_t size;
};

// What the database refused, with its SQLSTATE code ("23505": a unique value taken).
struct PgError : StoreError {
    PgError(const std::string& what, std::string code) : StoreError(what), sqlstate(std::move(code)) {}
    std::string sqlstate;
};

class PgResult {
public:
    explicit PgResult(PGresult* result) : result_(result) {}
    PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    PgResult& operator=(PgResult&&) = delete;
    ~PgResult();

    int Rows() const;
    int Affected() const;  // rows an INSERT, UPDATE or DELETE changed
    bool IsNull(int row, int column) const;
    std::string Text(int row, int column) const;
    std::int64_t Int(int row, int column) const;  // text or binary, 2, 4 or 8 bytes
    std::string_view Bytes(int row, int column) const;

private:
    PGresult* result_;
};

class PgParams {
public:
    PgParams& Add(const std::string& text);
    PgParams& Add(const char* text) { return Add(std::string(text)); }
    PgParams& Add(std::int64_t number) { return Add(std::to_string(number)); }
    PgParams& Add(int number) { return Add(std::int64_t(number)); }
    PgParams& Add(const std::optional<std::int64_t>& number);  // NULL when empty
    PgParams& Add(const std::optional<std::string>& text);     // NULL when empty
    PgParams& Add(PgBytes bytes);

    std::vector<const char*> values;
    std::vector<int> lengths, formats;

private:
    std::deque<std::string> owned_;  // a deque keeps the pointers handed out stable
};

class PgConnection {
public:
    // Connects (libpq connection string or URI; a connect timeout of 5 s unless
    // it says otherwise). Throws StoreUnavailable.
    explicit PgConnection(const std::string& conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    template <class... Values>
    PgResult Execute(const PgStatement& statement, const Values&... values) {
        PgParams params;
        (params.Add(values), ...);
        return Execute(statement, params);
    }
    // Throws StoreUnavailable when the connection is lost, PgError otherwise.
    PgResult Execute(const PgStatement& statement, const PgParams& params);
    // Fixed SQL without parameters (schema changes), in one go.
    void ExecuteScript(const std::string& sql);

    // Lost, or found closed by the server while it lay idle (the database
    // restarted): not worth another statement.
    bool Broken();
    bool InTransaction() const;
    // Ends an open transaction without its changes; errors are swallowed (a
    // lost connection has rolled back by itself).
    void RollBackIfOpen();
    // Statements sent since the count was last reset.
    int Sent() const { return sent_; }
    void ResetSent() { sent_ = 0; }

private:
    [[noreturn]] void Fail(PGresult* result, const char* what);

    PGconn* connection_ = nullptr;
    std::set<std::string, std::less<>> prepared_;  // by name
    int sent_ = 0;
    bool lost_ = false;
};

// BEGIN on creation; ROLLBACK when left without Commit (errors swallowed:
// a lost connection has rolled back by itself).
class PgTransaction {
public:
    explicit PgTransaction(PgConnection& connection);
    ~PgTransaction();
    void Commit();

private:
    PgConnection& connection_;
    bool done_ = false;
};

// Opens a libpq connection with the server's defaults; throws
// StoreUnavailable with libpq's reason.
PGconn* PgConnect(const std::string& conninfo);
// "database D on H" for the log: never the password.
std::string PgDescribe(const std::string& conninfo);

}  // namespace snapora::server
