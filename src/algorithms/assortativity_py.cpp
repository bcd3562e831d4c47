// Bindings of the assortativity measures.
#include "algorithms/assortativity.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <cmath>

namespace fennel::py {

namespace {

PyObject* int64_list(const std::vector<std::int64_t>& values) {
    return list_from(values.size(), [&](std::size_t i) { return PyLong_FromLongLong(values[i]); });
}

PyObject* int64_bytes(const std::vector<std::int64_t>& values) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(values.data()),
                                     static_cast<Py_ssize_t>(values.size() * sizeof(std::int64_t)));
}

Result<Side> side_of(std::int64_t side) {
    if (side < 0 || side > 2) return value_error("side must be 0 (out), 1 (in) or 2 (in+out)");
    return static_cast<Side>(side);
}

// The given positions after a range check, or every node.
Result<std::vector<Node>> checked(const CoreGraph& g, const std::optional<Positions>& nodes) {
    return g.sources_or_all(nodes);
}

// The keys per succ slot of a multigraph, checked against the rows.
Result<Mult> keys_of(const CoreGraph& g, const std::optional<Positions>& keys) {
    if (!keys) return Mult{nullptr};
    if (keys->size() != g.succ.slot_count()) return value_error("keys must hold one count per row slot");
    return Mult{&*keys};
}

PyObject* side_degree_list(const CoreGraph& g, std::int64_t side, const std::optional<Positions>& keys,
                           bool distinct) {
    auto s = side_of(side);
    auto mult = keys_of(g, keys);
    if (!s.ok()) return raise(s.error());
    if (!mult.ok()) return raise(mult.error());
    return detached(
        [&] {
            auto degrees = side_degrees(g, s.value(), mult.value());
            return distinct ? first_occurrences(degrees) : degrees;
        },
        int64_list);
}

PyObject* neighbor_degree_averages(const CoreGraph& g, std::int64_t source, std::int64_t target,
                                   const std::optional<Positions>& nodes, const std::optional<Positions>& keys,
                                   const std::optional<TupleRef>& objects) {
    auto s = side_of(source);
    auto t = side_of(target);
    auto list = checked(g, nodes);
    auto mult = keys_of(g, keys);
    if (!s.ok() || !t.ok()) return raise((s.ok() ? t : s).error());
    if (!list.ok()) return raise(list.error());
    if (!mult.ok()) return raise(mult.error());
    if (objects && static_cast<std::size_t>(PyTuple_GET_SIZE(objects->obj)) != list.value().size()) {
        return raise(value_error("objects must hold one key per node asked for"));
    }
    return detached([&] { return average_neighbor_degrees(g, s.value(), t.value(), list.value(), mult.value()); },
                    [&](const std::vector<double>& avg) {
                        auto value = [&](std::size_t i) { return PyFloat_FromDouble(avg[i]); };
                        return objects ? dict_from(objects->obj, value) : list_from(avg.size(), value);
                    });
}

PyObject* connectivity_tally(const CoreGraph& g, std::int64_t source, std::int64_t target,
                             const std::optional<Positions>& nodes,
                             const std::optional<Positions>& keys) {
    auto s = side_of(source);
    auto t = side_of(target);
    auto list = checked(g, nodes);
    auto mult = keys_of(g, keys);
    if (!s.ok() || !t.ok()) return raise((s.ok() ? t : s).error());
    if (!list.ok()) return raise(list.error());
    if (!mult.ok()) return raise(mult.error());
    return detached([&] { return degree_connectivity(g, s.value(), t.value(), list.value(), mult.value()); },
                    [](const ConnectivityTally& tally) {
                        return tuple_from([&] { return int64_list(tally.k); }, [&] { return int64_list(tally.dsum); },
                                          [&] { return int64_list(tally.dnorm); });
                    });
}

PyObject* mixing_rows(const std::vector<MixingRow>& rows) {
    return list_from(rows.size(), [&](std::size_t i) {
        return tuple_from([&] { return PyLong_FromLongLong(rows[i].key); },
                          [&] { return int64_list(rows[i].inner); }, [&] { return int64_list(rows[i].count); });
    });
}

