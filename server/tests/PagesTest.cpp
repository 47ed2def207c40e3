#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PgCluster.h"
#include "TestSupport.h"
#include "auth/Passwords.h"
#include "handlers/Credentials.h"
#include "handlers/Gallery.h"
#include "handlers/Router.h"
#include "limits/RateLimits.h"

namespace snapora::server {

using testing::Contains;
using testing::ServerWorld;

namespace {

// The pages against each store: the same pages from SQLite and from PostgreSQL.
struct PagesTest : ::testing::TestWithParam<std::string> {
    ServerWorld world{GetParam() == "PostgreSQL" ? testing::PgCluster::Shared().NewDatabase() : ""};
    std::string jpeg = testing::MakeJpeg(32, 16);
    std::map<std::string, std::string> cookies;  // the browser's jar

    Response Get(const std::string& path, std::map<std::string, std::string> query = {}) {
        Request request;
        request.method = "GET";
        request.path = path;
        request.query = std::move(query);
        request.cookies = cookies;
        request.remoteAddress = "10.1.1.1";
        return Keep(world.Handle(request));
    }
    Response Post(const std::string& path, const std::string& action, std::map<std::string, std::string> fields) {
        Request request;
        request.method = "POST";
        request.path = path;
        request.query["action"] = action;
        request.fields = std::move(fields);
        request.cookies = cookies;
        request.remoteAddress = "10.1.1.1";
        return Keep(world.Handle(request));
    }
    Response Keep(Response response) {
        for (const auto& [name, value] : response.headers) {
            if (name != "Set-Cookie") continue;
            std::string pair = value.substr(0, value.find(';'));
            cookies[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
        }
        return response;
    }
    // The CSRF field of the form on a page.
    static std::string Csrf(const std::string& html) {
        std::string marker = "name=\"csrf\" value=\"";
        auto at = html.find(marker);
        return at == std::string::npos ? "" : html.substr(at + marker.size(), 64);
    }
    std::string Upload(const std::string& description, const std::string& session = "") {
        Request upload = world.Upload(jpeg, std::string(64, 'c'));  // the client that opens the sessions
        upload.fields["description"] = description;
        if (!session.empty()) upload.fields["sessionname"] = session;
        std::string reply = world.Handle(upload).body;
        return reply.substr(reply.rfind('/') + 1);
    }
};


}  // namespace

TEST_P(PagesTest, EveryPageIsGermanUtf8WithTheSecurityHeaders) {
    for (const char* path : {"/", "/download.htm", "/spenden.htm", "/faq.htm", "/account.htm"}) {
        Response page = Get(path, path == std::string("/account.htm") ? std::map<std::string, std::string>{{"action", "register"}}
                                                                      : std::map<std::string, std::string>{});
        EXPECT_EQ(page.status, 200) << path;
        EXPECT_EQ(page.contentType, "text/html; charset=utf-8") << path;
        EXPECT_TRUE(Contains(page.body, "<html lang=\"de\">")) << path;
        EXPECT_FALSE(Contains(page.body, "<script>")) << path;  // no inline script anywhere
        EXPECT_EQ(page.Header("X-Content-Type-Options"), "nosniff");
        EXPECT_TRUE(Contains(page.Header("Content-Security-Policy"), "script-src 'self'"));
        EXPECT_FALSE(Contains(page.Header("Content-Security-Policy"), "unsafe-inline"));
    }
    EXPECT_TRUE(Contains(Get("/faq.htm").body, "id=\"account\""));
    EXPECT_EQ(Get("/nothing-here").status, 404);
}

// The program's Windows-1252 description is shown as UTF-8, and script in it stays text.
TEST_P(PagesTest, ScreenshotPageShowsPictureDescriptionAndTime) {
    const std::string name = Upload("Gr\xFC\xDF" "e <script>alert(1)</script>");
    Response page = Get("/" + name);
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(Contains(page.body, "<img src=\"/" + name + ".jpg\""));
    EXPECT_TRUE(Contains(page.body, "Grüße &lt;script&gt;alert(1)&lt;/script&gt;"));
    EXPECT_FALSE(Contains(page.body, "<script>alert"));
    EXPECT_TRUE(Contains(page.body, "Hochgeladen am <time>"));

    Response raw = Get("/" + name + ".jpg");
    EXPECT_EQ(raw.contentType, "image/jpeg");
    EXPECT_EQ(testing::ReadPicture(raw.picture), jpeg);
}

// No address reaches a file the server did not name: traversal in every spelling is simply not found.
TEST_P(PagesTest, HostilePathsFindNothing) {
    std::ofstream(world.folder.Path() + "/downloads/../secret.txt") << "x";
    for (std::string path : {"/../snapora.db", "/..%2fsnapora.db", "/..\\snapora.db", "/pictures/x.jpg",
                             "/../../etc/passwd.jpg", "/~../x", "/~team/../events", "/downloads/../snapora.db",
                             "/downloads/.hidden", "/downloads/..", "/%00", "/a\\b.jpg"}) {
        Response response = Get(path);
        EXPECT_EQ(response.status, 404) << path;
        EXPECT_EQ(response.filePath, "") << path;
    }
    Response nul = Get(std::string("/x\0.jpg", 7));
    EXPECT_EQ(nul.status, 404);
}

TEST_P(PagesTest, DownloadPageListsOnlyServableFiles) {
    std::filesystem::create_directories(world.context.settings.downloadsDir);
    std::ofstream(world.context.settings.downloadsDir + "/snapora-4.2.zip") << std::string(2048, 'z');
    std::ofstream(world.context.settings.downloadsDir + "/.secret") << "x";
    std::ofstream(world.context.settings.downloadsDir + "/bad name.exe") << "x";
    Response page = Get("/download.htm");
    EXPECT_TRUE(Contains(page.body, "<a href=\"/downloads/snapora-4.2.zip\">snapora-4.2.zip</a> (2 KB)"));
    EXPECT_FALSE(Contains(page.body, "secret"));
    EXPECT_FALSE(Contains(page.body, "bad name"));
    EXPECT_EQ(Get("/downloads/snapora-4.2.zip").filePath, world.context.settings.downloadsDir + "/snapora-4.2.zip");
}

TEST_P(PagesTest, RegisterNeedsTheFormTokenThenLogsIn) {
    Response form = Get("/account.htm", {{"action", "register"}});
    const std::string token = Csrf(form.body);
    ASSERT_EQ(token.size(), 64u);
    std::map<std::string, std::string> fields{{"username", "Jürgen"}, {"password", "geheim!"}, {"password2", "geheim!"}};

    auto forged = fields;
    forged["csrf"] = std::string(64, '0');
    EXPECT_EQ(Post("/account.htm", "register", forged).status, 403);
    EXPECT_FALSE(world.store->FindAccount("Jürgen"));

    fields["csrf"] = token;
    auto mismatch = fields;
    mismatch["password2"] = "anders!";
    EXPECT_TRUE(Contains(Post("/account.htm", "register", mismatch).body, "stimmen nicht überein"));
    auto badName = fields;
    badName["username"] = "<b>x</b>";
    Response refused = Post("/account.htm", "register", badName);
    EXPECT_TRUE(Contains(refused.body, "value=\"&lt;b&gt;x&lt;/b&gt;\""));

    Response made = Post("/account.htm", "register", fields);
    EXPECT_EQ(made.status, 303);
    EXPECT_EQ(made.Header("Location"), "/account.htm");
    ASSERT_TRUE(world.store->FindAccount("Jürgen"));
    EXPECT_TRUE(Contains(world.store->FindAccount("Jürgen")->passwordHash, "$argon2id$"));
    EXPECT_TRUE(Contains(Get("/account.htm").body, "Angemeldet als <strong>Jürgen</strong>"));
    EXPECT_TRUE(Contains(Post("/account.htm", "register", fields).body, "bereits vergeben"));
}

TEST_P(PagesTest, RegistrationIsLimitedPerAddressAndInTotalAndCanBeClosed) {
    auto registration = [&](const std::string& name, const std::string& from) {
        cookies.clear();
        const std::string token = Csrf(Get("/account.htm", {{"action", "register"}}).body);
        Request request;
        request.method = "POST";
        request.path = "/account.htm";
        request.query["action"] = "register";
        request.fields = {{"username", name}, {"password", "geheim!"}, {"password2", "geheim!"}, {"csrf", token}};
        request.cookies = cookies;
        request.remoteAddress = from;
        return world.Handle(request).status;
    };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(registration("nutzer" + std::to_string(i), "10.2.2.2"), 303) << i;
    EXPECT_EQ(registration("nutzer5", "10.2.2.2"), 429);  // five a day from one address
    EXPECT_EQ(registration("nutzer5", "10.3.3.3"), 303);
    Request elsewhere;
    for (int i = 0; i < 94; ++i) {
        elsewhere.remoteAddress = "10.4.4." + std::to_string(i);
        CountRegistration(world.context, elsewhere);
    }
    EXPECT_EQ(registration("nutzer6", "10.5.5.5"), 429);  // a hundred an hour in all
    world.now += 3601;
    EXPECT_EQ(registration("nutzer6", "10.5.5.5"), 303);

    world.context.settings.registrationOpen = false;
    EXPECT_TRUE(Contains(Get("/account.htm", {{"action", "register"}}).body, "nur der Betreiber"));
    EXPECT_EQ(registration("nutzer7", "10.6.6.6"), 403);
    EXPECT_FALSE(world.store->FindAccount("nutzer7"));
}

TEST_P(PagesTest, UnknownNamesAskedForTooOftenAreAnsweredTooManyRequests) {
    const std::string name = Upload("da");
    auto status = [&](const std::string& path, const std::string& from) {
        Request request;
        request.method = "GET";
        request.path = path;
        request.remoteAddress = from;
        return world.Handle(request).status;
    };
    for (int i = 0; i < 60; ++i) ASSERT_EQ(status("/rate" + std::to_string(i), "10.7.7.7"), 404);
    EXPECT_EQ(status("/" + name, "10.7.7.7"), 429);  // a right guess now is no use either
    EXPECT_EQ(status("/~team", "10.7.7.7"), 429);
    EXPECT_EQ(status("/", "10.7.7.7"), 200);       // the site's own pages stay open
    EXPECT_EQ(status("/" + name, "10.8.8.8"), 200);
    Request rename;
    rename.method = "POST";
    rename.path = "/rename.php";
    rename.remoteAddress = "10.7.7.7";
    rename.fields = {{"filename", name}, {"newfilename", "x"}};
    EXPECT_EQ(world.Handle(rename).body.substr(0, 14), "Zu viele Anfra");
    world.now += 301;
    EXPECT_EQ(status("/" + name, "10.7.7.7"), 200);
}

TEST_P(PagesTest, LoginListsTheAccountsScreenshotsNewestFirstWithDelete) {
    ASSERT_TRUE(world.store->CreateAccount("anna", HashPassword("geheim1"), 1));
    for (const char* description : {"erstes", "zweites"}) {
        Request upload = world.Upload(jpeg);
        upload.fields = {{"description", description}, {"username", "anna"}, {"password", "geheim1"}};
        ASSERT_EQ(world.Handle(upload).body.substr(0, 2), "ok");
    }
    Upload("fremdes");

    Response form = Get("/account.htm", {{"action", "login"}, {"username", "anna"}});
    EXPECT_TRUE(Contains(form.body, "name=\"username\" autocomplete=\"username\" required value=\"anna\""));
    EXPECT_TRUE(Contains(Post("/account.htm", "login", {{"username", "anna"}, {"password", "falsch"}, {"csrf", Csrf(form.body)}}).body,
                         "Benutzername oder Passwort ist falsch."));
    EXPECT_EQ(Post("/account.htm", "login", {{"username", "anna"}, {"password", "geheim1"}, {"csrf", Csrf(form.body)}}).status, 303);

    Response list = Get("/account.htm");
    auto first = list.body.find("zweites"), second = list.body.find("erstes");
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(first, second);  // newest first
    EXPECT_FALSE(Contains(list.body, "fremdes"));

    const std::string name = world.store->ScreenshotsOfAccount(world.store->FindAccount("anna")->id)[0].name;
    const std::string stranger = world.store->FindScreenshot(name) ? Upload("noch eins") : "";
    EXPECT_EQ(Post("/account.htm", "delete", {{"name", stranger}, {"csrf", Csrf(list.body)}}).status, 303);
    EXPECT_TRUE(world.store->FindScreenshot(stranger));  // not hers: kept
    EXPECT_EQ(Post("/account.htm", "delete", {{"name", name}, {"csrf", "forged"}}).status, 200);
    EXPECT_TRUE(world.store->FindScreenshot(name));
    EXPECT_EQ(Post("/account.htm", "delete", {{"name", name}, {"csrf", Csrf(list.body)}}).status, 303);
    EXPECT_FALSE(world.store->FindScreenshot(name));

    // Logging out takes the form's token, and ends the login in the store too.
    const std::string login = cookies["snapora_login"];
    EXPECT_EQ(Post("/account.htm", "logout", {{"csrf", "forged"}}).status, 403);
    EXPECT_TRUE(Contains(Get("/account.htm").body, "Angemeldet als"));
    EXPECT_EQ(Post("/account.htm", "logout", {{"csrf", Csrf(list.body)}}).status, 303);
    cookies["snapora_login"] = login;  // a copy of the cookie kept elsewhere
    EXPECT_FALSE(Contains(Get("/account.htm").body, "Angemeldet als"));
}

TEST_P(PagesTest, SessionPageAndItsEventStream) {
    world.Handle([] {
        Request login;
        login.method = "GET";
        login.path = "/loginsession.php";
        login.query["sessionname"] = "team";
        login.cookies["snapora_client"] = std::string(64, 'c');
        return login;
    }());
    EXPECT_TRUE(Contains(Get("/~team").body, "Noch keine Screenshots"));
    const std::string older = Upload("eins", "team");
    const std::string newer = Upload("zwei <i>", "team");
    Response page = Get("/~team");
    EXPECT_LT(page.body.find(newer), page.body.find(older));
    EXPECT_TRUE(Contains(page.body, "<script src=\"/static/session.js\"></script>"));
    EXPECT_TRUE(Contains(page.body, "zwei &lt;i&gt;"));
    EXPECT_EQ(Get("/~nobody").status, 404);

    const std::int64_t newest = world.store->FindScreenshot(newer)->id;
    Response stream = Get("/~team/events", {{"after", std::to_string(newest)}});
    ASSERT_TRUE(stream.events);
    EXPECT_EQ(stream.contentType, "text/event-stream; charset=utf-8");
    EXPECT_EQ(stream.events->Next(), "retry: 1000\n\n");
    EXPECT_EQ(stream.events->Next(), "");
    const std::string third = Upload("drei \"</script>", "team");
    std::string event = stream.events->Next();
    EXPECT_TRUE(Contains(event, "id: " + std::to_string(newest + 1) + "\ndata: {"));
    EXPECT_TRUE(Contains(event, "\"name\":\"" + third + "\""));
    EXPECT_TRUE(Contains(event, "\"description\":\"drei \\\"\\u003c/script\\u003e\""));
    EXPECT_EQ(stream.events->Next(), "");
    world.now += 15;
    EXPECT_EQ(stream.events->Next(), ": keep-alive\n\n");
}

// A pasted address shows a preview: Open Graph and the Twitter card name the picture absolutely, with its size.
TEST_P(PagesTest, ScreenshotPageCarriesLinkPreviewData) {
    jpeg = testing::MakeJpeg(300, 200);
    const std::string described = Upload("Fehler im \"Dialog\" <b>");
    const std::string plain = Upload("");
    world.context.settings.publicHost = "shots.example.org";
    struct Case { std::string name, title; } cases[] = {{described, "Fehler im &quot;Dialog&quot; &lt;b&gt;"}, {plain, plain}};
    for (const Case& c : cases) {
        const std::string page = Get("/" + c.name).body;
        const std::string picture = "http://shots.example.org/" + c.name + ".jpg";
        for (const std::string& meta :
             {"property=\"og:title\" content=\"" + c.title + "\"", "property=\"og:image\" content=\"" + picture + "\"",
              std::string("property=\"og:image:width\" content=\"300\""),
              std::string("property=\"og:image:height\" content=\"200\""),
              std::string("property=\"og:image:type\" content=\"image/jpeg\""),
              std::string("property=\"og:site_name\" content=\"Snapora\""),
              "property=\"og:url\" content=\"http://shots.example.org/" + c.name + "\"",
              std::string("name=\"twitter:card\" content=\"summary_large_image\""),
              "name=\"twitter:image\" content=\"" + picture + "\"", "name=\"twitter:title\" content=\"" + c.title + "\""})
            EXPECT_TRUE(Contains(page, "<meta " + meta + ">")) << meta;
        EXPECT_FALSE(Contains(page, "og:image:secure_url"));
    }
    world.context.settings.publicScheme = "https";
    EXPECT_TRUE(Contains(Get("/" + plain).body, "<meta property=\"og:image:secure_url\" content=\"https://shots.example.org/" + plain + ".jpg\">"));
}

// The lists show thumbnails that open the full picture; the thumbnail may be cached for good under its versioned address.
TEST_P(PagesTest, ListsShowThumbnailsServedWithCachingHeaders) {
    jpeg = testing::MakeJpeg(1600, 900);
    const std::string name = Upload("Folie", "");
    const Screenshot shot = *world.store->FindScreenshot(name);
    const std::string thumbnail = ThumbnailAddress(world.context, shot);
    ASSERT_EQ(thumbnail.rfind("/" + name + ".thumb.jpg?v=", 0), 0u);
    EXPECT_TRUE(Contains(GalleryItem(world.context, shot), "<a href=\"/" + name + ".jpg\" title=\"Ganzes Bild öffnen\"><img src=\"" +
                                                            thumbnail + "\" alt=\"Folie\" width=\"400\" height=\"225\""));

    const std::string tag = thumbnail.substr(thumbnail.find("?v=") + 3);
    struct Case { std::map<std::string, std::string> query; std::string ifNoneMatch; int status; std::string caching; } cases[] = {
        {{{"v", tag}}, "", 200, "public, max-age=31536000, immutable"},
        {{}, "", 200, "public, max-age=300"},
        {{{"v", "old"}}, "", 200, "public, max-age=300"},
        {{{"v", tag}}, "\"" + tag + "\"", 304, "public, max-age=31536000, immutable"},
    };
    for (const Case& c : cases) {
        Request request;
        request.method = "GET";
        request.path = "/" + name + ".thumb.jpg";
        request.query = c.query;
        if (!c.ifNoneMatch.empty()) request.headers["if-none-match"] = c.ifNoneMatch;
        Response response = world.Handle(request);
        EXPECT_EQ(response.status, c.status) << c.caching;
        EXPECT_EQ(response.Header("Cache-Control"), c.caching);
        EXPECT_EQ(response.Header("ETag"), "\"" + tag + "\"");
        if (c.status == 200) {
            EXPECT_EQ(response.body, *world.store->LoadThumbnail(shot));
        }
    }
    EXPECT_EQ(Get("/nobody.thumb.jpg").status, 404);

    // Renamed, the picture keeps its tag; its old name never goes to another picture.
    ASSERT_TRUE(world.store->RenameScreenshot(shot.id, "neu"));
    EXPECT_EQ(ThumbnailAddress(world.context, *world.store->FindScreenshot("neu")), "/neu.thumb.jpg?v=" + tag);
    const std::string next = Upload("");
    EXPECT_FALSE(world.store->RenameScreenshot(world.store->FindScreenshot(next)->id, name));
}

// An open session page hears of deleted screenshots as well as of new ones.
TEST_P(PagesTest, SessionStreamAnnouncesDeletedScreenshots) {
    world.store->ClaimSession("team", ClientHash(world.context, std::string(64, 'c')), world.now, 3600, false);
    const std::string first = Upload("eins", "team"), second = Upload("zwei", "team");
    const std::int64_t firstId = world.store->FindScreenshot(first)->id, secondId = world.store->FindScreenshot(second)->id;
    EXPECT_TRUE(Contains(Get("/~team").body, ".thumb.jpg?v="));
    Response stream = Get("/~team/events", {{"after", std::to_string(secondId)}});
    stream.events->Next();
    const std::string third = Upload("drei", "team");
    std::string event = stream.events->Next();
    EXPECT_TRUE(Contains(event, "\"thumbnail\":\"/" + third + ".thumb.jpg?v="));
    EXPECT_TRUE(Contains(event, "\"thumbWidth\":32,\"thumbHeight\":16"));

    const std::int64_t thirdId = world.store->FindScreenshot(third)->id;
    world.store->DeleteScreenshot(firstId);
    world.store->DeleteScreenshot(thirdId);
    EXPECT_EQ(stream.events->Next(), "event: removed\ndata: {\"id\":" + std::to_string(firstId) +
                                         "}\n\nevent: removed\ndata: {\"id\":" + std::to_string(thirdId) + "}\n\n");
    EXPECT_EQ(stream.events->Next(), "");
}

// Changing the password, deleting every screenshot, deleting the account: each behind a
// CSRF-protected form, the dangerous ones behind the password and a clear warning.
TEST_P(PagesTest, AccountSelfService) {
    ASSERT_TRUE(world.store->CreateAccount("anna", HashPassword("geheim1"), 1));
    auto uploadAs = [&](const std::string& password) {
        Request upload = world.Upload(jpeg);
        upload.fields = {{"description", "x"}, {"username", "anna"}, {"password", password}};
        return world.Handle(upload).body.substr(0, 6);
    };
    auto logIn = [&](const std::string& password) {
        Response form = Get("/account.htm", {{"action", "login"}});
        return Post("/account.htm", "login", {{"username", "anna"}, {"password", password}, {"csrf", Csrf(form.body)}}).status;
    };
    EXPECT_EQ(Get("/account.htm", {{"action", "password"}}).status, 403);  // logged out: the login form
    ASSERT_EQ(logIn("geheim1"), 303);
    const std::string oldLogin = cookies["snapora_login"];

    Response form = Get("/account.htm", {{"action", "password"}});
    const std::string csrf = Csrf(form.body);
    struct Case { std::map<std::string, std::string> fields; int status; std::string text; } refused[] = {
        {{{"oldpassword", "geheim1"}, {"password", "neues!1"}, {"password2", "neues!1"}, {"csrf", "forged"}}, 403, "abgelaufen"},
        {{{"oldpassword", "falsch"}, {"password", "neues!1"}, {"password2", "neues!1"}, {"csrf", csrf}}, 403, "bisherige Passwort ist falsch"},
        {{{"oldpassword", "geheim1"}, {"password", "kurz"}, {"password2", "kurz"}, {"csrf", csrf}}, 200, "mindestens 6 Zeichen"},
        {{{"oldpassword", "geheim1"}, {"password", "neues!1"}, {"password2", "anders"}, {"csrf", csrf}}, 200, "stimmen nicht überein"},
    };
    for (const Case& c : refused) {
        Response page = Post("/account.htm", "password", c.fields);
        EXPECT_EQ(page.status, c.status) << c.text;
        EXPECT_TRUE(Contains(page.body, c.text)) << c.text;
    }
    EXPECT_EQ(uploadAs("geheim1"), "ok|4.2");
    Response changed = Post("/account.htm", "password", {{"oldpassword", "geheim1"}, {"password", "neues!1"}, {"password2", "neues!1"}, {"csrf", csrf}});
    EXPECT_EQ(changed.Header("Location"), "/account.htm?done=password");
    EXPECT_NE(cookies["snapora_login"], oldLogin);
    EXPECT_TRUE(Contains(Get("/account.htm", {{"done", "password"}}).body, "Ihr Passwort wurde geändert."));
    EXPECT_EQ(uploadAs("geheim1"), "Benutz");  // "Benutzername oder Passwort ist falsch."
    EXPECT_EQ(uploadAs("neues!1"), "ok|4.2");
    std::map<std::string, std::string> browser = cookies;
    cookies["snapora_login"] = oldLogin;  // another browser, logged in with the old password
    EXPECT_FALSE(Contains(Get("/account.htm").body, "Angemeldet als"));
    cookies = browser;

    // Deleting all screenshots: a warning with the number, then gone with their files.
    Response confirm = Get("/account.htm", {{"action", "deleteall"}});
    EXPECT_TRUE(Contains(confirm.body, "alle seine 2 Screenshots für immer"));
    EXPECT_EQ(Post("/account.htm", "deleteall", {{"csrf", "forged"}}).status, 403);
    EXPECT_EQ(world.store->ScreenshotsOfAccount(world.store->FindAccount("anna")->id).size(), 2u);
    EXPECT_EQ(Post("/account.htm", "deleteall", {{"csrf", Csrf(confirm.body)}}).Header("Location"), "/account.htm?done=deleteall");
    EXPECT_EQ(world.store->ScreenshotsOfAccount(world.store->FindAccount("anna")->id).size(), 0u);
    EXPECT_EQ(world.StoredPictures(), 0);

    // Deleting the account needs its password.
    EXPECT_EQ(uploadAs("neues!1"), "ok|4.2");
    confirm = Get("/account.htm", {{"action", "deleteaccount"}});
    EXPECT_TRUE(Contains(confirm.body, "<strong>anna</strong> wird mit seinem einen Screenshot endgültig gelöscht"));
    Response wrong = Post("/account.htm", "deleteaccount", {{"password", "geheim1"}, {"csrf", Csrf(confirm.body)}});
    EXPECT_EQ(wrong.status, 403);
    EXPECT_TRUE(Contains(wrong.body, "Das Konto wurde nicht gelöscht."));
    EXPECT_EQ(Post("/account.htm", "deleteaccount", {{"password", "neues!1"}, {"csrf", "forged"}}).status, 403);
    EXPECT_TRUE(world.store->FindAccount("anna"));
    Response gone = Post("/account.htm", "deleteaccount", {{"password", "neues!1"}, {"csrf", Csrf(confirm.body)}});
    EXPECT_EQ(gone.status, 200);
    EXPECT_TRUE(Contains(gone.body, "<h1>Konto gelöscht</h1>"));
    EXPECT_TRUE(Contains(gone.body, "sein Screenshot sind gelöscht."));
    EXPECT_TRUE(Contains(gone.Header("Set-Cookie"), "snapora_login=; Path=/; Max-Age=0"));
    EXPECT_FALSE(world.store->FindAccount("anna"));
    EXPECT_EQ(world.StoredPictures(), 0);
    EXPECT_EQ(logIn("neues!1"), 200);  // the login form again: no such account
}

INSTANTIATE_TEST_SUITE_P(Stores, PagesTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace snapora::server
