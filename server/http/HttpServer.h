#pragma once
// The HTTP adapter: libmicrohttpd's thread pool, limits and timeouts, its
// post processor for form bodies, uploads streamed into staged files, event
// streams kept open by suspending their connections, deferred work run on
// small pools while its connection is suspended, one log line per request.
// Nothing outside this adapter knows the library.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "events/ChangeBoard.h"
#include "events/StreamQuota.h"
#include "http/ConnectionWatch.h"
#include "http/Request.h"
#include "http/Response.h"
#include "work/RequestPacer.h"
#include "work/WorkPool.h"

namespace snapora::server {

struct HttpLimits {
    std::string address = "127.0.0.1";  // IPv4 address to listen on
    int port = 18080;                     // 0: any free port
    unsigned threads = 4;
    unsigned maxConnections = 512;
    // Connections from one address; behind a proxy, requests at once from one client address.
    unsigned maxConnectionsPerAddress = 16;
    unsigned timeoutSeconds = 30;         // an idle connection is closed
    WatchLimits watch;                    // deadline of a request head, slowest body
    std::uint64_t maxUpload = 5 * 1024 * 1024;  // bytes of file fields; more is answered at once
    std::size_t maxTextBytes = 32 * 1024;       // all text fields of a request together; more is malformed
    std::size_t maxTextFields = 16;
    std::size_t headerMemory = 32 * 1024;       // request line and headers of one request
    StreamLimits streams;
    unsigned streamLifetimeSeconds = 300;
    PoolLimits passwordPool{2, 16, 2};    // Argon2id takes 64 MiB and a good tenth of a second each
    PoolLimits picturePool{4, 256, 8};    // decoding takes the processor, syncing waits for the disk:
                                          // four overlap both; a burst of uploads waits its turn
    PaceLimits pace;                      // requests per second from one address before they wait
    std::string stagingFolder;            // where larger file fields are written while they arrive
    // A file field up to this size is kept in memory (no file to create, write,
    // read back and remove), as long as all such fields together stay below memoryFiles.
    std::size_t memoryFile = 512 * 1024;
    std::size_t memoryFiles = 64 * 1024 * 1024;
    int listenSocket = -1;                // from Listen(); otherwise address and port are bound here
    bool behindProxy = false;             // the client's address is the proxy's X-Real-IP header
    std::string tlsCertificatePem;        // both set: HTTPS (PEM texts of the chain and its key)
    std::string tlsKeyPem;
};

// A listening IPv4 socket, so the port is known before requests are served.
struct ListeningSocket {
    int fd = -1;
    int port = 0;
};
ListeningSocket Listen(const std::string& address, int port);  // throws std::runtime_error

class HttpServer {
public:
    using Handler = std::function<Response(const Request&)>;
    using Logger = std::function<void(const std::string& line)>;

    // Starts listening; throws std::runtime_error when it cannot.
    HttpServer(HttpLimits limits, Handler handler, ChangeBoard& board, Logger log);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int Port() const;
    // Stops accepting, ends the event streams, lets running requests (and
    // their deferred work) finish for up to graceSeconds, then closes
    // everything. Called by the destructor too.
    void Stop(int graceSeconds = 10);

    struct Impl;  // defined in HttpServer.cpp

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace snapora::server
