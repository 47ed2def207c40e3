#pragma once
// Debian's haproxy in front of server instances on loopback, for the tests
// of several instances: round robin, quick health checks, and a request that
// cannot reach a dead instance sent to another. Runs as nobody when the tests
// run as root.

#include <string>
#include <vector>

#include "TestSupport.h"

namespace snapora::server::testing {

class Balancer {
public:
    explicit Balancer(const std::vector<int>& serverPorts);  // throws when haproxy does not start
    ~Balancer();
    int Port() const { return port_; }

private:
    bool Start(int port, const std::vector<int>& serverPorts);

    TempFolder folder_;
    int pid_ = -1;
    int port_ = 0;
};

}  // namespace snapora::server::testing
