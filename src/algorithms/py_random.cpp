#include "algorithms/py_random.hpp"

#include <bit>

namespace fennel {

std::uint32_t MersenneTwister::next32() {
    constexpr std::uint32_t UPPER = 0x80000000u, LOWER = 0x7fffffffu, MATRIX = 0x9908b0dfu;
    if (index >= 624) {
        for (std::size_t k = 0; k < 624; ++k) {
            const std::uint32_t y = (mt[k] & UPPER) | (mt[(k + 1) % 624] & LOWER);
            mt[k] = mt[(k + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? MATRIX : 0u);
        }
        index = 0;
    }
    std::uint32_t y = mt[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

double MersenneTwister::random() {
    const std::uint32_t a = next32() >> 5;
    const std::uint32_t b = next32() >> 6;
    return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
}

std::uint32_t MersenneTwister::getrandbits(unsigned k) {
    if (k == 0) return 0;
    return next32() >> (32 - k);
}

std::uint64_t MersenneTwister::randbelow(std::uint64_t n) {
    const auto k = static_cast<unsigned>(std::bit_width(n));
    std::uint64_t r = getrandbits(k);
    while (r >= n) r = getrandbits(k);
    return r;
}

}  // namespace fennel
