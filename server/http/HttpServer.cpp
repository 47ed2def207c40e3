#include "http/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "http/EventStreams.h"
#include "limits/RateLimits.h"
#include "store/WriteAll.h"

namespace snapora::server {

namespace {

using Clock = std::chrono::steady_clock;

// What one request collects while it arrives, and its answer.
struct Exchange {
    void* owner = nullptr;  // the server's Impl
    Request request;
    MHD_PostProcessor* post = nullptr;
    std::uint64_t bodyBytes = 0;
    std::uint64_t fileBytes = 0;
    std::uint64_t textBytes = 0;
    std::map<std::string, int> openFiles;  // field -> descriptor of its staged file
    std::map<std::string, ino_t> stagedInodes;  // field -> the staged file's inode, to remove only our own
    std::size_t memoryHeld = 0;  // bytes of file fields kept in memory, counted in Impl::memoryFiles
    std::map<std::string, std::size_t> memoryOf;  // field -> its part of memoryHeld
    int watchId = 0;
    bool paced = false;       // has waited once for its address's pace
    std::string inFlightKey;  // behind a proxy: the client address this request counts against
    // Receiving the request; Working: suspended while deferred work runs;
    // Ready: the work's answer waits in `ready`; Answered: queued.
    enum class State { Receiving, Working, Ready, Answered };
    std::atomic<State> state{State::Receiving};
    Response ready;
    int status = 0;
    std::uint64_t bytesOut = 0;
    Clock::time_point started = Clock::now();
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return text;
}

// Log lines carry client bytes: keep them on one printable line.
std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text.substr(0, 300)) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '\\' || c == '"') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

// Content-Length as a number; anything unreadable counts as too large.
std::uint64_t DeclaredLength(const std::string& text) {
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos)
        return UINT64_MAX;
    return std::stoull(text);
}

int WatchId(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? int(reinterpret_cast<std::intptr_t>(info->socket_context)) : 0;
}

// A call into handler code; what it throws becomes an internal error.
Response Safely(const std::function<Response()>& produce, const std::function<void(const std::string&)>& log) {
    try {
        return produce();
    } catch (const std::exception& error) {
        log(std::string("snapora-server: handler failed: ") + error.what());
    }
    Response response;
    response.status = 500;
    response.body = "Interner Fehler.";
    return response;
}

std::string ClientAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return "?";
    char text[INET6_ADDRSTRLEN] = "?";
    if (info->client_addr->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(info->client_addr)->sin_addr, text, sizeof text);
    else if (info->client_addr->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(info->client_addr)->sin6_addr, text, sizeof text);
    return text;
}

}  // namespace

struct HttpServer::Impl {
    HttpLimits limits;
    Handler handler;
    ChangeBoard& board;
    Logger log;
    MHD_Daemon* daemon = nullptr;
    int port = 0;

    std::atomic<int> active{0};  // requests between their first call and their completion
    std::atomic<std::size_t> memoryFiles{0};  // all requests' file fields kept in memory
    EventStreams streams;
    ConnectionWatch watch;
    RequestPacer pacer;
    WorkPool passwords, pictures;
    std::mutex inFlightMutex;
    std::map<std::string, unsigned> inFlight;  // behind a proxy: requests running per client address
    std::mutex libraryLinesMutex;
    std::map<std::string, std::pair<Clock::time_point, unsigned>> libraryLines;  // last written, held back since

    Impl(HttpLimits l, Handler h, ChangeBoard& b, Logger lg)
        : limits(std::move(l)), handler(std::move(h)), board(b), log(std::move(lg)),
          streams(b, limits.streams, limits.streamLifetimeSeconds), watch(limits.watch, log), pacer(limits.pace),
          passwords(limits.passwordPool, "passwords"), pictures(limits.picturePool, "pictures") {}

    // The library says the same thing for every connection it refuses: under
    // an attack, hundreds of lines a second. Each of its messages is written
    // at most every ten seconds, with how often it came in between.
    void LibraryLine(const std::string& line) {
        const auto now = Clock::now();
        unsigned heldBack = 0;
        {
            std::lock_guard lock(libraryLinesMutex);
            if (libraryLines.size() > 100) libraryLines.clear();
            auto [it, fresh] = libraryLines.try_emplace(line, now, 0);
            if (!fresh && now - it->second.first < std::chrono::seconds(10)) {
                ++it->second.second;
                return;
            }
            heldBack = it->second.second;
            it->second = {now, 0};
        }
        log("snapora-server: http: " + line +
            (heldBack ? " (" + std::to_string(heldBack) + " more times since it was last written)" : ""));
    }

