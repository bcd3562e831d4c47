// Huge pages for large arrays. A search on a graph of millions of nodes
// reads its rows and per-node state at random: with 4 KiB pages nearly every
// such read also misses the address translation cache, and a page walk comes
// before the memory read. Backed by 2 MiB pages the same arrays take a few
// dozen translations, which stay cached.
#pragma once

#include <cstddef>
#include <vector>

namespace fennel {

// Asks the kernel to back the 2 MiB-aligned interior of [data, data + bytes)
// with huge pages, now (collapsing pages already touched, where the kernel
// can) and on later faults. Advice only: arrays below two huge pages, other
// systems and kernels that decline are left as they are.
void advise_huge_pages(const void* data, std::size_t bytes);

template <class T>
void advise_huge_pages(const std::vector<T>& values) {
    advise_huge_pages(values.data(), values.size() * sizeof(T));
}

}  // namespace fennel
