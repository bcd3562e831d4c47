// Structural holes. NetworkX recomputes every normalising sum inside its
// innermost loop; here each node's neighbour set, mutual weights and their
// sum and max are formed once (on the worker pool, for the requested nodes
// and their neighbours), and each requested
// node's measure is then the loop NetworkX runs, with the mutual weights of
// a second node looked up through a stamped array. Cost: the sets of the
// nodes and their neighbours, then O(sum over the node's neighbours n of deg(n) + deg(v)) per
// node.
#include "algorithms/structuralholes.hpp"

#include "algorithms/set_table.hpp"
#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fennel {

namespace {

constexpr double NAN_VALUE = std::numeric_limits<double>::quiet_NaN();

struct Neighbourhoods {
    std::vector<Slot> start;       // n + 1 offsets
    std::vector<Node> node;        // set(all_neighbors(G, v)) in iteration order
    std::vector<double> mutual;    // mutual_weight(G, v, w) of each
    std::vector<double> sum;       // sum() of v's mutual weights
    std::vector<double> max;       // max() of them (first of equals)
};

struct Stamps {
    std::vector<std::uint64_t> at;
    std::vector<double> value;
    std::uint64_t token = 0;
    explicit Stamps(Count n) : at(n, 0), value(n, 0.0) {}
};

double weight_at(const std::vector<double>* column, Slot s) { return column ? (*column)[s] : 1.0; }

// The neighbourhoods of the nodes `wanted` (the others left empty).
Result<Neighbourhoods> neighbourhoods(const HolesInput& in, bool compensated, std::span<const Node> wanted) {
    const Count n = in.succ->node_count();
    // Sizes first: the set holds each distinct neighbour once.
    std::vector<std::vector<Node>> sets(n);
    std::vector<std::vector<double>> mutual(n);
    Neighbourhoods out;
    out.sum.assign(n, 0.0);
    out.max.assign(n, 0.0);
    const Pieces pieces = split(wanted.size());
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        Stamps out_w(n), in_w(n);
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            const Node v = wanted[i];
            SetTable set;
            const std::uint64_t token = ++out_w.token;
            in_w.token = token;
            if (in.pred) {
                for (Slot s = in.pred->begin(v); s < in.pred->end(v); ++s) {
                    const Node w = in.pred->targets[s];
                    set.add(w, in.hashes[w]);
                    in_w.at[w] = token;
                    in_w.value[w] = weight_at(in.pred_weights, s);
                }
            }
            for (Slot s = in.succ->begin(v); s < in.succ->end(v); ++s) {
                const Node w = in.succ->targets[s];
                set.add(w, in.hashes[w]);
                out_w.at[w] = token;
                out_w.value[w] = weight_at(in.succ_weights, s);
            }
            auto& nodes = sets[v];
            auto& weights = mutual[v];
            nodes.reserve(set.size());
            set.each([&](Node w) { nodes.push_back(w); });
            weights.reserve(nodes.size());
            for (Node w : nodes) {
                // G[v][w].get(weight, 1) + G[w][v].get(weight, 1); undirected
                // rows read the one edge twice.
                const double a = out_w.at[w] == token ? out_w.value[w] : 0.0;
                const double b = in.pred ? (in_w.at[w] == token ? in_w.value[w] : 0.0) : a;
                weights.push_back(a + b);
            }
            // sum() over ints stays exact; over floats it is CPython's.
            PySum total(compensated && !in.int_weights);
            double best = weights.empty() ? 0.0 : weights[0];
            for (double x : weights) {
                if (in.int_weights) {
                    total.add_plain(x);
                } else {
                    total.add(x);
                }
                if (x > best) best = x;
            }
            out.sum[v] = total.result();
            out.max[v] = best;
        }
    });
    if (!st.ok()) return st.error();
    out.start.assign(n + 1, 0);
    for (Count v = 0; v < n; ++v) out.start[v + 1] = out.start[v] + sets[v].size();
    out.node.reserve(out.start[n]);
    out.mutual.reserve(out.start[n]);
    for (Count v = 0; v < n; ++v) {
        out.node.insert(out.node.end(), sets[v].begin(), sets[v].end());
        out.mutual.insert(out.mutual.end(), mutual[v].begin(), mutual[v].end());
    }
    return out;
}

// normalized_mutual_weight: the int 0 when the scale is 0, else a float.
HolesValue normalized(double mutual, double scale) {
    if (scale == 0.0) return {0.0, true};
    return {mutual / scale, false};
}

// Marks v's mutual weights in `marks` for lookups by neighbour.
void mark(const Neighbourhoods& nb, Node v, Stamps& marks) {
    const std::uint64_t token = ++marks.token;
    for (Slot k = nb.start[v]; k < nb.start[v + 1]; ++k) {
        marks.at[nb.node[k]] = token;
        marks.value[nb.node[k]] = nb.mutual[k];
    }
}

