#include "serialize/graph_bytes.hpp"

#include "lib/pool.hpp"
#include "native/builder.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <limits>

namespace fennel {

namespace {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

// Writing.

class Writer {
public:
    explicit Writer(std::size_t estimate) { out_.reserve(estimate); }

    void raw(const void* p, std::size_t k) { out_.append(static_cast<const char*>(p), k); }
    void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void flag(bool v) { u8(v ? 1 : 0); }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void str(const std::string& s) {
        u64(s.size());
        raw(s.data(), s.size());
    }
    template <class T>
    void elements(const std::vector<T>& v) {
        if constexpr (std::endian::native == std::endian::little) {
            raw(v.data(), v.size() * sizeof(T));
        } else {
            for (const T& x : v) {
                if constexpr (sizeof(T) == 8) {
                    u64(std::bit_cast<std::uint64_t>(x));
                } else if constexpr (sizeof(T) == 4) {
                    u32(x);
                } else {
                    u8(x);
                }
            }
        }
    }
    template <class T>
    void array(const std::vector<T>& v) {
        u64(v.size());
        elements(v);
    }
    void csr(const Csr& rows) {
        array(rows.offsets);
        array(rows.targets);
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Reading: each operation advances the position, or fails (false) without
// reading past the end. Counts are checked against the bytes left before
// anything is allocated.

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data, std::size_t pos) : data_(data), pos_(pos) {}

    bool at_end() const { return pos_ == data_.size(); }

    bool u64(std::uint64_t& v) {
        if (left() < 8) return false;
        v = 0;
        for (int i = 0; i < 8; ++i) v |= std::uint64_t{data_[pos_ + i]} << (8 * i);
        pos_ += 8;
        return true;
    }
    bool u8(std::uint8_t& v) {
        if (left() < 1) return false;
        v = data_[pos_++];
        return true;
    }
    bool flag(bool& v) {
        if (left() < 1 || data_[pos_] > 1) return false;
        v = data_[pos_++] == 1;
        return true;
    }
    // An element count whose `size`-byte elements fit in what is left.
    bool len(std::size_t size, std::uint64_t& count) {
        if (!u64(count)) return false;
        return count <= left() / size;
    }
    bool str(std::string& s) {
        std::uint64_t k;
        if (!len(1, k)) return false;
        s.assign(reinterpret_cast<const char*>(data_.data() + pos_), static_cast<std::size_t>(k));
        pos_ += static_cast<std::size_t>(k);
        return valid_utf8(s);
    }
    template <class T>
    bool array(std::vector<T>& v) {
        std::uint64_t k;
        if (!len(sizeof(T), k)) return false;
        v.resize(static_cast<std::size_t>(k));
        const std::uint8_t* p = data_.data() + pos_;
        if constexpr (std::endian::native == std::endian::little) {
            if (k > 0) std::memcpy(v.data(), p, static_cast<std::size_t>(k) * sizeof(T));
        } else {
            for (std::size_t i = 0; i < k; ++i) {
                std::uint64_t x = 0;
                for (std::size_t b = 0; b < sizeof(T); ++b) x |= std::uint64_t{p[i * sizeof(T) + b]} << (8 * b);
                if constexpr (sizeof(T) == 8) {
                    v[i] = std::bit_cast<T>(x);
                } else {
                    v[i] = static_cast<T>(x);
                }
            }
        }
        pos_ += static_cast<std::size_t>(k) * sizeof(T);
        return true;
    }
    // Rows over n nodes: n + 1 offsets from 0, never decreasing, ending at
    // the target count; every target below n.
    bool csr(Count n, Csr& rows) {
        if (!array(rows.offsets) || !array(rows.targets)) return false;
        if (rows.offsets.size() != n + 1 || rows.offsets[0] != 0 || rows.offsets[n] != rows.targets.size()) {
            return false;
        }
        for (Count u = 0; u < n; ++u) {
            if (rows.offsets[u] > rows.offsets[u + 1]) return false;
        }
        return std::all_of(rows.targets.begin(), rows.targets.end(), [&](Node v) { return v < n; });
    }

private:
    std::size_t left() const { return data_.size() - pos_; }