    // --- responses ------------------------------------------------------

    // A stored picture being sent: read piece by piece on the connection's thread.
    struct PictureSend {
        Impl* server;
        std::shared_ptr<PictureReader> reader;
    };

    static ssize_t ReadPicture(void* cls, std::uint64_t position, char* buffer, std::size_t max) {
        auto& send = *static_cast<PictureSend*>(cls);
        try {
            if (std::size_t n = send.reader->Read(position, buffer, max)) return ssize_t(n);
            send.server->log("snapora-server: a picture ended early at byte " + std::to_string(position));
        } catch (const std::exception& error) {
            send.server->log(std::string("snapora-server: sending a picture: ") + error.what());
        }
        return MHD_CONTENT_READER_END_WITH_ERROR;  // the client sees a broken connection, never a short picture
    }

    static void FreePicture(void* cls) { delete static_cast<PictureSend*>(cls); }

    MHD_Response* Build(Response& response, MHD_Connection* connection, Exchange& exchange) {
        MHD_Response* built = nullptr;
        if (response.events) {
            built = streams.Open(response.events, connection, AddressKey(exchange.request.remoteAddress));
            if (!built) {  // no room for another stream: the browser comes back later by itself
                response.events.reset();
                response.body = "retry: 30000\n\n";
            }
            response.headers.emplace_back("Connection", "close");  // a stream's end is its connection's
        } else if (response.picture) {
            const std::uint64_t size = response.picture->Size();
            auto* send = new PictureSend{this, std::move(response.picture)};
            built = MHD_create_response_from_callback(size, 64 * 1024, &ReadPicture, send, &FreePicture);
            if (!built) {
                delete send;
                return nullptr;
            }
            exchange.bytesOut = size;
        } else if (!response.filePath.empty()) {
            int fd = ::open(response.filePath.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat info {};
            if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
                built = MHD_create_response_from_fd64(std::uint64_t(info.st_size), fd);
                exchange.bytesOut = std::uint64_t(info.st_size);
            } else {
                if (fd >= 0) ::close(fd);
                response = Response{};
                response.status = 404;
                response.contentType = "text/plain; charset=utf-8";
                response.body = "Nicht gefunden.";
            }
        }
        if (!built && !response.events) {
            built = MHD_create_response_from_buffer(response.body.size(), response.body.data(), MHD_RESPMEM_MUST_COPY);
            exchange.bytesOut = response.body.size();
        }
        if (!built) return nullptr;
        MHD_add_response_header(built, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
        for (const auto& [name, value] : response.headers) MHD_add_response_header(built, name.c_str(), value.c_str());
        return built;
    }

    MHD_Result Queue(MHD_Connection* connection, Exchange& exchange, Response response) {
        exchange.state = Exchange::State::Answered;
        watch.Answering(exchange.watchId);
        MHD_Response* built = Build(response, connection, exchange);
        if (!built) return MHD_NO;
        exchange.status = response.status;
        MHD_Result queued = MHD_queue_response(connection, unsigned(response.status), built);
        MHD_destroy_response(built);
        return queued;
    }

    MHD_Result Answer(MHD_Connection* connection, Exchange& exchange) {
        for (auto& [field, fd] : exchange.openFiles) ::close(fd);
        exchange.openFiles.clear();
        watch.Answering(exchange.watchId);
        Response response = Safely([&] { return handler(exchange.request); }, log);
        if (!response.deferred) return Queue(connection, exchange, std::move(response));
        // Parked while the work runs; its pool resumes the connection when the answer is ready.
        std::shared_ptr<Deferred> work = response.deferred;
        if (!PoolFor(*work).Reserve(PoolKey(exchange))) return Queue(connection, exchange, Safely(work->busy, log));
        exchange.state = Exchange::State::Working;
        MHD_suspend_connection(connection);
        PoolFor(*work).Run(PoolKey(exchange), [this, &exchange, connection, work] { Work(exchange, connection, work); });
        return MHD_YES;
    }

    WorkPool& PoolFor(const Deferred& work) { return work.pool == Deferred::Pool::Passwords ? passwords : pictures; }
    std::string PoolKey(const Exchange& exchange) const { return AddressKey(exchange.request.remoteAddress); }

    // On a pool's thread: runs the work, hands what it defers to the next
    // pool, and resumes the connection with the answer.
    void Work(Exchange& exchange, MHD_Connection* connection, const std::shared_ptr<Deferred>& work) {
        Response response = Safely(work->run, log);
        while (response.deferred) {
            std::shared_ptr<Deferred> next = response.deferred;
            if (PoolFor(*next).Reserve(PoolKey(exchange))) {
                PoolFor(*next).Run(PoolKey(exchange), [this, &exchange, connection, next] { Work(exchange, connection, next); });
                return;
            }
            response = Safely(next->busy, log);
        }
        exchange.ready = std::move(response);
        exchange.state = Exchange::State::Ready;
        MHD_resume_connection(connection);
    }

    // --- request bodies ---------------------------------------------------

    void DropFiles(Exchange& exchange) {
        for (auto& [field, fd] : exchange.openFiles) ::close(fd);
        exchange.openFiles.clear();
        // The store may have moved a file away, and a later upload may have got its name since.
        for (auto& [field, file] : exchange.request.files) {
            struct stat info {};
            if (!file.path.empty() && ::stat(file.path.c_str(), &info) == 0 &&
                info.st_ino == exchange.stagedInodes[field])
                ::unlink(file.path.c_str());
        }
        exchange.request.files.clear();
        memoryFiles -= exchange.memoryHeld;
        exchange.memoryHeld = 0;
        exchange.memoryOf.clear();
    }

    // Keeps the next part of a file field in memory if it and the others
    // fit. The memory counted is what the string holds: the whole body at
    // once when its length is declared and small, otherwise doubling.
    bool KeepInMemory(Exchange& exchange, const std::string& key, UploadedFile& file, std::size_t size) {
        const std::size_t needed = file.bytes.size() + size;
        if (!file.path.empty() || needed > limits.memoryFile) return false;
        if (needed <= file.bytes.capacity()) return true;
        std::size_t capacity = std::max(needed, std::min(limits.memoryFile, file.bytes.capacity() * 2));
        if (file.bytes.empty()) {
            const std::uint64_t declared = DeclaredLength(exchange.request.Header("content-length"));
            if (declared <= limits.memoryFile) capacity = std::max(capacity, std::size_t(declared));
        }
        std::size_t& counted = exchange.memoryOf[key];
        const std::size_t more = capacity - std::min(capacity, counted);
        std::size_t held = memoryFiles.load();
        do {
            if (held + more > limits.memoryFiles) return false;
        } while (!memoryFiles.compare_exchange_weak(held, held + more));
        counted += more;
        exchange.memoryHeld += more;
        file.bytes.reserve(capacity);
        return true;
    }

    // Moves a file field to a staged file: from the start, or from memory
    // once it outgrows it. false when the file cannot be made or written.
    bool Stage(Exchange& exchange, const std::string& key, UploadedFile& file) {
        std::string path = limits.stagingFolder + "/upload-XXXXXX";
        int fd = ::mkstemp(path.data());
        if (fd < 0) {
            log("snapora-server: cannot stage an upload in " + limits.stagingFolder + ": " + std::strerror(errno));
            return false;
        }
        struct stat info {};
        ::fstat(fd, &info);
        exchange.stagedInodes[key] = info.st_ino;
        exchange.openFiles.emplace(key, fd);
        file.path = std::move(path);
        const std::string kept = std::exchange(file.bytes, std::string());
        const bool written = WriteStaged(fd, kept.data(), kept.size());
        std::size_t& counted = exchange.memoryOf[key];
        memoryFiles -= counted;
        exchange.memoryHeld -= counted;
        counted = 0;
        return written;
    }

    bool WriteStaged(int fd, const char* data, std::size_t size) {
        if (WriteAll(fd, data, size)) return true;
        log(std::string("snapora-server: writing a staged upload: ") + std::strerror(errno));
        return false;
    }

    void TooLarge(Exchange& exchange) {
        exchange.request.bodyTooLarge = true;
        DropFiles(exchange);
    }

    MHD_Result Field(Exchange* exchange, const char* key, const char* filename, const char* data,
                     std::uint64_t offset, std::size_t size) {
        Impl* self = this;
        Request& request = exchange->request;
        if (request.bodyTooLarge || request.bodyMalformed || request.bodyNotStored || !key) return MHD_YES;
        if (filename) {
            exchange->fileBytes += size;
            if (exchange->fileBytes > self->limits.maxUpload) {
                self->TooLarge(*exchange);
                return MHD_YES;
            }
            auto known = request.files.find(key);
            // A field sent twice starts again at 0; too many files are refused.
            const bool malformed = known == request.files.end() ? offset != 0 || request.files.size() >= 4
                                                                : offset != known->second.size;
            if (malformed) {
                request.bodyMalformed = true;
                self->DropFiles(*exchange);
                return MHD_YES;
            }
            if (known == request.files.end())
                known = request.files.emplace(key, UploadedFile{{}, 0, filename, {}}).first;
            UploadedFile& file = known->second;
            bool written = true;
            if (self->KeepInMemory(*exchange, key, file, size)) {
                file.bytes.append(data, size);
            } else {
                if (file.path.empty()) written = self->Stage(*exchange, key, file);
                if (written) written = self->WriteStaged(exchange->openFiles.at(key), data, size);
            }
            if (!written) {
                request.bodyNotStored = true;
                self->DropFiles(*exchange);
                return MHD_YES;
            }
            file.size += size;
            return MHD_YES;
        }
        // Text fields are small in every honest request: a limit for all of them together.
        exchange->textBytes += size;
        auto field = request.fields.find(key);
        if (exchange->textBytes > limits.maxTextBytes ||
            (field == request.fields.end() && request.fields.size() >= limits.maxTextFields)) {
            request.bodyMalformed = true;
            request.fields.clear();
            self->DropFiles(*exchange);
            return MHD_YES;
        }
        if (field == request.fields.end()) field = request.fields.emplace(key, std::string()).first;
        field->second.append(data, size);
        return MHD_YES;
    }

    // --- the access handler ---------------------------------------------------

    static MHD_Result OnValue(void* cls, MHD_ValueKind, const char* key, const char* value) {
        auto& map = *static_cast<std::map<std::string, std::string>*>(cls);
        if (key) map.emplace(key, value ? value : "");
        return MHD_YES;
    }

    static MHD_Result OnHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
        auto& map = *static_cast<std::map<std::string, std::string>*>(cls);
        if (key) map.emplace(Lower(key), value ? value : "");
        return MHD_YES;
    }

