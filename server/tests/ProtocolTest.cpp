#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "auth/Passwords.h"
#include "handlers/Router.h"

namespace snapora::server {

using testing::ServerWorld;

namespace {

std::string NameIn(const std::string& address) { return address.substr(address.rfind('/') + 1); }

Request Form(const std::string& path, std::map<std::string, std::string> fields, const std::string& cookie = "") {
    Request request;
    request.method = "POST";
    request.path = path;
    request.remoteAddress = "10.0.0.1";
    request.fields = std::move(fields);
    if (!cookie.empty()) request.cookies["snapora_client"] = cookie;
    return request;
}

struct ProtocolTest : ::testing::Test {
    ServerWorld world;
    std::string jpeg = testing::MakeJpeg(64, 48);

    Response Send(const Request& request) { return world.Handle(request); }
    void AddAccount(const std::string& name, const std::string& password) {
        ASSERT_TRUE(world.store->CreateAccount(name, HashPassword(password), 1));
    }
};

}  // namespace

TEST_F(ProtocolTest, UploadAnswersOkVersionAndAddressAndSetsTheClientCookie) {
    world.context.settings.latestVersion = "4.3";
    Request upload = world.Upload(jpeg);
    upload.fields["description"] = "Gr\xFC\xDF" "e";
    Response reply = Send(upload);
    EXPECT_EQ(reply.status, 200);
    ASSERT_EQ(reply.body.rfind("ok|4.3|http://127.0.0.1:18080/", 0), 0u) << reply.body;
    std::optional<Screenshot> stored = world.store->FindScreenshot(NameIn(reply.body));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->description, "Grüße");
    EXPECT_EQ(stored->width, 64);
    EXPECT_EQ(testing::ReadFile(world.store->PicturePath(*stored)), jpeg);
    EXPECT_TRUE(world.CookieFrom(reply).size() == 64);
}

// Every refusal is still status 200 with the reply form as the whole body.
TEST_F(ProtocolTest, UploadRefusals) {
    Request tooLarge = world.Upload(jpeg);
    tooLarge.bodyTooLarge = true;
    Request malformed = world.Upload(jpeg);
    malformed.bodyMalformed = true;
    Request noPicture = world.Upload(jpeg);
    noPicture.files.clear();
    Request notJpeg = world.Upload("<html>not a picture</html>");
    Request halfJpeg = world.Upload(jpeg.substr(0, 20));
    Request unknownSession = world.Upload(jpeg);
    unknownSession.fields["sessionname"] = "nobody";
    Request badSession = world.Upload(jpeg);
    badSession.fields["sessionname"] = "../x";
    Request wrongAccount = world.Upload(jpeg);
    wrongAccount.fields["username"] = "ghost";
    wrongAccount.fields["password"] = "x";
    struct Case { const char* what; Request request; std::string reply; } cases[] = {
        {"too large", tooLarge, "toobig"},
        {"malformed", malformed, "Die Anfrage war unvollst\xE4ndig oder fehlerhaft."},
        {"no picture", noPicture, "Es wurde kein Bild \xFC" "bertragen."},
        {"not a JPEG", notJpeg, "Die hochgeladene Datei ist kein JPEG-Bild."},
        {"a cut JPEG header", halfJpeg, "Die hochgeladene Datei ist kein JPEG-Bild."},
        {"unknown session", unknownSession, "wrongsession"},
        {"session name outside the alphabet", badSession, "wrongsession"},
        {"wrong account", wrongAccount, "Benutzername oder Passwort ist falsch."},
    };
    for (Case& c : cases) {
        Response reply = Send(c.request);
        EXPECT_EQ(reply.status, 200) << c.what;
        EXPECT_EQ(reply.body, c.reply) << c.what;
    }
    EXPECT_TRUE(std::filesystem::is_empty(world.folder.Path() + "/pictures"));  // nothing half-stored
}

TEST_F(ProtocolTest, SessionUploadsLandInTheSessionAndWakeItsPage) {
    world.context.settings.sessionIdle = 60;
    EXPECT_EQ(Send(Form("/loginsession.php", {})).body, "invalidname");
    Request login;
    login.method = "GET";
    login.path = "/loginsession.php";
    struct Case { std::string asked, reply; } cases[] = {
        {"team", "ok team"}, {"  Mein Team ", "ok Mein_Team"}, {"Gr\xFC\xDF" "e", "ok Gr\xFC\xDF" "e"},
        {"", "invalidname"}, {"a/b", "invalidname"}, {"<b>", "invalidname"}, {std::string(41, 'x'), "invalidname"},
    };
    for (const Case& c : cases) {
        login.query["sessionname"] = c.asked;
        EXPECT_EQ(Send(login).body, c.reply) << c.asked;
    }
    int woken = 0;
    world.board.Subscribe(world.store->FindSession("team")->id, [&] { ++woken; });
    Request upload = world.Upload(jpeg);
    upload.fields["sessionname"] = "team";
    ASSERT_EQ(Send(upload).body.substr(0, 2), "ok");
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(world.store->ScreenshotsOfSession(world.store->FindSession("team")->id).size(), 1u);

    world.now += 61;  // idle past the limit
    Request late = world.Upload(jpeg);
    late.fields["sessionname"] = "team";
    EXPECT_EQ(Send(late).body, "wrongsession");
}

