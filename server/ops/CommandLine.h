#pragma once
// The command lines of the operator's subcommands (backup, restore, migrate):
// NAME VALUE pairs and the flag --replace; --config FILE supplies --data and
// --database from the server's configuration file where they are not given.

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace snapora::server {

struct CommandLine {
    std::map<std::string, std::string> values;
    bool replace = false;
    std::string error;  // empty when every name was known and every one of `names` given
};

CommandLine ReadCommandLine(const std::vector<std::string>& arguments, std::initializer_list<const char*> names);

}  // namespace snapora::server
