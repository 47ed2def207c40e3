// One attack on a running snapora-server over loopback, bounded in count and
// time, while a well-behaved client keeps loading / and uploading a picture
// as the program does. Prints the good client's latencies and failures.
// The attacker connects from 127.0.0.2, the good client from 127.0.0.1.
//
//   server_abuse_bench HOST:PORT ATTACK SECONDS PICTURE
//   ATTACK: none | slowloris | streams | registration | fields
//
// slowloris     512 connections send half a request head, then one byte every 10 s
// streams       550 idle event streams of a session page
// registration  8 connections registering accounts, one after the other
// fields        120 requests each sending 63 text fields of 64 KiB and holding on
// A connection the server closes is opened again after a second, until the end.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string host;
int port = 0;

int Open(const char* from, bool blocking) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_in source{}, target{};
    source.sin_family = target.sin_family = AF_INET;
    inet_pton(AF_INET, from, &source.sin_addr);
    inet_pton(AF_INET, host.c_str(), &target.sin_addr);
    target.sin_port = htons(std::uint16_t(port));
    if (blocking) {
        timeval limit{10, 0};  // a request that takes longer counts as failed
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0 && errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One request on its own connection; the whole reply, "" when it failed.
std::string Exchange(const char* from, const std::string& request) {
    int fd = Open(from, true);
    if (fd < 0) return "";
    std::string reply;
    bool sent = true;
    for (std::size_t done = 0; sent && done < request.size();) {
        ssize_t n = ::send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        sent = n > 0;
        done += sent ? std::size_t(n) : 0;
    }
    char buffer[65536];
    for (ssize_t n; sent && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, std::size_t(n));
    ::close(fd);
    return reply;
}

int Status(const std::string& reply) { return reply.rfind("HTTP/1.", 0) == 0 ? std::atoi(reply.c_str() + 9) : 0; }
std::string Body(const std::string& reply) {
    std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}
std::string Cookie(const std::string& reply, const std::string& name) {
    std::size_t at = reply.find("Set-Cookie: " + name + "=");
    if (at == std::string::npos) return "";
    at += 13 + name.size();
    return name + "=" + reply.substr(at, reply.find(';', at) - at);
}

std::string Multipart(const std::vector<std::pair<std::string, std::string>>& fields, const std::string* picture,
                      bool finish = true) {
    const std::string boundary = "--------120824153012345";
    std::string body;
    for (const auto& [name, value] : fields)
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    if (picture)
        body += "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"screenshot\"; filename=\"C:\\Temp\\screen.jpg\"\r\n"
                "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
                *picture + "\r\n";
    if (finish) body += "--" + boundary + "--\r\n";
    return body;
}

std::string Post(const std::string& target, const std::string& body, std::size_t declared) {
    return "POST " + target + " HTTP/1.0\r\nHost: " + host + "\r\nContent-Type: multipart/form-data; boundary=" +
           "--------120824153012345\r\nContent-Length: " + std::to_string(declared) +
           "\r\nUser-Agent: Screenshot Uploader\r\nAccept: text/html, */*\r\n\r\n" + body;
}

// --- the attacks ---------------------------------------------------------

// Holds `count` connections that send `opening` and then, every `trickleEvery`, one more byte.
void Swarm(int count, const std::string& opening, std::chrono::seconds trickleEvery, Clock::time_point end) {
    struct Peer {
        int fd = -1;
        std::size_t sent = 0;
        Clock::time_point next;  // reopen, or trickle
    };
    std::vector<Peer> peers(static_cast<std::size_t>(count));
    std::vector<pollfd> polls;
    char sink[65536];
    while (Clock::now() < end) {
        const auto now = Clock::now();
        for (Peer& p : peers) {
            if (p.fd < 0 && now >= p.next) {
                p.fd = Open("127.0.0.2", false);
                p.sent = 0;
                p.next = now + trickleEvery;
                if (p.fd < 0) p.next = now + 1s;
            }
        }
        polls.clear();
        for (Peer& p : peers)
            polls.push_back(pollfd{p.fd, short(p.fd < 0 ? 0 : POLLIN | (p.sent < opening.size() ? POLLOUT : 0)), 0});
        ::poll(polls.data(), polls.size(), 100);
        for (std::size_t i = 0; i < peers.size(); ++i) {
            Peer& p = peers[i];
            if (p.fd < 0) continue;
            bool closed = (polls[i].revents & (POLLERR | POLLHUP)) != 0;
            if (!closed && (polls[i].revents & POLLIN)) closed = ::recv(p.fd, sink, sizeof sink, 0) <= 0;
            if (!closed && (polls[i].revents & POLLOUT) && p.sent < opening.size()) {
                ssize_t n = ::send(p.fd, opening.data() + p.sent, opening.size() - p.sent, MSG_NOSIGNAL);
                if (n > 0) p.sent += std::size_t(n);
                else if (errno != EAGAIN) closed = true;
            }
            if (!closed && p.sent >= opening.size() && trickleEvery.count() > 0 && Clock::now() >= p.next) {
                closed = ::send(p.fd, "X", 1, MSG_NOSIGNAL) != 1;
                p.next = Clock::now() + trickleEvery;
            }
            if (closed) {
                ::close(p.fd);
                p.fd = -1;
                p.next = Clock::now() + 1s;
            }
        }
    }
    for (Peer& p : peers)
        if (p.fd >= 0) ::close(p.fd);
}

// Eight connections registering accounts one after the other, as fast as they are answered.
std::string Register(Clock::time_point end) {
    std::atomic<int> made{0}, refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            const std::string form =
                Exchange("127.0.0.2", "GET /account.htm?action=register HTTP/1.0\r\nHost: x\r\n\r\n");
            const std::string cookie = Cookie(form, "snapora_form");
            const std::string marker = "name=\"csrf\" value=\"";
            const std::size_t at = form.find(marker);
            const std::string csrf = at == std::string::npos ? "" : form.substr(at + marker.size(), 64);
            for (int n = 0; Clock::now() < end; ++n) {
                const std::string body = "username=angreifer" + std::to_string(t) + "x" + std::to_string(n) +
                                         "&password=geheim12&password2=geheim12&csrf=" + csrf;
                const std::string reply = Exchange(
                    "127.0.0.2", "POST /account.htm?action=register HTTP/1.0\r\nHost: x\r\nCookie: " + cookie +
                                     "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body);
                (Status(reply) == 303 ? made : refused)++;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    return std::to_string(made) + " accounts made, " + std::to_string(refused) + " refused";
}

std::string Attack(const std::string& name, Clock::time_point end) {
    if (name == "slowloris") {
        Swarm(512, "GET / HTTP/1.1\r\nHost: x\r\nX-Pad: ", 10s, end);
        return "512 connections holding half a head, one byte every 10 s";
    }
    if (name == "streams") {
        Exchange("127.0.0.2", "GET /loginsession.php?sessionname=angriff HTTP/1.0\r\nHost: x\r\n\r\n");
        Swarm(550, "GET /~angriff/events HTTP/1.1\r\nHost: x\r\nAccept: text/event-stream\r\n\r\n", 0s, end);
        return "550 idle event streams";
    }
    if (name == "registration") return Register(end);
    if (name == "fields") {
        std::vector<std::pair<std::string, std::string>> fields;
        for (int i = 0; i < 63; ++i) fields.emplace_back("f" + std::to_string(i), std::string(64 * 1024, 'f'));
        const std::string body = Multipart(fields, nullptr, false);
        Swarm(120, Post("/upload.php", body, body.size() + 1000), 0s, end);  // the end never comes
        return "120 requests of 63 text fields of 64 KiB each";
    }
    std::this_thread::sleep_until(end);
    return "no attack";
}

// --- the good client -------------------------------------------------------

struct Measured {
    std::vector<double> page, upload;
    int failures = 0;
};

void GoodClient(const std::string& picture, Clock::time_point end, Measured& out) {
    const std::string body =
        Multipart({{"filename", "screenshot"}, {"version", "4.2"}, {"description", "gut"}}, &picture);
    const std::string upload = Post("/upload.php", body, body.size());
    const std::string page = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    while (Clock::now() < end) {
        for (bool isUpload : {false, true}) {
            const auto started = Clock::now();
            const std::string reply = Exchange("127.0.0.1", isUpload ? upload : page);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            const bool ok = Status(reply) == 200 && (!isUpload || Body(reply).rfind("ok|", 0) == 0);
            if (!ok) ++out.failures;
            (isUpload ? out.upload : out.page).push_back(ms);
        }
        std::this_thread::sleep_for(20ms);
    }
}

std::string Figures(std::vector<double> ms) {
    if (ms.empty()) return "none";
    std::sort(ms.begin(), ms.end());
    char text[128];
    std::snprintf(text, sizeof text, "median %.1f ms, p99 %.1f ms, max %.1f ms (%zu)", ms[ms.size() / 2],
                  ms[std::size_t(0.99 * double(ms.size() - 1))], ms.back(), ms.size());
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: server_abuse_bench HOST:PORT ATTACK SECONDS PICTURE\n");
        return 2;
    }
    const std::string where = argv[1];
    host = where.substr(0, where.rfind(':'));
    port = std::atoi(where.c_str() + where.rfind(':') + 1);
    const std::string attack = argv[2];
    const auto seconds = std::chrono::seconds(std::atoi(argv[3]));
    std::ifstream in(argv[4], std::ios::binary);
    std::ostringstream picture;
    picture << in.rdbuf();

    const auto start = Clock::now();
    std::string what;
    std::thread attacker([&] { what = Attack(attack, start + seconds); });
    std::this_thread::sleep_for(3s);  // the attack is under way before the good client is measured
    Measured good;
    GoodClient(picture.str(), start + seconds, good);
    attacker.join();

    std::vector<double> all = good.page;
    all.insert(all.end(), good.upload.begin(), good.upload.end());
    std::printf("attack:           %s (%s, %lld s)\n", attack.c_str(), what.c_str(), (long long)seconds.count());
    std::printf("good client:      %s, %d failed\n", Figures(all).c_str(), good.failures);
    std::printf("  GET /:          %s\n", Figures(good.page).c_str());
    std::printf("  upload %zu KB:  %s\n", picture.str().size() / 1024, Figures(good.upload).c_str());
    return good.failures == 0 ? 0 : 1;
}
