#pragma once
// Live pages across instances through PostgreSQL's LISTEN/NOTIFY: a change
// made here is sent as a notification; a listening connection of its own
// hands the other instances' notifications to the change board. When that
// connection is lost it reconnects, and every page looks again for what it
// may have missed meanwhile.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "events/ChangeBoard.h"
#include "store/postgres/PgPool.h"

namespace snapora::server {

class PgChangeRelay final : public ChangeRelay {
public:
    using Logger = std::function<void(const std::string&)>;

    // Starts listening at once and sets itself as the board's relay.
    PgChangeRelay(std::string conninfo, PgPool& pool, ChangeBoard& board, Logger log);
    ~PgChangeRelay() override;  // clears the board's relay, stops listening
    PgChangeRelay(const PgChangeRelay&) = delete;
    PgChangeRelay& operator=(const PgChangeRelay&) = delete;

    void Publish(std::int64_t topic) override;

private:
    void Run();
    // Waits for a notification or the stop; false once stopping.
    bool Serve(PGconn* connection);

    const std::string conninfo_;
    PgPool& pool_;
    ChangeBoard& board_;
    Logger log_;
    const std::string instance_;  // marks this process's own notifications
    int wake_ = -1;               // an eventfd that ends the listening thread
    std::atomic<bool> stopping_{false}, listening_{false};
    std::thread thread_;
};

}  // namespace snapora::server
