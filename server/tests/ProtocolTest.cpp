#include <gtest/gtest.h>

#include <filesystem>

#include "PgCluster.h"
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

// The program's requests against each store: the same replies from SQLite and from PostgreSQL.
struct ProtocolTest : ::testing::TestWithParam<std::string> {
    ServerWorld world{GetParam() == "PostgreSQL" ? testing::PgCluster::Shared().NewDatabase() : ""};
    std::string jpeg = testing::MakeJpeg(64, 48);

    Response Send(const Request& request) { return world.Handle(request); }
    void AddAccount(const std::string& name, const std::string& password) {
        ASSERT_TRUE(world.store->CreateAccount(name, HashPassword(password), 1));
    }
};

}  // namespace

TEST_P(ProtocolTest, UploadAnswersOkVersionAndAddressAndSetsTheClientCookie) {
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
    EXPECT_EQ(testing::ReadPicture(world.store->OpenPicture(*stored)), jpeg);
    EXPECT_TRUE(world.store->LoadThumbnail(*stored));  // made with the upload
    EXPECT_TRUE(world.CookieFrom(reply).size() == 64);
}

// Every refusal is still status 200 with the reply form as the whole body.
TEST_P(ProtocolTest, UploadRefusals) {
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
    Request notStored = world.Upload(jpeg);
    notStored.bodyNotStored = true;
    // Whole headers, and then: half the scan, noise instead of the scan, a second file after the end.
    const std::size_t scan = jpeg.find("\xFF\xDA");
    std::string noise = jpeg;
    for (std::size_t i = scan + 20; i < noise.size() - 2; ++i) noise[i] = char((i * 7919) % 251);
    Request cutScan = world.Upload(jpeg.substr(0, (scan + jpeg.size()) / 2));
    Request noisyScan = world.Upload(noise);
    Request trailing = world.Upload(jpeg + "<html>hidden</html>");
    std::string giant = jpeg;  // a few hundred bytes that claim 65500 x 65500 pixels
    const std::size_t frame = giant.find("\xFF\xC0");
    giant.replace(frame + 5, 4, "\xFF\xDC\xFF\xDC");
    Request absurd = world.Upload(giant);
    Request progressive = world.Upload(testing::MakeJpeg(64, 48, true));
    Request tooProgressive = world.Upload(testing::MakeJpeg(3000, 3000, true));  // its buffer: more than allowed
    const std::string notJpegText = "Die hochgeladene Datei ist kein JPEG-Bild.";
    struct Case { const char* what; Request request; std::string reply; } cases[] = {
        {"too large", tooLarge, "toobig"},
        {"malformed", malformed, "Die Anfrage war unvollst\xE4ndig oder fehlerhaft."},
        {"no picture", noPicture, "Es wurde kein Bild \xFC" "bertragen."},
        {"not a JPEG", notJpeg, "Die hochgeladene Datei ist kein JPEG-Bild."},
        {"a cut JPEG header", halfJpeg, "Die hochgeladene Datei ist kein JPEG-Bild."},
        {"unknown session", unknownSession, "wrongsession"},
        {"session name outside the alphabet", badSession, "wrongsession"},
        {"wrong account", wrongAccount, "Benutzername oder Passwort ist falsch."},
        {"disk full while it arrived", notStored,
         "Der Screenshot konnte nicht gespeichert werden. Bitte versuchen Sie es sp\xE4ter noch einmal."},
        {"half the scan", cutScan, notJpegText},
        {"noise for a scan", noisyScan, notJpegText},
        {"something after the picture", trailing, notJpegText},
        {"absurd dimensions", absurd, notJpegText},
        {"a large progressive picture", tooProgressive, notJpegText},
    };
    for (Case& c : cases) {
        Response reply = Send(c.request);
        EXPECT_EQ(reply.status, 200) << c.what;
        EXPECT_EQ(reply.body, c.reply) << c.what;
    }
    EXPECT_EQ(world.StoredPictures(), 0);  // nothing half-stored
    EXPECT_EQ(Send(progressive).body.substr(0, 3), "ok|");
}

