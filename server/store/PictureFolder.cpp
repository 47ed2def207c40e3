#include "store/PictureFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "store/Store.h"
#include "store/WriteAll.h"

namespace snapora::server {

namespace fs = std::filesystem;

namespace {

void SyncPath(const std::string& path, const char* what) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        throw StoreError(std::string("syncing ") + what + " " + path + ": " + std::strerror(error));
    }
    ::close(fd);
}

// Reads an open file; the picture stays readable even if it is deleted meanwhile.
class FileReader final : public PictureReader {
public:
    FileReader(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileReader() override { ::close(fd_); }
    std::uint64_t Size() const override { return size_; }
    std::size_t Read(std::uint64_t offset, char* buffer, std::size_t max) override {
        for (;;) {
            ssize_t n = ::pread(fd_, buffer, max, off_t(offset));
            if (n >= 0) return std::size_t(n);
            if (errno != EINTR) throw StoreError(std::string("reading a picture: ") + std::strerror(errno));
        }
    }

private:
    int fd_;
    std::uint64_t size_;
};

void MakeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error) throw StoreError("creating " + path + ": " + error.message());
}

}  // namespace

PictureFolder::PictureFolder(std::string dataDir)
    : dataDir_(dataDir), pictures_(dataDir + "/pictures"), staging_(dataDir + "/staging") {
    MakeFolder(pictures_);
    MakeFolder(staging_);
}

std::string PictureFolder::PathOf(const std::string& key) const { return pictures_ + "/" + key + ".jpg"; }

std::unique_ptr<PictureReader> PictureFolder::Open(const std::string& key) const {
    int fd = ::open(PathOf(key).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return std::make_unique<FileReader>(fd, std::uint64_t(info.st_size));
    if (fd >= 0) ::close(fd);
    return nullptr;
}

void PictureFolder::Place(const std::string& stagedFile, const std::string& key) {
    try {
        SyncPath(stagedFile, "the upload");
        if (::rename(stagedFile.c_str(), PathOf(key).c_str()) != 0)
            throw StoreError("moving the upload into place: " + std::string(std::strerror(errno)));
    } catch (...) {
        ::unlink(stagedFile.c_str());
        throw;
    }
}

void PictureFolder::Place(std::string_view picture, const std::string& key) {
    const std::string staged = Stage(picture, "upload");
    if (::rename(staged.c_str(), PathOf(key).c_str()) != 0) {
        const int error = errno;
        ::unlink(staged.c_str());
        throw StoreError("moving the upload into place: " + std::string(std::strerror(error)));
    }
}

void PictureFolder::SyncFolder() { SyncPath(pictures_, "the pictures folder"); }

void PictureFolder::Remove(const std::string& key) {
    ::unlink(PathOf(key).c_str());
    ::unlink(ThumbnailPathOf(key).c_str());
}

std::string PictureFolder::ThumbnailPathOf(const std::string& key) const {
    return pictures_ + "/" + key + ".thumb.jpg";
}

// A new file of the staging folder holding `bytes`, synced before anything
// renames it into place: a crash leaves the old state or a whole file, never an empty one.
std::string PictureFolder::Stage(std::string_view bytes, const std::string& what) {
    std::string path = staging_ + "/" + what + "-XXXXXX";
    int fd = ::mkstemp(path.data());
    if (fd < 0) throw StoreError("staging " + what + ": " + std::string(std::strerror(errno)));
    if (!WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
        int error = errno;
        ::close(fd);
        ::unlink(path.c_str());
        throw StoreError("writing " + what + ": " + std::string(std::strerror(error)));
    }
    ::close(fd);
    return path;
}

std::string PictureFolder::StageThumbnail(const std::string& jpeg) { return Stage(jpeg, "thumbnail"); }

void PictureFolder::PlaceThumbnail(const std::string& stagedFile, const std::string& key) {
    if (::rename(stagedFile.c_str(), ThumbnailPathOf(key).c_str()) != 0) ::unlink(stagedFile.c_str());
}

PictureFolder::Recovery PictureFolder::CleanUp(const std::set<std::string>& recordedKeys) {
    Recovery recovery;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(staging_, error))
        recovery.stagedRemoved += fs::remove(entry.path(), error);
    const std::string quarantine = dataDir_ + "/quarantine";
    for (const auto& entry : fs::directory_iterator(pictures_, error)) {
        const fs::path& path = entry.path();
        std::string key = path.stem().string();
        if (fs::path(key).extension() == ".thumb") key = fs::path(key).stem().string();
        if (path.extension() == ".jpg" && recordedKeys.count(key)) continue;
        MakeFolder(quarantine);
        std::string target = quarantine + "/" + path.filename().string();
        for (int n = 2; fs::exists(target, error); ++n)
            target = quarantine + "/" + path.filename().string() + "." + std::to_string(n);
        if (::rename(path.c_str(), target.c_str()) != 0)
            throw StoreError("moving " + path.string() + " to " + quarantine + ": " + std::strerror(errno));
        recovery.quarantined.push_back(path.filename().string());
    }
    return recovery;
}

bool PictureFolder::HasPictures() const {
    std::error_code error;
    return fs::exists(pictures_, error) && !fs::is_empty(pictures_, error);
}

}  // namespace snapora::server
