#include "metrics/Metrics.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <ctime>
#include <functional>

#include "base/Version.h"

namespace snapora::server {

namespace {

std::size_t OutcomeOf(const std::string& reply) {
    if (reply.rfind("ok", 0) == 0) return 0;
    if (reply == "toobig") return 1;
    if (reply == "wrongsession") return 2;
    return 3;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

Metrics::Metrics() : startedAt_(std::int64_t(std::time(nullptr))) {}

void Metrics::Count(const Request& request, const Response& response) {
    {
        std::lock_guard lock(statusMutex_);
        ++requestsByStatus_[response.status];
    }
    if (request.path != "/upload.php") return;
    ++uploads_[OutcomeOf(response.body)];
    if (request.arrived == std::chrono::steady_clock::time_point{}) return;  // built by hand, not received
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - request.arrived);
    const double seconds = double(micros.count()) / 1e6;
    std::size_t bucket = 0;
    while (bucket < LatencyBuckets.size() && seconds > LatencyBuckets[bucket]) ++bucket;
    ++latencyBuckets_[bucket];
    latencyMicros_ += std::uint64_t(micros.count());
}

std::string Metrics::Render(const MetricsNow& now) const {
    std::string out;
    Family(out, "snapora_http_requests_total", "counter", "Requests answered, by HTTP status.");
    {
        std::lock_guard lock(statusMutex_);
        for (const auto& [status, count] : requestsByStatus_)
            out += "snapora_http_requests_total{code=\"" + std::to_string(status) + "\"} " + std::to_string(count) + "\n";
    }
    Family(out, "snapora_uploads_total", "counter",
           "Uploads by the reply the program got: ok, toobig, wrongsession, or refused with an error text.");
    for (std::size_t i = 0; i < Outcomes.size(); ++i)
        out += std::string("snapora_uploads_total{outcome=\"") + Outcomes[i] + "\"} " + std::to_string(uploads_[i].load()) + "\n";

    Family(out, "snapora_upload_duration_seconds", "histogram",
           "Time from an upload's arrival to its reply, receiving and storing included.");
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < LatencyBuckets.size(); ++i) {
        cumulative += latencyBuckets_[i].load();
        out += "snapora_upload_duration_seconds_bucket{le=\"" + Number(LatencyBuckets[i]) + "\"} " +
               std::to_string(cumulative) + "\n";
    }
    cumulative += latencyBuckets_.back().load();
    out += "snapora_upload_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(cumulative) + "\n";
    out += "snapora_upload_duration_seconds_sum " + Number(double(latencyMicros_.load()) / 1e6) + "\n";
    out += "snapora_upload_duration_seconds_count " + std::to_string(cumulative) + "\n";

    Family(out, "snapora_screenshots_stored", "gauge", "Screenshots kept.");
    out += "snapora_screenshots_stored " + std::to_string(now.screenshots) + "\n";
    Family(out, "snapora_stored_bytes", "gauge", "Bytes of the kept pictures, as uploaded.");
    out += "snapora_stored_bytes " + std::to_string(now.bytesStored) + "\n";
    Family(out, "snapora_event_streams_open", "gauge", "Session pages following new screenshots right now.");
    out += "snapora_event_streams_open " + std::to_string(now.openEventStreams) + "\n";
    Family(out, "snapora_data_free_bytes", "gauge", "Free space for the data folder.");
    out += "snapora_data_free_bytes " + std::to_string(now.freeDiskBytes) + "\n";
    Family(out, "snapora_start_time_seconds", "gauge", "When the server started, in seconds since the epoch.");
    out += "snapora_start_time_seconds " + std::to_string(startedAt_) + "\n";
    Family(out, "snapora_build_info", "gauge", "The server's version.");
    out += std::string("snapora_build_info{version=\"") + snapora::ProgramVersion + "\"} 1\n";
    return out;
}

Response MetricsPage(const Request& request, const std::function<std::string()>& render) {
    Response response;
    response.headers.emplace_back("Cache-Control", "no-store");
    if (request.path != "/metrics") {
        response.status = 404;
        response.contentType = "text/plain; charset=utf-8";
        response.body = "Only /metrics is here.\n";
        return response;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        response.status = 405;
        response.contentType = "text/plain; charset=utf-8";
        response.headers.emplace_back("Allow", "GET, HEAD");
        return response;
    }
    response.contentType = "text/plain; version=0.0.4; charset=utf-8";
    response.body = render();
    return response;
}

std::uint64_t FreeDiskBytes(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) return 0;
    return std::uint64_t(info.f_bavail) * std::uint64_t(info.f_frsize);
}

}  // namespace snapora::server
