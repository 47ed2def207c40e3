#include "store/postgres/PgConnection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>

namespace snapora::server {

namespace {

constexpr PgStatement BeginWork{"begin", "BEGIN"};
constexpr PgStatement CommitWork{"commit", "COMMIT"};
constexpr PgStatement RollBackWork{"rollback", "ROLLBACK"};

// Connection-level SQLSTATE classes: the statement never ran, or its
// connection is going away; worth trying again later, not a refusal.
bool MeansUnavailable(const std::string& code) {
    return code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" || code == "57P03" || code == "53300";
}

std::string Trimmed(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

void IgnoreNotice(void*, const char*) {}

}  // namespace

PGconn* PgConnect(const std::string& conninfo) {
    // Defaults before the given string may be overridden by it; the encoding after it may not. Keep-alives
    // find a database host that vanished without a word (the listening connection waits for nothing else).
    const char* keywords[] = {"connect_timeout", "application_name", "keepalives_idle", "keepalives_interval",
                              "keepalives_count", "dbname", "client_encoding", nullptr};
    const char* values[] = {"5", "snapora-server", "30", "10", "3", conninfo.c_str(), "UTF8", nullptr};
    PGconn* connection = PQconnectdbParams(keywords, values, 1);
    if (!connection) throw StoreUnavailable("database: out of memory");
    if (PQstatus(connection) != CONNECTION_OK) {
        std::string why = Trimmed(PQerrorMessage(connection));
        PQfinish(connection);
        throw StoreUnavailable("cannot connect to the database: " + why);
    }
    PQsetNoticeProcessor(connection, &IgnoreNotice, nullptr);
    return connection;
}

std::string PgDescribe(const std::string& conninfo) {
    std::string database = "(default)", host = "the local socket";
    if (PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr)) {
        for (PQconninfoOption* o = options; o->keyword; ++o) {
            if (!o->val || !*o->val) continue;
            if (std::strcmp(o->keyword, "dbname") == 0) database = o->val;
            if (std::strcmp(o->keyword, "host") == 0) host = o->val;
        }
        PQconninfoFree(options);
    }
    return "database " + database + " on " + host;
}

// --- results ----------------------------------------------------------

PgResult::~PgResult() { PQclear(result_); }

int PgResult::Rows() const { return PQntuples(result_); }

int PgResult::Affected() const { return std::atoi(PQcmdTuples(result_)); }

bool PgResult::IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }

std::string PgResult::Text(int row, int column) const {
    return std::string(PQgetvalue(result_, row, column), std::size_t(PQgetlength(result_, row, column)));
}

std::int64_t PgResult::Int(int row, int column) const {
    const char* value = PQgetvalue(result_, row, column);
    if (PQfformat(result_, column) == 0) return std::strtoll(value, nullptr, 10);
    std::int64_t number = 0;
    const int length = PQgetlength(result_, row, column);
    for (int i = 0; i < length; ++i) number = (number << 8) | static_cast<unsigned char>(value[i]);
    if (length > 0 && length < 8 && (value[0] & 0x80)) number -= std::int64_t(1) << (8 * length);  // negative
    return number;
}

std::string_view PgResult::Bytes(int row, int column) const {
    return {PQgetvalue(result_, row, column), std::size_t(PQgetlength(result_, row, column))};
}

// --- parameters ---------------------------------------------------------

PgParams& PgParams::Add(const std::string& text) {
    owned_.push_back(text);
    values.push_back(owned_.back().c_str());
    lengths.push_back(int(text.size()));
    formats.push_back(0);
    return *this;
}

PgParams& PgParams::Add(const std::optional<std::int64_t>& number) {
    if (number) return Add(*number);
    values.push_back(nullptr);
    lengths.push_back(0);
    formats.push_back(0);
    return *this;
}

PgParams& PgParams::Add(const std::optional<std::string>& text) {
    if (text) return Add(*text);
    values.push_back(nullptr);
    lengths.push_back(0);
    formats.push_back(0);
    return *this;
}

PgParams& PgParams::Add(PgBytes bytes) {
    values.push_back(static_cast<const char*>(bytes.data));
    lengths.push_back(int(bytes.size));
    formats.push_back(1);
    return *this;
}

// --- the connection -----------------------------------------------------

PgConnection::PgConnection(const std::string& conninfo) : connection_(PgConnect(conninfo)) {}

PgConnection::~PgConnection() { PQfinish(connection_); }

void PgConnection::Fail(PGresult* result, const char* what) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    std::string message = Trimmed(result ? PQresultErrorMessage(result) : nullptr);
    if (message.empty()) message = Trimmed(PQerrorMessage(connection_));
    PQclear(result);
    if (PQstatus(connection_) != CONNECTION_OK || MeansUnavailable(code)) {
        lost_ = true;
        throw StoreUnavailable(std::string("database (") + what + "): " + message);
    }
    throw PgError(std::string("database (") + what + "): " + message, code);
}

PgResult PgConnection::Execute(const PgStatement& statement, const PgParams& params) {
    ++sent_;
    if (prepared_.find(std::string_view(statement.name)) == prepared_.end()) {
        PGresult* made = PQprepare(connection_, statement.name, statement.sql, 0, nullptr);
        if (PQresultStatus(made) != PGRES_COMMAND_OK) Fail(made, statement.name);
        PQclear(made);
        prepared_.emplace(statement.name);
    }
    PGresult* result = PQexecPrepared(connection_, statement.name, int(params.values.size()), params.values.data(),
                                      params.lengths.data(), params.formats.data(), statement.binaryResult ? 1 : 0);
    ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(result, statement.name);
    return PgResult(result);
}

void PgConnection::ExecuteScript(const std::string& sql) {
    ++sent_;
    PGresult* result = PQexec(connection_, sql.c_str());
    ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(result, "schema");
    PQclear(result);
}

bool PgConnection::Broken() {
    if (lost_ || PQstatus(connection_) != CONNECTION_OK) return lost_ = true;
    // An idle connection of the pool has nothing to read. Anything there is
    // the server's goodbye ("terminating connection ...") before it closes,
    // or the close itself: after a restart of the database, not worth a statement.
    pollfd socket{PQsocket(connection_), POLLIN, 0};
    if (::poll(&socket, 1, 0) != 0) lost_ = true;
    return lost_;
}

bool PgConnection::InTransaction() const { return PQtransactionStatus(connection_) != PQTRANS_IDLE; }

void PgConnection::RollBackIfOpen() {
    try {
        if (!Broken() && InTransaction()) Execute(RollBackWork);
    } catch (const StoreError&) {
    }
}

// --- transactions --------------------------------------------------------

PgTransaction::PgTransaction(PgConnection& connection) : connection_(connection) { connection_.Execute(BeginWork); }

PgTransaction::~PgTransaction() {
    if (!done_) connection_.RollBackIfOpen();
}

void PgTransaction::Commit() {
    done_ = true;
    connection_.Execute(CommitWork);
}

}  // namespace snapora::server
