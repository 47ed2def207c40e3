#include "ops/Migrate.h"

#include <iostream>

#include "ops/CommandLine.h"
#include "store/postgres/Migration.h"
#include "store/postgres/PgConnection.h"

namespace snapora::server {

int RunMigrate(const std::vector<std::string>& arguments) {
    CommandLine line = ReadCommandLine(arguments, {"--data", "--database"});
    if (!line.error.empty() || line.replace) {
        std::cerr << "snapora-server migrate: " << (line.error.empty() ? "unknown argument --replace" : line.error)
                  << "\nUsage: snapora-server migrate --data DIR --database CONNECTION   (or --config FILE)\n";
        return 2;
    }
    const std::string& dataDir = line.values["--data"];
    const std::string& database = line.values["--database"];
    try {
        std::cerr << "snapora-server: copying " << dataDir << " into the " << PgDescribe(database) << "\n";
        MigrationReport report = MigrateToPostgres(dataDir, database, [](const std::string& progress) {
            std::cerr << "snapora-server: " << progress << "\n";
        });
        for (const std::string& problem : report.problems) std::cerr << "snapora-server: PROBLEM: " << problem << "\n";
        std::cout << "snapora-server: records: " << report.recordsCopied << " copied, " << report.recordsPresent
                  << " already there; pictures: " << report.picturesCopied << " copied, " << report.picturesPresent
                  << " already there, " << report.picturesVerified << " checked by SHA-256 and alike; problems: "
                  << report.problems.size() << "\n";
        return report.problems.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "snapora-server migrate: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace snapora::server
