#include "http/EventStreams.h"

#include <microhttpd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>

namespace snapora::server {

struct EventStreams::Stream {
    EventStreams* owner = nullptr;
    std::shared_ptr<EventSource> source;
    std::string address;
    std::int64_t topic = 0;
    std::chrono::steady_clock::time_point ends;
    MHD_Connection* connection = nullptr;
    std::mutex mutex;
    bool suspended = false;         // guarded by mutex
    std::atomic<bool> dirty{true};  // news since the last look
    std::atomic<bool> ending{false};
    std::string pending;
    std::size_t offset = 0;
    int subscription = 0;
};

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto KeepAliveCheck = std::chrono::seconds(5);  // the sources decide whether one is due
}  // namespace

EventStreams::EventStreams(ChangeBoard& board, StreamLimits limits, unsigned lifetimeSeconds)
    : board_(board), quota_(limits), lifetime_(lifetimeSeconds), thread_([this] { Run(); }) {}

EventStreams::~EventStreams() {
    {
        std::lock_guard lock(mutex_);
        threadEnds_ = true;
    }
    signal_.notify_one();
    if (thread_.joinable()) thread_.join();
}

MHD_Response* EventStreams::Open(std::shared_ptr<EventSource> source, MHD_Connection* connection,
                                 const std::string& address) {
    const std::int64_t topic = source->Topic();
    if (!quota_.Admit(address, topic)) return nullptr;
    auto stream = std::make_shared<Stream>();
    stream->owner = this;
    stream->source = std::move(source);
    stream->address = address;
    stream->topic = topic;
    stream->ends = Clock::now() + lifetime_;
    stream->connection = connection;
    stream->ending = ending_.load();
    std::weak_ptr<Stream> weak = stream;
    stream->subscription = board_.Subscribe(stream->source->Topic(), [this, weak] {
        if (auto s = weak.lock()) Wake(s);
    });
    auto* holder = new std::shared_ptr<Stream>(stream);
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &Read, holder, &Free);
    if (!response) Free(holder);  // releases the quota too
    return response;
}

ssize_t EventStreams::Read(void* cls, std::uint64_t, char* buffer, std::size_t max) {
    Stream& stream = **static_cast<std::shared_ptr<Stream>*>(cls);
    while (stream.offset >= stream.pending.size()) {
        if (stream.ending || Clock::now() >= stream.ends) return MHD_CONTENT_READER_END_OF_STREAM;
        stream.dirty = false;
        try {
            stream.pending = stream.source->Next();
        } catch (const std::exception&) {
            // The store failed (its database restarting, say): end the stream;
            // the browser comes back after its retry time and says what it saw last.
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        stream.offset = 0;
        if (!stream.pending.empty()) break;
        std::lock_guard lock(stream.mutex);
        if (stream.dirty || stream.ending) continue;  // woken while looking: look again
        stream.suspended = true;
        MHD_suspend_connection(stream.connection);
        return 0;
    }
    std::size_t n = std::min(max, stream.pending.size() - stream.offset);
    std::memcpy(buffer, stream.pending.data() + stream.offset, n);
    stream.offset += n;
    return ssize_t(n);
}

void EventStreams::Free(void* cls) {
    auto* holder = static_cast<std::shared_ptr<Stream>*>(cls);
    Stream& stream = **holder;
    stream.owner->board_.Unsubscribe(stream.subscription);
    stream.owner->quota_.Release(stream.address, stream.topic);
    delete holder;
}

void EventStreams::Wake(const std::shared_ptr<Stream>& stream) {
    stream->dirty = true;
    if (ending_) stream->ending = true;
    {
        std::lock_guard lock(mutex_);
        toWake_.push_back(stream);
    }
    signal_.notify_one();
}

void EventStreams::ResumeQueued(std::unique_lock<std::mutex>& lock) {
    while (!toWake_.empty()) {
        std::shared_ptr<Stream> stream = std::move(toWake_.front());
        toWake_.pop_front();
        lock.unlock();
        {
            std::lock_guard streamLock(stream->mutex);
            if (stream->suspended) {
                stream->suspended = false;
                MHD_resume_connection(stream->connection);
            }
        }
        lock.lock();
    }
}

void EventStreams::Run() {
    auto nextCheck = Clock::now() + KeepAliveCheck;
    std::unique_lock lock(mutex_);
    while (!threadEnds_) {
        signal_.wait_until(lock, nextCheck, [&] { return threadEnds_ || !toWake_.empty(); });
        ResumeQueued(lock);
        if (Clock::now() >= nextCheck) {
            nextCheck = Clock::now() + KeepAliveCheck;
            lock.unlock();
            board_.WakeAll();
            lock.lock();
        }
    }
}

void EventStreams::EndAll() {
    ending_ = true;
    board_.WakeAll();
}

void EventStreams::Finish() {
    {
        std::lock_guard lock(mutex_);
        threadEnds_ = true;
    }
    signal_.notify_one();
    if (thread_.joinable()) thread_.join();
    board_.WakeAll();
    std::unique_lock lock(mutex_);
    ResumeQueued(lock);
}

}  // namespace snapora::server
