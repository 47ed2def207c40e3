#include "PgCluster.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace snapora::server::testing {

PgCluster& PgCluster::Shared() {
    static PgCluster cluster;
    return cluster;
}

PgCluster::PgCluster() {
    admin_ = Script("start " + folder_.Path() + " --watch " + std::to_string(::getpid()));
    if (admin_.rfind("postgresql://", 0) != 0) throw std::runtime_error("the test cluster did not start: " + admin_);
}

PgCluster::~PgCluster() {
    try {
        Script("stop " + folder_.Path() + " immediate");
    } catch (const std::exception&) {
    }
}

// Runs scripts/throwaway-postgres.sh; its output's last line.
std::string PgCluster::Script(const std::string& arguments) {
    const std::string command = std::string(SNAPORA_THROWAWAY_POSTGRES) + " " + arguments + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string output, line;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
    if (::pclose(pipe.release()) != 0) throw std::runtime_error(command + " failed: " + output);
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output.substr(output.rfind('\n') + 1);
}

std::string PgCluster::Query(const std::string& conninfo, const std::string& sql) {
    PGconn* connection = PQconnectdb(conninfo.c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    std::string value = status == PGRES_TUPLES_OK && PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    std::string error = PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) throw std::runtime_error(sql + ": " + error);
    return value;
}

std::string PgCluster::NewDatabase() {
    const std::string name = "test" + std::to_string(++databases_);
    Query(admin_, "CREATE DATABASE " + name);
    std::string conninfo = admin_;
    conninfo.replace(conninfo.find("/postgres?"), 10, "/" + name + "?");
    return conninfo;
}

void PgCluster::Stop(const std::string& mode) { Script("stop " + folder_.Path() + " " + mode); }

void PgCluster::Start() { Script("start " + folder_.Path()); }

}  // namespace snapora::server::testing
