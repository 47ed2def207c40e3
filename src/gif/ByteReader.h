#pragma once
// A bounded little-endian reader over a byte span. Reads past the end return
// zeros and mark the reader exhausted, so decoders never touch foreign memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace snapora {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::uint8_t U8() {
        if (pos_ < data_.size()) return data_[pos_++];
        exhausted_ = true;
        return 0;
    }

    std::uint16_t U16le() {
        const std::uint8_t low = U8();
        const std::uint8_t high = U8();
        return std::uint16_t(low | (high << 8));
    }

    // Copies what there is; false when fewer than n bytes remained.
    bool Read(std::uint8_t* out, std::size_t n) {
        const std::size_t count = std::min(n, data_.size() - pos_);
        if (count > 0) std::memcpy(out, data_.data() + pos_, count);
        pos_ += count;
        if (count < n) {
            exhausted_ = true;
            return false;
        }
        return true;
    }

    void Skip(std::size_t n) {
        if (n > data_.size() - pos_) {
            pos_ = data_.size();
            exhausted_ = true;
        } else {
            pos_ += n;
        }
    }

    bool AtEnd() const { return pos_ >= data_.size(); }
    std::size_t Position() const { return pos_; }
    void Seek(std::size_t position) { pos_ = std::min(position, data_.size()); }
    std::size_t Size() const { return data_.size(); }
    bool Exhausted() const { return exhausted_; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool exhausted_ = false;
};

}  // namespace snapora