// mutual_weight(G, x, w) for the node last marked (the weight is
// symmetric): the int 0 (as 0.0) when they are not adjacent.
double marked(const Stamps& marks, Node w) { return marks.at[w] == marks.token ? marks.value[w] : 0.0; }

void add(KindSum& sum, HolesValue x) { sum.add(x.value, x.is_int ? PY_INT : PY_FLOAT); }

HolesValue result(const KindSum& sum) { return {sum.value(), sum.kind() == PY_INT}; }

HolesValue product(HolesValue a, HolesValue b) { return {a.value * b.value, a.is_int && b.is_int}; }

// x ** 2 for a float x: a finite x whose square overflows makes Python raise.
HolesValue squared(double x) {
    const double y = libm_pow(x, 2.0);
    return {y, false, std::isinf(y) && std::isfinite(x)};
}

// local_constraint(G, v, u) with u's mutual weights marked.
HolesValue local(const Neighbourhoods& nb, const Stamps& marks, Node v, Slot at_u, bool compensated) {
    const double scale = nb.sum[v];
    const HolesValue direct = normalized(nb.mutual[at_u], scale);
    KindSum indirect(compensated);
    for (Slot k = nb.start[v]; k < nb.start[v + 1]; ++k) {
        const Node w = nb.node[k];
        add(indirect, product(normalized(nb.mutual[k], scale), normalized(marked(marks, w), nb.sum[w])));
    }
    const HolesValue ind = result(indirect);
    if (direct.is_int && ind.is_int) return {0.0, true};  // 0 ** 2
    return squared(direct.value + ind.value);
}

HolesValue constraint_of(const HolesInput& in, const Neighbourhoods& nb, Stamps& marks, Node v, bool compensated) {
    if (in.succ->row(v).empty()) return {NAN_VALUE, false};
    KindSum total(compensated);
    for (Slot i = nb.start[v]; i < nb.start[v + 1]; ++i) {
        mark(nb, nb.node[i], marks);
        const HolesValue term = local(nb, marks, v, i, compensated);
        if (term.out_of_range) return term;
        add(total, term);
    }
    return result(total);
}

bool only_itself(const Csr& succ, Node v) {
    for (Node w : succ.row(v)) {
        if (w != v) return false;
    }
    return true;
}

HolesValue effective_size_of(const HolesInput& in, const Neighbourhoods& nb, Stamps& marks, Node v, bool compensated,
                             bool loops_isolate) {
    if (loops_isolate ? only_itself(*in.succ, v) : in.succ->row(v).empty()) return {NAN_VALUE, false};
    KindSum total(compensated);
    for (Slot i = nb.start[v]; i < nb.start[v + 1]; ++i) {
        // redundancy(G, v, u): 1 - sum(nmw(v, w) * nmw(u, w, norm=max)).
        const Node u = nb.node[i];
        mark(nb, u, marks);
        KindSum r(compensated);
        for (Slot k = nb.start[v]; k < nb.start[v + 1]; ++k) {
            const Node w = nb.node[k];
            add(r, product(normalized(nb.mutual[k], nb.sum[v]), normalized(marked(marks, w), nb.max[u])));
        }
        const HolesValue red = result(r);
        add(total, {1.0 - red.value, red.is_int});
    }
    return result(total);
}

// Borgatti's e(v) = n - 2t / n over the ego network without v: n its other
// nodes, t the edges among them (their self-loops included).
HolesValue borgatti(const Csr& succ, Stamps& marks, Node v, bool loops_isolate) {
    if (loops_isolate ? only_itself(succ, v) : succ.row(v).empty()) return {NAN_VALUE, false};
    const std::uint64_t token = ++marks.token;
    std::uint64_t k = 0;
    for (Node w : succ.row(v)) {
        if (w != v && marks.at[w] != token) {
            marks.at[w] = token;
            ++k;
        }
    }
    std::uint64_t t = 0;
    for (Node x : succ.row(v)) {
        if (x == v) continue;
        for (Node y : succ.row(x)) {
            if (y >= x && y != v && marks.at[y] == token) ++t;
        }
    }
    const double size = static_cast<double>(k);
    return {size - static_cast<double>(2 * t) / size, false};
}

// The nodes whose neighbourhoods the measures of `nodes` read: the nodes
// and their neighbours either way.
std::vector<Node> reach_of(const HolesInput& in, std::span<const Node> nodes) {
    const Count n = in.succ->node_count();
    std::vector<std::uint8_t> seen(n, 0);
    std::vector<Node> out;
    auto take = [&](Node w) {
        if (!seen[w]) {
            seen[w] = 1;
            out.push_back(w);
        }
    };
    for (Node v : nodes) {
        take(v);
        for (Node w : in.succ->row(v)) take(w);
        if (in.pred) {
            for (Node w : in.pred->row(v)) take(w);
        }
    }
    return out;
}

}  // namespace

