// NetworkX's lowest common ancestors (lowest_common_ancestors.py): Tarjan's
// offline walk over a tree, and the walk down from the first common
// ancestor of a DAG, both handed out in batches as NetworkX's generators
// yield them.
#pragma once

#include "algorithms/set_table.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

// tree_all_pairs_lowest_common_ancestor's root when none is given: the one
// node without predecessors. `problem` names what NetworkX raises at the
// first node (in G's order) that rules the graph out.
struct TreeRoot {
    enum class Problem : std::uint8_t { NONE, MULTIPLE_SOURCES, NOT_A_TREE, NO_SOURCE };
    Problem problem = Problem::NONE;
    Node root = 0;
};
TreeRoot tree_root(const Csr& pred);

// The pairs asked for, looked up from either side: row v of `rows` lists the
// members of NetworkX's pair_dict[v] set in its iteration order, and each
// slot's flags say whether (v, member) (bit 0) and (member, v) (bit 1) are
// among the pairs.
struct PairRows {
    Csr rows;
    std::vector<std::uint8_t> flags;
};

// Tarjan's offline walk, as NetworkX's generator runs it: nodes in
// dfs_postorder_nodes(G, root) order (rows of `succ`); each node, once
// coloured, answers every coloured member of its pair row (or every
// coloured node in G's order, without pairs) with the label of that
// member's union-find set, then joins the set of its first predecessor in
// G.pred's order (`pred`), which takes that predecessor as its label.
// Any union-find gives the same labels: NetworkX relabels the merged set
// after every union.
class TreeLca {
public:
    TreeLca(Csr succ, Csr pred, Node root, std::optional<PairRows> pairs);

    // One yield: the pair (node, other) when `other_first` is false, else
    // (other, node); `other` is a position without pairs, else a slot of the
    // pair rows.
    struct Item {
        Node node;
        Node other;
        Node lca;
        bool other_first;
    };
    // Up to `limit` items more (fewer: the last ones).
    std::vector<Item> next(std::size_t limit);
    Node root() const { return root_; }

private:
    Node find(Node x);
    void unite(Node parent, Node child);
    // The next node of the postorder, or NONE at the end.
    Node next_postorder();

    static constexpr Node NONE = 0xFFFFFFFFu;
    Csr succ_, pred_;
    Node root_;
    std::optional<PairRows> pairs_;
    std::vector<Node> parent_, size_, label_;
    std::vector<std::uint8_t> visited_, coloured_;
    std::vector<std::pair<Node, Slot>> stack_;  // (node, next slot of its row)
    Node current_ = NONE;                       // the node answering its pairs
    std::size_t cursor_ = 0;                    // its next member (or node) to answer
    bool started_ = false;
};

// all_pairs_lowest_common_ancestor's answers. Each node's ancestor set is
// the Python set NetworkX builds (nx.ancestors' comprehension over the
// breadth-first search along `pred`, then .add(v)), replayed from the
// nodes' hashes; the common ancestors are CPython's set intersection of two
// of them (the smaller iterated, or the second when sizes tie, into a fresh
// set; a set with itself is copied), and the walk starts from the first of
// them and follows the first successor (rows of `succ`) still among them.
class DagLca {
public:
    DagLca(Csr succ, Csr pred, std::vector<std::int64_t> hashes);

    static constexpr Node NONE = 0xFFFFFFFFu;
    struct Answer {
        Node lca = NONE;  // NONE: no common ancestor (NetworkX yields nothing)
        // The answer is the common set's first member itself, and that member is
        // the node whose ancestor set was iterated: NetworkX hands out the object
        // it added to that set, not G's key.
        bool own_member = false;
    };
    Answer answer(Node v, Node w);

    // The pairs of combinations_with_replacement(G, 2) from the cursor on:
    // up to `limit` of them with a common ancestor (fewer: the last ones).
    struct Triple {
        Node v, w, lca;
    };
    std::vector<Triple> next_all(std::size_t limit);
    Count node_count() const { return succ_.node_count(); }

private:
    const SetTable& ancestors(Node v);

    Csr succ_, pred_;
    std::vector<std::int64_t> hash_;
    std::vector<std::optional<SetTable>> ancestors_;
    std::vector<Node> seen_, queue_;
    Node stamp_ = 0;
    Node i_ = 0, j_ = 0;  // the all-pairs cursor
};

}  // namespace fennel
