// Fuzz target: the web service's replies as the program reads them (upload,
// rename, session login, account test, the name in an address). The input is
// first a whole reply; then its bytes are taken apart into pieces from which
// well-formed replies are built, whose meaning is known.
// fuzz-sources: src/upload/Replies.cpp src/base/Strings.cpp

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "FuzzExpect.h"
#include "base/Strings.h"
#include "upload/Replies.h"

using namespace snapora;

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whatever the service sends: the kinds are decided by the reply's first bytes
// or the whole text, and what a kind carries comes out of the reply itself.
void AnyReply(const std::string& reply) {
    const UploadReply upload = ClassifyUploadReply(reply);
    FUZZ_EXPECT(upload.text == reply);
    FUZZ_EXPECT((upload.kind == UploadReply::Kind::Success) == StartsWith(reply, "ok"));
    FUZZ_EXPECT((upload.kind == UploadReply::Kind::TooBig) == (reply == "toobig"));
    FUZZ_EXPECT((upload.kind == UploadReply::Kind::WrongSession) == (reply == "wrongsession"));
    if (upload.kind == UploadReply::Kind::Success) {
        FUZZ_EXPECT(EndsWith(reply, upload.address));
        FUZZ_EXPECT(upload.version.find('|') == std::string::npos);
        FUZZ_EXPECT(reply.find(upload.version) != std::string::npos);
    } else {
        FUZZ_EXPECT(upload.version.empty() && upload.address.empty());
    }

    const bool http = reply.compare(0, 7, "http://") == 0, https = reply.compare(0, 8, "https://") == 0;
    FUZZ_EXPECT(IsRenameSuccess(reply) == http);
    FUZZ_EXPECT(IsRenameSuccess(reply, /*secureService=*/true) == (http || https));

    const SessionLoginReply login = ClassifySessionLoginReply(reply);
    const bool okWord = reply == "ok" || reply.compare(0, 3, "ok ") == 0;
    FUZZ_EXPECT((login.kind == SessionLoginReply::Kind::LoggedIn) == okWord);
    FUZZ_EXPECT((login.kind == SessionLoginReply::Kind::InvalidName) == (reply == "invalidname"));
    if (okWord) FUZZ_EXPECT(login.sessionName == (reply.size() > 2 ? reply.substr(3) : ""));

    const AccountTestReply account = ClassifyAccountTestReply(reply);
    FUZZ_EXPECT((account == AccountTestReply::Right) == (reply == "ok"));
    FUZZ_EXPECT((account == AccountTestReply::Wrong) == (reply == "wrong"));

    const std::string shown = ReadableReply(reply);
    FUZZ_EXPECT(shown.size() <= 503);
    for (unsigned char c : shown) FUZZ_EXPECT(c >= 32 && c != 0x7F);

    // A token comes off the front; what stays is the rest of the text.
    for (char delimiter : {'|', ' ', reply.empty() ? 'x' : reply[0]}) {
        std::string rest = reply;
        const std::string token = FetchToken(rest, delimiter);
        FUZZ_EXPECT(EndsWith(reply, rest));
        FUZZ_EXPECT(token.find(delimiter) == std::string::npos);
        FUZZ_EXPECT(reply.find(token) != std::string::npos);
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
        FUZZ_EXPECT(upload.kind == UploadReply::Kind::Success);
        FUZZ_EXPECT(upload.version == version && upload.address == address);
    }
    // Two bars in a row: no version, the rest is the address (bars at its front included).
    const UploadReply noVersion = ClassifyUploadReply("ok||" + address);
    FUZZ_EXPECT(noVersion.kind == UploadReply::Kind::Success && noVersion.version.empty() && noVersion.address == address);
    // The name is what follows the first "DOMAIN/"; without one there is none.
    if (address.find(domain + "/") == front.size()) FUZZ_EXPECT(ScreenshotNameFromAddress(address, domain) == name);
    if (front.find(domain + "/") == std::string::npos) FUZZ_EXPECT(ScreenshotNameFromAddress(front, domain).empty());

    const SessionLoginReply login = ClassifySessionLoginReply("ok " + name);
    FUZZ_EXPECT(login.kind == SessionLoginReply::Kind::LoggedIn && login.sessionName == name);
    FUZZ_EXPECT(IsRenameSuccess("http://" + address));
    FUZZ_EXPECT(!IsRenameSuccess("https://" + address) && IsRenameSuccess("https://" + address, true));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    AnyReply(std::string(reinterpret_cast<const char*>(bytes), size));
    FuzzedDataProvider data(bytes, size);
    WellFormedReplies(data);
    return 0;
}
