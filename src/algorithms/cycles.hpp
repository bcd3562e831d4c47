// Cycles, as NetworkX's cycles module finds them: the cycle basis, a first
// cycle (find_cycle), the girth, the resumable searches behind
// simple_cycles and chordless_cycles, recursive_simple_cycles' list and
// the minimum cycle basis.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

namespace fennel {

// NetworkX's cycle_basis (Paton's spanning-tree walk) over undirected rows:
// components start at `root` first, then at the last node in node order not
// yet reached; a walk pops its stack from the top, and each non-tree edge
// closes a cycle [nbr, z, pred[z], ...] up to the first node nbr has seen.
// Cycle c is nodes[bounds[c]:bounds[c + 1]].
struct CycleLists {
    std::vector<Node> nodes;
    std::vector<Node> bounds{0};

    std::size_t size() const { return bounds.size() - 1; }
};
Result<CycleLists> paton_cycles(const Csr& adj, std::optional<Node> root);

// One edge of find_cycle's answer, walked from `tail` to `head`; `backward`:
// walked against a directed edge (NetworkX's (head, tail, 'reverse')).
struct WalkedEdge {
    Node tail;
    Node head;
    bool backward;
};

// NetworkX's find_cycle over `out` rows, and over `in` rows (G._pred's order)
// after them when given: one edge_dfs per start not yet explored, its edges
// kept as the active path, the first edge whose head is active closing the
// cycle. `back_only`: walk `in` rows alone (orientation 'reverse').
// `undirected`: an edge and its reverse are one edge. Empty: no cycle.
// Cost: O(starts x reach) as NetworkX's, each edge_dfs being fresh.
Result<std::vector<WalkedEdge>> first_cycle(const Csr& out, const Csr* in, bool back_only, bool undirected,
                                            const std::vector<Node>& starts);

// NetworkX's girth: a breadth-first search from every node in node order,
// stopped past the depth that could still shorten the shortest cycle found.
// nullopt: no cycle (NetworkX's inf). Cost: O(n x m).
Result<std::optional<Count>> girth(const Csr& adj);

// A cycle search handing out its cycles a batch at a time, its stacks kept
// between batches; rows are local positions 0..n-1.
class CycleCursor {
public:
    virtual ~CycleCursor() = default;
    // The next cycles, at most `limit`; fewer once the search is done.
    virtual Result<CycleLists> next(std::size_t limit) = 0;
};

// NetworkX's _johnson_cycle_search (no bound) or _bounded_cycle_search
// from `path` (one node, or an edge already taken out of the rows) over
// `rows`, each row in the order NetworkX's neighbourhood cache lists it.
std::unique_ptr<CycleCursor> johnson_cursor(Csr rows, std::vector<Node> path, std::optional<Count> length_bound);

// The rows of one component of chordless_cycles' search: `forward` rows,
// and `both` rows to block along (the same rows when undirected), with the
// blocking counts the stems' searches share (a stem's search starts after
// the one before it has ended, and clears what that one touched).
struct ChordlessRows {
    Csr forward;
    Csr both;
    std::vector<std::int64_t> blocked;
    std::vector<char> marked;   // touched since the last search began
    std::vector<Node> touched;
};

// NetworkX's _chordless_cycle_search from the stem `path` (three nodes).
std::unique_ptr<CycleCursor> chordless_cursor(std::shared_ptr<ChordlessRows> rows, std::vector<Node> path,
                                              std::optional<Count> length_bound);

// NetworkX's recursive_simple_cycles over directed `succ` rows: first [v]
// for each node with a self-loop, in node order (NetworkX reports and
// removes those), then Johnson's circuits. For each start s in node order,
// the strongly connected component of s among the nodes from s on is
// searched from s, each row in G's order restricted to the component and
// without self-loops. Cost: O(n x (n + m)) for the components, plus
// Johnson's O((n + m) x (cycles + 1)). A `multigraph` whose component view
// NetworkX lists in its set's order (a row over twice the component's size)
// is declined.
Result<CycleLists> recursive_cycles(const Csr& succ, const Csr& pred, bool multigraph);

// NetworkX's minimum_cycle_basis over undirected `adj` rows (G._adj's
// order), with the nodes' Python hashes (which order the component sets
// and the set of chords) and each slot's weight (nullptr: every weight 1).
// Weights must be non-negative, not NaN, and add up exactly as doubles.
// Cost per component: O(chords x n x m log n) for the Dijkstra searches.
Result<CycleLists> min_cycle_basis(const Csr& adj, const std::vector<std::int64_t>& hashes,
                                   const std::vector<double>* weights);

// CPython's hash of the 2-tuple (a, b) from its items' hashes (tuplehash,
// the xxHash-based one of CPython 3.8 on).
std::int64_t pair_tuple_hash(std::int64_t a, std::int64_t b);

}  // namespace fennel
