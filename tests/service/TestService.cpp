#include "TestService.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <list>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace snapora::testing {

namespace {

// ---------------------------------------------------------------- sockets

#ifdef _WIN32
using SockT = SOCKET;
const SockT kBadSocket = INVALID_SOCKET;
const int kShutWrite = SD_SEND;
const int kSendFlags = 0;
void CloseSocket(SockT s) { closesocket(s); }
int LastSocketError() { return WSAGetLastError(); }
void NoInherit(SockT s) { SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0); }
#else
using SockT = int;
const SockT kBadSocket = -1;
const int kShutWrite = SHUT_WR;
#ifdef MSG_NOSIGNAL
const int kSendFlags = MSG_NOSIGNAL;
#else
const int kSendFlags = 0;
#endif
void CloseSocket(SockT s) { ::close(s); }
int LastSocketError() { return errno; }
void NoInherit(SockT s) { fcntl(s, F_SETFD, fcntl(s, F_GETFD) | FD_CLOEXEC); }
#endif

// How often blocked reads and the accept loop look at the stop flag.
const int kPollMs = 20;

// 1 readable, 0 timed out, -1 error.
int WaitReadable(SockT s, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
#ifdef _WIN32
    int r = select(0, &set, nullptr, nullptr, &tv);
#else
    int r = select(s + 1, &set, nullptr, nullptr, &tv);
    if (r < 0 && errno == EINTR) return 0;
#endif
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool SendAll(SockT s, std::string_view data) {
    while (!data.empty()) {
        int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20));
        int n = send(s, data.data(), chunk, kSendFlags);
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void AbortiveClose(SockT s) {
    linger lg;
    lg.l_onoff = 1;
    lg.l_linger = 0;
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof lg);
    CloseSocket(s);
}

// ---------------------------------------------------------------- text helpers

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return std::string(s.substr(b, e - b));
}

// Does a comma-separated header value (Connection, Transfer-Encoding) hold this token?
bool HasToken(std::string_view value, std::string_view token) {
    std::size_t pos = 0;
    while (pos <= value.size()) {
        std::size_t comma = value.find(',', pos);
        if (comma == std::string_view::npos) comma = value.size();
        if (EqualsNoCase(Trim(value.substr(pos, comma - pos)), token)) return true;
        pos = comma + 1;
    }
    return false;
}

// A parameter of a header value like `form-data; name="a"; filename="b.jpg"`.
std::string HeaderParam(std::string_view value, std::string_view key) {
    std::size_t i = value.find(';');
    while (i != std::string_view::npos && i < value.size()) {
        ++i;  // past ';'
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
        std::size_t k = i;
        while (i < value.size() && value[i] != '=' && value[i] != ';') ++i;
        std::string name = Trim(value.substr(k, i - k));
        std::string val;
        if (i < value.size() && value[i] == '=') {
            ++i;
            while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
            if (i < value.size() && value[i] == '"') {
                ++i;
                while (i < value.size() && value[i] != '"') {
                    if (value[i] == '\\' && i + 1 < value.size()) ++i;
                    val += value[i++];
                }
                if (i < value.size()) ++i;  // closing quote
                while (i < value.size() && value[i] != ';') ++i;
            } else {
                std::size_t v = i;
                while (i < value.size() && value[i] != ';') ++i;
                val = Trim(value.substr(v, i - v));
            }
        }
        if (EqualsNoCase(name, key)) return val;
        if (i >= value.size()) break;
    }
    return "";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string FormDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The value of a query parameter exactly as it was sent; nullopt when absent.
std::optional<std::string> QueryParamRaw(std::string_view query, std::string_view name) {
    std::size_t pos = 0;
    while (pos <= query.size()) {
        std::size_t amp = query.find('&', pos);
        if (amp == std::string_view::npos) amp = query.size();
        std::string_view pair = query.substr(pos, amp - pos);
        std::size_t eq = pair.find('=');
        std::string_view key = pair.substr(0, eq);
        if (key == name) return std::string(eq == std::string_view::npos ? "" : pair.substr(eq + 1));
        pos = amp + 1;
    }
    return std::nullopt;
}

struct Part {
    std::string name, filename, content;
};

std::vector<Part> ParseMultipart(const RecordedRequest& request) {
    std::vector<Part> parts;
    std::string type = request.Header("Content-Type");
    if (!StartsWithNoCase(Trim(type), "multipart/")) return parts;
    std::string boundary = HeaderParam(type, "boundary");
    if (boundary.empty()) return parts;
    const std::string& body = request.body;
    const std::string delimiter = "--" + boundary;
    std::size_t pos = body.find(delimiter);
    while (pos != std::string::npos) {
        pos += delimiter.size();
        if (body.compare(pos, 2, "--") == 0) break;  // the closing delimiter
        std::size_t lineEnd = body.find("\r\n", pos);
        if (lineEnd == std::string::npos) break;
        pos = lineEnd + 2;
        std::string headerText;
        std::size_t contentStart;
        if (body.compare(pos, 2, "\r\n") == 0) {
            contentStart = pos + 2;
        } else {
            std::size_t headEnd = body.find("\r\n\r\n", pos);
            if (headEnd == std::string::npos) break;
            headerText = body.substr(pos, headEnd - pos);
            contentStart = headEnd + 4;
        }
        Part part;
        std::size_t lineStart = 0;
        while (lineStart <= headerText.size()) {
            std::size_t nl = headerText.find("\r\n", lineStart);
            if (nl == std::string::npos) nl = headerText.size();
            std::string_view line(headerText.data() + lineStart, nl - lineStart);
            std::size_t colon = line.find(':');
            if (colon != std::string_view::npos && EqualsNoCase(Trim(line.substr(0, colon)), "Content-Disposition")) {
                std::string value(line.substr(colon + 1));
                part.name = HeaderParam(value, "name");
                part.filename = HeaderParam(value, "filename");
            }
            lineStart = nl + 2;
        }
        std::size_t next = body.find("\r\n" + delimiter, contentStart);
        part.content = body.substr(contentStart, next == std::string::npos ? std::string::npos : next - contentStart);
        parts.push_back(std::move(part));
        if (next == std::string::npos) break;
        pos = next + 2;
    }
    return parts;
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Status";
    }
}

