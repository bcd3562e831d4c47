#include "lib/path_results_py.hpp"

#include "lib/errors_py.hpp"
#include "lib/numpy_types_py.hpp"
#include "lib/pyref.hpp"

#include <vector>

namespace fennel::py {

namespace {

// The path lists made so far, by position; releases them on every exit.
class PathLists {
public:
    explicit PathLists(std::size_t n) : lists_(n, nullptr) {}
    ~PathLists() {
        for (PyObject* list : lists_) Py_XDECREF(list);
    }
    PathLists(const PathLists&) = delete;
    PathLists& operator=(const PathLists&) = delete;

    PyObject*& operator[](Node v) { return lists_[v]; }

private:
    std::vector<PyObject*> lists_;
};

// A new list of `parent`'s items with `item` appended (or, `toward`, put in
// front).
PyObject* extended(PyObject* parent, PyObject* item, bool toward) {
    const Py_ssize_t len = PyList_GET_SIZE(parent);
    PyObject* list = PyList_New(len + 1);
    if (list == nullptr) return nullptr;
    const Py_ssize_t shift = toward ? 1 : 0;
    for (Py_ssize_t k = 0; k < len; ++k) PyList_SET_ITEM(list, k + shift, Py_NewRef(PyList_GET_ITEM(parent, k)));
    PyList_SET_ITEM(list, toward ? 0 : len, Py_NewRef(item));
    return list;
}

}  // namespace

PyObject* tree_paths(const NodeObjects& obj, std::span<const Node> order, std::span<const Node> parents,
                     std::span<const Node> keys, bool toward) {
    PathLists path(static_cast<std::size_t>(PyTuple_GET_SIZE(obj.nodes)));
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(keys.size())));
    if (!out) return nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Node v = order[i];
        if (i > 0 && path[parents[i]] == nullptr) return raise_internal("path tree: parent after child");
        PyObject* list = i == 0 ? PyList_New(1) : extended(path[parents[i]], obj(v), toward);
        if (list == nullptr) return nullptr;
        if (i == 0) PyList_SET_ITEM(list, 0, Py_NewRef(obj(v)));
        path[v] = list;
    }
    for (Node v : keys) {
        if (PyDict_SetItem(out.get(), obj(v), path[v]) < 0) return nullptr;
    }
    return out.release();
}

PyObject* distance_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const double> dist,
                        DistanceKind kind, std::span<const std::uint8_t> kinds) {
    if (kind.per_entry && kinds.size() != order.size()) return raise_internal("distance kinds missing");
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(order.size())));
    if (!out) return nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        PyRef value = PyRef::steal(i == 0 ? PyLong_FromLong(0)
                                          : kind_value(dist[i], kind.per_entry ? kinds[i] : kind.kind));
        if (!value || PyDict_SetItem(out.get(), obj(order[i]), value.get()) < 0) return nullptr;
    }
    return out.release();
}

bool distance_kind(const CoreGraph& g, const std::optional<std::string>& weight, bool reverse, DistanceKind& out) {
    const int kind = g.distance_kind(weight);
    if (kind >= 0) {
        out = {static_cast<std::uint8_t>(kind), false};
        return true;
    }
    auto view = g.path_adj(weight, reverse);
    if (!view.ok() || view.value().kinds == nullptr) {
        PyErr_SetString(PyExc_NotImplementedError, "distances over weights of several kinds");
        return false;
    }
    out = {PY_INT, true};
    return true;
}

PyObject* level_dict(const NodeObjects& obj, std::span<const Node> order, std::span<const std::uint32_t> levels) {
    PyRef out = PyRef::steal(new_dict_for(static_cast<Py_ssize_t>(order.size())));
    if (!out) return nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        PyRef value = PyRef::steal(PyLong_FromUnsignedLong(levels[i]));
        if (!value || PyDict_SetItem(out.get(), obj(order[i]), value.get()) < 0) return nullptr;
    }
    return out.release();
}

}  // namespace fennel::py