Result<std::vector<HolesValue>> structural_holes(const HolesInput& in, HolesMeasure measure,
                                                 std::span<const Node> nodes, bool compensated, bool loops_isolate) {
    const Count n = in.succ->node_count();
    std::vector<HolesValue> out(nodes.size());
    if (measure == HolesMeasure::EffectiveSizeUnweighted) {
        const Pieces pieces = split(nodes.size());
        Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
            Stamps marks(n);
            for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
                out[i] = borgatti(*in.succ, marks, nodes[i], loops_isolate);
            }
        });
        if (!st.ok()) return st.error();
        return out;
    }
    auto nb = neighbourhoods(in, compensated, reach_of(in, nodes));
    if (!nb.ok()) return nb.error();
    const Neighbourhoods& hoods = nb.value();
    const Pieces pieces = split(nodes.size());
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        Stamps marks(n);
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            out[i] = measure == HolesMeasure::Constraint
                         ? constraint_of(in, hoods, marks, nodes[i], compensated)
                         : effective_size_of(in, hoods, marks, nodes[i], compensated, loops_isolate);
        }
    });
    if (!st.ok()) return st.error();
    // NetworkX's loop raises at the first square that overflows.
    for (const HolesValue& x : out) {
        if (x.out_of_range) return out_of_range();
    }
    return out;
}

Result<HolesValue> local_constraint(const HolesInput& in, Node u, Node v, bool compensated) {
    const Node pair[2] = {u, v};
    auto nb = neighbourhoods(in, compensated, reach_of(in, pair));
    if (!nb.ok()) return nb.error();
    const Neighbourhoods& hoods = nb.value();
    Stamps marks(in.succ->node_count());
    mark(hoods, v, marks);
    // direct: nmw(u, v), v's mutual weight with u whether or not adjacent.
    const double scale = hoods.sum[u];
    const HolesValue direct = normalized(marked(marks, u), scale);
    KindSum indirect(compensated);
    for (Slot k = hoods.start[u]; k < hoods.start[u + 1]; ++k) {
        const Node w = hoods.node[k];
        add(indirect, product(normalized(hoods.mutual[k], scale), normalized(marked(marks, w), hoods.sum[w])));
    }
    const HolesValue ind = result(indirect);
    if (direct.is_int && ind.is_int) return HolesValue{0.0, true};
    const HolesValue found = squared(direct.value + ind.value);
    if (found.out_of_range) return out_of_range();
    return found;
}

SortedRows sorted_rows(const Csr& succ, const std::vector<double>* weights) {
    const Count n = succ.node_count();
    SortedRows out;
    out.indptr.assign(n + 1, 0);
    out.indices.reserve(succ.slot_count());
    out.data.reserve(succ.slot_count());
    std::vector<std::pair<Node, double>> row;
    for (Node v = 0; v < n; ++v) {
        row.clear();
        for (Slot s = succ.begin(v); s < succ.end(v); ++s) row.emplace_back(succ.targets[s], weight_at(weights, s));
        std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [w, x] : row) {
            out.indices.push_back(w);
            out.data.push_back(x);
        }
        out.indptr[v + 1] = static_cast<std::int64_t>(out.indices.size());
    }
    return out;
}

Result<std::vector<double>> constraint_rows(std::span<const std::int64_t> indptr,
                                            std::span<const std::int64_t> indices, std::span<const double> data) {
    const std::size_t n = indptr.empty() ? 0 : indptr.size() - 1;
    std::vector<double> out(n, 0.0);
    const Pieces pieces = split(n);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        // place[k]: k's offset in the current row while M[i,k] > 0, else -1.
        std::vector<std::int64_t> place(n, -1);
        std::vector<double> product;
        std::vector<double> terms;
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            const std::int64_t lo = indptr[i];
            const std::int64_t hi = indptr[i + 1];
            product.assign(static_cast<std::size_t>(hi - lo), 0.0);
            for (std::int64_t s = lo; s < hi; ++s) {
                if (data[s] > 0) place[indices[s]] = s - lo;
            }
            for (std::int64_t s = lo; s < hi; ++s) {
                const double a = data[s];
                const auto j = static_cast<std::size_t>(indices[s]);
                for (std::int64_t t = indptr[j]; t < indptr[j + 1]; ++t) {
                    const std::int64_t q = place[indices[t]];
                    if (q >= 0) product[q] += a * data[t];
                }
            }
            terms.clear();
            for (std::int64_t s = lo; s < hi; ++s) {
                if (!(data[s] > 0)) continue;
                place[indices[s]] = -1;
                const double x = data[s] + product[s - lo];
                const double term = x * x;
                if (term != 0.0) terms.push_back(term);
            }
            if (!terms.empty()) out[i] = numpy_segment_sum([&](std::size_t k) { return terms[k]; }, 0, terms.size());
        }
    });
    if (!st.ok()) return st.error();
    return out;
}

}  // namespace fennel
