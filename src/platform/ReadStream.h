#pragma once

#include <cstddef>
#include <cstdint>

namespace snapora {

// A file opened for reading; others may read it meanwhile, nobody may write it.
class ReadStream {
public:
    virtual ~ReadStream() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to `count` bytes from the current position; 0 at the end.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
};

}  // namespace snapora