// A day's upload bytes per address (or per account) and the data folder's free-space floor.
TEST_P(ProtocolTest, UploadQuotas) {
    world.context.settings.quotaAnonymousBytes = jpeg.size() * 2;
    world.context.settings.quotaAccountBytes = jpeg.size();
    AddAccount("anna", "geheim1");
    auto upload = [&](const std::string& from, bool withAccount) {
        Request request = world.Upload(jpeg);
        request.remoteAddress = from;
        if (withAccount) request.fields.insert({{"username", "anna"}, {"password", "geheim1"}});
        return Send(request).body.substr(0, 20);
    };
    const std::string quota = "Das Tageskontingent";
    struct Case { std::string from; bool withAccount; std::string reply; } cases[] = {
        {"10.0.0.1", false, "ok"}, {"10.0.0.1", false, "ok"}, {"10.0.0.1", false, quota},
        {"10.0.0.2", false, "ok"},  // another address has its own
        {"10.0.0.1", true, "ok"}, {"10.0.0.2", true, quota},  // the account has its own, wherever it uploads
    };
    for (const Case& c : cases) EXPECT_EQ(upload(c.from, c.withAccount).substr(0, c.reply.size()), c.reply) << c.from;
    world.now += 24 * 3600;
    EXPECT_EQ(upload("10.0.0.1", false).substr(0, 2), "ok");
    // The free-space floor is the data folder's; PostgreSQL's own disk is out of the server's sight.
    world.context.settings.minFreeBytes = UINT64_MAX / 2;
    EXPECT_EQ(upload("10.0.0.3", false).substr(0, 20),
              GetParam() == "PostgreSQL" ? "ok|4.2|http://127.0." : "Der Server hat zurze");
}

TEST_P(ProtocolTest, SessionUploadsLandInTheSessionAndWakeItsPage) {
    world.context.settings.sessionIdle = 60;
    EXPECT_EQ(Send(Form("/loginsession.php", {})).body, "invalidname");
    const std::string owner(64, 'a');
    Request login;
    login.method = "GET";
    login.path = "/loginsession.php";
    login.cookies["snapora_client"] = owner;
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
    Request upload = world.Upload(jpeg, owner);
    upload.fields["sessionname"] = "team";
    ASSERT_EQ(Send(upload).body.substr(0, 2), "ok");
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(world.store->ScreenshotsOfSession(world.store->FindSession("team")->id).size(), 1u);

    world.now += 61;  // idle past the limit
    Request late = world.Upload(jpeg, owner);
    late.fields["sessionname"] = "team";
    EXPECT_EQ(Send(late).body, "wrongsession");
}

