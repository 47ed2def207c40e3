#pragma once
// A response as the handlers produce it: a body, a file or a stored picture
// to send, or a stream of server-sent events that the adapter keeps open.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "store/PictureReader.h"

namespace snapora::server {

// Text for an open event stream. Next() gives what is ready now ("" when
// nothing is); the adapter asks again whenever the topic changes.
class EventSource {
public:
    virtual ~EventSource() = default;
    virtual std::int64_t Topic() const = 0;
    virtual std::string Next() = 0;
};

struct Response {
    int status = 200;
    std::string contentType = "text/plain; charset=windows-1252";
    std::string body;
    std::string filePath;  // when set, the file's bytes are the body (404 when it has gone)
    std::shared_ptr<PictureReader> picture;  // when set, read while sending; a failed read ends the connection
    std::vector<std::pair<std::string, std::string>> headers;
    std::shared_ptr<EventSource> events;

    std::string Header(const std::string& name) const {
        for (const auto& [key, value] : headers)
            if (key == name) return value;
        return {};
    }
};

}  // namespace snapora::server
