#include "settings/Scrambler.h"

namespace snapora {

namespace {
// A linear congruential generator; Next(n) lies in 0..n-1.
class Generator {
public:
    explicit Generator(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next(std::uint32_t n) {
        state_ = state_ * 134775813u + 1u;
        return std::uint32_t((std::uint64_t(state_) * n) >> 32);
    }

private:
    std::uint32_t state_;
};
}  // namespace

std::string ScrambleText(std::string_view text, std::uint32_t seed, bool decode) {
    const int direction = decode ? -1 : 1;
    Generator generator(seed);
    std::string out(text);
    for (char& ch : out) {
        int c = static_cast<unsigned char>(ch);
        if (c < 32 || c > 122) continue;
        c += direction * int(generator.Next(90));
        if (c < 32 || c > 122) c -= direction * 91;
        ch = static_cast<char>(c);
    }
    return out;
}

}  // namespace snapora
