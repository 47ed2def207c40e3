#pragma once
// The program's one HTTP client (IdHTTP1): every request to the web service
// goes through it, from the upload worker and from the UI thread.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace snapora {

class MultipartForm;

enum WorkMode : int { wmRead = 0, wmWrite = 1 };

// A request that failed: no connection, a broken one, a cancel, or a status outside 2xx.
class HttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;

    // Blocking requests returning the reply body; they throw HttpError.
    virtual std::string Post(const std::string& path, MultipartForm& body) = 0;
    virtual std::string Get(const std::string& pathAndQuery) = 0;

    // Makes every running request fail soon (within a second); later requests run normally.
    virtual void Disconnect() = 0;
    // False from a Disconnect until the next request starts.
    virtual bool Connected() const = 0;

    // Progress of sending a body, on the thread that sends it.
    std::function<void(WorkMode mode, std::int64_t total)> OnWorkBegin;
    std::function<void(WorkMode mode, std::int64_t count)> OnWork;
    std::function<void(WorkMode mode)> OnWorkEnd;
};

}  // namespace snapora
