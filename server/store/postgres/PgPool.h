#pragma once
// A small pool of database connections shared by the request threads. A
// connection found dead (the database restarted) is dropped and replaced on
// the next use, so the server reconnects by itself.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "store/postgres/PgConnection.h"

namespace snapora::server {

class PgPool {
public:
    PgPool(std::string conninfo, std::size_t size);

    // Runs work(connection) on a connection of the pool. When a connection
    // that lay idle in the pool fails at the first statement, the database
    // has gone away since; work then gets one more try on a fresh
    // connection. Throws what work throws, StoreUnavailable when no
    // connection can be had within a few seconds.
    template <class Work>
    auto Run(Work&& work) -> std::invoke_result_t<Work&, PgConnection&> {
        for (int attempt = 0;; ++attempt) {
            bool reused = false;
            std::unique_ptr<PgConnection> connection = Take(reused);
            connection->ResetSent();
            try {
                if constexpr (std::is_void_v<std::invoke_result_t<Work&, PgConnection&>>) {
                    work(*connection);
                    Give(std::move(connection));
                    return;
                } else {
                    auto result = work(*connection);
                    Give(std::move(connection));
                    return result;
                }
            } catch (const StoreUnavailable&) {
                const bool again = attempt == 0 && reused && connection->Sent() <= 1;
                Give(std::move(connection));
                if (!again) throw;
            } catch (...) {
                Give(std::move(connection));
                throw;
            }
        }
    }

    std::size_t Size() const { return size_; }

    // Opens connections until the pool is full, so that the first requests
    // after a start do not each wait for a new one. Returns how many are
    // open; fewer than Size() when the database refused more (its
    // max_connections), and the rest is tried again when needed.
    std::size_t Fill();

private:
    std::unique_ptr<PgConnection> Take(bool& reused);
    void Give(std::unique_ptr<PgConnection> connection);

    const std::string conninfo_;
    const std::size_t size_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<PgConnection>> idle_;
    std::size_t open_ = 0;  // idle and lent out
    // While the database cannot be reached, one request at a time tries to
    // connect (a host that does not answer makes it wait for the timeout);
    // the others meanwhile fail at once with the last reason.
    bool failing_ = false;
    int connecting_ = 0;
    std::string lastFailure_;
};

}  // namespace snapora::server
