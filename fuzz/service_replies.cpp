// Fuzz target: the web service's replies as the program reads them (upload,
// rename, session login, account test, the name in an address). The input is
// first a whole reply; then its bytes are taken apart into pieces from which
// well-formed replies are built, whose meaning is known.
// fuzz-sources: src/upload/Replies.cpp src/base/Strings.cpp

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Strings.h"
#include "upload/Replies.h"

using namespace snapora;

namespace {

// A broken expectation is a finding: say which one.
#define EXPECT(condition)                                                          \
    do {                                                                           \
        if (!(condition)) {                                                        \
            std::fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                          \
        }                                                                          \
    } while (false)

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whatever the service sends: the kinds are decided by the reply's first bytes
// or the whole text, and what a kind carries comes out of the reply itself.
void AnyReply(const std::string& reply) {
    const UploadReply upload = ClassifyUploadReply(reply);
    EXPECT(upload.text == reply);
    EXPECT((upload.kind == UploadReply::Kind::Success) == StartsWith(reply, "ok"));
    EXPECT((upload.kind == UploadReply::Kind::TooBig) == (reply == "toobig"));
    EXPECT((upload.kind == UploadReply::Kind::WrongSession) == (reply == "wrongsession"));
    if (upload.kind == UploadReply::Kind::Success) {
        EXPECT(EndsWith(reply, upload.address));
        EXPECT(upload.version.find('|') == std::string::npos);
        EXPECT(reply.find(upload.version) != std::string::npos);
    } else {
        EXPECT(upload.version.empty() && upload.address.empty());
    }

    const bool http = reply.compare(0, 7, "http://") == 0, https = reply.compare(0, 8, "https://") == 0;
    EXPECT(IsRenameSuccess(reply) == http);
    EXPECT(IsRenameSuccess(reply, /*secureService=*/true) == (http || https));

    const SessionLoginReply login = ClassifySessionLoginReply(reply);
    const bool okWord = reply == "ok" || reply.compare(0, 3, "ok ") == 0;
    EXPECT((login.kind == SessionLoginReply::Kind::LoggedIn) == okWord);
    EXPECT((login.kind == SessionLoginReply::Kind::InvalidName) == (reply == "invalidname"));
    if (okWord) EXPECT(login.sessionName == (reply.size() > 2 ? reply.substr(3) : ""));

    const AccountTestReply account = ClassifyAccountTestReply(reply);
    EXPECT((account == AccountTestReply::Right) == (reply == "ok"));
    EXPECT((account == AccountTestReply::Wrong) == (reply == "wrong"));

    const std::string shown = ReadableReply(reply);
    EXPECT(shown.size() <= 503);
    for (unsigned char c : shown) EXPECT(c >= 32 && c != 0x7F);

    // A token comes off the front; what stays is the rest of the text.
    for (char delimiter : {'|', ' ', reply.empty() ? 'x' : reply[0]}) {
        std::string rest = reply;
        const std::string token = FetchToken(rest, delimiter);
        EXPECT(EndsWith(reply, rest));
        EXPECT(token.find(delimiter) == std::string::npos);
        EXPECT(reply.find(token) != std::string::npos);
    }
}

// Replies the service means: each gives back exactly what was put in.
void WellFormedReplies(FuzzedDataProvider& data) {
    std::string version = data.ConsumeRandomLengthString(16);
    std::string domain = data.ConsumeRandomLengthString(24);
    std::string name = data.ConsumeRandomLengthString(48);
    std::string front = data.ConsumeRemainingBytesAsString();

    // ok|VERSION|ADDRESS, the address free to hold further bars.
    const std::string address = front + domain + "/" + name;
    if (!version.empty() && version.find('|') == std::string::npos) {
        const UploadReply upload = ClassifyUploadReply("ok|" + version + "|" + address);
        EXPECT(upload.kind == UploadReply::Kind::Success);
        EXPECT(upload.version == version && upload.address == address);
    }
    // Two bars in a row: no version, the rest is the address (bars at its front included).
    const UploadReply noVersion = ClassifyUploadReply("ok||" + address);
    EXPECT(noVersion.kind == UploadReply::Kind::Success && noVersion.version.empty() && noVersion.address == address);
    // The name is what follows the first "DOMAIN/"; without one there is none.
    if (address.find(domain + "/") == front.size()) EXPECT(ScreenshotNameFromAddress(address, domain) == name);
    if (front.find(domain + "/") == std::string::npos) EXPECT(ScreenshotNameFromAddress(front, domain).empty());

    const SessionLoginReply login = ClassifySessionLoginReply("ok " + name);
    EXPECT(login.kind == SessionLoginReply::Kind::LoggedIn && login.sessionName == name);
    EXPECT(IsRenameSuccess("http://" + address));
    EXPECT(!IsRenameSuccess("https://" + address) && IsRenameSuccess("https://" + address, true));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    AnyReply(std::string(reinterpret_cast<const char*>(bytes), size));
    FuzzedDataProvider data(bytes, size);
    WellFormedReplies(data);
    return 0;
}
