// libFuzzer target: arbitrary requests through snapora-server's router and
// handlers (protocol and pages) on a real store in a temporary folder.
// A protocol request must always get status 200; nothing may crash, leak or
// touch undefined behaviour. Built and run by scripts/fuzz.sh, not by the normal build.
// fuzz-sources: server/text/*.cpp server/store/*.cpp server/auth/*.cpp server/imaging/*.cpp
// fuzz-sources: server/events/*.cpp server/handlers/*.cpp server/config/*.cpp src/base/Strings.cpp
// fuzz-includes: server
// fuzz-libs: -lsodium -lsqlite3 -ljpeg -lpq -I/usr/include/postgresql
// fuzz-options: -max_len=4096 -rss_limit_mb=4096
// The input is taken apart by FuzzedDataProvider, so it needs no seeds.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "auth/Passwords.h"
#include "handlers/Router.h"
#include "store/SqliteStore.h"

using namespace snapora::server;

namespace {

struct World {
    std::string folder;
    std::unique_ptr<SqliteStore> store;
    std::unique_ptr<ThumbnailMaker> thumbnails;
    LoginThrottle throttle;
    ChangeBoard board;
    std::int64_t now = 1700000000;
    std::unique_ptr<Context> context;
};

World* world = nullptr;

std::string Piece(FuzzedDataProvider& data) { return data.ConsumeRandomLengthString(64); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartCrypto();
    world = new World;
    char pattern[] = "/tmp/snapora-fuzz-XXXXXX";
    world->folder = ::mkdtemp(pattern);
    world->store = std::make_unique<SqliteStore>(world->folder);
    world->store->CreateAccount("anna", HashPassword("geheim1"), 1);
    world->thumbnails = std::make_unique<ThumbnailMaker>(*world->store, 0);
    world->context.reset(new Context{ServerSettings{}, *world->store, world->throttle, world->board,
                                     [] { return world->now; }, "fuzz-secret", *world->thumbnails});
    world->store->OpenSession("team", world->now, 1000000000);
    std::atexit([] { std::filesystem::remove_all(world->folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    static const char* const Paths[] = {"/upload.php", "/rename.php", "/loginsession.php", "/account.htm", "/",
                                        "/download.htm", "/faq.htm", "/~team", "/~team/events", "/downloads/",
                                        "/static/site.css", "/x.jpg", "/x.thumb.jpg", "/"};
    static const char* const Fields[] = {"filename", "newfilename", "description", "sessionname", "username",
                                         "password", "password2", "csrf", "name", "version", "oldpassword"};
    static const char* const Queries[] = {"sessionname", "action", "username", "after", "v", "done"};
    static const char* const Actions[] = {"login", "register", "logout", "delete", "password", "deleteall",
                                          "deleteaccount", "testlogin"};
    static const char* const Cookies[] = {"snapora_client", "snapora_login", "snapora_form"};

    Request request;
    request.method = data.PickValueInArray({"GET", "POST", "HEAD", "PUT"});
    request.path = std::string(data.PickValueInArray(Paths)) + Piece(data);
    request.remoteAddress = data.PickValueInArray({"127.0.0.1", "10.0.0.1"});
    for (int n = data.ConsumeIntegralInRange(0, 4); n > 0; --n) request.query[data.PickValueInArray(Queries)] = Piece(data);
    if (data.ConsumeBool()) request.query["action"] = data.PickValueInArray(Actions);
    for (int n = data.ConsumeIntegralInRange(0, 8); n > 0; --n) request.fields[data.PickValueInArray(Fields)] = Piece(data);
    for (int n = data.ConsumeIntegralInRange(0, 2); n > 0; --n) request.cookies[data.PickValueInArray(Cookies)] = Piece(data);
    if (data.ConsumeBool()) request.headers["last-event-id"] = Piece(data);
    request.bodyTooLarge = data.ConsumeProbability<float>() < 0.05f;
    request.bodyMalformed = data.ConsumeProbability<float>() < 0.05f;
    world->now += data.ConsumeIntegralInRange(0, 700);
    if (data.ConsumeBool()) {  // the rest is the uploaded file
        std::string path = world->store->StagingFolder() + "/upload-XXXXXX";
        int fd = ::mkstemp(path.data());
        std::string content = data.ConsumeRemainingBytesAsString();
        if (::write(fd, content.data(), content.size()) != ssize_t(content.size())) std::abort();
        ::close(fd);
        request.files["screenshot"] = UploadedFile{path, content.size(), "screen.jpg"};
    }

    Response response = HandleRequest(*world->context, request);
    const bool protocol = request.path == "/upload.php" || request.path == "/rename.php" ||
                          request.path == "/loginsession.php" ||
                          (request.path == "/account.htm" && request.Query("action") == "testlogin");
    if (protocol && response.status != 200) std::abort();
    if (response.events) {
        response.events->Next();
        response.events->Next();
    }
    for (auto& [name, file] : request.files) ::unlink(file.path.c_str());  // as the adapter does
    return 0;
}
