#pragma once
// A small local stand-in for the Snapora web service, for tests. It listens on
// 127.0.0.1, serves every connection on its own thread, records each request
// byte for byte and answers either with a scripted reply or with the built-in
// behaviour of the real service (upload, rename, login session, account test).
// Builds with POSIX sockets and with Winsock2 (mingw-w64, runs under Wine).

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace snapora::testing {

struct RecordedRequest {
    // Request line + headers + CRLFCRLF + body, exactly the bytes received.
    // A chunked body is kept here in its chunked form.
    std::string raw;
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
    std::string body;  // decoded when it came chunked
    bool complete = false;  // false when the connection ended before the whole body arrived
    int connectionId = 0;   // 1, 2, ... per accepted connection
    int sequence = 0;       // 1, 2, ... per recorded request, never reset

    // Case-insensitive; "" if absent (the first one when repeated).
    std::string Header(std::string_view name) const;
    std::string Path() const;   // target up to '?'
    std::string Query() const;  // target after '?', "" if none
};

struct Reply {
    int status = 200;
    std::string body;
    int delayMs = 0;           // wait before answering (ended early when the service stops)
    bool neverAnswer = false;  // read the request, then hold the connection without answering
                               // until the client goes away or the service stops
    bool resetAfterBytes = false;  // close abruptly (RST) after reading `resetAt` bytes that
    long resetAt = -1;             // follow the header block, without answering (-1 counts as 0)
    // The body without a length, ended by closing: sent one byte every
    // `trickleMs` milliseconds, and with `endless` repeated until the client
    // goes away or the service stops.
    int trickleMs = 0;
    bool endless = false;
    // Appended to the response, e.g. "Location: http://x/". One named like a
    // standard header (Content-Type, Set-Cookie, Connection, Content-Length)
    // replaces it.
    std::vector<std::string> extraHeaders;
};

// Computes a standing reply when a request's headers have arrived (the body
// has not been read yet). std::nullopt falls through to the built-in reply.
using ReplyProvider = std::function<std::optional<Reply>(const RecordedRequest& headersOnly)>;

class TestService {
public:
    // port 0: any free port. Throws std::runtime_error when it cannot listen.
    explicit TestService(int port = 0);
    // Stops accepting, wakes every connection, delay and held reply, joins all threads.
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    int Port() const;
    std::string HostAndPort() const;  // "127.0.0.1:PORT"
    std::string SessionId() const;    // the value of the snapora_session cookie it sets

    std::vector<RecordedRequest> Requests() const;
    bool WaitForRequests(std::size_t n, int timeoutMs);
    void ClearRequests();

    // One-shot reply for the next request whose target starts with pathPrefix
    // (first in, first out per prefix; the longest matching prefix wins).
    void Script(std::string pathPrefix, Reply reply);
    // Standing reply for targets starting with pathPrefix (longest prefix wins;
    // scripted one-shot replies come first).
    void SetDefault(std::string pathPrefix, Reply reply);
    void SetDefaultProvider(std::string pathPrefix, ReplyProvider provider);
    void ClearScripts();  // drops one-shot and standing replies

    // Called (serialised, on a connection thread) whenever a request is recorded.
    void OnRecorded(std::function<void(const RecordedRequest&)> callback);

    // Test helpers. multipart/form-data: field name -> value (a file field's
    // content); application/x-www-form-urlencoded bodies are decoded too.
    static std::map<std::string, std::string> MultipartFields(const RecordedRequest& request);
    static std::string FieldFilename(const RecordedRequest& request, std::string fieldName);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace snapora::testing