// A live session is its opener's: anyone else asking for its name gets a
// fresh name of their own, and cannot upload into it.
TEST_P(ProtocolTest, SessionsBelongToTheirOwner) {
    const std::string owner(64, 'a'), stranger(64, 'b');
    auto login = [&](const std::string& cookie, const std::string& name) {
        Request request;
        request.method = "GET";
        request.path = "/loginsession.php";
        request.query["sessionname"] = name;
        if (!cookie.empty()) request.cookies["snapora_client"] = cookie;
        return Send(request).body;
    };
    auto upload = [&](const std::string& cookie, const std::string& session) {
        Request request = world.Upload(jpeg, cookie);
        request.fields["sessionname"] = session;
        return Send(request).body.substr(0, 2);
    };
    ASSERT_EQ(login(owner, "Besprechung"), "ok Besprechung");
    const std::string variant = login(stranger, "Besprechung");
    ASSERT_EQ(variant.rfind("ok Besprechung-", 0), 0u) << variant;
    EXPECT_EQ(variant.size(), std::string("ok Besprechung-").size() + 10);
    EXPECT_NE(login("", "Besprechung"), variant);  // a client without a cookie is someone else again
    EXPECT_EQ(login(owner, "Besprechung"), "ok Besprechung");  // the owner rejoins
    EXPECT_EQ(login(stranger, variant.substr(3)), variant);    // and so does the stranger, in its own

    EXPECT_EQ(upload(stranger, "Besprechung"), "wr");
    EXPECT_EQ(upload("", "Besprechung"), "wr");
    EXPECT_EQ(upload(owner, variant.substr(3)), "wr");
    EXPECT_EQ(upload(owner, "Besprechung"), "ok");
    EXPECT_EQ(upload(stranger, variant.substr(3)), "ok");

    // A long name keeps within the length limit; the owner's account may upload from another client.
    ASSERT_EQ(login(owner, std::string(40, 'x')), "ok " + std::string(40, 'x'));
    const std::string variantOfLong = login(stranger, std::string(40, 'x')).substr(3);
    EXPECT_EQ(variantOfLong, std::string(29, 'x') + variantOfLong.substr(29));
    EXPECT_EQ("ok " + variantOfLong, login(stranger, variantOfLong));
    AddAccount("anna", "geheim1");
    Request withAccount = world.Upload(jpeg, owner);
    withAccount.fields.insert({{"sessionname", "Besprechung"}, {"username", "anna"}, {"password", "geheim1"}});
    ASSERT_EQ(Send(withAccount).body.substr(0, 2), "ok");
    withAccount = world.Upload(jpeg, std::string(64, 'c'));
    withAccount.fields.insert({{"sessionname", "Besprechung"}, {"username", "anna"}, {"password", "geheim1"}});
    EXPECT_EQ(Send(withAccount).body.substr(0, 2), "ok");
}

