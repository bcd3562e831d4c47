// Bindings of the cycles room: the cycle basis, find_cycle and the girth over
// a CoreGraph, and the resumable searches of simple_cycles and
// chordless_cycles over rows the caller lists (each search keeps its stacks
// between a generator's steps in a capsule; a generator runs one step at a
// time, so no two calls share a capsule at once).
#include "algorithms/cycles.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <memory>
#include <utility>

namespace fennel::py {

namespace {

constexpr const char* CURSOR_CAPSULE = "fennel._core.CycleCursor";
constexpr const char* ROWS_CAPSULE = "fennel._core.ChordlessRows";

// (nodes, bounds): cycle c is nodes[bounds[c]:bounds[c + 1]].
PyObject* lists(const CycleLists& found) {
    return tuple_from([&] { return to_python(found.nodes); }, [&] { return to_python(found.bounds); });
}

PyObject* basis(const CoreGraph& g, std::optional<Node> root) {
    if (g.directed) return raise(not_implemented("cycle bases need an undirected graph"));
    return detached([&] { return fennel::paton_cycles(g.succ, root); }, lists);
}

// find_cycle's orientations as the core walks them.
enum Walk : std::uint32_t { ALONG = 0, AGAINST = 1, BOTH = 2 };

PyObject* first_cycle(const CoreGraph& g, const Positions& starts, std::uint32_t walk) {
    if (walk > BOTH) return raise(value_error("walk must be 0 (along), 1 (against) or 2 (both)"));
    const Csr* in = nullptr;
    if (g.directed && walk != ALONG) {
        auto view = g.search_view(std::nullopt, true);
        if (!view.ok()) return raise(view.error());
        in = view.value().out;
    }
    return detached([&] { return fennel::first_cycle(g.succ, in, walk == AGAINST && in, !g.directed, starts); },
                    [](const std::vector<WalkedEdge>& edges) {
                        return list_from(edges.size(), [&](std::size_t i) {
                            const WalkedEdge& e = edges[i];
                            return Py_BuildValue("(kkO)", static_cast<unsigned long>(e.tail),
                                                 static_cast<unsigned long>(e.head), e.backward ? Py_True : Py_False);
                        });
                    });
}

PyObject* girth(const CoreGraph& g) {
    if (g.directed) return raise(not_implemented("the girth needs an undirected graph"));
    return detached([&] { return fennel::girth(g.succ); },
                    [](const std::optional<Count>& found) {
                        return found ? to_python(static_cast<std::uint64_t>(*found)) : Py_NewRef(Py_None);
                    });
}

PyObject* recursive_cycles(const CoreGraph& g, bool multigraph) {
    if (g.directed == false) return raise(not_implemented("recursive_simple_cycles needs a directed graph"));
    return detached([&] { return fennel::recursive_cycles(g.succ, g.in_rows(), multigraph); }, lists);
}

PyObject* min_cycle_basis(const CoreGraph& g, const BytesRef& hashes, const AttrName& weight) {
    if (g.directed) return raise(not_implemented("cycle bases need an undirected graph"));
    std::vector<std::int64_t> hash;
    if (!read_int64s(hashes, g.n, hash)) return nullptr;
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return raise(column.error());
    return detached([&] { return fennel::min_cycle_basis(g.succ, hash, column.value()); }, lists);
}

PyObject* tuple_hash(std::int64_t a, std::int64_t b) { return PyLong_FromLongLong(pair_tuple_hash(a, b)); }

// Rows from (offsets, targets), checked.
bool make_rows(const Positions& offsets, const Positions& targets, Csr& rows) {
    bool ok = !offsets.empty() && offsets.front() == 0 && offsets.back() == targets.size();
    for (std::size_t i = 1; ok && i < offsets.size(); ++i) ok = offsets[i - 1] <= offsets[i];
    const std::size_t n = offsets.empty() ? 0 : offsets.size() - 1;
    for (std::size_t i = 0; ok && i < targets.size(); ++i) ok = targets[i] < n;
    if (!ok) {
        PyErr_SetString(PyExc_ValueError, "rows must be offsets from 0 to len(targets) over targets below n");
        return false;
    }
    rows.offsets.assign(offsets.begin(), offsets.end());
    rows.targets = targets;
    return true;
}

bool check_path(const Positions& path, std::size_t lo, std::size_t hi, Count n) {
    bool ok = path.size() >= lo && path.size() <= hi;
    for (const Node v : path) ok = ok && v < n;
    if (!ok) PyErr_SetString(PyExc_ValueError, "the path does not fit the rows");
    return ok;
}

void free_cursor(PyObject* capsule) {
    delete static_cast<CycleCursor*>(PyCapsule_GetPointer(capsule, CURSOR_CAPSULE));
}

void free_rows(PyObject* capsule) {
    delete static_cast<std::shared_ptr<ChordlessRows>*>(PyCapsule_GetPointer(capsule, ROWS_CAPSULE));
}

PyObject* cursor_capsule(std::unique_ptr<CycleCursor> cursor) {
    PyObject* capsule = PyCapsule_New(cursor.get(), CURSOR_CAPSULE, free_cursor);
    if (capsule != nullptr) cursor.release();
    return capsule;
}

PyObject* johnson_search(const Positions& offsets, const Positions& targets, const Positions& path,
                         std::optional<std::uint64_t> length_bound) {
    Csr rows;
    if (!make_rows(offsets, targets, rows) || !check_path(path, 1, 2, rows.node_count())) return nullptr;
    return cursor_capsule(johnson_cursor(std::move(rows), path, length_bound));
}

PyObject* chordless_rows(const Positions& offsets, const Positions& targets, const std::optional<Positions>& b_offsets,
                         const std::optional<Positions>& b_targets) {
    auto rows = std::make_shared<ChordlessRows>();
    if (!make_rows(offsets, targets, rows->forward)) return nullptr;
    if (b_offsets.has_value() != b_targets.has_value()) {
        PyErr_SetString(PyExc_ValueError, "give both blocking rows or neither");
        return nullptr;
    }
    if (b_offsets) {
        if (!make_rows(*b_offsets, *b_targets, rows->both)) return nullptr;
        if (rows->both.node_count() != rows->forward.node_count()) {
            PyErr_SetString(PyExc_ValueError, "both sets of rows must have the same nodes");
            return nullptr;
        }
    } else {
        rows->both = rows->forward;
    }
    const Count n = rows->forward.node_count();
    rows->blocked.assign(n, 0);
    rows->marked.assign(n, 0);
    auto* holder = new std::shared_ptr<ChordlessRows>(std::move(rows));
    PyObject* capsule = PyCapsule_New(holder, ROWS_CAPSULE, free_rows);
    if (capsule == nullptr) delete holder;
    return capsule;
}

PyObject* chordless_search(PyObject* rows_capsule, const Positions& path, std::optional<std::uint64_t> length_bound) {
    auto* holder = static_cast<std::shared_ptr<ChordlessRows>*>(PyCapsule_GetPointer(rows_capsule, ROWS_CAPSULE));
    if (holder == nullptr || !check_path(path, 3, 3, (*holder)->forward.node_count())) return nullptr;
    return cursor_capsule(chordless_cursor(*holder, path, length_bound));
}

PyObject* cycle_next(PyObject* capsule, std::uint64_t limit, const TupleRef& nodes) {
    auto* cursor = static_cast<CycleCursor*>(PyCapsule_GetPointer(capsule, CURSOR_CAPSULE));
    if (cursor == nullptr) return nullptr;
    PyObject* objects = nodes.obj;
    return detached([&] { return cursor->next(static_cast<std::size_t>(limit)); },
                    [&](const CycleLists& found) -> PyObject* {
                        for (const Node v : found.nodes) {
                            if (v >= static_cast<std::size_t>(PyTuple_GET_SIZE(objects))) {
                                return raise(value_error("nodes must hold one object per row"));
                            }
                        }
                        return list_from(found.size(), [&](std::size_t c) -> PyObject* {
                            const std::size_t lo = found.bounds[c], hi = found.bounds[c + 1];
                            PyObject* list = PyList_New(static_cast<Py_ssize_t>(hi - lo));
                            if (list == nullptr) return nullptr;
                            for (std::size_t i = lo; i < hi; ++i) {
                                PyList_SET_ITEM(list, i - lo, Py_NewRef(PyTuple_GET_ITEM(objects, found.nodes[i])));
                            }
                            return list;
                        });
                    });
}

#ifndef Py_GIL_DISABLED
// Keys whose comparisons and hashes run no Python code.
bool plain_key(PyObject* key) { return PyLong_CheckExact(key) || PyUnicode_CheckExact(key); }

// setdefault(d, key, {}) for a plain key: the row made for a new key.
PyObject* row_for(PyObject* d, PyObject* key) {
    PyObject* row = PyDict_GetItemWithError(d, key);
    if (row != nullptr || PyErr_Occurred()) return row;
    PyRef fresh = PyRef::steal(PyDict_New());
    if (!fresh || PyDict_SetItem(d, key, fresh.get()) < 0) return nullptr;
    return fresh.get();  // borrowed: d holds it
}
#endif

// The dicts of NetworkX's `DiGraph((u, v) for u, Gu in G.adj.items() for v
// in Gu if v != u)` (`Graph` when undirected), made as its add_edges_from
// makes them: nodes in order of first appearance, each edge's one data dict
// shared by its two rows. Returns (node, succ, pred) (pred None when
// undirected), or None when a row is not an exact dict or a node not an
// exact int or str: the caller then builds the graph itself. The walk runs
// no Python code, so nothing changes G under it; without the GIL another
// thread could, so free-threaded builds always leave it to the caller.
PyObject* edges_copy(const DictRef& adj, bool directed) {
#ifdef Py_GIL_DISABLED
    (void)adj;
    (void)directed;
    Py_RETURN_NONE;
#else
    Py_ssize_t pos = 0;
    PyObject* u = nullptr;
    PyObject* row = nullptr;
    while (PyDict_Next(adj.obj, &pos, &u, &row)) {
        if (!plain_key(u) || !PyDict_CheckExact(row)) Py_RETURN_NONE;
        Py_ssize_t at = 0;
        PyObject* v = nullptr;
        PyObject* data = nullptr;
        while (PyDict_Next(row, &at, &v, &data)) {
            if (!plain_key(v)) Py_RETURN_NONE;
        }
    }
    PyRef node = PyRef::steal(PyDict_New());
    PyRef succ = PyRef::steal(PyDict_New());
    PyRef pred = directed ? PyRef::steal(PyDict_New()) : PyRef::new_ref(Py_None);
    if (!node || !succ || !pred) return nullptr;
    const auto add_node = [&](PyObject* x) -> bool {
        const int known = PyDict_Contains(succ.get(), x);
        if (known != 0) return known > 0;
        return row_for(succ.get(), x) != nullptr && (!directed || row_for(pred.get(), x) != nullptr) &&
               row_for(node.get(), x) != nullptr;
    };
    pos = 0;
    while (PyDict_Next(adj.obj, &pos, &u, &row)) {
        Py_ssize_t at = 0;
        PyObject* v = nullptr;
        PyObject* ignored = nullptr;
        while (PyDict_Next(row, &at, &v, &ignored)) {
            const int same = PyObject_RichCompareBool(v, u, Py_EQ);
            if (same < 0) return nullptr;
            if (same) continue;
            if (!add_node(u) || !add_node(v)) return nullptr;
            PyObject* u_row = PyDict_GetItemWithError(succ.get(), u);
            if (u_row == nullptr) return nullptr;
            PyRef data = PyRef::new_ref(PyDict_GetItemWithError(u_row, v));
            if (!data) {
                if (PyErr_Occurred()) return nullptr;
                data = PyRef::steal(PyDict_New());
                if (!data) return nullptr;
            }
            PyObject* v_row = PyDict_GetItemWithError(directed ? pred.get() : succ.get(), v);
            if (v_row == nullptr || PyDict_SetItem(u_row, v, data.get()) < 0 ||
                PyDict_SetItem(v_row, u, data.get()) < 0) {
                return nullptr;
            }
        }
    }
    return PyTuple_Pack(3, node.get(), succ.get(), pred.get());
#endif
}

constexpr auto CYCLE_BASIS = method<basis>(
    "paton_cycles", "`(nodes, bounds)`: cycle_basis' cycles, cycle c being\nnodes[bounds[c]:bounds[c + 1]]; `root` "
    "(a position) or None.",
    arg<std::optional<Node>>("root"));
constexpr auto FIRST_CYCLE = method<first_cycle>(
    "first_cycle",
    "find_cycle's edges from `starts` as [(tail, head, against)], [] for none;\n`walk`: 0 along edges, 1 against "
    "them, 2 along then against (directed).",
    arg<Positions>("starts"), arg<std::uint32_t>("walk"));
constexpr auto RECURSIVE_CYCLES = method<recursive_cycles>(
    "recursive_cycles",
    "`(nodes, bounds)`: recursive_simple_cycles' cycles, the self-loops' [v]\nfirst, cycle c being "
    "nodes[bounds[c]:bounds[c + 1]]; `multigraph`: decline where NetworkX's\nmultigraph views list rows in set order.",
    arg<bool>("multigraph"));
constexpr auto MIN_CYCLE_BASIS = method<min_cycle_basis>(
    "min_cycle_basis",
    "`(nodes, bounds)`: minimum_cycle_basis' cycles over `weight` (None: 1),\n`hashes` the nodes' hash() as "
    "int64 bytes.",
    arg<BytesRef>("hashes"), arg<AttrName>("weight", none));
constexpr auto GIRTH = method<girth>("girth", "The length of a shortest cycle, None when there is none.");

constexpr auto JOHNSON_SEARCH = function<johnson_search>(
    "_johnson_search",
    "simple_cycles' search (a capsule) from `path` over rows (offsets, targets),\nbounded by `length_bound` "
    "or not.",
    arg<Positions>("offsets"), arg<Positions>("targets"), arg<Positions>("path"),
    arg<std::optional<std::uint64_t>>("length_bound"));
constexpr auto CHORDLESS_ROWS = function<chordless_rows>(
    "_chordless_rows",
    "One component's rows for chordless searches (a capsule): forward rows,\nand the rows to block along "
    "(None: the forward rows).",
    arg<Positions>("offsets"), arg<Positions>("targets"), arg<std::optional<Positions>>("b_offsets"),
    arg<std::optional<Positions>>("b_targets"));
constexpr auto CHORDLESS_SEARCH = function<chordless_search>(
    "_chordless_search", "chordless_cycles' search (a capsule) from the stem `path` over `rows`.",
    arg<PyObject*>("rows"), arg<Positions>("path"), arg<std::optional<std::uint64_t>>("length_bound"));
constexpr auto TUPLE_HASH = function<tuple_hash>(
    "_pair_hash", "hash((a, b)) from hash(a) and hash(b), as the cycle basis orders its chords.",
    arg<std::int64_t>("a"), arg<std::int64_t>("b"));
constexpr auto EDGES_COPY = function<edges_copy>(
    "_edges_copy",
    "(node, succ, pred) dicts of NetworkX's graph of `adj`'s edges less its\nself-loops, built as add_edges_from "
    "builds them (pred None when not\n`directed`); None for rows other than exact dicts or nodes other than\nexact "
    "ints and strs.",
    arg<DictRef>("adj"), arg<bool>("directed"));
constexpr auto CYCLE_NEXT = function<cycle_next>(
    "_cycle_next",
    "The search's next cycles, at most `limit`, each a list of the `nodes`\nobjects at its positions; fewer once "
    "it is done.",
    arg<PyObject*>("search"), arg<std::uint64_t>("limit"), arg<TupleRef>("nodes"));

}  // namespace

std::vector<PyMethodDef> cycles_methods() { return {row<CYCLE_BASIS>(), row<FIRST_CYCLE>(), row<GIRTH>(), row<RECURSIVE_CYCLES>(), row<MIN_CYCLE_BASIS>()}; }

std::vector<PyMethodDef> cycles_functions() {
    return {row<JOHNSON_SEARCH>(), row<CHORDLESS_ROWS>(), row<CHORDLESS_SEARCH>(), row<CYCLE_NEXT>(),
            row<TUPLE_HASH>(), row<EDGES_COPY>()};
}

}  // namespace fennel::py