// A degree matrix's arguments: the sides, the mapping's degrees (int64
// bytes) and a multigraph's keys, checked; nullopt with the error set.
struct MatrixArgs {
    Side x, y;
    std::vector<std::int64_t> degrees;
    Mult mult;
};

std::optional<MatrixArgs> matrix_args(const CoreGraph& g, std::int64_t x, std::int64_t y, const BytesRef& mapping,
                                      const std::optional<Positions>& keys) {
    auto a = side_of(x);
    auto b = side_of(y);
    auto m = keys_of(g, keys);
    if (!a.ok() || !b.ok() || !m.ok()) {
        raise(!a.ok() ? a.error() : !b.ok() ? b.error() : m.error());
        return std::nullopt;
    }
    MatrixArgs args{a.value(), b.value(), {}, m.value()};
    const auto size = static_cast<std::size_t>(PyBytes_GET_SIZE(mapping.obj));
    if (!read_int64s(mapping, size / sizeof(std::int64_t), args.degrees)) return std::nullopt;
    return args;
}

PyObject* degree_matrix_of(const CoreGraph& g, std::int64_t x, std::int64_t y, const BytesRef& mapping,
                           const std::optional<Positions>& keys) {
    auto a = matrix_args(g, x, y, mapping, keys);
    if (!a) return nullptr;
    return detached([&] { return degree_matrix(g, a->x, a->y, a->degrees, a->mult); },
                    [](const std::vector<double>& counts) {
                        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(counts.data()),
                                                         static_cast<Py_ssize_t>(counts.size() * sizeof(double)));
                    });
}

PyObject* degree_coefficient_of(const CoreGraph& g, std::int64_t x, std::int64_t y, const BytesRef& mapping,
                                const std::optional<Positions>& keys) {
    auto a = matrix_args(g, x, y, mapping, keys);
    if (!a) return nullptr;
    return detached([&] { return degree_coefficient(g, a->x, a->y, a->degrees, a->mult); },
                    [](const std::optional<double>& r) { return r ? PyFloat_FromDouble(*r) : Py_NewRef(Py_None); });
}

PyObject* degree_xy(const CoreGraph& g, std::int64_t x, std::int64_t y, const std::optional<Positions>& order,
                    const std::optional<Flags>& member, const std::optional<BytesRef>& hashes,
                    const std::optional<Positions>& keys, bool counted) {
    auto sx = side_of(x);
    auto sy = side_of(y);
    auto mult = keys_of(g, keys);
    if (!sx.ok() || !sy.ok()) return raise((sx.ok() ? sy : sx).error());
    if (!mult.ok()) return raise(mult.error());
    if (order.has_value() != member.has_value() || order.has_value() == hashes.has_value()) {
        return raise(value_error("give order and member, or hashes for set(G)"));
    }
    std::vector<Node> walk;
    std::vector<std::int64_t> hash;
    if (order) {
        auto list = checked(g, order);
        if (!list.ok()) return raise(list.error());
        if (member->size() != g.n) return raise(value_error("member must hold one flag per node"));
        walk = std::move(list.value());
    } else if (!read_int64s(*hashes, g.n, hash)) {
        return nullptr;
    }
    const Flags every(order ? 0 : g.n, 1);
    const Flags& flags = order ? *member : every;
    if (counted) {
        return detached(
            [&] {
                if (!order) walk = set_order(hash);
                return degree_mixing(g, sx.value(), sy.value(), walk, flags, mult.value());
            },
            mixing_rows);
    }
    return detached(
        [&] {
            if (!order) walk = set_order(hash);
            return degree_pairs(g, sx.value(), sy.value(), walk, flags, mult.value());
        },
        [](const Pairs& pairs) {
            return tuple_from([&] { return int64_bytes(pairs.x); }, [&] { return int64_bytes(pairs.y); });
        });
}

PyObject* attribute_xy(const CoreGraph& g, const BytesRef& codes, const Flags& member,
                       const std::optional<Positions>& keys) {
    std::vector<std::int64_t> code;
    if (!read_int64s(codes, g.n, code)) return nullptr;
    auto mult = keys_of(g, keys);
    if (!mult.ok()) return raise(mult.error());
    if (member.size() != g.n) return raise(value_error("member must hold one flag per node"));
    return detached([&] { return attribute_mixing(g, code, member, mult.value()); }, mixing_rows);
}

