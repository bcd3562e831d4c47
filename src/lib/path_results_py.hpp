// Path results built as NetworkX builds them, straight into Python objects:
// a dict of paths (one list per reached node) and a dict of distances. The
// Python side would spend most of a single-source call creating these lists
// one by one; here each list is allocated at its final length and filled
// from its parent's.
#pragma once

#include "algorithms/traversal.hpp"
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

// {node: distance} in `order`: the root's distance the int 0, NetworkX's
// starting value, every other of kind `kind` (the weights' one kind, as
// NetworkX's sums are typed).
PyObject* distance_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const double> dist,
                        std::uint8_t kind);

// The kind of the distances of a search over `weight` (see
// CoreGraph::distance_kind); false with NotImplementedError set when the
// column mixes kinds.
bool distance_kind(const CoreGraph& g, const std::optional<std::string>& weight, std::uint8_t& out);

// {node: hop count} in `order`.
PyObject* level_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const std::uint32_t> levels);

}  // namespace fennel::py
