#include "Balancer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "HttpClient.h"

namespace snapora::server::testing {

namespace {

// A loopback port nobody listens on just now.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace

Balancer::Balancer(const std::vector<int>& serverPorts) {
    for (int attempt = 0; attempt < 3; ++attempt)
        if (Start(FreePort(), serverPorts)) return;
    throw std::runtime_error("haproxy did not start: " + ReadFile(folder_.Path() + "/haproxy.log"));
}

bool Balancer::Start(int port, const std::vector<int>& serverPorts) {
    const std::string config = folder_.Path() + "/haproxy.cfg";
    {
        std::ofstream out(config);
        out << "global\n  maxconn 1024\n"
               "defaults\n  mode http\n  timeout connect 1s\n  timeout client 30s\n  timeout server 30s\n"
               "  retries 2\n  option redispatch\n"
               "frontend snapora\n  bind 127.0.0.1:" << port << "\n"
               "  http-request set-header X-Real-IP %[src]\n  default_backend instances\n"
               "backend instances\n  balance roundrobin\n";
        for (std::size_t i = 0; i < serverPorts.size(); ++i)
            out << "  server i" << i << " 127.0.0.1:" << serverPorts[i] << " check inter 300ms fall 1 rise 2\n";
    }
    const std::string log = folder_.Path() + "/haproxy.log";
    const bool root = ::getuid() == 0;
    const passwd* nobody = ::getpwnam("nobody");
    if (root && (!nobody || ::chown(folder_.Path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0)) return false;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644), 2);
        std::vector<std::string> arguments = {"/usr/sbin/haproxy", "-db", "-f", config};
        if (root)
            arguments.insert(arguments.begin(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                                 "--clear-groups", "--"});
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 100; ++i) {
        int fd = Connect(port);
        if (fd >= 0) {
            ::close(fd);
            port_ = port;
            std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the first health checks
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) break;  // ended: the port may have been taken
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return false;
}

Balancer::~Balancer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

}  // namespace snapora::server::testing
