#pragma once
// The operator's commands beside the server, on the same store and safe while
// it runs: accounts (for closed registration and against abuse) and deleting
// a screenshot.
//   account add|disable|enable|delete NAME, account list, screenshot delete NAME
// with --data DIR, --database CONNECTION or --config FILE naming the store.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "store/Store.h"

namespace snapora::server {

struct OperatorCommand {
    std::string object, verb, name;  // "account" "add" "anna"
    std::string dataDir;             // or, when empty, the one of
    std::string configFile;          // the configuration file
    std::string database;            // PostgreSQL's connection string, when the records are there
    std::string error;               // empty when the command line was fine
};

// The arguments after the program name, "account" or "screenshot" first.
OperatorCommand ParseOperatorCommand(const std::vector<std::string>& arguments);

// Runs it; the exit status (0 done, 1 failed). readPassword gives the new
// account's password, nullopt when none could be read.
int RunOperatorCommand(const OperatorCommand& command, Store& store,
                       const std::function<std::optional<std::string>()>& readPassword, std::ostream& out,
                       std::ostream& err);

}  // namespace snapora::server