Reply TextReply(int status, std::string body) {
    Reply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

std::string RandomId() {
    std::random_device device;
    std::mt19937_64 mix(
        (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    static std::atomic<unsigned> counter{0};
    char text[40];
    std::snprintf(text, sizeof text, "%016llx%04x", static_cast<unsigned long long>(mix()),
                  (++counter) & 0xffffu);
    return text;
}

}  // namespace

// ---------------------------------------------------------------- RecordedRequest

std::string RecordedRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (EqualsNoCase(key, name)) return value;
    return "";
}

std::string RecordedRequest::Path() const { return target.substr(0, target.find('?')); }

std::string RecordedRequest::Query() const {
    std::size_t q = target.find('?');
    return q == std::string::npos ? "" : target.substr(q + 1);
}

// ---------------------------------------------------------------- the service

struct TestService::Impl {
    SockT listener = kBadSocket;
    int port = 0;
    std::string sessionId = RandomId();

    std::atomic<bool> stopping{false};
    std::mutex stopMutex;
    std::condition_variable stopCv;

    mutable std::mutex mutex;  // guards everything below up to the callback
    std::condition_variable requestsCv;
    std::vector<RecordedRequest> requests;
    int nextSequence = 0;
    std::map<std::string, std::deque<Reply>> scripted;
    std::map<std::string, ReplyProvider> standing;
    int uploadCounter = 0;

    std::mutex callbackMutex;
    std::function<void(const RecordedRequest&)> callback;

    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex connectionsMutex;
    std::list<Connection> connections;
    int nextConnectionId = 0;
    std::thread acceptThread;

    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(port); }

    // True when the service stops within ms.
    bool WaitForStop(int ms) {
        std::unique_lock<std::mutex> lock(stopMutex);
        return stopCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping.load(); });
    }

    // Appends at most `max` bytes to buf. >0 read, 0 peer closed, -1 error, -2 stopping.
    int ReadMore(SockT s, std::string& buf, std::size_t max) {
        char chunk[65536];
        max = std::max<std::size_t>(1, std::min(max, sizeof chunk));
        while (!stopping.load()) {
            int w = WaitReadable(s, kPollMs);
            if (w < 0) return -1;
            if (w == 0) continue;
            int n = recv(s, chunk, static_cast<int>(max), 0);
            if (n > 0) {
                buf.append(chunk, static_cast<std::size_t>(n));
                return n;
            }
            return n == 0 ? 0 : -1;
        }
        return -2;
    }

    void GracefulClose(SockT s) {
        shutdown(s, kShutWrite);
        std::string junk;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (std::chrono::steady_clock::now() < until) {
            junk.clear();
            if (ReadMore(s, junk, 65536) <= 0) break;
        }
        CloseSocket(s);
    }

    void Record(RecordedRequest request) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            request.sequence = ++nextSequence;
            requests.push_back(request);
        }
        requestsCv.notify_all();
        std::lock_guard<std::mutex> lock(callbackMutex);
        if (callback) callback(request);
    }

    std::optional<Reply> ChooseReply(const RecordedRequest& request) {
        ReplyProvider provider;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto best = scripted.end();
            for (auto it = scripted.begin(); it != scripted.end(); ++it)
                if (!it->second.empty() && request.target.compare(0, it->first.size(), it->first) == 0 &&
                    (best == scripted.end() || it->first.size() > best->first.size()))
                    best = it;
            if (best != scripted.end()) {
                Reply reply = std::move(best->second.front());
                best->second.pop_front();
                return reply;
            }
            auto standingBest = standing.end();
            for (auto it = standing.begin(); it != standing.end(); ++it)
                if (request.target.compare(0, it->first.size(), it->first) == 0 &&
                    (standingBest == standing.end() || it->first.size() > standingBest->first.size()))
                    standingBest = it;
            if (standingBest != standing.end()) provider = standingBest->second;
        }
        if (provider) return provider(request);
        return std::nullopt;
    }

    // What the real web service answers.
    Reply BuiltinReply(const RecordedRequest& request) {
        const std::string path = request.Path();
        const std::string query = request.Query();
        auto wrongMethod = [&](const char* wanted) { return request.method != wanted; };
        if (path == "/upload.php") {
            if (wrongMethod("POST")) return TextReply(405, "method not allowed");
            auto fields = TestService::MultipartFields(request);
            if (fields["sessionname"] == "expired") return TextReply(200, "wrongsession");
            int n;
            {
                std::lock_guard<std::mutex> lock(mutex);
                n = ++uploadCounter;
            }
            return TextReply(200, "ok|4.2|http://" + HostAndPort() + "/s" + std::to_string(n));
        }
        if (path == "/rename.php") {
            if (wrongMethod("POST")) return TextReply(405, "method not allowed");
            auto fields = TestService::MultipartFields(request);
            return TextReply(200, "http://" + HostAndPort() + "/" + fields["newfilename"]);
        }
        if (path == "/loginsession.php") {
            if (wrongMethod("GET")) return TextReply(405, "method not allowed");
            std::string name = QueryParamRaw(query, "sessionname").value_or("");
            bool blank = name.empty() || name.find(' ') != std::string::npos ||
                         name.find('+') != std::string::npos || LowerText(name).find("%20") != std::string::npos;
            return TextReply(200, blank ? "invalidname" : "ok " + name);
        }
        if (path == "/account.htm" && QueryParamRaw(query, "action").value_or("") == "testlogin") {
            if (wrongMethod("POST")) return TextReply(405, "method not allowed");
            auto fields = TestService::MultipartFields(request);
            bool good = fields["username"] == "demo" && fields["password"] == "geheim";
            return TextReply(200, good ? "ok" : "wrong");
        }
        return TextReply(404, "not found");
    }

    std::string BuildResponse(const RecordedRequest& request, const Reply& reply, bool keepAlive) {
        const bool http10 = request.version == "HTTP/1.0";
        struct Field {
            std::string name, value;
            bool replaceable;
        };
        std::vector<Field> fields = {
            {"Content-Type", "text/html; charset=windows-1252", true},
            {"Content-Length", std::to_string(reply.body.size()), true},
            {"Set-Cookie", "snapora_session=" + sessionId + "; Path=/", true},
        };
        if (!keepAlive)
            fields.push_back({"Connection", "close", true});
        else if (http10)
            fields.push_back({"Connection", "keep-alive", true});
        for (const std::string& extra : reply.extraHeaders) {
            std::size_t colon = extra.find(':');
            std::string name = Trim(extra.substr(0, colon));
            std::string value = colon == std::string::npos ? "" : Trim(extra.substr(colon + 1));
            auto same = std::find_if(fields.begin(), fields.end(), [&](const Field& f) {
                return f.replaceable && EqualsNoCase(f.name, name);
            });
            if (same != fields.end())
                *same = {name, value, false};
            else
                fields.push_back({name, value, false});
        }
        std::string out = (http10 ? "HTTP/1.0 " : "HTTP/1.1 ") + std::to_string(reply.status) + " " +
                          ReasonPhrase(reply.status) + "\r\n";
        for (const Field& f : fields) out += f.name + ": " + f.value + "\r\n";
        out += "\r\n";
        if (request.method != "HEAD") out += reply.body;
        return out;
    }

    // A reply of unknown length: slow, endless, or both.
    void StreamBody(SockT s, const RecordedRequest& request, const Reply& reply) {
        std::string head = (request.version == "HTTP/1.0" ? "HTTP/1.0 " : "HTTP/1.1 ") + std::to_string(reply.status) +
                           " " + ReasonPhrase(reply.status) + "\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";
        if (!SendAll(s, head)) return;
        std::string body = reply.body.empty() ? std::string(4096, 'x') : reply.body;
        do {
            if (reply.trickleMs <= 0) {
                if (!SendAll(s, body)) return;
                continue;
            }
            for (char c : body)
                if (!SendAll(s, std::string_view(&c, 1)) || WaitForStop(reply.trickleMs)) return;
        } while (reply.endless && !stopping.load());
    }

    static std::size_t HeaderEnd(const std::string& buf) {
        std::size_t crlf = buf.find("\r\n\r\n");
        std::size_t lf = buf.find("\n\n");
        if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) return crlf + 4;
        if (lf != std::string::npos) return lf + 2;
        return std::string::npos;
    }

    static void ParseHead(const std::string& head, RecordedRequest& request) {
        std::vector<std::string> lines;
        std::size_t pos = 0;
        while (pos < head.size()) {
            std::size_t nl = head.find('\n', pos);
            if (nl == std::string::npos) nl = head.size();
            std::string line = head.substr(pos, nl - pos);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            pos = nl + 1;
        }
        if (lines.empty()) return;
        const std::string& first = lines[0];
        std::size_t sp1 = first.find(' ');
        request.method = first.substr(0, sp1);
        if (sp1 != std::string::npos) {
            std::size_t sp2 = first.rfind(' ');
            if (sp2 > sp1 && first.compare(sp2 + 1, 5, "HTTP/") == 0) {
                request.version = first.substr(sp2 + 1);
                request.target = Trim(first.substr(sp1 + 1, sp2 - sp1 - 1));
            } else {
                request.target = Trim(first.substr(sp1 + 1));
            }
        }
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i].empty()) break;
            std::size_t colon = lines[i].find(':');
            if (colon == std::string::npos) continue;
            request.headers.emplace_back(Trim(lines[i].substr(0, colon)), Trim(lines[i].substr(colon + 1)));
        }
    }

    // Reads a chunked body into request.raw / request.body. 1 done, 0/-1/-2 connection ended, -3 malformed.
    int ReadChunked(SockT s, std::string& buf, RecordedRequest& request) {
        auto line = [&](std::string& out) -> int {
            std::size_t nl;
            while ((nl = buf.find('\n')) == std::string::npos) {
                int n = ReadMore(s, buf, 65536);
                if (n <= 0) return n;
            }
            request.raw.append(buf, 0, nl + 1);
            out = Trim(std::string_view(buf).substr(0, nl));
            buf.erase(0, nl + 1);
            return 1;
        };
        std::string text;
        for (;;) {
            int r = line(text);
            if (r <= 0) return r;
            std::size_t size = 0;
            std::size_t i = 0;
            for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
                size = size * 16 + static_cast<std::size_t>(HexDigit(text[i]));
                if (size > (std::size_t{1} << 30)) return -3;
            }
            if (i == 0) return -3;
            if (size == 0) {
                do {  // trailers up to the empty line
                    r = line(text);
                    if (r <= 0) return r;
                } while (!text.empty());
                return 1;
            }
            while (buf.size() < size) {
                int n = ReadMore(s, buf, 65536);
                if (n <= 0) return n;
            }
            request.raw.append(buf, 0, size);
            request.body.append(buf, 0, size);
            buf.erase(0, size);
            r = line(text);
            if (r <= 0) return r;
            if (!text.empty()) return -3;
        }
    }

    void Serve(SockT s, int connectionId) {
        std::string buf;
        for (;;) {
            RecordedRequest request;
            request.connectionId = connectionId;

            std::size_t headEnd;
            while ((headEnd = HeaderEnd(buf)) == std::string::npos) {
                int n = ReadMore(s, buf, 65536);
                if (n <= 0) {
                    if (!buf.empty()) {  // ended inside the header block
                        request.raw = buf;
                        ParseHead(buf, request);
                        Record(std::move(request));
                    }
                    CloseSocket(s);
                    return;
                }
            }
            request.raw = buf.substr(0, headEnd);
            buf.erase(0, headEnd);
            ParseHead(request.raw, request);

            const bool http10 = request.version == "HTTP/1.0";
            const bool http11 = request.version == "HTTP/1.1";
            const std::string connection = request.Header("Connection");
            const bool keepAlive = (http11 && !HasToken(connection, "close")) ||
                                   (http10 && HasToken(connection, "keep-alive"));

            auto reject = [&](int status, const char* text) {
                request.complete = true;
                Record(request);
                SendAll(s, BuildResponse(request, TextReply(status, text), false));
                GracefulClose(s);
            };
            if (request.method.empty() || request.target.empty()) return reject(400, "bad request");

            const bool chunked = HasToken(request.Header("Transfer-Encoding"), "chunked");
            long long contentLength = 0;
            if (!chunked && !request.Header("Content-Length").empty()) {
                std::string text = request.Header("Content-Length");
                char* end = nullptr;
                contentLength = std::strtoll(text.c_str(), &end, 10);
                if (end == text.c_str() || *end != '\0' || contentLength < 0) return reject(400, "bad content length");
            }

            std::optional<Reply> reply = ChooseReply(request);

            if (http11 && EqualsNoCase(request.Header("Expect"), "100-continue") && (chunked || contentLength > 0))
                SendAll(s, "HTTP/1.1 100 Continue\r\n\r\n");

            if (reply && reply->resetAfterBytes) {
                std::size_t limit = static_cast<std::size_t>(std::max(0L, reply->resetAt));
                if (!chunked) limit = std::min(limit, static_cast<std::size_t>(contentLength));
                std::string got;
                while (got.size() < limit) {
                    if (buf.empty() && ReadMore(s, buf, limit - got.size()) <= 0) break;
                    std::size_t take = std::min(buf.size(), limit - got.size());
                    got.append(buf, 0, take);
                    buf.erase(0, take);
                }
                request.raw += got;
                request.body = got;
                request.complete = !chunked && got.size() == static_cast<std::size_t>(contentLength);
                Record(std::move(request));
                AbortiveClose(s);
                return;
            }

            if (chunked) {
                int r = ReadChunked(s, buf, request);
                if (r == -3) return reject(411, "length required");
                if (r <= 0) {
                    request.complete = false;
                    Record(std::move(request));
                    CloseSocket(s);
                    return;
                }
            } else {
                const auto need = static_cast<std::size_t>(contentLength);
                while (buf.size() < need) {
                    if (ReadMore(s, buf, 65536) <= 0) {
                        request.raw += buf;
                        request.body = buf;
                        request.complete = false;
                        Record(std::move(request));
                        CloseSocket(s);
                        return;
                    }
                }
                request.body = buf.substr(0, need);
                request.raw += request.body;
                buf.erase(0, need);
            }
            request.complete = true;
            Record(request);

            if (reply && reply->neverAnswer) {
                std::string junk;
                while (ReadMore(s, junk, 65536) > 0) junk.clear();
                CloseSocket(s);
                return;
            }
            if (reply && reply->delayMs > 0 && WaitForStop(reply->delayMs)) {
                CloseSocket(s);
                return;
            }
            if (reply && (reply->trickleMs > 0 || reply->endless)) {
                StreamBody(s, request, *reply);
                CloseSocket(s);
                return;
            }
            const Reply answer = reply ? *reply : BuiltinReply(request);
            if (!SendAll(s, BuildResponse(request, answer, keepAlive))) {
                CloseSocket(s);
                return;
            }
            if (!keepAlive) {
                GracefulClose(s);
                return;
            }
        }
    }

    void JoinFinished() {
        std::lock_guard<std::mutex> lock(connectionsMutex);
        for (auto it = connections.begin(); it != connections.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }

    void AcceptLoop() {
        while (!stopping.load()) {
            int w = WaitReadable(listener, kPollMs);
            JoinFinished();
            if (w < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            if (w == 0) continue;
            sockaddr_in peer{};
#ifdef _WIN32
            int peerLen = sizeof peer;
#else
            socklen_t peerLen = sizeof peer;
#endif
            SockT client = accept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLen);
            if (client == kBadSocket) continue;
            NoInherit(client);
            auto done = std::make_shared<std::atomic<bool>>(false);
            std::lock_guard<std::mutex> lock(connectionsMutex);
            const int id = ++nextConnectionId;
            connections.push_back({std::thread([this, client, id, done] {
                                       Serve(client, id);
                                       done->store(true);
                                   }),
                                   done});
        }
    }
};

