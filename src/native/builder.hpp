// The edge accumulator of natively built graphs, and their assembly.
//
// A native graph is built the way NetworkX builds one with add_edges_from:
// nodes are positions numbered by the caller, a repeated edge (the same
// ordered pair for directed graphs, the same unordered pair for undirected
// ones) merges into the first, keeping its orientation and its place in the
// edge order, and every attribute it mentions takes the later value. Each
// node's row lists its neighbours in the order in which the edges joining
// them were first inserted, which is the iteration order of G._adj (and of
// G._pred for directed graphs).
//
// Insertions are recorded as they come and merged once at the end: one
// bucket pass by the edge key's first endpoint finds every repeat in
// O(n + insertions) without hashing, so a call with tens of millions of
// edges costs a few passes over flat arrays.
#pragma once

#include "graph/core_graph.hpp"
#include "graph/value_kind.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fennel {

// Largest edge count of a native graph (edge ids are 32-bit).
inline constexpr Count MAX_NATIVE_EDGES = 0xFFFFFFFFull;

class Builder {
public:
    explicit Builder(bool directed) : directed_(directed) {}

    // Records the insertion of the edge (u, v); returns the insertion's index.
    std::size_t edge(Node u, Node v) {
        src_.push_back(u);
        dst_.push_back(v);
        return src_.size() - 1;
    }
    // Records a whole array of insertions at once (replacing none made before).
    void set_edges(std::vector<Node> src, std::vector<Node> dst) {
        src_ = std::move(src);
        dst_ = std::move(dst);
    }
    std::size_t insertions() const { return src_.size(); }
    // Called when an insertion names its attributes out of column order.
    void note_out_of_order() { in_column_order_ = false; }

    // Sets attribute `name` of the edge inserted at `insertion` (last write
    // wins across repeats of one edge). `plain`: the value was exactly a
    // Python int, float, bool or None, so reading it back as one of those
    // reproduces it.
    void set_attr(std::size_t insertion, std::string_view name, AttrKind kind, double value, bool plain = true) {
        set(column(name), insertion, kind, value, plain);
    }
    // The same in two steps: the column's index (created on first use), then the entry.
    std::size_t column(std::string_view name);
    void set(std::size_t column, std::size_t insertion, AttrKind kind, double value, bool plain);
    // Sets attribute `name` of every insertion at once, all of one kind.
    void set_column(std::string name, std::vector<double> values, AttrKind kind);

    // Merges repeats into edges and builds the graph on `n` nodes (every
    // endpoint must be below n). Fails with "too many edges" beyond
    // MAX_NATIVE_EDGES distinct edges.
    Result<std::unique_ptr<CoreGraph>> assemble(Count n) &&;

private:
    template <class Index>
    Result<std::unique_ptr<CoreGraph>> finish(Count n) &&;

    struct Column {
        std::string name;
        std::vector<double> values;       // per insertion
        std::vector<std::uint8_t> kinds;  // per insertion; KIND_ABSENT: not set by it
        bool plain = true;
    };

    bool directed_;
    std::vector<Node> src_;
    std::vector<Node> dst_;
    std::vector<Column> columns_;  // in order of first appearance
    std::unordered_map<std::string, std::size_t> column_index_;
    std::size_t last_column_ = 0;  // most edges name the same attributes as the one before
    bool in_column_order_ = true;
};

// Little-endian int64 values packed in a byte buffer (read in place).
class PackedInt64 {
public:
    PackedInt64(const std::uint8_t* data, std::size_t count) : data_(data), count_(count) {}
    std::size_t size() const { return count_; }
    std::int64_t operator[](std::size_t i) const {
        std::uint64_t x;
        std::memcpy(&x, data_ + 8 * i, 8);
        if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
        return static_cast<std::int64_t>(x);
    }

private:
    const std::uint8_t* data_;
    std::size_t count_;
};

// Edges given by node labels (any int64 values), with nodes numbered in
// order of first appearance along src[0], dst[0], src[1], dst[1], ...: as
// NetworkX numbers the nodes of add_edges_from.
struct Relabelled {
    std::vector<Node> src;
    std::vector<Node> dst;
    std::vector<std::int64_t> labels;  // label of each position
};
// Fails with "too many nodes" beyond the positions a graph can hold.
Result<Relabelled> relabel_first_appearance(const PackedInt64& src, const PackedInt64& dst);

// The graph record of a native edge list: rows in edge-id order, predecessor
// rows (directed) in edge-id order, and one weight column per attribute
// (absent weighs 1.0, None is the hidden-edge NaN). `plain` has one flag per
// attribute column. Also used by the reader to check stored columns.
Result<std::unique_ptr<CoreGraph>> assemble_native(Count n, bool directed, NativeEdges edges,
                                                   const std::vector<bool>& plain);

// What the graph keeps of `edges` (`rows` given as `ids`, each slot's edge id).
NativeRecord native_record(NativeEdges edges, std::vector<Node> ids, const Csr& rows, bool directed);

// The edge id of every succ slot of a natively built graph, as its rows were
// given to native_record (and as the byte form stores them).
std::vector<Node> slot_edge_ids(const CoreGraph& g);

// A natively built graph's edge list in insertion order, rebuilt from its
// record, rows and weight columns (without `ids`, which the record holds).
NativeEdges native_edges(const CoreGraph& g);

// The weight column of attribute column `attr` over the given per-slot edge ids.
Weights native_weights(const EdgeAttr& attr, const std::vector<Node>& slot_edges);

}  // namespace fennel
