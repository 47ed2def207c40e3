#pragma once
// An HTTP client that answers from a script and records what was sent.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "upload/HttpClient.h"
#include "upload/Multipart.h"

namespace snapora {

class FakeHttpClient final : public HttpClient {
public:
    struct Sent {
        std::string method, path, body, contentType;
    };
    struct Answer {
        std::string body;
        bool fail = false;  // the request fails (no connection, bad status)
    };

    // Replies in order; without one, uploads succeed with a fixed address.
    void Reply(std::string body) { Push({std::move(body), false}); }
    void Fail() { Push({"", true}); }
    // The next request waits inside Post/Get until Release() or Disconnect().
    void HoldNext() {
        std::lock_guard lock(mutex_);
        hold_ = true;
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    bool Holding() {
        std::lock_guard lock(mutex_);
        return holding_;
    }
    std::vector<Sent> SentRequests() {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::int64_t progressStep = 0;  // bytes per progress report; 0 = one report
    std::function<void()> afterProgress;  // on the sending thread, after each report

    // Like the real client: the end of sending is reported also when it breaks
    // off, and a failed request leaves the client disconnected.
    std::string Post(const std::string& path, MultipartForm& body) override {
        connected_ = true;
        std::string bytes;
        std::int64_t total = std::int64_t(body.Size());
        if (OnWorkBegin) OnWorkBegin(wmWrite, total);
        std::int64_t step = progressStep > 0 ? progressStep : std::max<std::int64_t>(total, 1);
        std::string chunk(size_t(step), '\0');
        try {
            for (size_t n; (n = body.Read(chunk.data(), chunk.size())) > 0;) {
                bytes.append(chunk.data(), n);
                if (OnWork) OnWork(wmWrite, std::int64_t(bytes.size()));
                if (afterProgress) afterProgress();
            }
        } catch (...) {
            connected_ = false;
            if (OnWorkEnd) OnWorkEnd(wmWrite);
            throw;
        }
        if (OnWorkEnd) OnWorkEnd(wmWrite);
        return Respond("POST", path, bytes, body.ContentType());
    }
    std::string Get(const std::string& pathAndQuery) override {
        connected_ = true;
        return Respond("GET", pathAndQuery, "", "");
    }
    void Disconnect() override {
        std::lock_guard lock(mutex_);
        connected_ = false;
        ++generation_;
        changed_.notify_all();
    }
    bool Connected() const override { return connected_; }

private:
    void Push(Answer a) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(a));
    }
    std::string Respond(std::string method, std::string path, std::string body, std::string type) {
        std::unique_lock lock(mutex_);
        sent_.push_back({std::move(method), std::move(path), std::move(body), std::move(type)});
        unsigned generation = generation_;
        if (hold_) {
            hold_ = false;
            holding_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_ || generation != generation_; });
            holding_ = released_ = false;
            if (generation != generation_) throw HttpError("disconnected");
        }
        if (answers_.empty()) return "ok|4.2|http://" SNAPORA_SERVICE_HOST "/s1";
        Answer a = answers_.front();
        answers_.pop_front();
        if (a.fail) {
            connected_ = false;
            throw HttpError("Der Server antwortete mit dem HTTP-Status 500.");
        }
        return a.body;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Answer> answers_;
    std::vector<Sent> sent_;
    bool hold_ = false, holding_ = false, released_ = false;
    unsigned generation_ = 0;
    std::atomic<bool> connected_{true};
};

}  // namespace snapora
