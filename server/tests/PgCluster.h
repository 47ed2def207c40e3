#pragma once
// The tests' PostgreSQL: one throwaway cluster per test program
// (scripts/throwaway-postgres.sh), started at its first use and removed when
// the program ends, even by a crash. Each test takes a fresh database of it.

#include <string>

#include "TestSupport.h"

namespace snapora::server::testing {

class PgCluster {
public:
    static PgCluster& Shared();  // throws when the cluster cannot start: the tests must not skip it
    ~PgCluster();

    // A new, empty database: its connection string.
    std::string NewDatabase();
    // Runs SQL as the superuser in the given database; the first row's first value, if any.
    std::string Query(const std::string& conninfo, const std::string& sql);
    // Stops the cluster the way given (fast, immediate) and starts it again.
    void Stop(const std::string& mode = "fast");
    void Start();

private:
    PgCluster();
    std::string Script(const std::string& arguments);

    TempFolder folder_;
    std::string admin_;  // connection string of the "postgres" database
    int databases_ = 0;
};

}  // namespace snapora::server::testing