TestService::TestService(int port) : impl_(std::make_unique<Impl>()) {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("TestService: WSAStartup failed");
#endif
    auto fail = [&](const char* what) {
        std::string message = std::string("TestService: ") + what + " failed, error " +
                              std::to_string(LastSocketError());
        if (impl_->listener != kBadSocket) CloseSocket(impl_->listener);
#ifdef _WIN32
        WSACleanup();
#endif
        throw std::runtime_error(message);
    };
    impl_->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (impl_->listener == kBadSocket) fail("socket");
    NoInherit(impl_->listener);
#ifndef _WIN32
    int yes = 1;
    setsockopt(impl_->listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<unsigned short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(impl_->listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) fail("bind");
    if (listen(impl_->listener, SOMAXCONN) != 0) fail("listen");
    sockaddr_in bound{};
#ifdef _WIN32
    int len = sizeof bound;
#else
    socklen_t len = sizeof bound;
#endif
    if (getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&bound), &len) != 0) fail("getsockname");
    impl_->port = ntohs(bound.sin_port);
    impl_->acceptThread = std::thread([this] { impl_->AcceptLoop(); });
}

TestService::~TestService() {
    {
        std::lock_guard<std::mutex> lock(impl_->stopMutex);
        impl_->stopping.store(true);
    }
    impl_->stopCv.notify_all();
    if (impl_->acceptThread.joinable()) impl_->acceptThread.join();
    CloseSocket(impl_->listener);
    std::list<Impl::Connection> connections;
    {
        std::lock_guard<std::mutex> lock(impl_->connectionsMutex);
        connections.swap(impl_->connections);
    }
    for (auto& c : connections) c.thread.join();
#ifdef _WIN32
    WSACleanup();
#endif
}

