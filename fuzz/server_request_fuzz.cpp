// libFuzzer target: arbitrary requests through snapora-server's router and
// handlers (protocol and pages) on a real store in a temporary folder, with
// their deferred work run (or found no room for), owned sessions, former
// names, limits and quotas, and uploads decoded whole.
// A protocol request must always get status 200; nothing may crash, leak or
// touch undefined behaviour. Built and run by scripts/fuzz.sh, not by the normal build.
// fuzz-sources: server/text/*.cpp server/store/*.cpp server/auth/*.cpp server/imaging/*.cpp
// fuzz-sources: server/events/*.cpp server/handlers/*.cpp server/config/*.cpp server/limits/*.cpp
// fuzz-sources: server/store/postgres/*.cpp src/base/Strings.cpp server/tests/TestSupport.cpp
// fuzz-includes: server server/tests src
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
#include "handlers/Credentials.h"
#include "handlers/Protocol.h"
#include "handlers/Router.h"
#include "store/SqliteStore.h"
#include "TestSupport.h"

using namespace snapora::server;

namespace {

struct World {
    std::string folder;
    std::unique_ptr<SqliteStore> store;
    std::unique_ptr<ThumbnailMaker> thumbnails;
    std::unique_ptr<LoginThrottle> throttle;
    ChangeBoard board;
    std::int64_t now = 1700000000;
    std::unique_ptr<Context> context;
    std::string jpeg;  // a whole picture, so that uploads also get as far as the store
};

World* world = nullptr;

std::string Piece(FuzzedDataProvider& data) { return data.ConsumeRandomLengthString(64); }

// What the adapter does with deferred work: runs it, or finds no room and answers busy.
Response Resolved(Response response, FuzzedDataProvider& data) {
    while (response.deferred) response = data.ConsumeProbability<float>() < 0.1f ? response.deferred->busy()
                                                                                 : response.deferred->run();
    return response;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartCrypto();
    world = new World;
    char pattern[] = "/tmp/snapora-fuzz-XXXXXX";
    world->folder = ::mkdtemp(pattern);
    world->store = std::make_unique<SqliteStore>(world->folder);
    world->throttle = std::make_unique<LoginThrottle>(*world->store);
    world->store->CreateAccount("anna", HashPassword("geheim1"), 1);
    world->thumbnails = std::make_unique<ThumbnailMaker>(*world->store, 0);
    world->context.reset(new Context{ServerSettings{}, *world->store, *world->throttle, world->board,
                                     [] { return world->now; }, "fuzz-secret", *world->thumbnails});
    world->context->settings.minFreeBytes = 0;
    world->store->ClaimSession("team", ClientHash(*world->context, std::string(64, 'a')), world->now, 1000000000,
                               false);
    world->jpeg = snapora::server::testing::MakeJpeg(16, 8);
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
    static const std::string Tokens[] = {std::string(64, 'a'), std::string(64, 'b')};  // two clients

    Request request;
    request.method = data.PickValueInArray({"GET", "POST", "HEAD", "PUT"});
    request.path = std::string(data.PickValueInArray(Paths)) + Piece(data);
    request.remoteAddress = data.PickValueInArray({"127.0.0.1", "10.0.0.1"});
    for (int n = data.ConsumeIntegralInRange(0, 4); n > 0; --n) request.query[data.PickValueInArray(Queries)] = Piece(data);
    for (int n = data.ConsumeIntegralInRange(0, 8); n > 0; --n) request.fields[data.PickValueInArray(Fields)] = Piece(data);
    for (int n = data.ConsumeIntegralInRange(0, 2); n > 0; --n) request.cookies[data.PickValueInArray(Cookies)] = Piece(data);
    if (data.ConsumeBool()) request.query["action"] = data.PickValueInArray(Actions);
    if (data.ConsumeBool()) request.cookies["snapora_client"] = data.PickValueInArray(Tokens);
    if (data.ConsumeBool()) request.headers["last-event-id"] = Piece(data);
    request.bodyTooLarge = data.ConsumeProbability<float>() < 0.05f;
    request.bodyMalformed = data.ConsumeProbability<float>() < 0.05f;
    request.bodyNotStored = data.ConsumeProbability<float>() < 0.05f;
    request.overloaded = data.ConsumeProbability<float>() < 0.05f;
    request.secure = data.ConsumeBool();
    ServerSettings& settings = world->context->settings;
    settings.registrationOpen = data.ConsumeBool();
    settings.quotaAnonymousBytes = data.ConsumeIntegralInRange<std::uint64_t>(0, 1 << 20);
    world->now += data.ConsumeIntegralInRange(0, 700);
    if (data.ConsumeBool()) {  // the rest is the uploaded file, or a whole picture; in memory or staged
        const bool inMemory = data.ConsumeBool();
        std::string content = data.ConsumeBool() ? world->jpeg : data.ConsumeRemainingBytesAsString();
        if (inMemory) {
            request.files["screenshot"] = UploadedFile{"", content.size(), "screen.jpg", content};
        } else {
            std::string path = world->store->StagingFolder() + "/upload-XXXXXX";
            int fd = ::mkstemp(path.data());
            if (::write(fd, content.data(), content.size()) != ssize_t(content.size())) std::abort();
            ::close(fd);
            request.files["screenshot"] = UploadedFile{path, content.size(), "screen.jpg"};
        }
    }

    Response response = Resolved(HandleRequest(*world->context, request), data);
    if (IsProtocolRequest(request) && response.status != 200) std::abort();
    if (response.events) {
        response.events->Next();
        response.events->Next();
    }
    for (auto& [name, file] : request.files) ::unlink(file.path.c_str());  // as the adapter does
    return 0;
}
