#pragma once
// Baseline JPEG Huffman coding as libjpeg's encoder does it, for files made
// from quantised blocks in pieces: each piece's coded bits are written
// unstuffed, and the pieces are then joined bit to bit, stuffed (a zero after
// each 0xFF) and padded with one-bits as libjpeg pads the end of a scan.

#include <cstdint>
#include <string>
#include <vector>

namespace snapora {

// A Huffman table's codes by symbol, from its code counts per length
// (`bits[1..16]`) and its symbols in code order, as a DHT marker lists them.
struct HuffmanCode {
    std::uint32_t code[256] = {};
    std::uint8_t length[256] = {};  // 0 where the table lacks the symbol
    bool Make(const std::uint8_t (&bits)[17], const std::uint8_t* symbols, int count);
};

// Bits in order, most significant first, without stuffing.
class BitStream {
public:
    void Reserve(std::size_t bytes) { bytes_.reserve(bytes); }
    // The low `n` bits of `value` (n at most 32; the other bits zero).
    void Put(std::uint32_t value, int n) {
        pending_ = (pending_ << n) | value;
        filled_ += n;
        if (filled_ >= 32) {
            filled_ -= 32;
            const std::uint32_t word = std::uint32_t(pending_ >> filled_);
            const char out[4] = {char(word >> 24), char(word >> 16), char(word >> 8), char(word)};
            bytes_.append(out, 4);
        }
    }
    std::uint64_t Bits() const { return std::uint64_t(bytes_.size()) * 8 + std::uint64_t(filled_); }

    // One block of quantised coefficients (row by row; none when only its
    // DC is coded), whose nonzero AC terms `nonzeroAc` has by zigzag index,
    // with a component's DC and AC codes.
    void PutBlock(const std::int16_t* natural, std::uint64_t nonzeroAc, int dcDifference, const HuffmanCode& dc,
                  const HuffmanCode& ac);

    // Appends `pieces`' bits one after the other to `out`, stuffed, the last
    // byte filled with one-bits.
    static void Join(const std::vector<const BitStream*>& pieces, std::string& out);

private:
    std::string bytes_;
    std::uint64_t pending_ = 0;  // the last `filled_` bits are not in bytes_ yet
    int filled_ = 0;
};

}  // namespace snapora
