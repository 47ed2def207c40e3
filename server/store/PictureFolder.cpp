#include "store/PictureFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "store/Store.h"

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

void MakeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error) throw StoreError("creating " + path + ": " + error.message());
}

}  // namespace

PictureFolder::PictureFolder(std::string dataDir)
    : pictures_(dataDir + "/pictures"), staging_(dataDir + "/staging") {
    MakeFolder(pictures_);
    MakeFolder(staging_);
}

std::string PictureFolder::PathOf(const std::string& key) const { return pictures_ + "/" + key + ".jpg"; }

void PictureFolder::Commit(const std::string& stagedFile, const std::string& key) {
    try {
        SyncPath(stagedFile, "the upload");
        if (::rename(stagedFile.c_str(), PathOf(key).c_str()) != 0)
            throw StoreError("moving the upload into place: " + std::string(std::strerror(errno)));
        SyncPath(pictures_, "the pictures folder");
    } catch (...) {
        ::unlink(stagedFile.c_str());
        throw;
    }
}

void PictureFolder::Remove(const std::string& key) { ::unlink(PathOf(key).c_str()); }

int PictureFolder::CleanUp(const std::set<std::string>& recordedKeys) {
    int removed = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(staging_, error)) removed += fs::remove(entry.path(), error);
    for (const auto& entry : fs::directory_iterator(pictures_, error)) {
        const fs::path& path = entry.path();
        if (path.extension() != ".jpg" || !recordedKeys.count(path.stem().string()))
            removed += fs::remove(path, error);
    }
    return removed;
}

}  // namespace snapora::server