    Exchange* Begin(MHD_Connection* connection, const char* url, const char* method) {
        auto* exchange = new Exchange;
        exchange->owner = this;
        exchange->watchId = WatchId(connection);
        ++active;
        Request& request = exchange->request;
        request.method = method ? method : "";
        request.path = url ? url : "";
        request.remoteAddress = ClientAddress(connection);
        request.arrived = exchange->started;
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &OnValue, &request.query);
        MHD_get_connection_values(connection, MHD_COOKIE_KIND, &OnValue, &request.cookies);
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &OnHeader, &request.headers);
        request.secure = !limits.tlsCertificatePem.empty();
        if (limits.behindProxy) {
            if (!request.Header("x-real-ip").empty()) request.remoteAddress = request.Header("x-real-ip").substr(0, 64);
            request.secure = request.secure || Lower(request.Header("x-forwarded-proto")) == "https";
            // Every connection comes from the proxy: count requests per client address instead.
            std::lock_guard lock(inFlightMutex);
            exchange->inFlightKey = AddressKey(request.remoteAddress);
            request.overloaded = ++inFlight[exchange->inFlightKey] > limits.maxConnectionsPerAddress;
        }
        return exchange;
    }

    MHD_Result Access(MHD_Connection* connection, const char* url, const char* method, const char* data,
                      std::size_t* size, void** state) {
        auto* exchange = static_cast<Exchange*>(*state);
        if (!exchange) {
            exchange = Begin(connection, url, method);
            *state = exchange;
            Request& request = exchange->request;
            const std::string length = request.Header("content-length");
            const bool hasBody = !length.empty() ? length != "0" : !request.Header("transfer-encoding").empty();
            if (!hasBody) return MHD_YES;  // answered in the next call, when the request is complete
            // Declared too large: answer now, read none of it; the library closes the connection.
            if (!length.empty() && DeclaredLength(length) > BodyLimit()) {
                request.bodyTooLarge = true;
                return Answer(connection, *exchange);
            }
            watch.BodyStarted(exchange->watchId);
            exchange->post = MHD_create_post_processor(connection, 16 * 1024, &OnFieldThunk, exchange);
            if (!exchange->post) request.bodyMalformed = true;
            return MHD_YES;
        }
        if (*size > 0) {
            Request& request = exchange->request;
            watch.BodyReceived(exchange->watchId, *size);
            exchange->bodyBytes += *size;
            if (exchange->bodyBytes > BodyLimit() && !request.bodyTooLarge) TooLarge(*exchange);
            // Past a refusal the rest is read and dropped, never kept.
            if (exchange->post && !request.bodyTooLarge && !request.bodyMalformed && !request.bodyNotStored &&
                MHD_post_process(exchange->post, data, *size) != MHD_YES)
                request.bodyMalformed = true;
            *size = 0;
            return MHD_YES;
        }
        switch (exchange->state.load()) {
            case Exchange::State::Answered:
            case Exchange::State::Working: return MHD_YES;
            case Exchange::State::Ready: return Queue(connection, *exchange, std::move(exchange->ready));
            case Exchange::State::Receiving: break;
        }
        // Faster than its pace: parked for a while, then served like any other.
        if (!exchange->paced && !pacer.Admit(PoolKey(*exchange))) {
            exchange->paced = true;
            exchange->state = Exchange::State::Working;
            MHD_suspend_connection(connection);
            pacer.Later([exchange, connection] {
                exchange->state = Exchange::State::Receiving;
                MHD_resume_connection(connection);
            });
            return MHD_YES;
        }
        if (exchange->post) {
            if (MHD_destroy_post_processor(exchange->post) != MHD_YES && !exchange->request.bodyTooLarge)
                exchange->request.bodyMalformed = true;
            exchange->post = nullptr;
        }
        if (exchange->request.bodyMalformed || exchange->request.bodyNotStored) DropFiles(*exchange);
        return Answer(connection, *exchange);
    }

    std::uint64_t BodyLimit() const { return limits.maxUpload + 256 * 1024; }  // room for the text fields

    static MHD_Result OnFieldThunk(void* cls, MHD_ValueKind kind, const char* key, const char* filename,
                                   const char* type, const char* encoding, const char* data, std::uint64_t offset,
                                   std::size_t size) {
        auto* exchange = static_cast<Exchange*>(cls);
        return static_cast<Impl*>(exchange->owner)->Field(exchange, key, filename, data, offset, size);
    }

    void Completed(MHD_Connection*, void** state, MHD_RequestTerminationCode code) {
        auto* exchange = static_cast<Exchange*>(*state);
        if (!exchange) return;
        *state = nullptr;
        watch.AwaitHead(exchange->watchId);  // the next request on this connection
        if (!exchange->inFlightKey.empty()) {
            std::lock_guard lock(inFlightMutex);
            auto it = inFlight.find(exchange->inFlightKey);
            if (it != inFlight.end() && --it->second == 0) inFlight.erase(it);
        }
        if (exchange->post) MHD_destroy_post_processor(exchange->post);
        DropFiles(*exchange);  // whatever the store did not take
        const Request& request = exchange->request;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exchange->started).count();
        std::string line = request.remoteAddress + " \"" + Printable(request.method) + " " + Printable(request.path) +
                           "\" " + std::to_string(exchange->status) + " " + std::to_string(exchange->bytesOut) + " " +
                           std::to_string(ms) + "ms";
        if (code != MHD_REQUEST_TERMINATED_COMPLETED_OK) line += " (connection ended early)";
        log(line);
        delete exchange;
        --active;
    }
};

