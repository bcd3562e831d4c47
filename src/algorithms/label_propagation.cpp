// asyn_lpa_communities: rounds over a fresh shuffle of the nodes; a node
// whose label is not among its out-neighbours' most frequent takes one of
// them by seed.choice, until a round changes nothing.
// fast_label_propagation_communities: a queue of the shuffled nodes; every
// node taken with a neighbour picks one of its most frequent labels by
// seed.choice (a single candidate too: the draw is made all the same) and,
// when its label changes, queues the neighbours that hold another label.
//
// Label counts: unweighted, one per neighbour entry (all_neighbors lists a
// directed node's predecessors, then its successors); weighted, 0.0 plus
// each weight in row order, successors then predecessors, as NetworkX's
// defaultdict(float) adds them. Candidates keep the order in which labels
// were first met, which is NetworkX's dict order.
//
// Cost: O(degree) per visit; the counts are reset from the labels met.
#include "algorithms/label_propagation.hpp"

#include "lib/pool.hpp"

#include <algorithm>
#include <deque>

namespace fennel {

namespace {

class LabelCounts {
public:
    explicit LabelCounts(Count n) : freq_(static_cast<std::size_t>(n), 0.0), seen_(static_cast<std::size_t>(n), 0) {}

    void add(Node label, double w) {
        if (!seen_[label]) {
            seen_[label] = 1;
            met_.push_back(label);
        }
        freq_[label] += w;
    }

    // The most frequent labels, first-met order; the counts are reset.
    const std::vector<Node>& best() {
        double top = -std::numeric_limits<double>::infinity();
        for (Node l : met_) top = std::max(top, freq_[l]);
        best_.clear();
        for (Node l : met_) {
            if (freq_[l] == top) best_.push_back(l);
            freq_[l] = 0.0;
            seen_[l] = 0;
        }
        met_.clear();
        return best_;
    }

private:
    std::vector<double> freq_;
    std::vector<std::uint8_t> seen_;
    std::vector<Node> met_;
    std::vector<Node> best_;
};

void count_row(LabelCounts& counts, const Csr& rows, const std::vector<double>* weights,
               const std::vector<Node>& label, Node v) {
    for (Slot s = rows.begin(v); s < rows.end(v); ++s) counts.add(label[rows.targets[s]], weights ? (*weights)[s] : 1.0);
}

}  // namespace

Result<std::vector<Node>> TwisterDraws::shuffled() {
    std::vector<Node> order(n_);
    for (Node v = 0; v < n_; ++v) order[v] = v;
    for (std::size_t i = order.size(); i-- > 1;) std::swap(order[i], order[rng_.randbelow(i + 1)]);
    return order;
}

Result<Node> TwisterDraws::choice(std::span<const Node> labels) {
    if (labels.empty()) return Error{ErrorKind::Index, "Cannot choose from an empty sequence"};
    return labels[rng_.randbelow(labels.size())];
}

Result<std::vector<Node>> asyn_lpa(const LabelRows& rows, Draws& draws) {
    const Csr& succ = *rows.succ;
    const Count n = succ.node_count();
    std::vector<Node> label(static_cast<std::size_t>(n));
    for (Node v = 0; v < n; ++v) label[v] = v;
    LabelCounts counts(n);
    bool changed = true;
    while (changed) {
        changed = false;
        auto order = draws.shuffled();
        if (!order.ok()) return order.error();
        for (Node v : order.value()) {
            if (succ.begin(v) == succ.end(v)) continue;
            count_row(counts, succ, rows.succ_weights, label, v);
            const std::vector<Node>& best = counts.best();
            if (std::find(best.begin(), best.end(), label[v]) != best.end()) continue;
            auto picked = draws.choice(best);
            if (!picked.ok()) return picked.error();
            label[v] = picked.value();
            changed = true;
        }
    }
    return label;
}

Result<std::vector<Node>> fast_label_propagation(const LabelRows& rows, Draws& draws) {
    const Csr& succ = *rows.succ;
    const Count n = succ.node_count();
    auto shuffled = draws.shuffled();
    if (!shuffled.ok()) return shuffled.error();
    std::deque<Node> queue(shuffled.value().begin(), shuffled.value().end());
    std::vector<std::uint8_t> queued(static_cast<std::size_t>(n), 1);
    std::vector<Node> label(static_cast<std::size_t>(n));
    for (Node v = 0; v < n; ++v) label[v] = v;
    LabelCounts counts(n);
    const bool weighted = rows.succ_weights != nullptr;
    const bool succ_first = weighted || rows.multigraph;
    std::size_t visits = 0;
    while (!queue.empty()) {
        const Node v = queue.front();
        queue.pop_front();
        queued[v] = 0;
        const bool has_pred = rows.pred != nullptr && rows.pred->begin(v) != rows.pred->end(v);
        if (succ.begin(v) == succ.end(v) && !has_pred) continue;
        if (rows.pred != nullptr && !succ_first) count_row(counts, *rows.pred, nullptr, label, v);
        count_row(counts, succ, rows.succ_weights, label, v);
        if (rows.pred != nullptr && succ_first) count_row(counts, *rows.pred, rows.pred_weights, label, v);
        auto picked = draws.choice(counts.best());
        if (!picked.ok()) return picked.error();
        const Node comm = picked.value();
        if (label[v] != comm) {
            label[v] = comm;
            auto enqueue = [&](const Csr& r) {
                for (Node w : r.row(v)) {
                    if (label[w] != comm && !queued[w]) {
                        queue.push_back(w);
                        queued[w] = 1;
                    }
                }
            };
            if (rows.pred != nullptr) enqueue(*rows.pred);
            enqueue(succ);
        }
        if ((++visits & 1023) == 0 && poll_interrupt()) return interrupted();
    }
    return label;
}

}  // namespace fennel
