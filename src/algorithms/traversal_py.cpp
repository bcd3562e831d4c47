// Bindings of the traversals: dfs_forward over the whole search, and the
// Cursor type, an iterator over a resumable search's items as NetworkX's
// objects, made by CoreGraph.bfs_cursor, dfs_cursor and component_cursor.
// (generic_bfs_edges over a whole search is a breadth-first result's
// `edges()`, see shortest_paths_py.cpp.)
//
// A cursor produces each item when asked for. Items are computed in batches
// that start small and double (capped), so the first items cost little and
// the whole sequence costs one search. Before each item the cursor looks at
// the caches it watches: a graph changed through NetworkX's methods has lost
// the marker put there when the call began, and the cursor then stops
// (raising StopIteration) with `changed` set, so that the caller continues
// with NetworkX's own loop from `state()`. The cursor keeps the CoreGraph it
// searches alive; one call at a time may use it (others raise "Already
// borrowed").
#include "algorithms/components.hpp"
#include "algorithms/traversal.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"
#include "lib/watch_py.hpp"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace fennel::py {

namespace {

PyObject* dfs_forward(const CoreGraph& g, const std::optional<Positions>& starts, std::int64_t depth_limit) {
    auto list = g.sources_or_all(starts);
    if (!list.ok()) return raise(list.error());
    return detached([&] { return fennel::dfs_forward(g.succ, list.value(), depth_limit); },
                    [](const ForwardEdges& edges) {
                        return tuple_from([&] { return to_list(edges.parents); },
                                          [&] { return to_list(edges.children); });
                    });
}

// The root position of a cursor whose items have no caller's object.
constexpr Node NO_ROOT = 0xFFFFFFFFu;

enum class Kind : std::uint8_t { BfsEdges, BfsFlipped, BfsLayers, DfsEdges, DfsNodes, Components };

// The first batch, and the cap that keeps a batch's scratch bounded.
constexpr std::size_t FIRST_BATCH = 16;
constexpr std::size_t MAX_BATCH = std::size_t{1} << 16;

struct Search {
    Kind kind;
    std::unique_ptr<BfsCursor> bfs;
    std::unique_ptr<DfsCursor> dfs;
    std::unique_ptr<ComponentCursor> components;
    std::vector<BfsEdge> edges;  // the current batch
    std::vector<DfsStep> steps;
    std::size_t read = 0;
    std::size_t budget = FIRST_BATCH;
    std::size_t yielded = 0;
    BfsEdge last_edge{};
    DfsStep last_step{};
    Node last_start = 0;
    bool changed = false;
};

struct PyCursor {
    PyObject_HEAD
    Search* search;
    PyObject* graph;  // the CoreGraph whose rows are searched
    PyObject* nodes;  // tuple: the object of each position
    PyObject* root;   // the object handed out for `root_at` (the caller's source)
    PyObject* watch;  // tuple of (cache, key, marker), or None
    Node root_at;
    std::atomic<bool> borrowed;
};

PyTypeObject* g_type = nullptr;

PyCursor* as_cursor(PyObject* self) { return reinterpret_cast<PyCursor*>(self); }

PyObject* object_at(const PyCursor* c, Node v) { return v == c->root_at ? c->root : PyTuple_GET_ITEM(c->nodes, v); }

// A pair of objects. Like CPython's collector, which stops tracking a tuple
// once none of its items can be part of a cycle, the pair is untracked from
// the start when neither item is tracked: a long traversal would otherwise
// fill the young generation with pairs and trigger full collections.
PyObject* pair(PyObject* first, PyObject* second) {
    PyObject* tuple = PyTuple_Pack(2, first, second);
    if (tuple != nullptr && !PyObject_GC_IsTracked(first) && !PyObject_GC_IsTracked(second)) {
        PyObject_GC_UnTrack(tuple);
    }
    return tuple;
}

// A component as the set NetworkX fills in search order.
PyObject* component_set(const PyCursor* c, std::span<const Node> part) {
    return set_from(&PyTuple_GET_ITEM(c->nodes, 0), part);
}

bool breadth_first(const Search& s) { return s.kind == Kind::BfsEdges || s.kind == Kind::BfsFlipped; }

std::size_t batch_size(const Search& s) { return breadth_first(s) ? s.edges.size() : s.steps.size(); }

// Runs the search on for the next batch (detached: no Python object is
// touched); the batch is empty once the search is over.
void refill(Search& s) {
    s.read = 0;
    if (breadth_first(s)) {
        s.edges.clear();
        s.bfs->advance(s.budget, s.edges);
    } else {
        s.steps.clear();
        s.dfs->advance(s.budget, s.steps);
    }
    s.budget = std::min(2 * s.budget, MAX_BATCH);
}

// The batch's next item as NetworkX's objects.
PyObject* batch_item(PyCursor* c) {
    Search& s = *c->search;
    ++s.yielded;
    if (breadth_first(s)) {
        const BfsEdge& e = s.last_edge = s.edges[s.read++];
        PyObject* parent = object_at(c, e.parent);
        PyObject* child = object_at(c, e.child);
        return s.kind == Kind::BfsEdges ? pair(parent, child) : pair(child, parent);
    }
    const DfsStep& step = s.last_step = s.steps[s.read++];
    if (s.kind == Kind::DfsEdges) return pair(object_at(c, step.parent), object_at(c, step.node));
    return Py_NewRef(object_at(c, step.node));
}

// The next item, or nullptr without an exception once the search is over.
PyObject* next_item(PyCursor* c) {
    Search& s = *c->search;
    if (s.kind == Kind::Components) {
        return detached([&] { return s.components->next_on_pool(); }, [&](std::span<const Node> part) -> PyObject* {
            if (part.empty()) return nullptr;
            s.last_start = part[0];
            ++s.yielded;
            return component_set(c, part);
        });
    }
    if (s.read < batch_size(s)) return batch_item(c);
    return detached(
        [&] {
            refill(s);
            return batch_size(s) > 0;
        },
        [&](bool more) { return more ? batch_item(c) : nullptr; });
}

PyObject* iternext(PyObject* self) {
    return guarded([&]() -> PyObject* {
        PyCursor* c = as_cursor(self);
        Borrow borrow(c->borrowed);
        if (!borrow.held()) return nullptr;
        Search& s = *c->search;
        if (s.changed || s.kind == Kind::BfsLayers) return nullptr;
        const int same = unchanged(c->watch);
        if (same < 0) return nullptr;
        if (same == 0) {
            s.changed = true;
            return nullptr;
        }
        return next_item(c);
    });
}

PyObject* to_objects(const PyCursor* c, std::span<const Node> positions) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(positions.size()));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), Py_NewRef(object_at(c, positions[i])));
    }
    return list;
}