namespace {

MHD_Result AccessThunk(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                       const char* data, std::size_t* size, void** state) {
    return static_cast<HttpServer::Impl*>(cls)->Access(connection, url, method, data, size, state);
}

void CompletedThunk(void* cls, MHD_Connection* connection, void** state, MHD_RequestTerminationCode code) {
    static_cast<HttpServer::Impl*>(cls)->Completed(connection, state, code);
}

// Each connection is watched from its first byte (a TLS handshake included) to its close.
void ConnectionThunk(void* cls, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code) {
    auto* self = static_cast<HttpServer::Impl*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        int id = self->watch.Opened(info ? info->connect_fd : -1, ClientAddress(connection));
        *socketContext = reinterpret_cast<void*>(std::intptr_t(id));
    } else {
        self->watch.Closed(int(reinterpret_cast<std::intptr_t>(*socketContext)));
    }
}

void LibraryLog(void* cls, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    static_cast<HttpServer::Impl*>(cls)->LibraryLine(line);
}

}  // namespace

ListeningSocket Listen(const std::string& address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(std::uint16_t(port));
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + address);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    socklen_t size = sizeof where;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || ::listen(fd, 1024) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        std::string why = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " + why);
    }
    return ListeningSocket{fd, ntohs(where.sin_port)};
}

