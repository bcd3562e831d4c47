// The frontier size from which breadth-first levels go parallel.
#include "algorithms/level_bfs.hpp"

#include <algorithm>

namespace fennel {

namespace {

// Below a few thousand nodes a level costs less than the three barriers of
// its parallel expansion.
constexpr std::size_t DEFAULT_FRONTIER = 4096;

std::atomic<std::size_t> g_frontier{DEFAULT_FRONTIER};

// Below this a handoff to a worker and back costs about what it saves.
constexpr std::size_t DEFAULT_BESIDE = 32768;

std::atomic<std::size_t> g_beside{DEFAULT_BESIDE};

}  // namespace

std::size_t parallel_frontier() { return g_frontier.load(std::memory_order_relaxed); }

std::size_t set_parallel_frontier(std::size_t nodes) {
    return g_frontier.exchange(nodes == 0 ? DEFAULT_FRONTIER : nodes, std::memory_order_relaxed);
}

std::size_t beside_nodes() { return g_beside.load(std::memory_order_relaxed); }

std::size_t beside_step() { return std::clamp<std::size_t>(beside_nodes() / 8, 1, 4096); }

std::size_t set_beside_nodes(std::size_t nodes) {
    return g_beside.exchange(nodes == 0 ? DEFAULT_BESIDE : nodes, std::memory_order_relaxed);
}

}  // namespace fennel
