// Accounts over real HTTP on loopback: the operator's commands beside the
// running server, the login throttle that never locks the owner out, the
// browser's login and logout, closed registration; and the start that never
// deletes a picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "HttpClient.h"
#include "ServerProcess.h"
#include "TestSupport.h"

namespace snapora::server::testing {

namespace {

std::string TestLogin(int port, const std::string& user, const std::string& password,
                      const std::string& from = "127.0.0.1") {
    return Exchange(port, ProgramPost("/account.htm?action=testlogin", {{"username", user}, {"password", password}}),
                    10000, from)
        .body;
}

// The form's token and the cookie it belongs to, from a page with a form.
struct Form {
    std::string cookie, csrf;
};
Form FormOf(const HttpReply& page, const std::string& cookies = "") {
    const std::string marker = "name=\"csrf\" value=\"";
    const std::size_t at = page.body.find(marker);
    std::string form = CookieValue(page, "snapora_form");
    return Form{form.empty() ? cookies : "snapora_form=" + form + (cookies.empty() ? "" : "; " + cookies),
                at == std::string::npos ? "" : page.body.substr(at + marker.size(), 64)};
}

HttpReply PostForm(int port, const std::string& target, const std::string& cookie, const std::string& body) {
    return Exchange(port, "POST " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: " + cookie +
                              "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body);
}

double Milliseconds(const std::function<void()>& work) {
    const auto started = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

}  // namespace

TEST(HttpAccounts, OperatorCommandsWorkWhileTheServerRuns) {
    TempFolder folder;
    const std::string data = folder.Path() + "/data";
    ServerProcess server(data, {"--registration", "closed"});
    const int port = server.Port();
    auto run = [&](std::vector<std::string> arguments, const std::string& input = "") {
        arguments.insert(arguments.end(), {"--data", data});
        return RunProgram(arguments, input);
    };
    struct Step { std::vector<std::string> command; std::string input; int status; std::string output, testLogin; } steps[] = {
        {{"account", "add", "anna"}, "geheim1\n", 0, "added account anna", "ok"},
        {{"account", "add", "anna"}, "anders1\n", 1, "is taken", "ok"},
        {{"account", "add", "x"}, "geheim1\n", 1, "3 to 32", ""},
        {{"account", "add", "bert"}, "kurz\n", 1, "password needs", ""},
        {{"account", "disable", "anna"}, "", 0, "disabled account anna", "Dieses Konto ist gesperrt."},
        {{"account", "list"}, "", 0, "anna\tdisabled\t", ""},
        {{"account", "enable", "anna"}, "", 0, "enabled account anna", "ok"},
        {{"account", "disable", "nobody"}, "", 1, "no account nobody", ""},
        {{"account", "frobnicate", "anna"}, "", 2, "unknown command", ""},
        {{"screenshot", "delete", "nothere"}, "", 1, "no screenshot nothere", ""},
    };
    for (const Step& step : steps) {
        ProgramRun result = run(step.command, step.input);
        EXPECT_EQ(result.status, step.status) << step.command[1] << " " << result.output;
        EXPECT_TRUE(Contains(result.output, step.output)) << step.command[1] << " " << result.output;
        if (!step.testLogin.empty()) {
            EXPECT_EQ(TestLogin(port, "anna", "geheim1"), step.testLogin) << step.command[1];
        }
    }
    EXPECT_EQ(RunProgram({"account", "list", "--data", folder.Path() + "/none"}).status, 1);  // no database: none made
    std::ofstream(folder.Path() + "/server.conf") << "data = " << data << "\n";
    EXPECT_TRUE(Contains(RunProgram({"account", "list", "--config", folder.Path() + "/server.conf"}).output,
                         "anna\tenabled\t"));

    const std::string mine = Exchange(port, ProgramUpload(MakeJpeg(40, 30), "", "", "",
                                                           {{"username", "anna"}, {"password", "geheim1"}}))
                                 .body.substr(7);
    const std::string loose = Exchange(port, ProgramUpload(MakeJpeg(40, 30))).body.substr(7);
    ASSERT_EQ(Get(port, PathOf(loose)).status, 200);
    EXPECT_EQ(run({"screenshot", "delete", PathOf(loose).substr(1)}).status, 0);
    EXPECT_EQ(Get(port, PathOf(loose)).status, 404);
    EXPECT_TRUE(Contains(run({"account", "delete", "anna"}).output, "deleted account anna and its 1 screenshot(s)"));
    EXPECT_EQ(Get(port, PathOf(mine) + ".jpg").status, 404);
    EXPECT_EQ(TestLogin(port, "anna", "geheim1"), "wrong");

    // Closed registration: the pages make no account.
    HttpReply page = Get(port, "/account.htm?action=register");
    EXPECT_TRUE(Contains(page.body, "Neue Konten legt auf diesem Server nur der Betreiber an."));
    EXPECT_EQ(PostForm(port, "/account.htm?action=register", "", "username=mallory&password=geheim1&password2=geheim1")
                  .status,
              403);
}

// Guessing from one address stops that address, not the account's owner;
// an unknown name takes as long as a wrong password; the browser's logout
// needs the form and ends the login in the store.
TEST(HttpAccounts, LoginThrottleLogoutAndNoTimingOracle) {
    TempFolder folder;
    const std::string data = folder.Path() + "/data";
    ServerProcess server(data);
    const int port = server.Port();
    ASSERT_EQ(RunProgram({"account", "add", "anna", "--data", data}, "geheim1\n").status, 0);

    std::vector<double> known, unknown;
    for (int i = 0; i < 3; ++i) {
        known.push_back(Milliseconds([&] { EXPECT_EQ(TestLogin(port, "anna", "falsch", "127.0.0.2"), "wrong"); }));
        unknown.push_back(Milliseconds([&] { EXPECT_EQ(TestLogin(port, "niemand", "x", "127.0.0.3"), "wrong"); }));
    }
    std::sort(known.begin(), known.end());
    std::sort(unknown.begin(), unknown.end());
    EXPECT_GT(unknown[1], known[1] / 2);  // without the dummy hash an unknown name answers ~100 times faster

    for (int i = 0; i < 2; ++i) TestLogin(port, "anna", "falsch", "127.0.0.2");
    const std::string throttled =
        "Zu viele fehlgeschlagene Anmeldungen. Bitte versuchen Sie es in einigen Minuten noch einmal.";
    EXPECT_EQ(TestLogin(port, "anna", "geheim1", "127.0.0.2"), throttled);
    EXPECT_EQ(TestLogin(port, "anna", "geheim1", "127.0.0.1"), "ok");

    Form form = FormOf(Get(port, "/account.htm?action=login"));
    HttpReply login = PostForm(port, "/account.htm?action=login", form.cookie,
                               "username=anna&password=geheim1&csrf=" + form.csrf);
    ASSERT_EQ(login.status, 303);
    const std::string cookies = form.cookie + "; snapora_login=" + CookieValue(login, "snapora_login");
    HttpReply list = Get(port, "/account.htm", cookies);
    ASSERT_TRUE(Contains(list.body, "Angemeldet als <strong>anna</strong>"));
    EXPECT_EQ(PostForm(port, "/account.htm?action=logout", cookies, "csrf=" + std::string(64, '0')).status, 403);
    EXPECT_TRUE(Contains(Get(port, "/account.htm", cookies).body, "Angemeldet als"));
    EXPECT_EQ(PostForm(port, "/account.htm?action=logout", cookies, "csrf=" + FormOf(list).csrf).status, 303);
    EXPECT_FALSE(Contains(Get(port, "/account.htm", cookies).body, "Angemeldet als"));  // the old cookie is dead

    // Registration: five a day from one address.
    Form registration = FormOf(Get(port, "/account.htm?action=register", "", "127.0.0.4"));
    for (int i = 1; i <= 6; ++i) {
        const std::string body = "username=nutzer" + std::to_string(i) + "&password=geheim1&password2=geheim1&csrf=";
        const int status = Exchange(port, "POST /account.htm?action=register HTTP/1.1\r\nHost: x\r\nConnection: close"
                                          "\r\nCookie: " + registration.cookie + "\r\nContent-Type: application/"
                                          "x-www-form-urlencoded\r\nContent-Length: " +
                                              std::to_string(body.size() + 64) + "\r\n\r\n" + body + registration.csrf,
                                   10000, "127.0.0.4")
                               .status;
        EXPECT_EQ(status, i <= 5 ? 303 : 429) << i;
    }
}

// Start-up moves unknown files aside (never deletes them) and refuses to run
// over pictures whose database is missing.
TEST(HttpAccounts, StartNeverDeletesAPicture) {
    TempFolder folder;
    const std::string data = folder.Path() + "/data";
    std::string address;
    {
        ServerProcess server(data);
        address = Exchange(server.Port(), ProgramUpload(MakeJpeg(40, 30))).body.substr(7);
    }
    std::ofstream(data + "/pictures/restored-later.jpg") << "a picture the database forgot";
    {
        ServerProcess server(data);
        EXPECT_TRUE(Contains(server.Log(), "no record names pictures/restored-later.jpg; moved it to " + data +
                                               "/quarantine/"));
        EXPECT_EQ(ReadFile(data + "/quarantine/restored-later.jpg"), "a picture the database forgot");
        EXPECT_EQ(Get(server.Port(), PathOf(address) + ".jpg").status, 200);
    }
    std::filesystem::rename(data + "/snapora.db", folder.Path() + "/snapora.db");
    ProgramRun refused = RunProgram({"--listen", "127.0.0.1:0", "--data", data});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Contains(refused.output, "holds pictures but the database")) << refused.output;
    EXPECT_FALSE(std::filesystem::is_empty(data + "/pictures"));
    EXPECT_FALSE(std::filesystem::exists(data + "/snapora.db"));
}

}  // namespace snapora::server::testing
