#pragma once
// What the server counts for the operator's monitoring, and its rendering in
// Prometheus' text format (version 0.0.4). Counting is lock-free on the
// request path; the figures that belong to the moment (bytes stored, open
// event streams, free disk space) are asked for when the page is rendered.

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "http/Request.h"
#include "http/Response.h"

namespace snapora::server {

struct MetricsNow {
    std::int64_t screenshots = 0;
    std::int64_t bytesStored = 0;
    std::size_t openEventStreams = 0;
    std::uint64_t freeDiskBytes = 0;
};

class Metrics {
public:
    Metrics();

    // Every answered request, by status; uploads also by outcome (the reply
    // the program gets) and by how long they took from arrival to answer.
    void Count(const Request& request, const Response& response);

    std::string Render(const MetricsNow& now) const;

    // The upload outcomes, as the label values read.
    static constexpr std::array<const char*, 4> Outcomes = {"ok", "toobig", "wrongsession", "refused"};
    static constexpr std::array<double, 12> LatencyBuckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                              0.5,   1,    2.5,   5,    10,  30};

private:
    mutable std::mutex statusMutex_;
    std::map<int, std::uint64_t> requestsByStatus_;
    std::array<std::atomic<std::uint64_t>, Outcomes.size()> uploads_{};
    std::array<std::atomic<std::uint64_t>, LatencyBuckets.size() + 1> latencyBuckets_{};  // the last: above all
    std::atomic<std::uint64_t> latencyMicros_{0};
    const std::int64_t startedAt_;
};

// The metrics listener's handler: GET /metrics, nothing else.
Response MetricsPage(const Request& request, const std::function<std::string()>& render);

// Free bytes for an unprivileged writer on the file system of path; 0 when unknown.
std::uint64_t FreeDiskBytes(const std::string& path);

}  // namespace snapora::server
