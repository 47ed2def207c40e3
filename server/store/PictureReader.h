#pragma once
// A stored picture, read piece by piece while it is sent: a request never
// holds more of it in memory than the piece it is sending.

#include <cstddef>
#include <cstdint>
#include <string>

namespace snapora::server {

class PictureReader {
public:
    virtual ~PictureReader() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to `max` bytes from `offset` into `buffer` and returns how
    // many; 0 only at the end. Throws StoreError when it cannot read.
    virtual std::size_t Read(std::uint64_t offset, char* buffer, std::size_t max) = 0;
};

// The whole picture in memory (for decoding it); throws StoreError.
inline std::string ReadWholePicture(PictureReader& reader) {
    std::string bytes(reader.Size(), '\0');
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t n = reader.Read(at, bytes.data() + at, bytes.size() - at);
        if (n == 0) break;
        at += n;
    }
    return bytes;
}

}  // namespace snapora::server
