#include "upload/Replies.h"

#include <algorithm>

#include "base/Strings.h"

namespace snapora {

std::string FetchToken(std::string& text, char delimiter) {
    bool onlyBlanks = std::all_of(text.begin(), text.end(), [](char c) { return (unsigned char)c <= 32; });
    if (text.find(delimiter) == std::string::npos || onlyBlanks || text == "|" || text == "||") return {};
    if (text[0] == '|') {  // an empty token between two bars
        text.erase(0, 1);
        return {};
    }
    size_t skip = text.find_first_not_of(delimiter);
    text.erase(0, skip == std::string::npos ? text.size() : skip);
    if (text.empty()) return {};
    std::string d(1, delimiter);
    std::string token = TextBefore(text, d);
    text = TextAfter(text, d);
    return token;
}

UploadReply ClassifyUploadReply(const std::string& reply) {
    UploadReply r;
    r.text = reply;
    if (StartsWith(reply, "ok")) {
        std::string rest = reply;
        FetchToken(rest, '|');
        r.version = FetchToken(rest, '|');
        r.address = rest;
        r.kind = UploadReply::Kind::Success;
    } else if (reply == "toobig") {
        r.kind = UploadReply::Kind::TooBig;
    } else if (reply == "wrongsession") {
        r.kind = UploadReply::Kind::WrongSession;
    }
    return r;
}

std::string ScreenshotNameFromAddress(std::string_view address, std::string_view domainSuffix) {
    return TextAfter(address, std::string(domainSuffix) + "/");
}

std::string ReadableReply(std::string_view reply) {
    constexpr std::size_t Limit = 500;
    std::string text(reply.substr(0, Limit));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 0x7F) c = ' ';
    if (reply.size() > Limit) text += "...";
    return text;
}

bool IsRenameSuccess(std::string_view reply, bool secureService) {
    return StartsWith(reply, "http://") || (secureService && StartsWith(reply, "https://"));
}

SessionLoginReply ClassifySessionLoginReply(const std::string& reply) {
    SessionLoginReply r;
    if (TextBefore(reply, " ") == "ok") {
        r.kind = SessionLoginReply::Kind::LoggedIn;
        r.sessionName = TextAfter(reply, " ");
    } else if (reply == "invalidname") {
        r.kind = SessionLoginReply::Kind::InvalidName;
    }
    return r;
}

AccountTestReply ClassifyAccountTestReply(std::string_view reply) {
    if (reply == "ok") return AccountTestReply::Right;
    if (reply == "wrong") return AccountTestReply::Wrong;
    return AccountTestReply::Other;
}

}  // namespace snapora
