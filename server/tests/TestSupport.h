#pragma once
// Shared by the server's tests: a data folder of its own, a real store, a
// clock the test moves, and small JPEG pictures.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"
#include "store/SqliteStore.h"

namespace snapora::server::testing {

// A JPEG of the given size, made with libjpeg: baseline, or progressive.
std::string MakeJpeg(int width, int height, bool progressive = false);
// A JPEG of 1 (grey), 3 (RGB) or 4 (CMYK, stored as given) components,
// each row's samples filled by fill(y, row).
std::string EncodeJpeg(int width, int height, int components,
                       const std::function<void(int y, unsigned char* row)>& fill, bool progressive = false);
// How many screenshots the database of a data folder records (read directly, not through a store).
std::size_t RecordedScreenshots(const std::string& dataDir);
std::string ReadFile(const std::string& path);

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct ServerWorld {
    ServerWorld();
    TempFolder folder;
    std::unique_ptr<SqliteStore> store;
    ThumbnailMaker thumbnails;  // on the test's own thread
    LoginThrottle throttle{*store};
    ChangeBoard board;
    std::int64_t now = 1700000000;
    Context context;

    // The router's answer, with deferred work run here as the adapter's pools would.
    Response Handle(const Request& request);
    // A file staged as the HTTP adapter stages uploads.
    UploadedFile Stage(const std::string& bytes);
    // The program's upload: its fields, a staged picture, its cookie.
    Request Upload(const std::string& jpeg, const std::string& cookie = "");
    std::string CookieFrom(const Response& response) const;  // value of snapora_client, if set
};

}  // namespace snapora::server::testing