// Renaming works for the client that uploaded (its cookie) or the owning account, never for others.
TEST_P(ProtocolTest, RenameRights) {
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

// A name once given out keeps leading to its screenshot and is never given to another.
TEST_P(ProtocolTest, NamesNeverChangeHands) {
    Response first = Send(world.Upload(jpeg));
    const std::string owner = world.CookieFrom(first), original = NameIn(first.body);
    auto rename = [&](const std::string& cookie, const std::string& from, const std::string& to) {
        return Send(Form("/rename.php", {{"filename", from}, {"newfilename", to}}, cookie)).body;
    };
    auto get = [&](const std::string& path) {
        Request request;
        request.method = "GET";
        request.path = path;
        request.remoteAddress = "10.0.0.1";
        Response response = Send(request);
        return std::to_string(response.status) + " " + response.Header("Location");
    };
    ASSERT_EQ(rename(owner, original, "alt"), "http://127.0.0.1:18080/alt");
    ASSERT_EQ(rename(owner, "alt", "neu"), "http://127.0.0.1:18080/neu");
    Response second = Send(world.Upload(jpeg));
    const std::string other = world.CookieFrom(second), otherName = NameIn(second.body);
    const std::string taken = "Dieser Name ist bereits vergeben.";
    struct Case { std::string cookie, from, to, reply; } cases[] = {
        {other, otherName, "alt", taken},                           // a former name is not free
        {other, otherName, original, taken},
        {other, "alt", "meins", "Sie d\xFCrfen diesen Screenshot nicht umbenennen."},
        {owner, "alt", "neu", "http://127.0.0.1:18080/neu"},        // a former name finds the screenshot
        {owner, "neu", "alt", "http://127.0.0.1:18080/alt"},        // and its own may come back
        {owner, original, "drei", "http://127.0.0.1:18080/drei"},
    };
    for (const Case& c : cases) EXPECT_EQ(rename(c.cookie, c.from, c.to), c.reply) << c.from << " -> " << c.to;
    EXPECT_EQ(get("/" + original), "302 /drei");
    EXPECT_EQ(get("/neu.jpg"), "302 /drei.jpg");
    EXPECT_EQ(get("/drei").substr(0, 4), "200 ");

    world.store->DeleteScreenshot(world.store->FindScreenshot("drei")->id);
    for (const std::string& name : {std::string("drei"), std::string("alt"), original}) {
        EXPECT_EQ(rename(other, otherName, name), taken) << name;
        EXPECT_EQ(get("/" + name), "404 ") << name;
    }
}

TEST_P(ProtocolTest, RenameRefusesTakenEmptyAndUnsafeNames) {
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

// Over HTTPS (the server's own TLS, or a proxy saying so) cookies are Secure,
// the address handed out is https:// and HSTS tells the browser to stay.
TEST_P(ProtocolTest, HttpsMarksCookiesSecureAndHandsOutHttpsAddresses) {
    for (bool secure : {false, true}) {
        Request upload = world.Upload(jpeg);
        upload.secure = secure;
        Response reply = Send(upload);
        EXPECT_EQ(reply.body.substr(0, 16), secure ? "ok|4.2|https://1" : "ok|4.2|http://12");
        EXPECT_EQ(reply.Header("Set-Cookie").find("; Secure") != std::string::npos, secure);
        EXPECT_EQ(reply.Header("Strict-Transport-Security"), secure ? "max-age=31536000" : "");
    }
}

TEST_P(ProtocolTest, AccountTestAnswersOkOrWrongAndThrottlesGuessingWithoutLockingTheOwnerOut) {
    AddAccount("anna", "Gr\xC3\xBC\xC3\x9F" "e1");  // a UTF-8 password, typed in the program as Windows-1252
    auto test = [&](const std::string& user, const std::string& password, const std::string& from) {
        Request request = Form("/account.htm", {{"username", user}, {"password", password}});
        request.query["action"] = "testlogin";
        request.remoteAddress = from;
        return Send(request).body;
    };
    const std::string right = "Gr\xFC\xDF" "e1";
    EXPECT_EQ(test("anna", right, "10.0.0.1"), "ok");
    EXPECT_EQ(test("ANNA", right, "10.0.0.1"), "ok");
    EXPECT_EQ(test("", "", "10.0.0.1"), "wrong");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(test("anna", "falsch", "10.0.0.2"), "wrong");
    // Five failures for the account from one address: that address waits, even with the right password...
    const std::string throttled =
        "Zu viele fehlgeschlagene Anmeldungen. Bitte versuchen Sie es in einigen Minuten noch einmal.";
    EXPECT_EQ(test("anna", right, "10.0.0.2"), throttled);
    // ...while the owner elsewhere is not refused, and other names from there still count.
    EXPECT_EQ(test("anna", right, "10.0.0.99"), "ok");
    EXPECT_EQ(test("bert", "x", "10.0.0.2"), "wrong");
    world.now += 601;
    EXPECT_EQ(test("anna", right, "10.0.0.2"), "ok");
    // Twenty failures from one address stop it for every name (names that cannot exist count too).
    for (int i = 0; i < 20; ++i) test("?" + std::to_string(i), "x", "10.9.9.9");
    EXPECT_EQ(test("anna", right, "10.9.9.9"), throttled);
    EXPECT_EQ(test("anna", right, "10.0.0.1"), "ok");

    world.store->SetAccountDisabled(world.store->FindAccount("anna")->id, true);
    EXPECT_EQ(test("anna", "falsch", "10.0.0.1"), "wrong");
    EXPECT_EQ(test("anna", right, "10.0.0.1"), "Dieses Konto ist gesperrt.");
    Request upload = world.Upload(jpeg);
    upload.fields.insert({{"username", "anna"}, {"password", right}});
    EXPECT_EQ(Send(upload).body, "Dieses Konto ist gesperrt.");
}

INSTANTIATE_TEST_SUITE_P(Stores, ProtocolTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace snapora::server