PyObject* next_layer(PyObject* self) {
    PyCursor* c = as_cursor(self);
    Borrow borrow(c->borrowed);
    if (!borrow.held()) return nullptr;
    Search& s = *c->search;
    if (s.kind != Kind::BfsLayers) return PyErr_Format(PyExc_TypeError, "not a layer cursor");
    return detached([&] { return s.bfs->next_level(); },
                    [&](std::span<const Node> layer) { return to_objects(c, layer); });
}

// Where NetworkX's loop stands after the last item handed out (see the
// method's docstring); None before the first.
PyObject* state(PyObject* self) {
    PyCursor* c = as_cursor(self);
    Borrow borrow(c->borrowed);
    if (!borrow.held()) return nullptr;
    const Search& s = *c->search;
    if (s.yielded == 0 && s.kind != Kind::BfsLayers) Py_RETURN_NONE;
    switch (s.kind) {
        case Kind::BfsEdges:
        case Kind::BfsFlipped: {
            const BfsCursor& b = *s.bfs;
            // The edges handed out discovered the queue's entries after the root.
            const auto seen = b.order().first(s.yielded + 1);
            const std::size_t head = s.last_edge.parent_at;
            const std::uint32_t depth = b.level(seen[head]);
            std::size_t level_end = head + 1;
            while (level_end < seen.size() && b.level(seen[level_end]) == depth) ++level_end;
            return tuple_from([&] { return to_list(seen); }, [&] { return PyLong_FromSize_t(head); },
                              [&] { return PyLong_FromUnsignedLong(s.last_edge.slot + 1); },
                              [&] { return PyLong_FromSize_t(level_end); },
                              [&] { return PyLong_FromUnsignedLong(depth); });
        }
        case Kind::BfsLayers:
            return to_list(s.bfs->order());
        case Kind::DfsEdges:
        case Kind::DfsNodes: {
            const DfsCursor& d = *s.dfs;
            const auto stack = d.stack_above(s.last_step.node);
            std::vector<Node> frames;
            std::vector<std::uint32_t> positions;
            for (const auto& [node, position] : stack) {
                frames.push_back(node);
                positions.push_back(position);
            }
            return tuple_from([&] { return to_list(d.order().first(s.last_step.visited)); },
                              [&] { return PyLong_FromUnsignedLong(s.last_step.node); },
                              [&] { return to_list(frames); }, [&] { return to_list(positions); });
        }
        case Kind::Components:
            return tuple_from([&] { return to_list(s.components->order()); },
                              [&] { return PyLong_FromUnsignedLong(s.last_start); });
    }
    Py_RETURN_NONE;
}

