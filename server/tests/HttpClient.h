#pragma once
// Raw HTTP over loopback for the integration tests: the program's exact
// request bytes, and hostile ones no ordinary client would send.

#include <map>
#include <string>
#include <vector>

namespace snapora::server::testing {

struct HttpReply {
    int status = 0;  // 0 when the connection closed without a reply
    std::multimap<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string Header(const std::string& name) const;
};

// A blocking socket, or -1. `from` is the loopback address to connect from
// (any of 127.0.0.0/8), so that tests can be several clients.
int Connect(int port, const std::string& from = "127.0.0.1");
bool SendAll(int fd, const std::string& bytes);
// Reads until the server closes or timeoutMs pass without data.
std::string ReadAll(int fd, int timeoutMs = 5000);
HttpReply ParseReply(const std::string& raw);
// Whether the server has closed the connection within timeoutMs (data that comes first is read and dropped).
bool ClosedByServer(int fd, int timeoutMs);
HttpReply Exchange(int port, const std::string& request, int timeoutMs = 5000, const std::string& from = "127.0.0.1");
HttpReply Get(int port, const std::string& target, const std::string& cookie = "", const std::string& from = "127.0.0.1");

struct FormPart {
    std::string name, value;
    bool file = false;
};
// A POST as the Snapora program sends it: HTTP/1.0, its boundary form,
// its headers, the file part with the full Windows path and binary encoding.
std::string ProgramPost(const std::string& target, const std::vector<FormPart>& parts, const std::string& cookie = "");
// The program's upload of a picture, with a session and further fields when given.
std::string ProgramUpload(const std::string& jpeg, const std::string& description = "", const std::string& cookie = "",
                          const std::string& session = "", const std::vector<FormPart>& more = {});
// The path of an address the server handed out.
std::string PathOf(const std::string& address);
// The value of a Set-Cookie for the given cookie name, "" if none.
std::string CookieValue(const HttpReply& reply, const std::string& name);

}  // namespace snapora::server::testing
