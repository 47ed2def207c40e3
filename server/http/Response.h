#pragma once
// A response as the handlers produce it: a body, a file or a stored picture
// to send, a stream of server-sent events that the adapter keeps open, or
// work still to be done.

#include <cstdint>
#include <functional>
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

struct Response;

// Work too slow for the threads that serve connections (password hashing,
// picture decoding, syncing files): the HTTP adapter parks the connection,
// runs `run` on the small pool named by `pool` and answers with what it
// returns, which may defer again. When that pool has no room, `busy()` is
// the answer, at once. The request being answered stays alive until then,
// so `run` may refer to it.
struct Deferred {
    enum class Pool { Passwords, Pictures } pool = Pool::Pictures;
    std::function<Response()> run;
    std::function<Response()> busy;
};

struct Response {
    int status = 200;
    std::string contentType = "text/plain; charset=windows-1252";
    std::string body;
    std::string filePath;  // when set, the file's bytes are the body (404 when it has gone)
    std::shared_ptr<PictureReader> picture;  // when set, read while sending; a failed read ends the connection
    std::vector<std::pair<std::string, std::string>> headers;
    std::shared_ptr<EventSource> events;
    std::shared_ptr<Deferred> deferred;  // when set, nothing else counts yet

    std::string Header(const std::string& name) const {
        for (const auto& [key, value] : headers)
            if (key == name) return value;
        return {};
    }
};

// Calls `then` on the final response: at once, or on what deferred work yields in the end.
inline Response Finally(Response response, std::function<void(Response&)> then) {
    if (!response.deferred) {
        then(response);
        return response;
    }
    std::shared_ptr<Deferred> inner = response.deferred;
    auto outer = std::make_shared<Deferred>(*inner);
    outer->run = [inner, then] { return Finally(inner->run(), then); };
    outer->busy = [inner, then] { return Finally(inner->busy(), then); };
    response.deferred = outer;
    return response;
}

}  // namespace snapora::server
