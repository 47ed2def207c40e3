#pragma once
// The HTTP client on libcurl. Each request gets its own easy handle, so the
// upload worker and the UI thread can send at the same time; the cookies are
// shared between them for the life of the process.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "upload/HttpClient.h"
#include "upload/Replies.h"

namespace snapora {

class CurlHttpClient final : public HttpClient {
public:
    // service: "http://name[:port]" or "https://name[:port]" of the web
    // service; a bare "name[:port]" means plain HTTP. Over HTTPS the server's
    // certificate is checked against the system's trusted authorities.
    explicit CurlHttpClient(std::string service);

    // A request that receives nothing for this long fails like a broken connection.
    int idleTimeoutSeconds = 60;
    // A reply body longer than this fails the same way.
    std::size_t maxReplyBytes = MaxReplyBytes;

    ~CurlHttpClient() override;

    std::string Post(const std::string& path, MultipartForm& body) override;
    std::string Get(const std::string& pathAndQuery) override;
    void Disconnect() override;
    bool Connected() const override { return !disconnected_.load(); }

private:
    struct Transfer;
    std::string Perform(Transfer& transfer);

    std::string base_;  // scheme, host and port; request paths follow
    struct Shared;
    std::unique_ptr<Shared> shared_;
    std::atomic<unsigned> generation_{0};  // bumped by Disconnect; running requests compare
    std::atomic<bool> disconnected_{false};
};

}  // namespace snapora
