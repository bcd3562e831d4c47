// NetworkX's cliques (clique.py: find_cliques, find_cliques_recursive,
// enumerate_all_cliques, node_clique_number, max_weight_clique) and clique
// percolation (community/kclique.py: k_clique_communities).
//
// find_cliques is Tomita's pivoting Bron-Kerbosch over Python sets: the
// pivot is the first node of `subg`, in its iteration order, with the most
// neighbours in `cand`; the branches are `cand - adj[u]` in its iteration
// order; every intersection iterates the smaller operand (the right one on a
// tie) and inserts what it finds. Those orders are CPython's set tables,
// replayed here by SetTable from the nodes' hashes, so the cliques come out
// in NetworkX's order, each in NetworkX's node order. find_cliques_recursive
// pops the same branches in the same order (a fresh set pops in table order)
// and gives the same cliques.
//
// Precondition: an undirected graph whose neighbour keys are the node
// objects (so a position stands for one object and one hash).
#pragma once

#include "algorithms/set_table.hpp"
#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// Cliques as positions: clique i is nodes[bounds[i]:bounds[i + 1]].
struct CliqueList {
    std::vector<Node> nodes;
    std::vector<Node> bounds{0};
};

// find_cliques' state between steps of its generator: the stack of
// (subg, cand, ext_u) and the nodes chosen so far.
class CliqueSearch {
public:
    // adj = {u: {v for v in G[u] if v != u}} and set(G) from `rows`; the
    // `prefix` (the caller's `nodes`) narrows cand as NetworkX's `cand &=`
    // does. `valid()` is false when a prefix node is not in cand then.
    CliqueSearch(const Csr& rows, std::vector<std::int64_t> hashes, const std::vector<Node>& prefix);

    // How many prefix nodes passed NetworkX's check, in order.
    std::size_t valid_prefix() const { return valid_prefix_; }
    // Whether the prefix left cand empty: it is then the only clique.
    bool lone() const { return lone_; }

    // Up to `limit` more cliques (the part past the prefix) of at least
    // `min_size` nodes past it, in NetworkX's order; fewer only when the
    // search is done. A branch never changes its parent's sets, so skipping
    // those too small to reach `min_size` leaves the others' order alone.
    Result<CliqueList> next(std::size_t limit, std::size_t min_size = 0);
    bool done() const { return done_; }
    std::size_t node_count() const { return offsets_.size() - 1; }

private:
    struct Frame {
        SetTable subg;
        SetTable cand;
        std::vector<Node> ext;  // cand - adj[u], in pop order
        std::size_t next = 0;
    };

    std::size_t degree(Node u) const { return offsets_[u + 1] - offsets_[u]; }
    bool adjacent(Node u, Node x) const;
    template <class F>
    void for_row(Node u, F&& f) const {
        for (std::size_t i = offsets_[u]; i < offsets_[u + 1]; ++i) f(order_[i]);
    }
    // r = s & adj[q] (set_intersection, into a fresh set), `in_s` telling
    // s's members. r's memory is reused.
    template <class InS>
    void intersect(SetTable& r, const SetTable& s, InS&& in_s, Node q);
    // The pivot's branches for the frame `top` at `depth` (the first is 1):
    // u = max(subg, key=len(cand & adj[u])), cand - adj[u].
    void branch(Frame& top, std::uint32_t depth);

    std::vector<std::int64_t> hash_;
    std::vector<std::size_t> offsets_;
    std::vector<Node> order_;   // each adj[u] in its iteration order
    std::vector<Node> sorted_;  // each adj[u], sorted when longer than LINEAR_DEGREE, for membership
    // The rows of high degree as bitmaps of n bits (within a memory
    // budget), so that membership in them is one read, not a long search.
    std::vector<std::uint64_t> row_bits_;
    std::vector<std::uint32_t> bits_of_;  // each node's bitmap (offset in words), or NO_BITS
    static constexpr std::uint32_t NO_BITS = 0xFFFFFFFFu;
    // Rows up to this long are scanned rather than searched for a member.
    static constexpr std::size_t LINEAR_DEGREE = 32;
    std::vector<Frame> stack_;  // (subg, cand, ext_u) per depth; see next()
    // Each frame's sets are within its parent's, so one number per node
    // tells its membership in every frame's subg (cand): the depth of the
    // deepest frame holding it. Membership reads it rather than probing
    // the frame's table.
    std::vector<std::uint32_t> subg_depth_;
    std::vector<std::uint32_t> cand_depth_;
    std::vector<std::uint8_t> marks_;  // a row marked for one step of the search, else all 0
    std::vector<Node> chosen_;  // Q past the prefix; its last entry is the open slot
    std::size_t valid_prefix_ = 0;
    bool done_ = false;
    bool lone_ = false;  // cand emptied by the prefix: the prefix is the one clique
};

// k_clique_communities after its cliques: `cliques` are find_cliques' lists
// of size >= k in order, `clique_hashes` hash() of each one's frozenset,
// `hashes` each node's hash(). Returns each community's cliques (indices)
// in the iteration order of connected_components' set of frozensets, the
// communities in NetworkX's order.
Result<CliqueList> clique_percolation(const CliqueList& cliques, std::size_t k,
                                      const std::vector<std::int64_t>& clique_hashes,
                                      const std::vector<std::int64_t>& hashes, std::size_t n);

// enumerate_all_cliques' state between steps of its generator. NetworkX's
// breadth-first queue hands out every clique of k nodes before any of
// k + 1, and those of k nodes in lexicographic order of their positions
// (each base + cnbrs stays sorted by G's order). A depth-first walk to
// depth k gives the same order with memory bounded by k candidate lists, so
// each size walks again from the top, skipping branches too short to reach
// it; a size with no clique ends the walk.
class CliqueLevels {
public:
    explicit CliqueLevels(const Csr& rows);

    // Up to `limit` more cliques in NetworkX's order; fewer only when done.
    Result<CliqueList> next(std::size_t limit);
    std::size_t node_count() const { return offsets_.size() - 1; }

private:
    struct Frame {
        std::vector<Node> cand;  // common neighbours after the base, ascending
        std::size_t next = 0;
    };

    std::vector<std::size_t> offsets_;
    std::vector<Node> later_;  // each node's neighbours after it, ascending
    std::vector<Frame> stack_;
    std::vector<Node> base_;
    std::size_t size_ = 0;  // the clique size being walked; 0 before the first
    bool found_ = true;
    bool done_ = false;
};

// node_clique_number over find_cliques' cliques: the nodes in the order
// they first appear in them, and the size of each one's largest clique.
struct CliqueNumbers {
    std::vector<Node> nodes;
    std::vector<std::uint32_t> sizes;
};
Result<CliqueNumbers> clique_numbers(const Csr& rows, std::vector<std::int64_t> hashes);

// The size of the largest clique through each of `nodes` (that of the ego
// graph's largest maximal clique, which NetworkX takes).
Result<std::vector<std::uint32_t>> clique_numbers_at(const Csr& rows, const std::vector<Node>& nodes);

// max_weight_clique's branch and bound, step for step: nodes by degree
// (NetworkX's `degrees`, ties in node order), positive weights only, the
// branching nodes of a greedy colouring popped from the back. A search
// deeper than `max_depth` stops with `deep` set, before NetworkX's own
// recursion would come near its limit.
struct WeightedClique {
    std::vector<Node> nodes;
    std::int64_t weight = 0;
    bool deep = false;
};
Result<WeightedClique> max_weight_clique(const Csr& rows, const std::vector<std::int64_t>& degrees,
                                         const std::vector<std::int64_t>& weights, std::size_t max_depth);

}  // namespace fennel
