#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace snapora {

// A file opened for reading; others may read it meanwhile, nobody may write it.
class ReadStream {
public:
    virtual ~ReadStream() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to `count` bytes from the current position; 0 at the end.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
};

// Bytes held in memory, read like a file.
class MemoryReadStream final : public ReadStream {
public:
    explicit MemoryReadStream(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t Read(void* buffer, std::size_t count) override {
        std::size_t n = std::min(count, bytes_.size() - position_);
        std::memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        return n;
    }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

}  // namespace snapora
