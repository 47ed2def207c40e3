#include "TestSupport.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>
// jpeglib.h expects FILE and size_t to be declared first.
#include <jpeglib.h>

#include "auth/Passwords.h"
#include "handlers/Router.h"
#include "http/Response.h"

namespace snapora::server::testing {

std::string EncodeJpeg(int width, int height, int components,
                       const std::function<void(int y, unsigned char* row)>& fill, bool progressive) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(std::size_t(width) * std::size_t(components));
    while (info.next_scanline < info.image_height) {
        fill(int(info.next_scanline), row.data());
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<char*>(out), size);
    std::free(out);
    return bytes;
}

std::string MakeJpeg(int width, int height, bool progressive) {
    return EncodeJpeg(
        width, height, 3,
        [width](int y, unsigned char* row) {
            for (int x = 0; x < width; ++x) {
                row[x * 3] = static_cast<unsigned char>(x * 7 + y);
                row[x * 3 + 1] = static_cast<unsigned char>(y * 3);
                row[x * 3 + 2] = static_cast<unsigned char>(x ^ y);
            }
        },
        progressive);
}

std::size_t RecordedScreenshots(const std::string& dataDir) {
    sqlite3* db = nullptr;
    std::size_t records = 0;
    if (sqlite3_open_v2((dataDir + "/snapora.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* count = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM screenshots", -1, &count, nullptr) == SQLITE_OK &&
            sqlite3_step(count) == SQLITE_ROW)
            records = std::size_t(sqlite3_column_int64(count, 0));
        sqlite3_finalize(count);
    }
    sqlite3_close(db);
    return records;
}

int FilesIn(const std::string& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ReadPicture(const std::shared_ptr<PictureReader>& reader) {
    if (!reader) return {};
    std::string bytes(reader->Size(), '\0');
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t n = reader->Read(at, bytes.data() + at, std::min<std::size_t>(7777, bytes.size() - at));
        if (n == 0) throw std::runtime_error("the picture ended early");
        at += n;
    }
    return bytes;
}

TempFolder::TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/snapora-server-test-XXXXXX";
    path_ = ::mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp failed");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::unique_ptr<Store> OpenStore(const std::string& folder, const std::string& database) {
    StartCrypto();
    if (database.empty()) return std::make_unique<SqliteStore>(folder);
    return std::make_unique<PostgresStore>(database, folder, 4);
}

ServerWorld::ServerWorld(const std::string& database)
    : store(OpenStore(folder.Path(), database)),
      thumbnails(*store, 0),
      context{ServerSettings{}, *store, throttle, board, [this] { return now; }, "test-secret", thumbnails} {
    context.settings.publicHost = "127.0.0.1:18080";
    context.settings.downloadsDir = folder.Path() + "/downloads";
}

int ServerWorld::StoredPictures() {
    if (auto* postgres = dynamic_cast<PostgresStore*>(store.get())) {
        static constexpr PgStatement Count{
            "test_stored_pictures", "SELECT (SELECT count(*) FROM pictures) + (SELECT count(*) FROM thumbnails)"};
        return int(postgres->Pool().Run([](PgConnection& c) { return c.Execute(Count).Int(0, 0); }));
    }
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path() + "/pictures")) ++files;
    return files;
}

Response ServerWorld::Handle(const Request& request) {
    Response response = HandleRequest(context, request);
    while (response.deferred) response = response.deferred->run();
    return response;
}

UploadedFile ServerWorld::Stage(const std::string& bytes) {
    std::string path = store->StagingFolder() + "/upload-XXXXXX";
    int fd = ::mkstemp(path.data());
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) throw std::runtime_error("stage");
    ::close(fd);
    return UploadedFile{path, bytes.size(), "C:\\users\\x\\Temp\\screen.jpg"};
}

Screenshot ServerWorld::Add(std::int64_t uploadedAt, std::optional<std::int64_t> account,
                            std::optional<std::int64_t> session) {
    NewScreenshot n;
    n.uploadedAt = uploadedAt;
    n.accountId = account;
    n.sessionId = session;
    n.width = 64;
    n.height = 48;
    return store->AddScreenshot(n, Stage(MakeJpeg(64, 48)).path);
}

Request ServerWorld::Upload(const std::string& jpeg, const std::string& cookie) {
    Request request;
    request.method = "POST";
    request.path = "/upload.php";
    request.remoteAddress = "127.0.0.1";
    request.fields = {{"filename", "screenshot"}, {"version", "4.2"}, {"description", ""}};
    request.files["screenshot"] = Stage(jpeg);
    if (!cookie.empty()) request.cookies["snapora_client"] = cookie;
    return request;
}

std::string ServerWorld::CookieFrom(const Response& response) const {
    for (const auto& [name, value] : response.headers)
        if (name == "Set-Cookie" && value.rfind("snapora_client=", 0) == 0)
            return value.substr(15, value.find(';') - 15);
    return {};
}

}  // namespace snapora::server::testing
