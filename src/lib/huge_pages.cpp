#include "lib/huge_pages.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace fennel {

void advise_huge_pages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t HUGE_PAGE = std::uintptr_t{2} << 20;
    // Smaller arrays gain too little to pay for the collapse.
    if (bytes < 2 * HUGE_PAGE) return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const std::uintptr_t end = (start + bytes) & ~(HUGE_PAGE - 1);
    if (end <= begin) return;
    void* at = reinterpret_cast<void*>(begin);
    if (madvise(at, end - begin, MADV_HUGEPAGE) != 0) return;
    // Pages already touched are collapsed at once where the kernel offers
    // it (Linux 6.1); elsewhere its background thread gets to them.
    constexpr int COLLAPSE = 25;  // MADV_COLLAPSE
    (void)madvise(at, end - begin, COLLAPSE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace fennel