int TestService::Port() const { return impl_->port; }
std::string TestService::HostAndPort() const { return impl_->HostAndPort(); }
std::string TestService::SessionId() const { return impl_->sessionId; }

std::vector<RecordedRequest> TestService::Requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests;
}

bool TestService::WaitForRequests(std::size_t n, int timeoutMs) {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->requestsCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return impl_->requests.size() >= n; });
}

void TestService::ClearRequests() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->requests.clear();
}

void TestService::Script(std::string pathPrefix, Reply reply) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->scripted[std::move(pathPrefix)].push_back(std::move(reply));
}

void TestService::SetDefault(std::string pathPrefix, Reply reply) {
    SetDefaultProvider(std::move(pathPrefix),
                       [reply = std::move(reply)](const RecordedRequest&) -> std::optional<Reply> { return reply; });
}

void TestService::SetDefaultProvider(std::string pathPrefix, ReplyProvider provider) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->standing[std::move(pathPrefix)] = std::move(provider);
}

void TestService::ClearScripts() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->scripted.clear();
    impl_->standing.clear();
}

void TestService::OnRecorded(std::function<void(const RecordedRequest&)> callback) {
    std::lock_guard<std::mutex> lock(impl_->callbackMutex);
    impl_->callback = std::move(callback);
}

std::map<std::string, std::string> TestService::MultipartFields(const RecordedRequest& request) {
    std::map<std::string, std::string> fields;
    if (StartsWithNoCase(Trim(request.Header("Content-Type")), "application/x-www-form-urlencoded")) {
        std::size_t pos = 0;
        const std::string& body = request.body;
        while (pos < body.size()) {
            std::size_t amp = body.find('&', pos);
            if (amp == std::string::npos) amp = body.size();
            std::string_view pair(body.data() + pos, amp - pos);
            std::size_t eq = pair.find('=');
            if (!pair.empty())
                fields.emplace(FormDecode(pair.substr(0, eq)),
                               eq == std::string_view::npos ? "" : FormDecode(pair.substr(eq + 1)));
            pos = amp + 1;
        }
        return fields;
    }
    for (Part& part : ParseMultipart(request)) fields.emplace(part.name, std::move(part.content));
    return fields;
}

std::string TestService::FieldFilename(const RecordedRequest& request, std::string fieldName) {
    for (const Part& part : ParseMultipart(request))
        if (part.name == fieldName) return part.filename;
    return "";
}

}  // namespace snapora::testing