// Each node's `attribute` as read by `data.get(attribute, None)`, coded by
// a dict of the values (codes in first-met order), with the first value of
// each code. `problem`: None, or why NetworkX's dicts could key the values
// otherwise (unhashable values; equal values of another type or repr, of
// which NetworkX keeps the first its walk meets).
PyObject* attribute_codes(const DictRef& node_data, PyObject* attribute) {
    PyObject* code_of = PyDict_New();
    PyObject* firsts = code_of != nullptr ? PyList_New(0) : nullptr;
    if (firsts == nullptr) {
        Py_XDECREF(code_of);
        return nullptr;
    }
    std::vector<std::int64_t> codes;
    codes.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(node_data.obj)));
    const char* problem = nullptr;
    bool failed = false;
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* data = nullptr;
    while (!failed && problem == nullptr && PyDict_Next(node_data.obj, &pos, &key, &data)) {
        PyObject* value = nullptr;
        if (PyDict_CheckExact(data)) {
            value = PyDict_GetItemWithError(data, attribute);
            if (value == nullptr && PyErr_Occurred()) {
                failed = true;
                break;
            }
            value = Py_NewRef(value != nullptr ? value : Py_None);
        } else {
            value = PyObject_CallMethod(data, "get", "OO", attribute, Py_None);
            if (value == nullptr) {
                failed = true;
                break;
            }
        }
        PyObject* code = PyDict_GetItemWithError(code_of, value);
        if (code == nullptr && PyErr_Occurred()) {
            if (PyErr_ExceptionMatches(PyExc_TypeError)) {
                PyErr_Clear();
                problem = "unhashable attribute values are left to NetworkX";
            } else {
                failed = true;
            }
        } else if (code == nullptr) {
            PyObject* fresh = PyLong_FromSsize_t(PyList_GET_SIZE(firsts));
            failed = fresh == nullptr || PyDict_SetItem(code_of, value, fresh) < 0 || PyList_Append(firsts, value) < 0;
            codes.push_back(PyList_GET_SIZE(firsts) - 1);
            Py_XDECREF(fresh);
        } else {
            const Py_ssize_t c = PyLong_AsSsize_t(code);
            PyObject* first = PyList_GET_ITEM(firsts, c);
            codes.push_back(c);
            if (first != value) {
                if (Py_TYPE(first) != Py_TYPE(value)) {
                    problem = "equal attribute values of different types or forms are left to NetworkX";
                } else if (PyFloat_CheckExact(value)) {
                    // Equal floats differ in form only as 0.0 and -0.0.
                    if (std::signbit(PyFloat_AS_DOUBLE(first)) != std::signbit(PyFloat_AS_DOUBLE(value))) {
                        problem = "equal attribute values of different types or forms are left to NetworkX";
                    }
                } else if (!PyLong_CheckExact(value) && !PyUnicode_CheckExact(value)) {
                    PyObject* a = PyObject_Repr(first);
                    PyObject* b = a != nullptr ? PyObject_Repr(value) : nullptr;
                    const int same = b != nullptr ? PyObject_RichCompareBool(a, b, Py_EQ) : -1;
                    Py_XDECREF(a);
                    Py_XDECREF(b);
                    if (same < 0) failed = true;
                    if (same == 0) problem = "equal attribute values of different types or forms are left to NetworkX";
                }
            }
        }
        Py_DECREF(value);
    }
    if (failed) {
        Py_DECREF(code_of);
        Py_DECREF(firsts);
        return nullptr;
    }
    Py_DECREF(code_of);
    PyObject* out = tuple_from([&] { return int64_bytes(codes); }, [&] { return Py_NewRef(firsts); },
                               [&] { return problem ? PyUnicode_FromString(problem) : Py_NewRef(Py_None); });
    Py_DECREF(firsts);
    return out;
}

constexpr auto SIDE_DEGREES = method<side_degree_list>(
    "side_degrees",
    "Every node's degree: 0 out, 1 in, 2 in+out (undirected: G.degree);\n`keys`: a multigraph's keys per row slot. "
    "With `distinct`, each degree once,\nin the order the nodes first have it.",
    arg<std::int64_t>("side"), arg<std::optional<Positions>>("keys", none), kwarg<bool>("distinct", false));
