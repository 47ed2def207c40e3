#include "store/postgres/PgChangeRelay.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <charconv>

#include "text/Names.h"

namespace snapora::server {

namespace {

constexpr const char* Channel = "snapora_changes";
constexpr PgStatement Notify{"notify_change", "SELECT pg_notify('snapora_changes', $1)"};

// "INSTANCE TOPIC"
bool ParsePayload(const std::string& payload, std::string& instance, std::int64_t& topic) {
    std::size_t blank = payload.find(' ');
    if (blank == std::string::npos) return false;
    instance = payload.substr(0, blank);
    const char* end = payload.data() + payload.size();
    auto [at, error] = std::from_chars(payload.data() + blank + 1, end, topic);
    return error == std::errc() && at == end;
}

}  // namespace

PgChangeRelay::PgChangeRelay(std::string conninfo, PgPool& pool, ChangeBoard& board, Logger log)
    : conninfo_(std::move(conninfo)), pool_(pool), board_(board), log_(std::move(log)), instance_(RandomHex(8)),
      wake_(::eventfd(0, EFD_CLOEXEC)) {
    thread_ = std::thread([this] { Run(); });
    board_.SetRelay(this);
}

PgChangeRelay::~PgChangeRelay() {
    board_.SetRelay(nullptr);
    stopping_ = true;
    std::uint64_t one = 1;
    if (::write(wake_, &one, sizeof one) < 0) {
    }
    thread_.join();
    ::close(wake_);
}

void PgChangeRelay::Publish(std::int64_t topic) {
    try {
        pool_.Run([&](PgConnection& c) { c.Execute(Notify, instance_ + " " + std::to_string(topic)); });
    } catch (const StoreError& error) {
        log_(std::string("snapora-server: cannot tell the other instances of a change: ") + error.what());
    }
}

bool PgChangeRelay::Serve(PGconn* connection) {
    pollfd watched[2] = {{PQsocket(connection), POLLIN, 0}, {wake_, POLLIN, 0}};
    for (;;) {
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) return false;
        if (stopping_) return false;
        if (!(watched[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (!PQconsumeInput(connection) || PQstatus(connection) != CONNECTION_OK) return true;  // lost
        while (PGnotify* notification = PQnotifies(connection)) {
            std::string instance;
            std::int64_t topic = 0;
            if (ParsePayload(notification->extra, instance, topic) && instance != instance_)
                board_.ChangedElsewhere(topic);
            PQfreemem(notification);
        }
    }
}

void PgChangeRelay::Run() {
    bool wasListening = false;
    std::string lastFailure;
    while (!stopping_) {
        PGconn* connection = nullptr;
        try {
            connection = PgConnect(conninfo_);
            PGresult* listen = PQexec(connection, (std::string("LISTEN ") + Channel).c_str());
            const bool ok = PQresultStatus(listen) == PGRES_COMMAND_OK;
            PQclear(listen);
            if (!ok) throw StoreUnavailable(PQerrorMessage(connection));
            listening_ = true;
            if (wasListening || !lastFailure.empty()) log_("snapora-server: listening for other instances' changes again");
            // Whatever was notified while no one listened: every page looks for itself.
            if (wasListening) board_.WakeAll();
            wasListening = true;
            lastFailure.clear();
            Serve(connection);
        } catch (const StoreError& error) {
            if (lastFailure != error.what()) log_(std::string("snapora-server: listening for changes: ") + error.what());
            lastFailure = error.what();
        }
        PQfinish(connection);
        if (listening_.exchange(false) && !stopping_) log_("snapora-server: lost the connection that listens for changes");
        if (stopping_) break;
        pollfd wait{wake_, POLLIN, 0};
        ::poll(&wait, 1, 500);  // a pause between attempts, cut short by the stop
    }
}

}  // namespace snapora::server
