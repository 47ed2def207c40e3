#pragma once
// A stored picture, read piece by piece while it is sent: a request never
// holds more of it in memory than the piece it is sending.

#include <cstddef>
#include <cstdint>

namespace snapora::server {

class PictureReader {
public:
    virtual ~PictureReader() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to `max` bytes from `offset` into `buffer` and returns how
    // many; 0 only at the end. Throws StoreError when it cannot read.
    virtual std::size_t Read(std::uint64_t offset, char* buffer, std::size_t max) = 0;
};

}  // namespace snapora::server
