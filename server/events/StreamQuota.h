#pragma once
// How many event streams may be open at once: in all, per client address and
// per session. Each open stream holds a connection for minutes, so without
// caps a few addresses could hold every connection the server has.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace snapora::server {

struct StreamLimits {
    unsigned total = 256;
    unsigned perAddress = 4;
    unsigned perTopic = 64;  // viewers of one session page
};

class StreamQuota {
public:
    explicit StreamQuota(StreamLimits limits) : limits_(limits) {}

    // Counts the stream and says yes, or says no and counts nothing.
    bool Admit(const std::string& address, std::int64_t topic);
    void Release(const std::string& address, std::int64_t topic);
    unsigned Open() const;

private:
    StreamLimits limits_;
    mutable std::mutex mutex_;
    unsigned total_ = 0;
    std::map<std::string, unsigned> perAddress_;
    std::map<std::int64_t, unsigned> perTopic_;
};

}  // namespace snapora::server
