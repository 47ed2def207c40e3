#include "tools/OperatorCommands.h"

#include <ctime>

#include "auth/Passwords.h"
#include "text/LocalTime.h"
#include "text/Names.h"

namespace snapora::server {

namespace {

int AccountCommand(const OperatorCommand& c, Store& store,
                   const std::function<std::optional<std::string>()>& readPassword, std::ostream& out,
                   std::ostream& err) {
    if (c.verb == "list") {
        for (const Account& account : store.Accounts())
            out << account.userName << '\t' << (account.disabled ? "disabled" : "enabled") << '\t'
                << LocalTime(account.createdAt, "%Y-%m-%d %H:%M") << '\t' << store.ScreenshotsOfAccount(account.id).size()
                << " screenshot(s)\n";
        return 0;
    }
    if (c.verb == "add") {
        if (CleanUserName(c.name) != c.name) {
            err << "snapora-server: a user name has 3 to 32 letters, digits, - and _\n";
            return 1;
        }
        std::optional<std::string> password = readPassword();
        if (!password || password->size() < MinPasswordLength || password->size() > MaxPasswordLength) {
            err << "snapora-server: the password needs " << MinPasswordLength << " to " << MaxPasswordLength
                << " characters\n";
            return 1;
        }
        if (!store.CreateAccount(c.name, HashPassword(*password), std::time(nullptr))) {
            err << "snapora-server: the user name " << c.name << " is taken\n";
            return 1;
        }
        out << "added account " << c.name << "\n";
        return 0;
    }
    std::optional<Account> account = store.FindAccount(c.name);
    if (!account) {
        err << "snapora-server: there is no account " << c.name << "\n";
        return 1;
    }
    if (c.verb == "delete") {
        std::size_t screenshots = store.DeleteAccount(account->id).size();
        out << "deleted account " << account->userName << " and its " << screenshots << " screenshot(s)\n";
        return 0;
    }
    store.SetAccountDisabled(account->id, c.verb == "disable");
    out << c.verb << "d account " << account->userName << "\n";
    return 0;
}

}  // namespace

OperatorCommand ParseOperatorCommand(const std::vector<std::string>& arguments) {
    OperatorCommand c;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--data" && i + 1 < arguments.size()) c.dataDir = arguments[++i];
        else if (arguments[i] == "--config" && i + 1 < arguments.size()) c.configFile = arguments[++i];
        else if (arguments[i] == "--database" && i + 1 < arguments.size()) c.database = arguments[++i];
        else if (arguments[i].rfind("--", 0) == 0) c.error = "unknown option " + arguments[i];
        else words.push_back(arguments[i]);
    }
    if (words.size() >= 2) {
        c.object = words[0];
        c.verb = words[1];
    }
    const bool account = c.object == "account", named = words.size() == 3;
    if (named) c.name = words[2];
    const bool known = (account && c.verb == "list" && words.size() == 2) ||
                       (account && named && (c.verb == "add" || c.verb == "disable" || c.verb == "enable" ||
                                             c.verb == "delete")) ||
                       (c.object == "screenshot" && c.verb == "delete" && named);
    if (c.error.empty() && !known) c.error = "unknown command";
    if (c.error.empty() && c.dataDir.empty() && c.database.empty() && c.configFile.empty())
        c.error = "--data DIR, --database CONNECTION or --config FILE is needed";
    return c;
}

int RunOperatorCommand(const OperatorCommand& command, Store& store,
                       const std::function<std::optional<std::string>()>& readPassword, std::ostream& out,
                       std::ostream& err) {
    if (command.object == "account") return AccountCommand(command, store, readPassword, out, err);
    std::optional<Screenshot> shot = store.FindScreenshot(command.name);
    if (!shot) shot = store.FindByFormerName(command.name);
    if (!shot) {
        err << "snapora-server: there is no screenshot " << command.name << "\n";
        return 1;
    }
    store.DeleteScreenshot(shot->id);
    out << "deleted screenshot " << shot->name << "\n";
    return 0;
}

}  // namespace snapora::server
