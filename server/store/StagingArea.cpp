#include "store/StagingArea.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "store/Store.h"

namespace snapora::server {

namespace fs = std::filesystem;

namespace {

// A descriptor holding an exclusive lock on the folder, or -1 when another process holds it.
int LockFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

StagingArea::StagingArea(const std::string& dataDir) {
    const fs::path parent = fs::path(dataDir) / "staging";
    std::error_code error;
    fs::create_directories(parent, error);
    if (error) throw StoreError("creating " + parent.string() + ": " + error.message());
    for (const auto& entry : fs::directory_iterator(parent, error)) {
        if (!entry.is_directory() || entry.path().filename().string().rfind("run-", 0) != 0) continue;
        int fd = LockFolder(entry.path());
        if (fd < 0) continue;  // a running process's
        std::error_code ignored;
        removedAtStart_ += int(std::distance(fs::directory_iterator(entry.path(), ignored), fs::directory_iterator()));
        fs::remove_all(entry.path(), ignored);
        ::close(fd);
    }
    // Locked under a name the cleaning above ignores, then renamed: no one removes it in between.
    std::string made = (parent / "new-XXXXXX").string();
    if (!::mkdtemp(made.data()))
        throw StoreError("creating a staging folder in " + parent.string() + ": " + std::strerror(errno));
    lock_ = LockFolder(made);
    folder_ = (parent / ("run-" + fs::path(made).filename().string().substr(4))).string();
    if (lock_ < 0 || ::rename(made.c_str(), folder_.c_str()) != 0) {
        if (lock_ >= 0) ::close(lock_);
        ::rmdir(made.c_str());
        throw StoreError("cannot lock a staging folder in " + parent.string());
    }
}

StagingArea::~StagingArea() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    ::close(lock_);
}

}  // namespace snapora::server
