#pragma once
// What the web service's answers mean. Replies are compared exactly and
// case-sensitively; they are never trimmed.

#include <string>
#include <string_view>

namespace snapora {

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

// A rename succeeded when the reply is the new address.
bool IsRenameSuccess(std::string_view reply);

struct SessionLoginReply {
    enum class Kind { LoggedIn, InvalidName, Other } kind = Kind::Other;
    std::string sessionName;
};
SessionLoginReply ClassifySessionLoginReply(const std::string& reply);

}  // namespace snapora
