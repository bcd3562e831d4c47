// Bindings of link prediction.
//
// link_predictor builds a predictor (a capsule) from the graph; _link_batch
// scores a slice of an ebunch read by _link_pairs, _link_non_edges the next
// non-edges of nx.non_edges. Each batch comes back as the list of NetworkX's
// (u, v, p) triples up to the first pair whose predict() raises, with that
// exception's tag. A generator runs one step at a time, so no two calls
// share a capsule at once.
#include "algorithms/link_prediction.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cstring>
#include <memory>

namespace fennel::py {

namespace {

constexpr const char* PREDICTOR_CAPSULE = "fennel._core.LinkPredictor";

// A predictor reads its CoreGraph's rows and the hashes' and degrees'
// bytes in place: it holds those objects alive.
struct Holder {
    PyObject* owner;
    PyObject* hashes;
    PyObject* degrees;
    LinkPredictor predictor;
};

void free_predictor(PyObject* capsule) {
    auto* holder = static_cast<Holder*>(PyCapsule_GetPointer(capsule, PREDICTOR_CAPSULE));
    if (holder == nullptr) return;
    Py_DECREF(holder->owner);
    Py_DECREF(holder->hashes);
    Py_DECREF(holder->degrees);
    delete holder;
}

std::span<const std::int64_t> int64s(const BytesRef& bytes) {
    return {reinterpret_cast<const std::int64_t*>(PyBytes_AS_STRING(bytes.obj)),
            static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.obj)) / sizeof(std::int64_t)};
}

PyObject* link_predictor(PyObject* self, std::uint64_t index, const BytesRef& hashes, const BytesRef& degrees,
                         const BytesRef& community, double alpha, bool count_only, double delta, bool compensated) {
    const CoreGraph& g = graph_of(self);
    if (g.directed) return raise(value_error("link prediction needs an undirected graph"));
    if (index > static_cast<std::uint64_t>(LinkIndex::WithinInterCluster)) {
        return raise(value_error("unknown link prediction index"));
    }
    const auto bytes = static_cast<Py_ssize_t>(g.n * sizeof(std::int64_t));
    if (PyBytes_GET_SIZE(hashes.obj) != bytes || PyBytes_GET_SIZE(degrees.obj) != bytes) {
        return raise(value_error("hashes and degrees must hold one int64 per node"));
    }
    const Py_ssize_t size = PyBytes_GET_SIZE(community.obj);
    if (size != 0 && size != static_cast<Py_ssize_t>(g.n * sizeof(std::int32_t))) {
        return raise(value_error("community must hold one int32 per node, or nothing"));
    }
    std::vector<std::int32_t> ids(static_cast<std::size_t>(size) / sizeof(std::int32_t));
    if (size > 0) std::memcpy(ids.data(), PyBytes_AS_STRING(community.obj), static_cast<std::size_t>(size));
    const auto kind = static_cast<LinkIndex>(index);
    const bool communities = kind == LinkIndex::CnSoundarajanHopcroft || kind == LinkIndex::RaSoundarajanHopcroft ||
                             kind == LinkIndex::WithinInterCluster;
    if (communities && ids.size() != g.n) return raise(value_error("this index reads the communities"));
    LinkParams params;
    params.index = kind;
    params.compensated = compensated;
    params.count_only = count_only;
    params.alpha = alpha;
    params.delta = delta;
    auto holder = std::make_unique<Holder>(Holder{
        self, hashes.obj, degrees.obj, LinkPredictor(g, int64s(hashes), int64s(degrees), std::move(ids), params)});
    PyObject* capsule = PyCapsule_New(holder.get(), PREDICTOR_CAPSULE, free_predictor);
    if (capsule == nullptr) return nullptr;
    Py_INCREF(self);
    Py_INCREF(hashes.obj);
    Py_INCREF(degrees.obj);
    holder.release();
    return capsule;
}

LinkPredictor* predictor_of(PyObject* capsule) {
    auto* holder = static_cast<Holder*>(PyCapsule_GetPointer(capsule, PREDICTOR_CAPSULE));
    return holder == nullptr ? nullptr : &holder->predictor;
}