// Renaming works for the client that uploaded (its cookie) or the owning account, never for others.
TEST_F(ProtocolTest, RenameRights) {
    Response first = Send(world.Upload(jpeg));
    const std::string cookie = world.CookieFrom(first);
    const std::string name = NameIn(first.body);

    EXPECT_EQ(Send(Form("/rename.php", {{"filename", name}, {"newfilename", "fremd"}})).body,
              "Sie d\xFCrfen diesen Screenshot nicht umbenennen.");
    EXPECT_EQ(Send(Form("/rename.php", {{"filename", name}, {"newfilename", "fremd"}}, std::string(64, 'a'))).body,
              "Sie d\xFCrfen diesen Screenshot nicht umbenennen.");
    EXPECT_EQ(Send(Form("/rename.php", {{"filename", name}, {"newfilename", "Mein Fenster"}}, cookie)).body,
              "http://127.0.0.1:18080/Mein_Fenster");
    EXPECT_EQ(Send(Form("/rename.php", {{"filename", "Mein_Fenster"}, {"newfilename", "Gr\xFC\xDF" "e"}}, cookie)).body,
              "http://127.0.0.1:18080/Gr\xFC\xDF" "e");

    AddAccount("anna", "geheim1");
    Request owned = world.Upload(jpeg, cookie);
    owned.fields["username"] = "anna";
    owned.fields["password"] = "geheim1";
    const std::string ownedName = NameIn(Send(owned).body);
    EXPECT_EQ(world.store->FindScreenshot(ownedName)->accountId.has_value(), true);
    // The same client without the account may not rename the account's screenshot.
    EXPECT_EQ(Send(Form("/rename.php", {{"filename", ownedName}, {"newfilename", "x1"}}, cookie)).body,
              "Sie d\xFCrfen diesen Screenshot nicht umbenennen.");
    EXPECT_EQ(Send(Form("/rename.php", {{"filename", ownedName}, {"newfilename", "x1"}, {"username", "anna"},
                        {"password", "geheim1"}})).body,
              "http://127.0.0.1:18080/x1");
}

TEST_F(ProtocolTest, RenameRefusesTakenEmptyAndUnsafeNames) {
    Response first = Send(world.Upload(jpeg));
    const std::string cookie = world.CookieFrom(first);
    const std::string name = NameIn(first.body);
    const std::string taken = NameIn(Send(world.Upload(jpeg, cookie)).body);
    const std::string unsafe =
        "Der Name darf nur Buchstaben, Ziffern, - und _ enthalten und h\xF6" "chstens 40 Zeichen lang sein.";
    struct Case { std::string newName, reply; } cases[] = {
        {taken, "Dieser Name ist bereits vergeben."},
        {"", "Bitte geben Sie einen Namen ein."},
        {"   ", "Bitte geben Sie einen Namen ein."},
        {"../../etc/passwd", unsafe},
        {"..%2F..%2Fsnapora.db", unsafe},
        {"..\\snapora.db", unsafe},
        {std::string("a\0b", 3), unsafe},
        {"<script>alert(1)</script>", unsafe},
        {"x'; DELETE FROM screenshots; --", unsafe},
        {"bild.jpg", unsafe},
        {std::string(41, 'n'), unsafe},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Send(Form("/rename.php", {{"filename", name}, {"newfilename", c.newName}}, cookie)).body, c.reply)
            << c.newName;
    EXPECT_EQ(Send(Form("/rename.php", {{"filename", "nothere"}, {"newfilename", "x"}}, cookie)).body,
              "Diesen Screenshot gibt es nicht.");
    EXPECT_TRUE(world.store->FindScreenshot(name));  // unchanged
}

TEST_F(ProtocolTest, AccountTestAnswersOkOrWrongAndThrottlesGuessing) {
    AddAccount("anna", "Gr\xC3\xBC\xC3\x9F" "e1");  // a UTF-8 password, typed in the program as Windows-1252
    auto test = [&](const std::string& user, const std::string& password, const std::string& from) {
        Request request = Form("/account.htm", {{"username", user}, {"password", password}});
        request.query["action"] = "testlogin";
        request.remoteAddress = from;
        return Send(request).body;
    };
    EXPECT_EQ(test("anna", "Gr\xFC\xDF" "e1", "10.0.0.1"), "ok");
    EXPECT_EQ(test("ANNA", "Gr\xFC\xDF" "e1", "10.0.0.1"), "ok");
    EXPECT_EQ(test("", "", "10.0.0.1"), "wrong");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(test("anna", "falsch", "10.0.0." + std::to_string(i + 2)), "wrong");
    // Five failures on the account: even the right password waits now, from any address.
    const std::string throttled =
        "Zu viele fehlgeschlagene Anmeldungen. Bitte versuchen Sie es in einigen Minuten noch einmal.";
    EXPECT_EQ(test("anna", "Gr\xFC\xDF" "e1", "10.0.0.99"), throttled);
    world.now += 601;
    EXPECT_EQ(test("anna", "Gr\xFC\xDF" "e1", "10.0.0.99"), "ok");
    // Twenty failures from one address stop it for every account.
    for (int i = 0; i < 20; ++i) test("user" + std::to_string(i), "x", "10.9.9.9");
    EXPECT_EQ(test("anna", "Gr\xFC\xDF" "e1", "10.9.9.9"), throttled);
    EXPECT_EQ(test("anna", "Gr\xFC\xDF" "e1", "10.0.0.1"), "ok");
}

}  // namespace snapora::server
