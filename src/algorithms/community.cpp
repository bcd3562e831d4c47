// NetworkX's label_propagation_communities: rounds over `order` (the
// visiting order the caller derives from NetworkX's colouring), each node
// taking its neighbours' most frequent label (the largest of several unless
// it holds one of them already), until every node holds one of its
// neighbours' most frequent labels.
//
// Cost: O(m) per round; the label counts are reset from the labels met, so
// a node costs its row, not n.
#include "algorithms/community.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <cstdint>

namespace fennel {

namespace {

// The labels most frequent among v's out-neighbours, in first-met order.
struct LabelCounter {
    std::vector<Count> count;   // by label, zero between calls
    std::vector<Node> met;      // labels met, first-met order
    std::vector<Node> top;      // the result

    const std::vector<Node>& most_frequent(const Csr& out, const std::vector<Node>& label, Node v) {
        Count best = 0;
        for (Node w : out.row(v)) {
            const Node l = label[w];
            if (count[l]++ == 0) met.push_back(l);
            best = std::max(best, count[l]);
        }
        top.clear();
        for (Node l : met) {
            if (count[l] == best) top.push_back(l);
            count[l] = 0;
        }
        met.clear();
        return top;
    }
};

bool contains(const std::vector<Node>& labels, Node l) {
    return std::find(labels.begin(), labels.end(), l) != labels.end();
}

}  // namespace

Result<std::vector<Node>> label_propagation(const Csr& out, const std::vector<Node>& order) {
    const Count n = out.node_count();
    // Anything but a permutation of every node could leave a label free to
    // change forever: the loop would never end.
    if (order.size() != n) return value_error("order must list every node once");
    {
        std::vector<std::uint8_t> listed(n, 0);
        for (Node v : order) {
            if (v >= n) return index_error();
            if (listed[v]) return value_error("order must list every node once");
            listed[v] = 1;
        }
    }
    std::vector<Node> label(n);
    for (Node v = 0; v < n; ++v) label[v] = v;
    LabelCounter counter{std::vector<Count>(n, 0), {}, {}};
    auto complete = [&] {
        for (Node v = 0; v < n; ++v) {
            if (out.begin(v) != out.end(v) && !contains(counter.most_frequent(out, label, v), label[v])) return false;
        }
        return true;
    };
    while (!complete()) {
        if (poll_interrupt()) return interrupted();
        for (Node v : order) {
            if (out.begin(v) == out.end(v)) continue;
            const std::vector<Node>& high = counter.most_frequent(out, label, v);
            if (high.size() == 1) {
                label[v] = high[0];
            } else if (!contains(high, label[v])) {
                label[v] = *std::max_element(high.begin(), high.end());
            }
        }
    }
    return label;
}

}  // namespace fennel
