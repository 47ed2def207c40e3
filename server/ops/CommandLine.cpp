#include "ops/CommandLine.h"

#include "config/Options.h"

namespace snapora::server {

CommandLine ReadCommandLine(const std::vector<std::string>& arguments, std::initializer_list<const char*> names) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--replace") {
            line.replace = true;
            continue;
        }
        bool known = name == "--config";
        for (const char* n : names) known = known || name == n;
        if (!known) line.error = "unknown argument " + name;
        else if (i + 1 >= arguments.size() || arguments[i + 1].empty()) line.error = name + " needs a value";
        else line.values[name] = arguments[++i];
    }
    bool fromFile = false;
    for (const char* n : names)
        fromFile = fromFile || ((std::string(n) == "--data" || std::string(n) == "--database") && !line.values.count(n));
    if (line.error.empty() && fromFile && line.values.count("--config")) {
        ParsedOptions parsed = ParseOptions({"--config", line.values["--config"]});
        if (!parsed.error.empty()) line.error = parsed.error;
        line.values.try_emplace("--data", parsed.options.dataDir);
        if (!parsed.options.database.empty()) line.values.try_emplace("--database", parsed.options.database);
    }
    for (const char* n : names)
        if (line.error.empty() && !line.values.count(n)) line.error = std::string(n) + " is missing";
    return line;
}

}  // namespace snapora::server
