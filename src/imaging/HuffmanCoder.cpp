#include "imaging/HuffmanCoder.h"

#include <array>

namespace snapora {

namespace {

// Position in a block (row by row) of each zigzag index.
std::array<int, 64> ZigzagToNatural() {
    std::array<int, 64> order{};
    int row = 0, column = 0;
    for (int k = 0; k < 64; ++k) {
        order[std::size_t(k)] = row * 8 + column;
        if ((row + column) % 2 == 0) {  // going up and right
            if (column == 7)
                ++row;
            else if (row == 0)
                ++column;
            else
                --row, ++column;
        } else {  // going down and left
            if (row == 7)
                ++column;
            else if (column == 0)
                ++row;
            else
                ++row, --column;
        }
    }
    return order;
}

const std::array<int, 64> naturalOf = ZigzagToNatural();

int BitsOf(int value) {
    unsigned magnitude = unsigned(value < 0 ? -value : value);
    return magnitude ? 32 - __builtin_clz(magnitude) : 0;
}

// A value's extra bits after its size: negative values one less, in `size` bits.
std::uint32_t ExtraBits(int value, int size) {
    return std::uint32_t(value < 0 ? value - 1 : value) & ((1u << size) - 1);
}

// Writes bits with a zero after each 0xFF byte.
class StuffingWriter {
public:
    explicit StuffingWriter(std::string& out) : out_(out) {}
    void Put(std::uint32_t value, int n) {
        pending_ = (pending_ << n) | value;
        filled_ += n;
        while (filled_ >= 8) {
            filled_ -= 8;
            const char byte = char(pending_ >> filled_);
            out_.push_back(byte);
            if (byte == char(0xFF)) out_.push_back(0);
        }
    }
    // Whole bytes, as fast as they can go when no bits are waiting.
    void PutBytes(const std::string& bytes) {
        if (filled_ != 0) {
            for (char b : bytes) Put(std::uint8_t(b), 8);
            return;
        }
        std::size_t from = 0;
        while (from < bytes.size()) {
            const std::size_t ff = bytes.find(char(0xFF), from);
            const std::size_t to = ff == std::string::npos ? bytes.size() : ff + 1;
            out_.append(bytes, from, to - from);
            if (ff != std::string::npos) out_.push_back(0);
            from = to;
        }
    }
    void PadWithOnes() {
        if (filled_ > 0) Put((1u << (8 - filled_)) - 1, 8 - filled_);
    }

private:
    std::string& out_;
    std::uint64_t pending_ = 0;
    int filled_ = 0;
};

}  // namespace

bool HuffmanCode::Make(const std::uint8_t (&bits)[17], const std::uint8_t* symbols, int count) {
    *this = HuffmanCode{};
    // Canonical codes: counting up within a length, doubled going to the next.
    std::uint32_t next = 0;
    int k = 0;
    for (int l = 1; l <= 16; ++l) {
        for (int i = 0; i < bits[l]; ++i, ++k) {
            if (k >= count || next >= (1u << l)) return false;
            code[symbols[k]] = next++;
            length[symbols[k]] = std::uint8_t(l);
        }
        next <<= 1;
    }
    return true;
}

void BitStream::PutBlock(const std::int16_t* natural, std::uint64_t nonzeroAc, int dcDifference,
                         const HuffmanCode& dc, const HuffmanCode& ac) {
    const int dcSize = BitsOf(dcDifference);
    Put((dc.code[dcSize] << dcSize) | ExtraBits(dcDifference, dcSize), dc.length[dcSize] + dcSize);
    int previous = 0;
    while (nonzeroAc) {
        const int k = __builtin_ctzll(nonzeroAc);
        nonzeroAc &= nonzeroAc - 1;
        int run = k - previous - 1;
        previous = k;
        for (; run > 15; run -= 16) Put(ac.code[0xF0], ac.length[0xF0]);
        const int value = natural[naturalOf[std::size_t(k)]];
        const int size = BitsOf(value);
        const int symbol = (run << 4) | size;
        Put((ac.code[symbol] << size) | ExtraBits(value, size), ac.length[symbol] + size);
    }
    if (previous < 63) Put(ac.code[0x00], ac.length[0x00]);
}

void BitStream::Join(const std::vector<const BitStream*>& pieces, std::string& out) {
    std::uint64_t bits = 0;
    for (const BitStream* piece : pieces) bits += piece->Bits();
    out.reserve(out.size() + bits / 8 + bits / 800 + 16);  // room for some stuffing
    StuffingWriter writer(out);
    for (const BitStream* piece : pieces) {
        writer.PutBytes(piece->bytes_);
        if (piece->filled_ > 0)
            writer.Put(std::uint32_t(piece->pending_) & ((1u << piece->filled_) - 1), piece->filled_);
    }
    writer.PadWithOnes();
}

}  // namespace snapora
