#include "store/postgres/PgPool.h"

#include <chrono>

namespace snapora::server {

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto WaitForConnection = std::chrono::seconds(10);
}  // namespace

PgPool::PgPool(std::string conninfo, std::size_t size)
    : conninfo_(std::move(conninfo)), size_(std::max<std::size_t>(1, size)) {}

std::unique_ptr<PgConnection> PgPool::Take(bool& reused) {
    std::unique_lock lock(mutex_);
    const auto deadline = Clock::now() + WaitForConnection;
    for (;;) {
        if (!idle_.empty()) {
            std::unique_ptr<PgConnection> connection = std::move(idle_.back());
            idle_.pop_back();
            lock.unlock();
            if (!connection->Broken()) {
                reused = true;
                return connection;
            }
            connection.reset();
            lock.lock();
            --open_;
            continue;
        }
        if (open_ < size_) {
            if (failing_ && connecting_ > 0) throw StoreUnavailable(lastFailure_);
            ++open_;
            ++connecting_;
            lock.unlock();
            try {
                reused = false;
                auto connection = std::make_unique<PgConnection>(conninfo_);
                lock.lock();
                --connecting_;
                failing_ = false;
                return connection;
            } catch (const StoreError& error) {
                lock.lock();
                --open_;
                --connecting_;
                failing_ = true;
                lastFailure_ = error.what();
                returned_.notify_one();
                throw;
            }
        }
        if (returned_.wait_until(lock, deadline) == std::cv_status::timeout && idle_.empty() && open_ >= size_)
            throw StoreUnavailable("all " + std::to_string(size_) + " database connections stayed busy");
    }
}

std::size_t PgPool::Fill() {
    std::vector<std::unique_ptr<PgConnection>> opened;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (open_ >= size_) break;
            ++open_;
        }
        try {
            opened.push_back(std::make_unique<PgConnection>(conninfo_));
        } catch (const StoreError&) {
            std::lock_guard lock(mutex_);
            --open_;
            break;
        }
    }
    for (auto& connection : opened) Give(std::move(connection));
    std::lock_guard lock(mutex_);
    return open_;
}

void PgPool::Give(std::unique_ptr<PgConnection> connection) {
    // A statement that failed inside a transaction leaves it open: end it before anyone else gets the connection.
    connection->RollBackIfOpen();
    if (connection->Broken() || connection->InTransaction()) connection.reset();
    std::lock_guard lock(mutex_);
    if (connection)
        idle_.push_back(std::move(connection));
    else
        --open_;
    returned_.notify_one();
}

}  // namespace snapora::server
