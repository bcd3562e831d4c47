// Shortest paths as NetworkX's shortest_paths package finds them: from one
// source (unweighted and weighted lengths, trees and paths), from many
// sources at once (the all-pairs forms), between one pair (the two
// bidirectional searches) and all shortest paths of a pair.
//
// Lengths, trees and the predecessor lists behind all_shortest_paths are
// policies of the shared search engines; the two bidirectional searches,
// which grow two searches at once, have loops of their own.
//
// Breadth-first: nodes in discovery order with their hop counts (and
// discoverers); a node is expanded while its level is below the cutoff, and
// the search ends once every node is reached, as
// `_single_shortest_path_length` does. A node's parent is the node whose row
// discovered it first, so the tree is NetworkX's whatever the early exits.
//
// Dijkstra: nodes in settle order with their distances
// (`_dijkstra_multisource`): the cutoff filter comes before the
// contradiction check, and an edge that would shorten a settled node is
// NetworkX's "Contradictory paths found" (negative weights). A node's
// parent is the node whose relaxation last lowered its tentative distance,
// which is what `paths[pred[v][0]] + [v]` reads.
//
// The many-source forms run each source's search on the worker pool, one
// search state per piece of sources reset sparsely (cost follows reach), and
// return results in source order whatever the order in which workers finish.
//
// Preconditions: every source is below the node count of the rows searched.
#pragma once

#include "algorithms/search.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fennel {

class Beside;

// Parent of a search root.
inline constexpr Node NO_PARENT = 0xFFFFFFFFu;

// One breadth-first search: discovery order (the source first), and each
// entry's hop count and discoverer.
struct BfsTree {
    std::vector<Node> order;
    std::vector<std::uint32_t> levels;
    std::vector<Node> parents;  // NO_PARENT for the source
};

// Levels d < cutoff are expanded (a NaN or non-positive cutoff: none). Large
// levels are expanded on the pool, with the same result.
Result<BfsTree> breadth_first_tree(const Csr& rows, Node source, double cutoff);
// The same search into `out`, whose arrays hold the node count: returns how
// many nodes it reached. With `beside`, each entry is published once final
// (see Beside); the search stops early once the consumer cancels it.
Result<std::size_t> breadth_first_into(const Csr& rows, Node source, double cutoff, BfsTree& out, Beside* beside);
// Resizes the three arrays of `tree` to `size`.
void size_bfs_tree(BfsTree& tree, std::size_t size);
// The same with the caller's state, levels expanded while below `max_level`.
BfsTree breadth_first_tree(BfsState& state, const Csr& rows, Node source, std::uint32_t max_level);
// The search of each source, in source order.
Result<std::vector<BfsTree>> bfs_tree_many(const Csr& rows, std::span<const Node> sources, double cutoff);

struct DijkstraLengths {
    std::vector<Node> order;
    std::vector<double> dist;
    std::vector<std::uint8_t> kinds;  // of each order entry, over a column of mixed kinds
};

// Fails with NegativeCycle when an edge would shorten a settled node. The
// caller's state is reused across sources. Searches whose callers read only
// distances (the closeness and distance sums) skip the tree's bookkeeping.
Result<DijkstraLengths> dijkstra_lengths(DijkstraState& state, const GraphView& view, Node source,
                                         std::optional<double> cutoff);

// The Dijkstra length search of each source; nullopt where it meets a
// negative cycle (the other sources are unaffected).
Result<std::vector<std::optional<DijkstraLengths>>> dijkstra_many(const GraphView& view, std::span<const Node> sources,
                                                                  std::optional<double> cutoff);

// One Dijkstra tree search.
struct DijkstraTree {
    std::vector<Node> order;       // settle order, the source first
    std::vector<double> dist;      // distance of each order entry
    std::vector<Node> parent;      // of each order entry: the node whose edge last lowered it
    std::vector<Node> first_seen;  // order of first tentative distances, the source first
    std::vector<std::uint8_t> kinds;  // of each order entry's distance, over a column of mixed kinds
};

// The settle order, distances and (over a column of mixed kinds) kinds of
// dijkstra_tree's search without a target, into `out`, whose arrays hold
// the node count (kinds only when the view has kinds); each entry is
// published to `beside` once final. Returns how many nodes it settled.
Result<std::size_t> dijkstra_into(const GraphView& view, Node source, std::optional<double> cutoff,
                                  DijkstraTree& out, Beside& beside);

