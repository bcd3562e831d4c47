// Path results built as NetworkX builds them, straight into Python objects:
// a dict of paths (one list per reached node) and a dict of distances. The
// Python side would spend most of a single-source call creating these lists
// one by one; here each list is allocated at its final length and filled
// from its parent's.
#pragma once

#include "algorithms/shortest_paths.hpp"
#include "lib/compat.hpp"

#include <cstdint>
#include <span>

namespace fennel::py {

// The objects a result hands out: G's node for each position (a tuple, so
// no other thread can change it under us), except the search's root, which
// NetworkX reports as the caller gave it. Both borrowed.
struct NodeObjects {
    PyObject* nodes;
    Node root;
    PyObject* root_obj;

    PyObject* operator()(Node v) const { return v == root ? root_obj : PyTuple_GET_ITEM(nodes, v); }
};

// {node: path} of a search tree whose `order[i]` hangs below `parents[i]`
// (the root first): each path runs from the root, or toward it with
// `toward`. Keys are inserted in `keys` order (a permutation of `order`).
PyObject* tree_paths(const NodeObjects& obj, std::span<const Node> order, std::span<const Node> parents,
                     std::span<const Node> keys, bool toward);

// How a search's distances are typed: one kind for all (the weights' one
// kind), or the kinds the search reports per order entry.
struct DistanceKind {
    std::uint8_t kind = PY_INT;
    bool per_entry = false;
};

// {node: distance} in `order`: the root's distance the int 0, NetworkX's
// starting value, every other of `kind`'s kind, or of its entry in `kinds`.
PyObject* distance_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const double> dist,
                        DistanceKind kind, std::span<const std::uint8_t> kinds);

// The typing of the distances of a search over `weight` (reversed, with
// `reverse`); false with NotImplementedError set when the column mixes kinds
// that the search cannot follow (kinds unknown, or kept for succ slots only).
bool distance_kind(const CoreGraph& g, const std::optional<std::string>& weight, bool reverse, DistanceKind& out);

// {node: hop count} in `order`.
PyObject* level_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const std::uint32_t> levels);

}  // namespace fennel::py
