#include "http/ConnectionWatch.h"

#include <malloc.h>
#include <sys/socket.h>

#include <vector>

namespace snapora::server {

namespace {
constexpr auto CheckEvery = std::chrono::milliseconds(250);
constexpr auto TrimEvery = std::chrono::seconds(5);
}  // namespace

ConnectionWatch::ConnectionWatch(WatchLimits limits, Logger log)
    : limits_(limits), log_(std::move(log)), thread_([this] { Run(); }) {}

ConnectionWatch::~ConnectionWatch() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

int ConnectionWatch::Opened(int fd, std::string address) {
    std::lock_guard lock(mutex_);
    int id = next_++;
    entries_.emplace(id, Entry{fd, std::move(address)});
    return id;
}

void ConnectionWatch::Set(int id, Phase phase) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(id);
    if (it == entries_.end()) return;
    it->second.phase = phase;
    it->second.since = Clock::now();
    it->second.bodyBytes = 0;
}

void ConnectionWatch::AwaitHead(int id) { Set(id, Phase::Head); }
void ConnectionWatch::BodyStarted(int id) { Set(id, Phase::Body); }
void ConnectionWatch::Answering(int id) { Set(id, Phase::Answer); }

void ConnectionWatch::BodyReceived(int id, std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(id);
    if (it != entries_.end()) it->second.bodyBytes += bytes;
}

void ConnectionWatch::Closed(int id) {
    std::lock_guard lock(mutex_);
    entries_.erase(id);
}

void ConnectionWatch::Run() {
    auto nextTrim = Clock::now() + TrimEvery;
    std::unique_lock lock(mutex_);
    while (!ending_) {
        wake_.wait_for(lock, CheckEvery, [this] { return ending_; });
        const auto now = Clock::now();
        const auto head = std::chrono::seconds(limits_.headSeconds);
        std::vector<std::string> closed;
        for (auto& [id, entry] : entries_) {
            if (entry.closing || entry.phase == Phase::Answer || now - entry.since < head) continue;
            const double seconds = std::chrono::duration<double>(now - entry.since).count();
            const char* why = nullptr;
            if (entry.phase == Phase::Head) why = "request head not complete in time";
            else if (double(entry.bodyBytes) < double(limits_.minBodyRate) * seconds) why = "request body too slow";
            if (!why) continue;
            // The socket is still the connection's: the library calls Closed,
            // which waits for this lock, before it closes it.
            ::shutdown(entry.fd, SHUT_RDWR);
            entry.closing = true;
            closed.push_back(entry.address + ": " + why);
        }
        lock.unlock();
        for (const std::string& line : closed) log_("snapora-server: closed a connection from " + line);
        if (now >= nextTrim) {
            nextTrim = now + TrimEvery;
            malloc_trim(0);  // what the requests freed goes back to the system
        }
        lock.lock();
    }
}

}  // namespace snapora::server