// Fails with NegativeCycle when an edge within the cutoff would shorten a
// settled node. With a target the search ends once it is settled; a target
// beyond the node count never matches.
Result<DijkstraTree> dijkstra_tree(const GraphView& view, Node source, std::optional<double> cutoff,
                                   std::optional<Node> target);
// One tree per source, in source order; nullopt where a search met a
// negative cycle.
Result<std::vector<std::optional<DijkstraTree>>> dijkstra_tree_many(const GraphView& view,
                                                                     std::span<const Node> sources,
                                                                     std::optional<double> cutoff);

struct DijkstraPath {
    double distance;
    std::uint8_t kind;  // ValueKind of the distance, over a column of mixed kinds
    std::vector<Node> path;  // source .. target
};

// The path of `tree` to `target` along settle parents; nullopt when the
// search did not settle the target (beyond the cutoff, unreachable, or past
// the node where it stopped).
std::optional<DijkstraPath> tree_path(const DijkstraTree& tree, Node target);

// Predecessor lists of every node on a shortest path from one source, in
// compressed rows: row v lists v's predecessors in the order the search met
// them, which is the order all_shortest_paths follows. A node the search
// never reached has an empty row, as has the source (unless zero-weight
// edges lead back into it).
struct PredLists {
    Csr rows;
    std::vector<std::uint8_t> reached;  // per node: the search reached it
    std::vector<Node> order;            // reached nodes, first-seen order (NetworkX's pred keys)
};

// NetworkX's `predecessor` (breadth-first, unweighted view) or
// `dijkstra_predecessor_and_distance` (weighted view); fails with
// NegativeCycle as the Dijkstra search does.
Result<PredLists> shortest_path_predecessors(const GraphView& view, Node source);

// The shortest paths from `source` to `target`, one at a time, in the order
// of NetworkX's `_build_paths_from_predecessors`: a depth-first walk from
// the target over the predecessor lists, each list in its stored order,
// never entering a node twice on one path.
//
// `skip_ends_pass` picks between the two releases of that walk. NetworkX
// 3.6 and earlier, after meeting a predecessor already on the path, go back
// to the top of their loop, so a source that has predecessors (zero-weight
// cycles through it) is yielded again at once; NetworkX 3.7 skips such
// predecessors within one pass and does not.
class AllPaths {
public:
    AllPaths(PredLists lists, Node source, Node target, bool skip_ends_pass);

    // Writes the next path (source first) into `path`; false once the walk
    // is over, and on every later call.
    bool next(std::vector<Node>& path);

private:
    Csr pred_;
    std::vector<Node> stack_;        // the partial path: target at the bottom
    std::vector<Slot> cursor_;       // per stack entry: next predecessor slot to try
    std::vector<std::uint8_t> on_stack_;
    Node source_;
    bool yielded_ = false;  // the stack, source on top, was just returned
    bool skip_ends_pass_;
};

// A path found by a bidirectional search, with the node where its two
// halves met: NetworkX's path holds the caller's source and target objects
// at its ends, except where the search met at that end, whose object then
// comes from the graph's own rows.
struct MetPath {
    std::vector<Node> path;
    Node meet;
};

// NetworkX's bidirectional_shortest_path: breadth-first from both ends,
// growing the smaller fringe a whole level at a time and stopping at the
// first node seen from both sides. `back` holds the rows walked from the
// target (predecessors in NetworkX's order on directed graphs). No path:
// nullopt. For source == target the path is the source, met there.
std::optional<MetPath> bidirectional_bfs(const Csr& forward, const Csr& back, Node source, Node target);

struct WeightedPath {
    double distance;
    std::vector<Node> path;
    Node meet;
};

// NetworkX's bidirectional_dijkstra for source != target: the two searches
// alternate pop by pop (stale heap entries included, since each pop flips
// the direction), and the best meeting is kept until a node is settled from
// both sides. An edge that would shorten a settled node fails with a
// ValueError of NetworkX's one-string message. No path: nullopt.
Result<std::optional<WeightedPath>> bidirectional_weighted(const GraphView& forward, const GraphView& back, Node source,
                                                           Node target);

}  // namespace fennel
