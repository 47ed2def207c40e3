#pragma once
// What the web service's answers mean. Replies are compared exactly and
// case-sensitively; they are never trimmed.

#include <cstddef>
#include <string>
#include <string_view>

namespace snapora {

// The longest reply the client accepts; anything longer is a broken answer.
inline constexpr std::size_t MaxReplyBytes = 64 * 1024;

// A reply fit for a message box: control characters become blanks and a long
// text is cut to 500 characters, marked with "...".
std::string ReadableReply(std::string_view reply);

// Takes the next token up to `delimiter` off the front of `text`.
std::string FetchToken(std::string& text, char delimiter);

struct UploadReply {
    enum class Kind { Success, TooBig, WrongSession, Error } kind = Kind::Error;
    std::string version;  // the newest program version the service knows
    std::string address;  // the screenshot's public address
    std::string text;     // the whole reply
};
UploadReply ClassifyUploadReply(const std::string& reply);

// The screenshot's name on the service: what follows "<domain suffix>/" in its address.
std::string ScreenshotNameFromAddress(std::string_view address, std::string_view domainSuffix);

// A rename succeeded when the reply is the new address: "http://...", and
// from a service reached over HTTPS also "https://...".
bool IsRenameSuccess(std::string_view reply, bool secureService = false);

struct SessionLoginReply {
    enum class Kind { LoggedIn, InvalidName, Other } kind = Kind::Other;
    std::string sessionName;
};
SessionLoginReply ClassifySessionLoginReply(const std::string& reply);

// The account test: "ok" and "wrong" exactly; anything else is a text to show.
enum class AccountTestReply { Right, Wrong, Other };
AccountTestReply ClassifyAccountTestReply(std::string_view reply);

}  // namespace snapora