// The triples up to the first raising pair, then (tag, detail): tag -1 when
// every pair scored.
// `nodes`: the graph's node objects, which name a common neighbour missing
// its community.
PyObject* batch_result(const std::vector<LinkScore>& scores, PyObject* (*pair_end)(void*, std::size_t, int),
                       void* context, PyObject* nodes) {
    std::size_t good = 0;
    while (good < scores.size() && scores[good].tag <= LinkScore::Float) ++good;
    PyObject* list = list_from(good, [&](std::size_t i) -> PyObject* {
        const LinkScore& s = scores[i];
        PyObject* triple = PyTuple_New(3);
        if (triple == nullptr) return nullptr;
        PyObject* p = s.tag == LinkScore::Int ? PyLong_FromLongLong(s.whole) : PyFloat_FromDouble(s.real);
        if (p == nullptr) {
            Py_DECREF(triple);
            return nullptr;
        }
        PyTuple_SET_ITEM(triple, 0, Py_NewRef(pair_end(context, i, 0)));
        PyTuple_SET_ITEM(triple, 1, Py_NewRef(pair_end(context, i, 1)));
        PyTuple_SET_ITEM(triple, 2, p);
        // As CPython's collector would on its first pass: a tuple of objects it
        // never tracks holds no cycle, so it leaves the young generation.
        if (!PyObject_GC_IsTracked(PyTuple_GET_ITEM(triple, 0)) &&
            !PyObject_GC_IsTracked(PyTuple_GET_ITEM(triple, 1))) {
            PyObject_GC_UnTrack(triple);
        }
        return triple;
    });
    if (list == nullptr) return nullptr;
    if (good == scores.size()) return Py_BuildValue("(NiO)", list, -1, Py_None);
    const LinkScore& s = scores[good];
    PyObject* detail = Py_None;
    if (s.tag == LinkScore::NoCommunity) {
        detail = s.whole < 0 ? pair_end(context, good, s.whole == -1 ? 0 : 1)
                             : PyTuple_GET_ITEM(nodes, static_cast<Py_ssize_t>(s.whole));
    }
    return Py_BuildValue("(NiO)", list, static_cast<int>(s.tag), detail);
}

// Positions of the ebunch's ends (uint32 pairs), its items exact 2-tuples
// looked up in `index`. A node not found (or unhashable, which `in G` calls
// absent) gives (item, end) instead; an item of another shape gives None
// (the caller reads such an ebunch itself). `identity`: the nodes are the
// ints 0..n-1 in order, so an exact int is its own position (or absent).
PyObject* link_pairs(const ListRef& pairs, const DictRef& index, bool identity) {
    const auto n = static_cast<long long>(PyDict_GET_SIZE(index.obj));
    const Py_ssize_t count = PyList_GET_SIZE(pairs.obj);
    std::vector<Node> positions(static_cast<std::size_t>(count) * 2);
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PyList_GET_ITEM(pairs.obj, i);
        if (!PyTuple_CheckExact(item) || PyTuple_GET_SIZE(item) != 2) Py_RETURN_NONE;
        for (int end = 0; end < 2; ++end) {
            PyObject* node = PyTuple_GET_ITEM(item, end);
            if (identity && PyLong_CheckExact(node)) {
                int overflow = 0;
                const long long p = PyLong_AsLongLongAndOverflow(node, &overflow);
                if (overflow != 0 || p < 0 || p >= n) return Py_BuildValue("(ni)", i, end);
                positions[2 * static_cast<std::size_t>(i) + end] = static_cast<Node>(p);
                continue;
            }
            PyObject* at = PyDict_GetItemWithError(index.obj, node);
            if (at == nullptr) {
                if (PyErr_Occurred()) {
                    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return nullptr;
                    PyErr_Clear();
                }
                return Py_BuildValue("(ni)", i, end);
            }
            const unsigned long p = PyLong_AsUnsignedLong(at);
            if (p == static_cast<unsigned long>(-1) && PyErr_Occurred()) return nullptr;
            positions[2 * static_cast<std::size_t>(i) + end] = static_cast<Node>(p);
        }
    }
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(positions.data()),
                                     static_cast<Py_ssize_t>(positions.size() * sizeof(Node)));
}

struct EbunchEnds {
    PyObject* pairs;
    std::size_t start;
};

PyObject* ebunch_end(void* context, std::size_t i, int end) {
    const auto* e = static_cast<const EbunchEnds*>(context);
    return PyTuple_GET_ITEM(PyList_GET_ITEM(e->pairs, static_cast<Py_ssize_t>(e->start + i)), end);
}

struct NodeEnds {
    PyObject* nodes;
    const std::vector<Node>* pairs;
};

PyObject* node_end(void* context, std::size_t i, int end) {
    const auto* e = static_cast<const NodeEnds*>(context);
    return PyTuple_GET_ITEM(e->nodes, static_cast<Py_ssize_t>((*e->pairs)[2 * i + static_cast<std::size_t>(end)]));
}