    // Strict UTF-8, as Python decodes it: no overlong forms, no surrogates,
    // nothing beyond U+10FFFF.
    static bool valid_utf8(const std::string& s) {
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        const std::size_t k = s.size();
        for (std::size_t i = 0; i < k;) {
            const unsigned c = p[i];
            std::size_t extra;
            unsigned lo = 0x80;
            unsigned hi = 0xBF;
            if (c < 0x80) {
                ++i;
                continue;
            } else if (c >= 0xC2 && c <= 0xDF) {
                extra = 1;
            } else if (c >= 0xE0 && c <= 0xEF) {
                extra = 2;
                if (c == 0xE0) lo = 0xA0;
                if (c == 0xED) hi = 0x9F;
            } else if (c >= 0xF0 && c <= 0xF4) {
                extra = 3;
                if (c == 0xF0) lo = 0x90;
                if (c == 0xF4) hi = 0x8F;
            } else {
                return false;
            }
            if (k - i <= extra) return false;
            for (std::size_t j = 1; j <= extra; ++j) {
                const unsigned b = p[i + j];
                if (b < (j == 1 ? lo : 0x80) || b > (j == 1 ? hi : 0xBF)) return false;
            }
            i += extra + 1;
        }
        return true;
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_;
};

Error malformed() { return value_error("malformed fennel graph data"); }

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool same_rows(const Csr& a, const Csr& b) { return a.offsets == b.offsets && a.targets == b.targets; }

bool integral(double x) { return std::isfinite(x) && x == std::trunc(x); }

constexpr std::uint8_t INT_KINDS = (1u << PY_INT) | (1u << NP_INT);
constexpr std::uint8_t FLOAT_KINDS = (1u << PY_FLOAT) | (1u << NP_FLOAT);

// The slot kinds of a column written before they were kept: from the flags,
// with the kinds of a column mixing ints and floats left unknown.
void infer_kinds(Weights& w) {
    w.slot_kinds = static_cast<std::uint8_t>((w.has_int ? 1u << PY_INT : 0u) | (w.all_int ? 0u : 1u << PY_FLOAT));
    w.kinds.clear();
}

// Kinds agree with the flags, and spelled-out kinds with the kinds seen.
bool valid_kinds(const Weights& w) {
    if (w.slot_kinds >= 16 || ((w.slot_kinds & FLOAT_KINDS) == 0) != w.all_int) return false;
    if (((w.slot_kinds & INT_KINDS) != 0) != w.has_int) return false;
    if (w.kinds.empty()) return w.uniform_kind() >= 0;
    if (w.kinds.size() != w.values.size() || w.uniform_kind() >= 0) return false;
    std::uint8_t seen = 0;
    for (std::size_t s = 0; s < w.kinds.size(); ++s) {
        if (w.kinds[s] > NP_FLOAT) return false;
        if (!std::isnan(w.values[s])) seen |= static_cast<std::uint8_t>(1u << w.kinds[s]);
    }
    return seen == w.slot_kinds;
}

// Whether row v of `given` lists the entries of row v of `canonical` (the
// in-rows by ascending source, equal sources in succ slot order) in any
// order; fills perm[p] = the succ slot of given slot p.
bool transposed(const Csr& given, const Csr& canonical, const std::vector<Slot>& canonical_perm,
                std::vector<Slot>& perm) {
    if (given.offsets != canonical.offsets) return false;
    perm.assign(given.slot_count(), 0);
    std::vector<std::pair<Node, Slot>> row;
    for (Count v = 0; v + 1 < given.offsets.size(); ++v) {
        const Node x = static_cast<Node>(v);
        row.clear();
        for (Slot p = given.begin(x); p < given.end(x); ++p) row.emplace_back(given.targets[p], p);
        std::stable_sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        Slot c = canonical.begin(x);
        for (const auto& [source, p] : row) {
            if (canonical.targets[c] != source) return false;
            perm[p] = canonical_perm[c++];
        }
    }
    return true;
}

// No row lists one target twice.
bool rows_distinct(const Csr& rows) {
    const Count n = rows.node_count();
    std::vector<Node> seen(static_cast<std::size_t>(n), std::numeric_limits<Node>::max());
    for (Count u = 0; u < n; ++u) {
        for (Node v : rows.row(static_cast<Node>(u))) {
            if (seen[v] == u) return false;
            seen[v] = static_cast<Node>(u);
        }
    }
    return true;
}

// Facts the byte format does not keep, recomputed from the values.
void recompute_facts(Weights& w) {
    w.facts = ValueFacts{};
    for (double x : w.values) {
        if (std::isnan(x)) continue;
        if (std::isinf(x)) {
            (x > 0 ? w.facts.pos_inf : w.facts.neg_inf) = true;
        } else {
            w.facts.min_finite = std::min(w.facts.min_finite, x);
            w.facts.max_finite = std::max(w.facts.max_finite, x);
        }
    }
}

// A native attribute column: one value and kind per edge, each value what
// its kind stores.
bool valid_attr(const EdgeAttr& a, std::size_t m) {
    if (a.values.size() != m || a.kinds.size() != m) return false;
    for (std::size_t e = 0; e < m; ++e) {
        const double x = a.values[e];
        bool ok = false;
        switch (a.kinds[e]) {
            case KIND_ABSENT: ok = std::bit_cast<std::uint64_t>(x) == 0; break;
            case KIND_INT: ok = integral(x) && std::fabs(x) <= 9007199254740992.0; break;
            case KIND_FLOAT: ok = !std::isnan(x); break;
            // The one NaN the builder stores for None (a graph keeps no other).
            case KIND_NONE: ok = std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(std::nan("")); break;
            case KIND_BOOL: ok = x == 0.0 || x == 1.0; break;
            default: ok = false;
        }
        if (!ok) return false;
    }
    return true;
}

struct Parts {
    int version = 4;
    std::unique_ptr<CoreGraph> g = std::make_unique<CoreGraph>();
    std::unique_ptr<ExactPred> exact;
    std::optional<NativeEdges> native;  // a native graph's edge list as stored
};

// Checks a graph read from bytes against the invariants of the builder that
// made it: a native graph must reassemble from its edge list to exactly its
// rows and columns; a converted graph (pred_exact false) has duplicate-free,
// symmetric (undirected) rows and predecessor rows by ascending source; a
// rustworkx-ordered graph (pred_exact, not native) keeps parallel edges but
// its in-rows are still the transpose of its rows.
// A step that fails for another reason than the data (an interrupt, no
// memory) leaves that error in `stopped` instead of calling the data
// malformed; a Ctrl-C is looked for between the steps.
bool consistent(Parts& parts, std::optional<Error>& stopped) {
    auto stop = [&](const Error& e) {
        if (e.kind == ErrorKind::Interrupted || e.kind == ErrorKind::Memory) stopped = e;
        return false;
    };
    auto interrupted_now = [&] { return poll_interrupt() && !stop(interrupted()); };
    CoreGraph& g = *parts.g;
    const bool native = parts.native.has_value();
    const bool multi_rows = !native && g.pred_exact;
    if (!multi_rows && !rows_distinct(g.succ)) return false;
    if (interrupted_now()) return false;

    std::vector<Slot> canonical_perm;
    auto canonical = counting_sort_pred(g.succ, canonical_perm);
    if (!canonical.ok()) return stop(canonical.error());
    const Csr& in = canonical.value();

    std::vector<Slot> perm;  // pred slot -> succ slot
    if (g.directed) {
        if (!transposed(*g.pred, in, canonical_perm, perm)) return false;
        if (!g.pred_exact && !same_rows(*g.pred, in)) return false;
    } else {
        std::vector<Slot> mirror;
        if (!transposed(g.succ, in, canonical_perm, mirror)) return false;  // symmetric
    }
    if (interrupted_now()) return false;

    for (auto& [name, w] : g.weights) {
        if (w.pred_values.has_value() != g.directed) return false;
        bool any_nan = false;
        bool all_integral = true;
        for (double x : w.values) {
            any_nan = any_nan || std::isnan(x);
            all_integral = all_integral && (std::isnan(x) || integral(x));
        }
        // Costs of a rustworkx-ordered graph are stored as given, NaN included.
        if (w.has_hidden != any_nan && !multi_rows) return false;
        if (w.all_int && !all_integral) return false;
        if (w.all_int && !w.has_int && parts.version >= 3 && !std::all_of(w.values.begin(), w.values.end(), [](double x) {
                return std::isnan(x);
            })) {
            return false;
        }
        if (parts.version < 4) {
            infer_kinds(w);
        } else if (!valid_kinds(w)) {
            return false;
        }
        if (g.directed && !same_bits(*w.pred_values, permute_column(w.values, perm))) return false;
        recompute_facts(w);
    }

    if (interrupted_now()) return false;
    if (!g.directed && !native) {
        // Which columns hold the same value in both rows of an edge is not
        // written: it follows from the values.
        std::vector<const std::vector<double>*> columns;
        for (auto& entry : g.weights) columns.push_back(&entry.second.values);
        auto found = mirrors(g.succ, columns);
        if (!found.ok()) return stop(found.error());
        std::size_t c = 0;
        for (auto& entry : g.weights) entry.second.symmetric = found.value().columns[c++];
    }

    if (parts.exact) {
        if (!g.directed || !g.same_in_rows(parts.exact->csr)) return false;
        for (const auto& [name, column] : parts.exact->weights) {
            if (column.size() != parts.exact->csr.slot_count()) return false;
        }
    }

    if (native) {
        const NativeEdges& e = *parts.native;
        const std::size_t m = e.src.size();
        if (m > MAX_NATIVE_EDGES || e.dst.size() != m || e.ids.size() != g.succ.slot_count()) return false;
        for (std::size_t i = 0; i < m; ++i) {
            if (e.src[i] >= g.n || e.dst[i] >= g.n) return false;
        }
        std::vector<bool> plain;
        std::vector<std::string> names;
        for (const EdgeAttr& a : e.attrs) names.push_back(a.name);
        std::sort(names.begin(), names.end());
        if (std::adjacent_find(names.begin(), names.end()) != names.end()) return false;
        for (const EdgeAttr& a : e.attrs) {
            if (!valid_attr(a, m)) return false;
            plain.push_back(true);
        }
        if (interrupted_now()) return false;
        auto again = assemble_native(g.n, g.directed, e, plain);
        if (!again.ok()) return stop(again.error());
        CoreGraph& r = *again.value();
        if (!same_rows(r.succ, g.succ) || slot_edge_ids(r) != e.ids) return false;
        if (g.directed && !same_rows(*r.pred, *g.pred)) return false;
        // One weight column per attribute column, as assembly derives it.
        if (r.weights.size() != g.weights.size()) return false;
        for (const auto& [name, w] : r.weights) {
            auto found = g.weights.find(name);
            Weights* stored = found == g.weights.end() ? nullptr : &found->second;
            if (stored == nullptr || !same_bits(stored->values, w.values) || stored->all_int != w.all_int ||
                stored->has_hidden != w.has_hidden || (parts.version >= 3 && stored->has_int != w.has_int) ||
                (parts.version >= 4 && (stored->slot_kinds != w.slot_kinds || stored->kinds != w.kinds))) {
                return false;
            }
            // The attribute kinds tell what earlier versions did not keep.
            if (parts.version < 3) stored->has_int = w.has_int;
            stored->slot_kinds = w.slot_kinds;
            stored->kinds = w.kinds;
        }
        // Duplicate-free rows and reassembly make every edge's key unique.
        g.native = std::move(r.native);
    }
    return true;
}

}  // namespace

std::string to_bytes(const CoreGraph& g) {
    std::size_t estimate = 64 + g.succ.offsets.size() * 8 + g.succ.targets.size() * 4;
    if (g.pred) estimate += g.pred->offsets.size() * 8 + g.pred->targets.size() * 4;
    for (const auto& entry : g.weights) estimate += 64 + entry.first.size() + 16 * g.succ.targets.size();
    if (g.native) estimate += 17 * g.native->edges + 4 * g.succ.slot_count();
    Writer w(estimate);
    // Version 4 keeps the value kinds; a graph whose columns hold no numpy
    // values is written as version 3, whose reader infers them from the
    // flags (all but the per-slot kinds of columns mixing ints and floats).
    const bool kinds = std::any_of(g.weights.begin(), g.weights.end(), [](const auto& entry) {
        return (entry.second.slot_kinds & ((1u << NP_INT) | (1u << NP_FLOAT))) != 0;
    });
    w.raw(kinds ? "FNL4" : "FNL3", 4);
    w.u64(g.n);
    w.flag(g.directed);
    w.csr(g.succ);
    w.flag(g.pred.has_value());
    if (g.pred) w.csr(*g.pred);
    // std::map orders names byte-wise, as the format requires.
    w.u64(g.weights.size());
    for (const auto& [name, column] : g.weights) {
        w.str(name);
        w.array(column.values);
        w.flag(column.pred_values.has_value());
        if (column.pred_values) w.array(*column.pred_values);
        w.flag(column.all_int);
        w.flag(column.has_hidden);
        w.flag(column.has_int);
        if (kinds) {
            w.u8(column.slot_kinds);
            w.array(column.kinds);
        }
    }
    const ExactPred* exact = g.exact_pred.get();
    w.flag(exact != nullptr);
    if (exact != nullptr) {
        w.csr(exact->csr);
        w.u64(exact->weights.size());
        for (const auto& [name, values] : exact->weights) {
            w.str(name);
            w.array(values);
        }
    }
    w.flag(g.pred_exact);
    w.flag(g.native.has_value());
    if (g.native) {
        const NativeEdges e = native_edges(g);
        w.array(e.src);
        w.array(e.dst);
        w.array(slot_edge_ids(g));
        w.u64(e.attrs.size());
        for (const EdgeAttr& a : e.attrs) {
            w.str(a.name);
            w.array(a.values);
            w.array(a.kinds);
        }
    }
    return w.take();
}

Result<std::unique_ptr<CoreGraph>> from_bytes(std::span<const std::uint8_t> data) {
    if (data.size() < 12) return malformed();
    Parts parts;
    if (std::memcmp(data.data(), "FNL4", 4) == 0) {
        parts.version = 4;
    } else if (std::memcmp(data.data(), "FNL3", 4) == 0) {
        parts.version = 3;
    } else if (std::memcmp(data.data(), "FNL2", 4) == 0) {
        parts.version = 2;
    } else {
        return malformed();
    }
    CoreGraph& g = *parts.g;
    Reader r(data, 4);
    std::uint64_t count = 0;
    if (!r.u64(g.n) || g.n > MAX_CONVERTED_NODES) return malformed();
    if (!r.flag(g.directed) || !r.csr(g.n, g.succ)) return malformed();
    const Slot s = g.succ.slot_count();
    bool has_pred = false;
    if (!r.flag(has_pred) || has_pred != g.directed) return malformed();
    if (has_pred) {
        g.pred.emplace();
        if (!r.csr(g.n, *g.pred) || g.pred->slot_count() != s) return malformed();
    }
    if (!r.len(1, count)) return malformed();
    std::string previous;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string name;
        Weights w;
        bool has_pred_values = false;
        if (!r.str(name) || !r.array(w.values) || w.values.size() != s || !r.flag(has_pred_values)) return malformed();
        if (has_pred_values) {
            w.pred_values.emplace();
            if (!r.array(*w.pred_values) || w.pred_values->size() != s) return malformed();
        }
        if (!r.flag(w.all_int) || !r.flag(w.has_hidden)) return malformed();
        w.has_int = true;
        if (parts.version >= 3 && !r.flag(w.has_int)) return malformed();
        if (parts.version >= 4 && (!r.u8(w.slot_kinds) || !r.array(w.kinds))) return malformed();
        if (i > 0 && !(previous < name)) return malformed();
        previous = name;
        g.weights.insert_or_assign(std::move(name), std::move(w));
    }
    bool has_exact = false;
    if (!r.flag(has_exact)) return malformed();
    if (has_exact) {
        parts.exact = std::make_unique<ExactPred>();
        if (!r.csr(g.n, parts.exact->csr) || !r.len(1, count)) return malformed();
        previous.clear();
        for (std::uint64_t i = 0; i < count; ++i) {
            std::string name;
            std::vector<double> values;
            if (!r.str(name) || !r.array(values) || values.size() != parts.exact->csr.slot_count()) return malformed();
            if (i > 0 && !(previous < name)) return malformed();
            previous = name;
            parts.exact->weights.insert_or_assign(std::move(name), std::move(values));
        }
    }
    bool has_native = false;
    if (!r.flag(g.pred_exact) || !r.flag(has_native)) return malformed();
    if (has_native) {
        NativeEdges& e = parts.native.emplace();
        if (!g.pred_exact) return malformed();
        if (!r.array(e.src) || !r.array(e.dst) || !r.array(e.ids) || !r.len(1, count)) return malformed();
        for (std::uint64_t i = 0; i < count; ++i) {
            EdgeAttr a;
            if (!r.str(a.name) || !r.array(a.values) || !r.array(a.kinds)) return malformed();
            e.attrs.push_back(std::move(a));
        }
    }
    if (!r.at_end()) return malformed();
    std::optional<Error> stopped;
    if (!consistent(parts, stopped)) return stopped ? *stopped : malformed();
    if (parts.exact) g.exact_pred.set(std::move(parts.exact));
    return std::move(parts.g);
}

}  // namespace fennel
