// CPython's random.Random replayed from its state, for the kernels that
// draw from a caller's generator: the same words in the same order, so the
// generator can be handed back in the state NetworkX's calls leave it.
#pragma once

#include <array>
#include <cstdint>

namespace fennel {

// CPython's random.Random: MT19937 with the state getstate() shows.
struct MersenneTwister {
    std::array<std::uint32_t, 624> mt{};
    std::uint32_t index = 624;

    std::uint32_t next32();
    // random.random(): 53 bits from two draws.
    double random();
    // random.getrandbits(k) for 0 <= k <= 32.
    std::uint32_t getrandbits(unsigned k);
    // random._randbelow(n) for n >= 1: k = n.bit_length() bits, redrawn
    // while not below n.
    std::uint64_t randbelow(std::uint64_t n);
};

}  // namespace fennel
