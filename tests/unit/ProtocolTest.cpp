// The web service's protocol: multipart bodies byte for byte and the rules
// that read its replies.

#include <gtest/gtest.h>

#include <cstring>

#include "upload/Multipart.h"
#include "upload/Replies.h"
#include "upload/ServiceRequests.h"

namespace snapora {

namespace {
const LocalTime UploadTime{2026, 3, 4, 17, 8, 9, 12};  // boundary digits 030426170809012
const std::string B = "--------030426170809012";

std::string Field(const std::string& name, const std::string& value) {
    return "--" + B + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}
std::string Upload(const std::string& jpeg, const std::string& fields) {
    return fields + "--" + B +
           "\r\nContent-Disposition: form-data; name=\"screenshot\"; filename=\"C:\\T\\screen.jpg\"\r\n"
           "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
           jpeg + "\r\n--" + B + "--\r\n";
}
}  // namespace

TEST(Multipart, BoundaryIsEightHyphensAndTheLocalTime) {
    EXPECT_EQ(BoundaryFor(UploadTime), B);
    EXPECT_EQ(MultipartForm(UploadTime).ContentType(), "multipart/form-data; boundary=" + B);
}

TEST(Multipart, UploadBodiesForEveryFieldCombination) {
    const std::string jpeg("JPG\0\xFF", 5);
    const std::string base = Field("filename", "screenshot") + Field("version", "4.2");
    struct Case {
        const char* what;
        std::string description, session;
        Account account;
        std::string fields;
    } cases[] = {
        {"no account, no session", "", "", {}, base + Field("description", "")},
        {"description", "Fehler im Dialog", "", {}, base + Field("description", "Fehler im Dialog")},
        {"session", "", "team", {}, base + Field("description", "") + Field("sessionname", "team")},
        {"account", "", "", {"anna", "pw"},
         base + Field("description", "") + Field("username", "anna") + Field("password", "pw")},
        {"account with an empty password", "", "", {"anna", ""},
         base + Field("description", "") + Field("username", "anna") + Field("password", "")},
        {"password without a user name", "", "", {"", "pw"}, base + Field("description", "")},
        {"everything", "Ä", "s", {"u", "p"},
         base + Field("description", "Ä") + Field("sessionname", "s") + Field("username", "u") +
             Field("password", "p")},
    };
    for (const Case& c : cases) {
        auto form = BuildUploadForm(UploadTime, "C:\\T\\screen.jpg", std::make_unique<MemoryReadStream>(jpeg), c.description, c.session,
                                    c.account);
        std::uint64_t announced = form->Size();
        std::string body = form->ReadAll();
        EXPECT_EQ(body, Upload(jpeg, c.fields)) << c.what;
        EXPECT_EQ(announced, body.size()) << c.what;
    }
}

TEST(Multipart, RenameAndAccountTestBodies) {
    EXPECT_EQ(BuildRenameForm(UploadTime, "s1", "Neuer Name", {})->ReadAll(),
              Field("filename", "s1") + Field("newfilename", "Neuer Name") + "--" + B + "--\r\n");
    EXPECT_EQ(BuildRenameForm(UploadTime, "", "x", {"anna", ""})->ReadAll(),
              Field("filename", "") + Field("newfilename", "x") + Field("username", "anna") + Field("password", "") +
                  "--" + B + "--\r\n");
    EXPECT_EQ(BuildAccountTestForm(UploadTime, {"", ""})->ReadAll(),
              Field("username", "") + Field("password", "") + "--" + B + "--\r\n");
}

// What a request line cannot carry goes as %XX; everything else byte for byte.
TEST(SessionLogin, NameIsEncodedOnlyWhereTheRequestLineNeedsIt) {
    struct Case {
        std::string name, query;
    } cases[] = {
        {"team", "team"},
        {"Team Meeting", "Team%20Meeting"},
        {"M\xFCller", "M%FCller"},                    // Windows-1252 ü
        {"a\tb\x7F\x80\xFF", "a%09b%7F%80%FF"},
        {"!~a+b&c=d%20#/", "!~a+b&c=d%20#/"},          // printable ASCII stays as typed
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SessionLoginPath(c.name), "/loginsession.php?sessionname=" + c.query) << c.name;
}

TEST(Multipart, SmallReadsGiveTheSameBytes) {
    auto whole = BuildUploadForm(UploadTime, "p", std::make_unique<MemoryReadStream>(std::string(1000, 'j')), "", "", {})->ReadAll();
    auto form = BuildUploadForm(UploadTime, "p", std::make_unique<MemoryReadStream>(std::string(1000, 'j')), "", "", {});
    std::string pieces;
    char buffer[7];
    for (std::size_t n; (n = form->Read(buffer, sizeof buffer)) > 0;) pieces.append(buffer, n);
    EXPECT_EQ(pieces, whole);
}

TEST(Replies, FetchTokenRules) {
    struct Case {
        std::string text;
        std::string token, rest;
    } cases[] = {
        {"ok|4.2|http://a/b", "ok", "4.2|http://a/b"},
        {"|http://a", "", "http://a"},     // a leading bar: an empty token
        {"no bar", "", "no bar"},          // no delimiter: nothing taken
        {"|", "", "|"},                    // exactly one bar
        {"||", "", "||"},                  // exactly two bars
        {"a|b|c|d", "a", "b|c|d"},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(FetchToken(text, '|'), c.token) << c.text;
        EXPECT_EQ(text, c.rest) << c.text;
    }
    std::string semis = ";;a;b";  // leading delimiters other than "|" are skipped
    EXPECT_EQ(FetchToken(semis, ';'), "a");
    EXPECT_EQ(semis, "b");
    std::string blanks = "   ";  // only blanks: left alone, though blank is the delimiter
    EXPECT_EQ(FetchToken(blanks, ' '), "");
    EXPECT_EQ(blanks, "   ");
    std::string only = ";;;";
    EXPECT_EQ(FetchToken(only, ';'), "");
    EXPECT_EQ(only, "");
}

TEST(Replies, UploadReplyKinds) {
    using K = UploadReply::Kind;
    struct Case {
        std::string reply;
        K kind;
        std::string version, address;
    } cases[] = {
        {"ok|4.2|http://snapora.example/abc", K::Success, "4.2", "http://snapora.example/abc"},
        {"okay|4.3|http://x/y", K::Success, "4.3", "http://x/y"},  // "ok" is enough
        {"ok||http://x/y", K::Success, "", "http://x/y"},
        {"ok|http://x/y", K::Success, "", "http://x/y"},  // no second bar: no version
        {"ok|4.2|http://x/a|b", K::Success, "4.2", "http://x/a|b"},
        {"toobig", K::TooBig, "", ""},
        {"toobig ", K::Error, "", ""},
        {"wrongsession", K::WrongSession, "", ""},
        {"OK|4.2|x", K::Error, "", ""},
        {"", K::Error, "", ""},
    };
    for (const Case& c : cases) {
        UploadReply r = ClassifyUploadReply(c.reply);
        EXPECT_EQ(r.kind, c.kind) << c.reply;
        EXPECT_EQ(r.version, c.version) << c.reply;
        EXPECT_EQ(r.address, c.address) << c.reply;
        EXPECT_EQ(r.text, c.reply);
    }
}

// What a message box shows of a reply: no control characters, at most 500 of them.
TEST(Replies, ReadableReplyForMessageBoxes) {
    EXPECT_EQ(ReadableReply("Name vergeben"), "Name vergeben");
    EXPECT_EQ(ReadableReply(std::string("a\r\nb\0c\x7F", 7)), "a  b c ");
    EXPECT_EQ(ReadableReply(std::string(500, 'x')), std::string(500, 'x'));
    EXPECT_EQ(ReadableReply(std::string(501, 'x')), std::string(500, 'x') + "...");
    EXPECT_EQ(ReadableReply("Gr\xFC\xDF" "e"), "Gr\xFC\xDF" "e");  // Windows-1252 letters stay
}

TEST(Replies, NamesRenamesAndSessions) {
    EXPECT_EQ(ScreenshotNameFromAddress("http://snapora.example/abc", "snapora.example"), "abc");
    EXPECT_EQ(ScreenshotNameFromAddress("http://other.example/abc", "snapora.example"), "");
    EXPECT_TRUE(IsRenameSuccess("http://snapora.example/neu"));
    EXPECT_FALSE(IsRenameSuccess("HTTP://snapora.example/neu"));
    EXPECT_FALSE(IsRenameSuccess("Name vergeben"));
    // An HTTPS service may answer with its https:// address; a plain one may not.
    EXPECT_TRUE(IsRenameSuccess("https://snapora.example/neu", true));
    EXPECT_TRUE(IsRenameSuccess("http://snapora.example/neu", true));
    EXPECT_FALSE(IsRenameSuccess("https://snapora.example/neu"));
    EXPECT_FALSE(IsRenameSuccess("HTTPS://snapora.example/neu", true));
    EXPECT_EQ(ScreenshotNameFromAddress("https://snapora.example/abc", "snapora.example"), "abc");

    using K = SessionLoginReply::Kind;
    EXPECT_EQ(ClassifySessionLoginReply("ok team").sessionName, "team");
    EXPECT_EQ(ClassifySessionLoginReply("ok  team").sessionName, " team");
    EXPECT_EQ(ClassifySessionLoginReply("ok").kind, K::LoggedIn);
    EXPECT_EQ(ClassifySessionLoginReply("ok").sessionName, "");
    EXPECT_EQ(ClassifySessionLoginReply("invalidname").kind, K::InvalidName);
    EXPECT_EQ(ClassifySessionLoginReply("invalidname ").kind, K::Other);
    EXPECT_EQ(ClassifySessionLoginReply("").kind, K::Other);
}

}  // namespace snapora