PyObject* changed(PyObject* self) {
    PyCursor* c = as_cursor(self);
    Borrow borrow(c->borrowed);
    if (!borrow.held()) return nullptr;
    return PyBool_FromLong(c->search->changed);
}

PyObject* expanded(PyObject* self) {
    PyCursor* c = as_cursor(self);
    Borrow borrow(c->borrowed);
    if (!borrow.held()) return nullptr;
    const Search& s = *c->search;
    const std::size_t done = s.bfs ? s.bfs->expanded() : s.dfs ? s.dfs->expanded() : s.components->expanded();
    return PyLong_FromSize_t(done);
}

constexpr auto NEXT_LAYER =
    method<next_layer>("next_layer", "The next breadth-first layer as a list of objects; empty once done.");
constexpr auto STATE =
    method<state>("state",
           "Where NetworkX's loop stands after the last item (None before the first):\n"
           "breadth-first edges `(seen, head, position, level_end, depth)`: the queue\n"
           "so far, the entry being expanded and the position after the last child in\n"
           "its row, where its level ends in the queue, and that level; layers: the\n"
           "nodes seen; depth-first `(visited, node, stack, positions)`: the nodes\n"
           "visited before the last item's node (every node, after a finish), that\n"
           "node, and the stack above it with each row's position; components\n"
           "`(seen, start)`.");
constexpr auto CHANGED =
    method<changed>("changed", "Whether the iteration stopped because a watched graph changed.");
constexpr auto EXPANDED = method<expanded>("expanded", "Rows the search has read to their end (its work so far).");

PyMethodDef* methods() {
    static PyMethodDef table[] = {row<NEXT_LAYER>(), row<STATE>(), row<CHANGED>(), row<EXPANDED>(),
                                  {nullptr, nullptr, 0, nullptr}};
    return table;
}

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    PyCursor* c = as_cursor(self);
    delete c->search;
    Py_CLEAR(c->graph);
    Py_CLEAR(c->nodes);
    Py_CLEAR(c->root);
    Py_CLEAR(c->watch);
    c->borrowed.~atomic();
    type->tp_free(self);
    Py_DECREF(type);
}

