#pragma once
// The subcommand "migrate": a SQLite data folder into PostgreSQL.

#include <string>
#include <vector>

namespace snapora::server {

// Its arguments (--data DIR --database CONNECTION, or --config FILE); the exit status.
int RunMigrate(const std::vector<std::string>& arguments);

}  // namespace snapora::server
