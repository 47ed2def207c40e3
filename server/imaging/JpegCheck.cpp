#include "imaging/JpegCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace snapora::server {

// In one read: the upload limit keeps it small.
std::optional<std::string> ReadUpload(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        bytes.emplace(std::size_t(info.st_size), '\0');
        std::size_t done = 0;
        while (bytes && done < bytes->size()) {
            const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) bytes.reset();
            if (n <= 0) break;
            done += std::size_t(n);
        }
        if (bytes) bytes->resize(done);
    }
    ::close(fd);
    return bytes;
}

std::optional<ScaledPicture> CheckJpeg(std::string_view jpeg) {
    DecodeRules rules;
    rules.maxSide = MaxPictureSide;
    rules.maxPixels = std::uint64_t(MaxPicturePixels);
    rules.maxMemory = MaxDecoderMemory;
    rules.strict = true;
    return DecodeScaled(jpeg, rules);
}

}  // namespace snapora::server