int traverse(PyObject* self, visitproc visit, void* arg) {
    PyCursor* c = as_cursor(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(c->graph);
    Py_VISIT(c->nodes);
    Py_VISIT(c->root);
    Py_VISIT(c->watch);
    return 0;
}

// Only the watched caches can close a cycle (a cache may hold anything);
// the graph, the node tuple and the root stay until deallocation, since the
// search reads the graph's rows and the items are made from the others.
int clear(PyObject* self) {
    Py_CLEAR(as_cursor(self)->watch);
    as_cursor(self)->watch = Py_NewRef(Py_None);
    return 0;
}

// A new cursor over `search`, or nullptr with an exception set.
PyObject* wrap(std::unique_ptr<Search> search, PyObject* graph, PyObject* nodes, Node root_at, PyObject* root,
               PyObject* watch) {
    PyCursor* c = PyObject_GC_New(PyCursor, g_type);
    if (c == nullptr) return nullptr;
    c->search = search.release();
    c->graph = Py_NewRef(graph);
    c->nodes = Py_NewRef(nodes);
    c->root = Py_NewRef(root);
    c->watch = Py_NewRef(watch);
    c->root_at = root_at;
    new (&c->borrowed) std::atomic<bool>(false);
    PyObject_GC_Track(reinterpret_cast<PyObject*>(c));
    return reinterpret_cast<PyObject*>(c);
}
// The objects a cursor hands out: `nodes` (a tuple, one object per node;
// required), `root` (the object for the root's position, default its node)
// and `watch` (None or a tuple of (dict, key, marker) triples).
struct Objects {
    PyObject* nodes = nullptr;
    PyObject* root = nullptr;
    PyObject* watch = Py_None;
};

bool objects(const CoreGraph& g, const std::optional<TupleRef>& nodes, PyObject* root_obj, PyObject* watch, Node root,
             Objects& out) {
    if (!nodes) {
        PyErr_SetString(PyExc_TypeError, "nodes is required");
        return false;
    }
    out.nodes = nodes->obj;
    if (static_cast<Count>(PyTuple_GET_SIZE(out.nodes)) != g.n) {
        PyErr_SetString(PyExc_ValueError, "nodes must hold one object per node");
        return false;
    }
    out.root = root_obj != Py_None ? root_obj : root < g.n ? PyTuple_GET_ITEM(out.nodes, root) : Py_None;
    if (!valid_watch(watch)) return false;
    out.watch = watch;
    return true;
}

// The cursor's graph is `self`, which it keeps alive.
PyObject* bfs_cursor(PyObject* self, const Positions& roots, std::int64_t depth_limit, bool reverse,
                     const std::optional<TupleRef>& nodes, PyObject* root, const std::string& items, PyObject* watch) {
    Kind kind;
    if (items == "edges") {
        kind = Kind::BfsEdges;
    } else if (items == "flipped") {
        kind = Kind::BfsFlipped;
    } else if (items == "layers") {
        kind = Kind::BfsLayers;
    } else {
        return PyErr_Format(PyExc_ValueError, "unknown kind %s", items.c_str());
    }
    const CoreGraph& g = graph_of(self);
    if (roots.empty() || !g.sources_or_all(roots).ok()) return raise(index_error());
    std::vector<std::uint8_t> seen(g.n, 0);
    for (Node r : roots) {
        if (seen[r]++) return PyErr_Format(PyExc_ValueError, "roots must be distinct");
    }
    Objects obj;
    if (!objects(g, nodes, root, watch, roots[0], obj)) return nullptr;
    auto view = g.search_view(std::nullopt, reverse);
    if (!view.ok()) return raise(view.error());
    auto search = std::make_unique<Search>();
    search->kind = kind;
    const std::uint32_t max_level =
        kind == Kind::BfsLayers ? BfsCursor::UNREACHED : static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                                                              depth_limit, 0, BfsCursor::UNREACHED));
    search->bfs = std::make_unique<BfsCursor>(*view.value().out, roots, max_level);
    return wrap(std::move(search), self, obj.nodes, roots[0], obj.root, obj.watch);
}

PyObject* dfs_cursor(PyObject* self, const std::optional<Positions>& starts, std::int64_t depth_limit,
                     const std::optional<TupleRef>& nodes, PyObject* root, const std::string& events, PyObject* watch) {
    DfsEvents which;
    Kind kind = Kind::DfsNodes;
    if (events == "forward") {
        which = DfsEvents::Forward;
        kind = Kind::DfsEdges;
    } else if (events == "preorder") {
        which = DfsEvents::Preorder;
    } else if (events == "postorder") {
        which = DfsEvents::Postorder;
    } else {
        return PyErr_Format(PyExc_ValueError, "unknown events %s", events.c_str());
    }
    const CoreGraph& g = graph_of(self);
    auto list = g.sources_or_all(starts);
    if (!list.ok()) return raise(list.error());
    const Node first = starts && !starts->empty() ? (*starts)[0] : NO_ROOT;
    Objects obj;
    if (!objects(g, nodes, root, watch, first, obj)) return nullptr;
    // The stack never holds more than n nodes, so a larger limit is no limit.
    const auto limit = static_cast<std::uint32_t>(std::clamp<std::int64_t>(depth_limit, 1, g.n + std::int64_t{1}));
    auto search = std::make_unique<Search>();
    search->kind = kind;
    search->dfs = std::make_unique<DfsCursor>(g.succ, std::move(list.value()), limit, which);
    return wrap(std::move(search), self, obj.nodes, first, obj.root, obj.watch);
}