constexpr auto NEIGHBOR_DEGREE_AVERAGES = method<neighbor_degree_averages>(
    "neighbor_degree_averages",
    "average_neighbor_degree's values for `nodes` (None: every node), in their\norder; sides 0 out, 1 in, 2 in+out. "
    "With `objects`, a dict of them\nkeyed by its items in order.",
    arg<std::int64_t>("source"), arg<std::int64_t>("target"), arg<std::optional<Positions>>("nodes"),
    arg<std::optional<Positions>>("keys", none), kwarg<std::optional<TupleRef>>("objects", none));
constexpr auto CONNECTIVITY_TALLY = method<connectivity_tally>(
    "connectivity_tally",
    "average_degree_connectivity's `(degrees, dsum, dnorm)` for `nodes` (None:\nevery node), the degrees in "
    "first-met order.",
    arg<std::int64_t>("source"), arg<std::int64_t>("target"), arg<std::optional<Positions>>("nodes"), arg<std::optional<Positions>>("keys", none));
constexpr auto DEGREE_XY = method<degree_xy>(
    "degree_xy",
    "node_degree_xy's pairs over the nodes of `order` (flagged in `member`), or\nof set(G) (`hashes`: hash() of "
    "each node as int64 bytes): `(x, y)` as\nint64 bytes, or with `counted` mixing_dict's rows `[(key, inner keys,"
    "\ncounts)]` in its key order.",
    arg<std::int64_t>("x"), arg<std::int64_t>("y"), arg<std::optional<Positions>>("order"),
    arg<std::optional<Flags>>("member"), arg<std::optional<BytesRef>>("hashes"),
    arg<std::optional<Positions>>("keys", none), kwarg<bool>("counted", false));
constexpr auto DEGREE_MATRIX = method<degree_matrix_of>(
    "degree_matrix",
    "degree_mixing_matrix's unnormalised counts over every node, as float64\nbytes, row-major over `mapping` "
    "(its degrees, int64 bytes, in index\norder).",
    arg<std::int64_t>("x"), arg<std::int64_t>("y"), arg<BytesRef>("mapping"), arg<std::optional<Positions>>("keys", none));
constexpr auto DEGREE_COEFFICIENT = method<degree_coefficient_of>(
    "degree_coefficient",
    "degree_assortativity_coefficient over every node with `mapping` (its\ndegrees, int64 bytes, in index order), "
    "as NetworkX's numpy arithmetic\nforms it; None where numpy would warn (no pairs, no variance).",
    arg<std::int64_t>("x"), arg<std::int64_t>("y"), arg<BytesRef>("mapping"), arg<std::optional<Positions>>("keys", none));
constexpr auto ATTRIBUTE_XY = method<attribute_xy>(
    "attribute_xy",
    "mixing_dict's rows `[(key, inner keys, counts)]` of node_attribute_xy's\npairs of node codes (int64 bytes "
    "`codes`) from the flagged nodes.",
    arg<BytesRef>("codes"), arg<Flags>("member"), arg<std::optional<Positions>>("keys", none));

constexpr auto ATTRIBUTE_CODES = function<attribute_codes>(
    "_attribute_codes",
    "`(codes, firsts, problem)` of each node's `attribute` (G._node's data\ndicts' `.get(attribute, None)`): int64 "
    "codes as bytes by a dict of the\nvalues, each code's first value, and None or why NetworkX may key the\nvalues "
    "otherwise.",
    arg<DictRef>("node_data"), arg<PyObject*>("attribute"));

}  // namespace

std::vector<PyMethodDef> assortativity_functions() { return {row<ATTRIBUTE_CODES>()}; }

std::vector<PyMethodDef> assortativity_methods() {
    return {row<SIDE_DEGREES>(), row<NEIGHBOR_DEGREE_AVERAGES>(), row<CONNECTIVITY_TALLY>(), row<DEGREE_XY>(),
            row<DEGREE_MATRIX>(), row<DEGREE_COEFFICIENT>(),
            row<ATTRIBUTE_XY>()};
}

}  // namespace fennel::py
