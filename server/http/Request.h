#pragma once
// A request as the handlers see it: no sockets, no HTTP library. The adapter
// fills it; tests build it by hand.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

namespace snapora::server {

// A small upload stays in memory; a large one (or one that arrives while
// many others take the memory) is written to a staged file as it comes.
struct UploadedFile {
    std::string path;            // a staged file that the handler may hand to the store; empty: in `bytes`
    std::uint64_t size = 0;
    std::string clientFilename;  // as sent; never used to name anything
    std::string bytes;           // the file itself when path is empty
};

struct Request {
    std::string method;   // "GET", "POST", ...
    std::string path;     // percent-decoded
    std::map<std::string, std::string> query;    // decoded query arguments
    std::map<std::string, std::string> fields;   // form fields (multipart or url-encoded)
    std::map<std::string, UploadedFile> files;   // multipart file fields
    std::map<std::string, std::string> cookies;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string remoteAddress;
    bool bodyTooLarge = false;   // more than the upload limit arrived; the rest was dropped
    bool bodyMalformed = false;  // a body that is not a form, or fields beyond their limits
    bool bodyNotStored = false;  // the server could not write it down (disk full)
    bool secure = false;         // came over HTTPS (the server's own TLS, or a proxy saying so)
    bool overloaded = false;     // its address has too many requests running: answer "busy" only
    std::chrono::steady_clock::time_point arrived{};  // when its first bytes came; unset for requests built by hand

    std::string Query(const std::string& key) const { return Lookup(query, key); }
    std::string Field(const std::string& key) const { return Lookup(fields, key); }
    std::string Cookie(const std::string& key) const { return Lookup(cookies, key); }
    std::string Header(const std::string& lowerCaseName) const { return Lookup(headers, lowerCaseName); }
    bool HasField(const std::string& key) const { return fields.count(key) > 0; }

private:
    static std::string Lookup(const std::map<std::string, std::string>& map, const std::string& key) {
        auto it = map.find(key);
        return it == map.end() ? std::string() : it->second;
    }
};

}  // namespace snapora::server