PyObject* component_cursor(PyObject* self, bool weak, const std::optional<TupleRef>& nodes, PyObject* watch) {
    const CoreGraph& g = graph_of(self);
    Objects obj;
    if (!objects(g, nodes, Py_None, watch, NO_ROOT, obj)) return nullptr;
    const Csr* back = nullptr;
    if (weak && g.directed) {
        auto exact = g.search_view(std::nullopt, true);
        if (!exact.ok()) return raise(exact.error());
        back = exact.value().out;
    }
    auto search = std::make_unique<Search>();
    search->kind = Kind::Components;
    search->components = std::make_unique<ComponentCursor>(g.succ, back);
    return wrap(std::move(search), self, obj.nodes, NO_ROOT, obj.root, obj.watch);
}

constexpr auto DFS_FORWARD = method<dfs_forward>(
    "dfs_forward",
    "DFS forward edges from `starts` (all nodes if `None`), with\n`(start, start)` marking each new start.",
    arg<std::optional<Positions>>("starts"), arg<std::int64_t>("depth_limit"));
constexpr auto BFS_CURSOR = method<bfs_cursor>(
    "bfs_cursor",
    "A Cursor over a breadth-first search from the distinct `roots`, levels\n"
    "below `depth_limit` expanded: tree edges as object pairs (`items=\"edges\"`),\n"
    "the same as (child, parent) (`\"flipped\"`), or whole layers read with\n"
    "`next_layer` (`\"layers\"`, no limit). `reverse` follows in-edges in exact\n"
    "order; `root` is the object handed out for the first root.",
    arg<Positions>("roots"), arg<std::int64_t>("depth_limit"), arg<bool>("reverse", false),
    kwarg<std::optional<TupleRef>>("nodes", none), kwarg<PyObject*>("root", none), kwarg<std::string>("items", "edges"),
    kwarg<PyObject*>("watch", none));
constexpr auto DFS_CURSOR = method<dfs_cursor>(
    "dfs_cursor",
    "A Cursor over a depth-first search from `starts` (every node if None):\n"
    "tree edges as object pairs (`events=\"forward\"`), or nodes in preorder or\n"
    "postorder. Nodes at depth `depth_limit` are not entered.",
    arg<std::optional<Positions>>("starts"), arg<std::int64_t>("depth_limit"),
    kwarg<std::optional<TupleRef>>("nodes", none), kwarg<PyObject*>("root", none),
    kwarg<std::string>("events", "forward"), kwarg<PyObject*>("watch", none));
constexpr auto COMPONENT_CURSOR = method<component_cursor>(
    "component_cursor",
    "A Cursor over the connected components as sets (weakly connected ones,\n"
    "in-rows in exact order, with `weak`), one search per component.",
    arg<bool>("weak", false), kwarg<std::optional<TupleRef>>("nodes", none), kwarg<PyObject*>("watch", none));

}  // namespace

std::vector<PyMethodDef> traversal_methods() {
    return {row<DFS_FORWARD>(), row<BFS_CURSOR>(), row<DFS_CURSOR>(), row<COMPONENT_CURSOR>()};
}

PyObject* create_cursor_type(PyObject* module) {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(clear)},
        {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
        {Py_tp_iternext, reinterpret_cast<void*>(iternext)},
        {Py_tp_methods, methods()},
        {Py_tp_doc, const_cast<char*>("A resumable search handing out NetworkX's items one at a time.")},
        {0, nullptr},
    };
    PyType_Spec spec = {
        "fennel._core.Cursor",
        sizeof(PyCursor),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
    if (type != nullptr && g_type == nullptr) g_type = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));
    return type;
}

}  // namespace fennel::py