HttpServer::HttpServer(HttpLimits limits, Handler handler, ChangeBoard& board, Logger log)
    : impl_(std::make_unique<Impl>(std::move(limits), std::move(handler), board, std::move(log))) {
    Impl& s = *impl_;
    if (s.limits.listenSocket < 0) {
        ListeningSocket socket = Listen(s.limits.address, s.limits.port);
        s.limits.listenSocket = socket.fd;
    }
    const bool tls = !s.limits.tlsCertificatePem.empty();
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        ::close(s.limits.listenSocket);
        throw std::runtime_error("this libmicrohttpd was built without TLS");
    }
    // The key and certificate are copied by the library while it starts.
    MHD_OptionItem tlsOptions[] = {
        {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0, const_cast<char*>(s.limits.tlsKeyPem.c_str())},
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(s.limits.tlsCertificatePem.c_str())},
        {MHD_OPTION_END, 0, nullptr},
    };
    s.daemon = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC | MHD_USE_ERROR_LOG |
            (tls ? MHD_USE_TLS : 0),
        std::uint16_t(s.limits.port), nullptr, nullptr, &AccessThunk, &s,
        MHD_OPTION_EXTERNAL_LOGGER, &LibraryLog, &s,  // first, so the library never prints on its own
        MHD_OPTION_LISTEN_SOCKET, static_cast<MHD_socket>(s.limits.listenSocket),
        MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned int>(std::max(1u, s.limits.threads)),
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned int>(s.limits.maxConnections),
        // Behind a proxy every connection is the proxy's; the adapter counts client addresses itself.
        MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned int>(s.limits.behindProxy ? s.limits.maxConnections : s.limits.maxConnectionsPerAddress),
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned int>(s.limits.timeoutSeconds),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(s.limits.headerMemory),
        MHD_OPTION_NOTIFY_COMPLETED, &CompletedThunk, &s,
        MHD_OPTION_NOTIFY_CONNECTION, &ConnectionThunk, &s,
        MHD_OPTION_ARRAY, tlsOptions,
        MHD_OPTION_END);
    if (!s.daemon) {
        ::close(s.limits.listenSocket);
        throw std::runtime_error("cannot listen on " + s.limits.address + ":" + std::to_string(s.limits.port));
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(s.daemon, MHD_DAEMON_INFO_BIND_PORT);
    s.port = info ? info->port : s.limits.port;
}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Port() const { return impl_->port; }

void HttpServer::Stop(int graceSeconds) {
    Impl& s = *impl_;
    if (!s.daemon) return;
    MHD_socket listener = MHD_quiesce_daemon(s.daemon);  // no new connections from here on
    if (listener != MHD_INVALID_SOCKET) ::close(listener);
    s.streams.EndAll();
    auto deadline = Clock::now() + std::chrono::seconds(graceSeconds);
    while (s.active > 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The library must not be stopped with a connection still parked: the
    // paced ones go on at once, the pools finish what they hold and resume
    // their connections first.
    s.pacer.Stop();
    s.passwords.Stop();
    s.pictures.Stop();
    s.streams.Finish();
    MHD_stop_daemon(s.daemon);  // what is still running is dropped; its staged files go with it
    s.daemon = nullptr;
}

}  // namespace snapora::server
