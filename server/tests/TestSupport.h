#pragma once
// Shared by the server's tests: a data folder of its own, a real store, a
// clock the test moves, and small JPEG pictures.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "handlers/Context.h"
#include "http/Request.h"
#include "http/Response.h"
#include "store/SqliteStore.h"
#include "store/postgres/PostgresStore.h"

namespace snapora::server::testing {

using SteadyClock = std::chrono::steady_clock;
// Milliseconds since then.
inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline long Elapsed(SteadyClock::time_point since) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - since).count());
}

// A JPEG of the given size, made with libjpeg: baseline, or progressive.
std::string MakeJpeg(int width, int height, bool progressive = false);
// A JPEG of 1 (grey), 3 (RGB) or 4 (CMYK, stored as given) components,
// each row's samples filled by fill(y, row).
std::string EncodeJpeg(int width, int height, int components,
                       const std::function<void(int y, unsigned char* row)>& fill, bool progressive = false);
// How many screenshots the database of a data folder records (read directly, not through a store).
std::size_t RecordedScreenshots(const std::string& dataDir);
std::string ReadFile(const std::string& path);
// The number of entries in a folder.
int FilesIn(const std::string& folder);
// A stored picture's bytes, read in small uneven pieces as the HTTP layer might; "" for none.
std::string ReadPicture(const std::shared_ptr<PictureReader>& reader);

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A store of either kind: SQLite in the folder, or PostgreSQL in the given database (with its staging in the folder).
std::unique_ptr<Store> OpenStore(const std::string& folder, const std::string& database = "");

struct ServerWorld {
    explicit ServerWorld(const std::string& database = "");  // "": SQLite
    TempFolder folder;
    std::unique_ptr<Store> store;
    ThumbnailMaker thumbnails;  // on the test's own thread
    LoginThrottle throttle{*store};
    ChangeBoard board;
    std::int64_t now = 1700000000;
    Context context;

    // The router's answer, with deferred work run here as the adapter's pools would.
    Response Handle(const Request& request);
    // A file staged as the HTTP adapter stages uploads.
    UploadedFile Stage(const std::string& bytes);
    // A 64x48 screenshot stored directly, uploaded then.
    Screenshot Add(std::int64_t uploadedAt, std::optional<std::int64_t> account = std::nullopt,
                   std::optional<std::int64_t> session = std::nullopt);
    // Pictures and thumbnails kept: files in the data folder, rows in the database.
    int StoredPictures();
    // The program's upload: its fields, a staged picture, its cookie.
    Request Upload(const std::string& jpeg, const std::string& cookie = "");
    std::string CookieFrom(const Response& response) const;  // value of snapora_client, if set
};

}  // namespace snapora::server::testing
