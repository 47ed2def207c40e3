#include "HttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace snapora::server::testing {

std::string HttpReply::Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? "" : it->second;
}

int Connect(int port, const std::string& from) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &source.sin_addr);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
        ::close(fd);
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

bool SendAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

std::string ReadAll(int fd, int timeoutMs) {
    std::string out;
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        out.append(buffer, std::size_t(n));
    }
    return out;
}

HttpReply ParseReply(const std::string& raw) {
    HttpReply reply;
    auto end = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return reply;
    reply.status = std::atoi(raw.c_str() + 9);
    std::size_t at = raw.find("\r\n") + 2;
    while (at < end) {
        std::size_t lineEnd = raw.find("\r\n", at);
        std::string line = raw.substr(at, lineEnd - at);
        std::size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        reply.headers.emplace(name, line.substr(std::min(line.size(), colon + 2)));
        at = lineEnd + 2;
    }
    reply.body = raw.substr(end + 4);
    if (reply.Header("transfer-encoding") == "chunked") {  // good enough for whole replies
        std::string decoded, rest = reply.body;
        for (;;) {
            std::size_t size = std::stoul(rest, nullptr, 16);
            if (size == 0) break;
            std::size_t start = rest.find("\r\n") + 2;
            decoded += rest.substr(start, size);
            rest = rest.substr(start + size + 2);
        }
        reply.body = decoded;
    }
    return reply;
}

bool ClosedByServer(int fd, int timeoutMs) {
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
    }
}

HttpReply Exchange(int port, const std::string& request, int timeoutMs, const std::string& from) {
    int fd = Connect(port, from);
    if (fd < 0) return {};
    SendAll(fd, request);
    HttpReply reply = ParseReply(ReadAll(fd, timeoutMs));
    ::close(fd);
    return reply;
}

HttpReply Get(int port, const std::string& target, const std::string& cookie, const std::string& from) {
    return Exchange(port,
                    "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                        (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + "\r\n",
                    5000, from);
}

std::string ProgramPost(const std::string& target, const std::vector<FormPart>& parts, const std::string& cookie) {
    const std::string boundary = "--------120824153012345";
    std::string body;
    for (const FormPart& part : parts) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (part.file)
            body += "; filename=\"C:\\users\\anna\\Temp\\screen.jpg\"\r\nContent-Type: image/jpeg\r\n"
                    "Content-Transfer-Encoding: binary";
        body += "\r\n\r\n" + part.value + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return "POST " + target + " HTTP/1.0\r\nHost: 127.0.0.1:18080\r\nContent-Type: multipart/form-data; boundary=" +
           boundary + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nUser-Agent: Screenshot Uploader\r\nAccept: text/html, */*\r\n" +
           (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + "\r\n" + body;
}

std::string ProgramUpload(const std::string& jpeg, const std::string& description, const std::string& cookie,
                          const std::string& session, const std::vector<FormPart>& more) {
    std::vector<FormPart> parts = {{"filename", "screenshot"}, {"version", "4.2"}, {"description", description}};
    if (!session.empty()) parts.push_back({"sessionname", session});
    parts.insert(parts.end(), more.begin(), more.end());
    parts.push_back({"screenshot", jpeg, true});
    return ProgramPost("/upload.php", parts, cookie);
}

std::string PathOf(const std::string& address) { return address.substr(address.find('/', 8)); }

std::string CookieValue(const HttpReply& reply, const std::string& name) {
    auto range = reply.headers.equal_range("set-cookie");
    for (auto it = range.first; it != range.second; ++it)
        if (it->second.rfind(name + "=", 0) == 0) return it->second.substr(name.size() + 1, it->second.find(';') - name.size() - 1);
    return "";
}

}  // namespace snapora::server::testing
