// Traversals in the order NetworkX's traversal generators yield nodes and
// edges, so that the caller can rebuild NetworkX's generators from
// positions:
//
// - whole traversals: reachability (descendants) and dfs_edges' forward
//   edges over several starts (generic_bfs_edges' tree edges are a
//   breadth-first tree's, see shortest_paths.hpp);
// - resumable searches behind the generators: each keeps its queue or stack,
//   seen marks and row positions between calls, so a caller takes a few
//   items at the cost of a few items and the whole sequence at the cost of
//   one search.
//   - BfsCursor: generic_bfs_edges (tree edges in discovery order, levels
//     below a depth limit expanded) and bfs_layers (whole levels from several
//     roots), one engine: a queue in discovery order, the node being
//     expanded and the next slot of its row.
//   - DfsCursor: dfs_labeled_edges' forward edges (start markers included)
//     and finishes, from one start or every node in turn, nodes at the depth
//     limit reached but not entered.
//   - ComponentCursor (components.hpp): one component per step.
//   Each also answers where NetworkX's own loop would stand after a given
//   item (seen nodes, queue or stack, row positions), so that a generator
//   whose graph changed can hand over to NetworkX's loop.
//
// Preconditions: every source, root or start is below the node count of the
// rows. The rows outlive a cursor.
#pragma once

#include "algorithms/shortest_paths.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace fennel {

struct ForwardEdges {
    std::vector<Node> parents;
    std::vector<Node> children;
};

// dfs_edges from each start in turn (a start already visited is skipped),
// with (start, start) before the edges of each new start. Nodes at depth
// depth_limit are not descended into (a limit below 1 acts as 1).
ForwardEdges dfs_forward(const Csr& rows, std::span<const Node> starts, std::int64_t depth_limit);


// One tree edge of a breadth-first search: `child` was reached from the
// queue entry `parent_at` through the `slot`-th entry (row-relative) of its
// row.
struct BfsEdge {
    Node parent;
    Node child;
    std::uint32_t parent_at;
    std::uint32_t slot;
};

class BfsCursor {
public:
    static constexpr std::uint32_t UNREACHED = 0xFFFFFFFFu;

    // Levels below `max_level` are expanded; `roots` (distinct) form level 0.
    BfsCursor(const Csr& rows, std::span<const Node> roots, std::uint32_t max_level);

    // Appends up to `budget` further tree edges to `out`; fewer once the
    // search is over.
    void advance(std::size_t budget, std::vector<BfsEdge>& out);

    // Expands the whole level that follows the last one returned (level 0,
    // the roots, first) and returns it; empty once the search is over.
    std::span<const Node> next_level();

    // Nodes discovered so far, in discovery order (the roots first).
    std::span<const Node> order() const { return {queue_.data(), tail_}; }
    std::uint32_t level(Node v) const { return level_[v]; }
    // Rows read to their end: the search's work so far.
    std::size_t expanded() const { return expanded_; }

private:
    const Csr& rows_;
    std::vector<std::uint32_t> level_;
    std::vector<Node> queue_;
    std::uint32_t max_level_;
    std::size_t tail_;
    std::size_t head_ = 0;   // queue entry being expanded
    Slot slot_;              // next slot of its row
    std::size_t level_begin_ = 0;  // next_level: the level last returned
    std::size_t level_end_ = 0;
    std::size_t expanded_ = 0;
};

// What a depth-first search reports.
enum class DfsEvents : std::uint8_t {
    Forward,   // dfs_edges: (parent, child) tree edges, no start markers
    Preorder,  // dfs_preorder_nodes: each node when first visited, starts included
    Postorder  // dfs_postorder_nodes: each entered node when its row is done
};

// One reported step: `node` (and its tree parent; a start is its own), with
// the number of nodes visited before it: for a visit, the nodes before
// `node`; for a finish, every node visited by then.
struct DfsStep {
    Node parent;
    Node node;
    std::uint32_t visited;
};

class DfsCursor {
public:
    // `starts` in order (a start already visited is skipped); nodes at depth
    // `limit` (>= 1) are visited but not entered.
    DfsCursor(const Csr& rows, std::vector<Node> starts, std::uint32_t limit, DfsEvents events);

    // Appends up to `budget` further steps of the chosen kind to `out`.
    void advance(std::size_t budget, std::vector<DfsStep>& out);

    // Nodes visited so far, in visiting order.
    std::span<const Node> order() const { return order_; }
    std::size_t expanded() const { return expanded_; }

    // NetworkX's stack just after `node` was visited or finished: the tree
    // path from its start down to its parent, each entry with the position
    // (row-relative) after the child above it, the parent's after `node`.
    // Empty for a start.
    std::vector<std::pair<Node, std::uint32_t>> stack_above(Node node) const;

private:
    struct Frame {
        Node node;
        Slot next;
    };
    void visit(Node parent, Node child, std::uint32_t slot);

    const Csr& rows_;
    std::vector<Node> starts_;
    std::uint32_t limit_;
    DfsEvents events_;
    std::vector<std::uint8_t> visited_;
    std::vector<Node> parent_;       // tree parent of each visited node (a start: itself)
    std::vector<std::uint32_t> slot_;  // row-relative slot that reached it
    std::vector<Node> order_;
    std::vector<Frame> stack_;
    std::size_t next_start_ = 0;
    std::size_t expanded_ = 0;
};



}  // namespace fennel
