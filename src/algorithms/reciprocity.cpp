// NetworkX's _reciprocity_iter builds set(predecessors) and set(successors)
// per node; here one mark byte per neighbour stands for both sets, so the
// sizes and the overlap are counted in one pass over the two rows. The
// counts are integers, so the parallel split cannot change them.
#include "algorithms/reciprocity.hpp"

#include "lib/pool.hpp"

#include <cstdint>

namespace fennel {

namespace {

constexpr std::uint8_t PRED = 1;
constexpr std::uint8_t SUCC = 2;

struct Marks {
    std::vector<std::uint8_t> mark;
    std::vector<Node> touched;

    ReciprocityCount count(const Csr& out, const Csr& in, Node v) {
        ReciprocityCount c;
        for (Node w : in.row(v)) {
            if (mark[w] & PRED) continue;  // a repeated slot: the set holds it once
            if (mark[w] == 0) touched.push_back(w);
            mark[w] |= PRED;
            ++c.total;
        }
        for (Node w : out.row(v)) {
            if (mark[w] & SUCC) continue;
            if (mark[w] == 0) touched.push_back(w);
            mark[w] |= SUCC;
            ++c.total;
            c.overlap += (mark[w] & PRED) != 0;
        }
        for (Node w : touched) mark[w] = 0;
        touched.clear();
        return c;
    }
};

}  // namespace

Result<std::vector<ReciprocityCount>> reciprocity_counts(const Csr& out, const Csr& in,
                                                         const std::vector<Node>& nodes) {
    const Count n = out.node_count();
    return map_with_scratch(
        nodes.size(), [&] { return Marks{std::vector<std::uint8_t>(n, 0), {}}; },
        [&](Marks& m, std::size_t i) { return m.count(out, in, nodes[i]); });
}

Result<Count> reciprocated_pairs(const Csr& out, const Csr& in) {
    const Count n = out.node_count();
    std::vector<Node> all(n);
    for (Count v = 0; v < n; ++v) all[v] = static_cast<Node>(v);
    auto counts = reciprocity_counts(out, in, all);
    if (!counts.ok()) return counts.error();
    Count pairs = 0;
    for (Count v = 0; v < n; ++v) {
        // A self-loop sits in both of v's sets but is no pair.
        bool loop = false;
        for (Node w : out.row(static_cast<Node>(v))) loop |= w == v;
        pairs += counts.value()[v].overlap - (loop ? 1 : 0);
    }
    return pairs;
}

}  // namespace fennel
