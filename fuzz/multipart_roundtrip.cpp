// Fuzz target: the request bodies the program builds (upload, rename, account
// test), read back by libmicrohttpd's multipart parser, the one snapora-server
// uses. Whatever the fields hold, the parser must find the same fields in the
// same order with the same bytes, and the file with its path, type and bytes;
// the body must be as long as announced, however it is read.
//
// The body has no escaping: a value that holds CR LF "--" and the boundary
// ends its part early on any parser. Such inputs are left out of the
// comparison (the program's fields come from one-line edits and cannot).
//
// The requests go to an in-process daemon over a socket pair, one connection each.
// fuzz-sources: src/upload/Multipart.cpp src/upload/ServiceRequests.cpp
// fuzz-libs: -lmicrohttpd

#include <fuzzer/FuzzedDataProvider.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FuzzExpect.h"
#include "upload/ServiceRequests.h"

using namespace snapora;

namespace {

struct Part {
    std::string name, value;
    bool isFile = false;
    std::string filename, contentType, encoding;
    bool operator==(const Part&) const = default;
};

// What the daemon's parser made of one request.
struct Parsed {
    std::vector<Part> parts;
    bool failed = false;
};

MHD_Result OnPart(void* cls, MHD_ValueKind, const char* key, const char* filename, const char* type,
                  const char* encoding, const char* data, std::uint64_t offset, std::size_t size) {
    auto& parsed = *static_cast<Parsed*>(cls);
    if (offset == 0 || parsed.parts.empty() || parsed.parts.back().name != (key ? key : "")) {
        Part part;
        part.name = key ? key : "";
        part.isFile = filename != nullptr;
        part.filename = filename ? filename : "";
        part.contentType = type ? type : "";
        part.encoding = encoding ? encoding : "";
        parsed.parts.push_back(part);
    }
    parsed.parts.back().value.append(data, size);
    return MHD_YES;
}

struct Exchange {
    MHD_PostProcessor* post = nullptr;
};

Parsed* current = nullptr;

MHD_Result OnRequest(void*, MHD_Connection* connection, const char*, const char*, const char*, const char* data,
                     std::size_t* size, void** state) {
    if (!*state) {
        auto* exchange = new Exchange;
        exchange->post = MHD_create_post_processor(connection, 4096, &OnPart, current);
        if (!exchange->post) current->failed = true;
        *state = exchange;
        return MHD_YES;
    }
    auto* exchange = static_cast<Exchange*>(*state);
    if (*size > 0) {
        if (exchange->post && MHD_post_process(exchange->post, data, *size) != MHD_YES) current->failed = true;
        *size = 0;
        return MHD_YES;
    }
    static const char kDone[] = "done";
    MHD_Response* response = MHD_create_response_from_buffer(4, const_cast<char*>(kDone), MHD_RESPMEM_PERSISTENT);
    MHD_Result queued = MHD_queue_response(connection, 200, response);
    MHD_destroy_response(response);
    return queued;
}

void OnCompleted(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    auto* exchange = static_cast<Exchange*>(*state);
    if (!exchange) return;
    if (exchange->post && MHD_destroy_post_processor(exchange->post) != MHD_YES) current->failed = true;
    delete exchange;
    *state = nullptr;
}

MHD_Daemon* httpd = nullptr;

// Sends one request through the daemon and returns once it has answered.
std::string Send(const std::string& request) {
    int sockets[2];
    FUZZ_EXPECT(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sockets) == 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FUZZ_EXPECT(MHD_add_connection(httpd, sockets[1], reinterpret_cast<sockaddr*>(&peer), sizeof peer) == MHD_YES);
    std::size_t sent = 0;
    std::string answer;
    for (int rounds = 0; rounds < 100000; ++rounds) {
        if (sent < request.size()) {
            ssize_t n = ::send(sockets[0], request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n > 0) sent += std::size_t(n);
        }
        MHD_run(httpd);
        char buffer[4096];
        ssize_t n = ::recv(sockets[0], buffer, sizeof buffer, 0);
        if (n > 0) answer.append(buffer, std::size_t(n));
        if (n == 0) break;  // the daemon closed the HTTP/1.0 connection: the answer is complete
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    }
    ::close(sockets[0]);
    return answer;
}

// Field values as a user could type them: any bytes.
std::string Value(FuzzedDataProvider& data) { return data.ConsumeRandomLengthString(200); }

// A Windows path: no quotation marks or control characters.
std::string WindowsPath(FuzzedDataProvider& data) {
    std::string path = "C:\\Users\\";
    for (char c : data.ConsumeRandomLengthString(40))
        if (static_cast<unsigned char>(c) >= 32 && c != '"') path += c;
    return path + "\\AppData\\Local\\Temp\\screen.jpg";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    httpd = MHD_start_daemon(MHD_USE_NO_LISTEN_SOCKET, 0, nullptr, nullptr, &OnRequest, nullptr,
                              MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, nullptr, MHD_OPTION_END);
    FUZZ_EXPECT(httpd != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    LocalTime now;
    now.year = data.ConsumeIntegralInRange(1980, 2107);
    now.month = data.ConsumeIntegralInRange(1, 12);
    now.day = data.ConsumeIntegralInRange(1, 31);
    now.hour = data.ConsumeIntegralInRange(0, 23);
    now.minute = data.ConsumeIntegralInRange(0, 59);
    now.second = data.ConsumeIntegralInRange(0, 59);
    now.millisecond = data.ConsumeIntegralInRange(0, 999);
    const int kind = data.ConsumeIntegralInRange(0, 2);
    Account account{Value(data), Value(data)};
    std::vector<Part> expected;
    auto field = [&](const std::string& name, const std::string& value) { expected.push_back({name, value}); };
    auto accountFields = [&] {
        if (account.username.empty()) return;
        field("username", account.username);
        field("password", account.password);
    };

    std::unique_ptr<MultipartForm> form;
    if (kind == 0) {
        const std::string description = Value(data), session = Value(data), path = WindowsPath(data);
        const std::string jpeg = data.ConsumeRemainingBytesAsString();
        form = BuildUploadForm(now, path, std::make_unique<MemoryReadStream>(jpeg), description, session, account);
        field("filename", "screenshot");
        field("version", "4.2");
        field("description", description);
        if (!session.empty()) field("sessionname", session);
        accountFields();
        expected.push_back({"screenshot", jpeg, true, path, "image/jpeg", "binary"});
    } else if (kind == 1) {
        const std::string name = Value(data), newName = data.ConsumeRemainingBytesAsString();
        form = BuildRenameForm(now, name, newName, account);
        field("filename", name);
        field("newfilename", newName);
        accountFields();
    } else {
        form = BuildAccountTestForm(now, account);
        field("username", account.username);
        field("password", account.password);
    }

    const std::string boundary = form->Boundary();
    FUZZ_EXPECT(boundary.size() == 23 && boundary.find_first_not_of("0123456789", 8) == std::string::npos);
    const std::uint64_t announced = form->Size();
    const std::string body = form->ReadAll();
    FUZZ_EXPECT(body.size() == announced);

    for (const Part& part : expected)
        if (part.value.find("\r\n--" + boundary) != std::string::npos) return 0;

    Parsed parsed;
    current = &parsed;
    const std::string answer = Send("POST /form HTTP/1.0\r\nContent-Type: " + form->ContentType() +
                                        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    current = nullptr;
    FUZZ_EXPECT(answer.compare(0, 12, "HTTP/1.0 200") == 0 || answer.compare(0, 12, "HTTP/1.1 200") == 0);
    FUZZ_EXPECT(!parsed.failed);
    FUZZ_EXPECT(parsed.parts.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) FUZZ_EXPECT(parsed.parts[i] == expected[i]);
    return 0;
}