PyObject* link_batch(PyObject* capsule, const BytesRef& positions, const ListRef& pairs, const TupleRef& nodes,
                     std::uint64_t start, std::uint64_t stop) {
    LinkPredictor* state = predictor_of(capsule);
    if (state == nullptr) return nullptr;
    if (static_cast<std::size_t>(PyTuple_GET_SIZE(nodes.obj)) != state->node_count()) {
        return raise(value_error("nodes must hold one object per node"));
    }
    const auto total = static_cast<std::size_t>(PyBytes_GET_SIZE(positions.obj)) / (2 * sizeof(Node));
    if (stop < start || stop > total || static_cast<std::size_t>(PyList_GET_SIZE(pairs.obj)) != total) {
        return raise(index_error());
    }
    const auto* all = reinterpret_cast<const Node*>(PyBytes_AS_STRING(positions.obj));
    std::span<const Node> slice(all + 2 * start, 2 * (stop - start));
    for (Node p : slice) {
        if (p >= state->node_count()) return raise(index_error());
    }
    for (std::uint64_t i = start; i < stop; ++i) {
        PyObject* item = PyList_GET_ITEM(pairs.obj, static_cast<Py_ssize_t>(i));
        if (!PyTuple_CheckExact(item) || PyTuple_GET_SIZE(item) != 2) {
            return raise(value_error("pairs must be 2-tuples"));
        }
    }
    EbunchEnds ends{pairs.obj, static_cast<std::size_t>(start)};
    return detached([&] { return state->scores(slice); },
                    [&](const std::vector<LinkScore>& s) { return batch_result(s, ebunch_end, &ends, nodes.obj); });
}

PyObject* link_non_edges(PyObject* capsule, std::uint64_t limit, const TupleRef& nodes) {
    LinkPredictor* state = predictor_of(capsule);
    if (state == nullptr) return nullptr;
    if (static_cast<std::size_t>(PyTuple_GET_SIZE(nodes.obj)) != state->node_count()) {
        return raise(value_error("nodes must hold one object per node"));
    }
    std::vector<Node> pairs;
    NodeEnds ends{nodes.obj, &pairs};
    return detached(
        [&] {
            state->next_non_edges(static_cast<std::size_t>(limit), pairs);
            return state->scores(pairs);
        },
        [&](const std::vector<LinkScore>& s) { return batch_result(s, node_end, &ends, nodes.obj); });
}

constexpr auto LINK_PREDICTOR = method<link_predictor>(
    "link_predictor",
    "A link prediction index's scorer (a capsule): `index` 0..7 in NetworkX's\nlink_prediction order of jaccard, "
    "adamic_adar, resource_allocation,\npreferential_attachment, common_neighbor_centrality, cn_soundarajan_"
    "hopcroft,\nra_index_soundarajan_hopcroft, within_inter_cluster; `hashes` and\n`degrees` (G.degree) as int64 bytes, "
    "`community` one int32 id per node (-1: missing) or empty.",
    arg<std::uint64_t>("index"), arg<BytesRef>("hashes"), arg<BytesRef>("degrees"), arg<BytesRef>("community"),
    arg<double>("alpha"), arg<bool>("count_only"), arg<double>("delta"), arg<bool>("compensated"));

constexpr auto LINK_PAIRS = function<link_pairs>(
    "_link_pairs",
    "The positions of an ebunch's ends as uint32 bytes; (item, end) for the\nfirst end not in `index`; None for an "
    "item other than a 2-tuple. `identity`: the nodes are 0..n-1 in order.",
    arg<ListRef>("pairs"), arg<DictRef>("index"), arg<bool>("identity"));
constexpr auto LINK_BATCH = function<link_batch>(
    "_link_batch",
    "(triples, tag, detail): the (u, v, p) of pairs[start:stop] up to the first\nwhose score raises (tag -1: none "
    "did; detail: the node missing its community).",
    arg<PyObject*>("state"), arg<BytesRef>("positions"), arg<ListRef>("pairs"), arg<TupleRef>("nodes"),
    arg<std::uint64_t>("start"),
    arg<std::uint64_t>("stop"));
constexpr auto LINK_NON_EDGES = function<link_non_edges>(
    "_link_non_edges",
    "(triples, tag, detail) of the next non-edges of nx.non_edges, at most\n`limit`; fewer once they are done.",
    arg<PyObject*>("state"), arg<std::uint64_t>("limit"), arg<TupleRef>("nodes"));

}  // namespace

std::vector<PyMethodDef> link_prediction_methods() { return {row<LINK_PREDICTOR>()}; }

std::vector<PyMethodDef> link_prediction_functions() {
    return {row<LINK_PAIRS>(), row<LINK_BATCH>(), row<LINK_NON_EDGES>()};
}

}  // namespace fennel::py
