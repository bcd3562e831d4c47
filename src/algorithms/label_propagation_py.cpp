// Binding of the randomised label propagations and fluid communities. They run on the calling
// thread with the GIL held while every draw is a call into the caller's
// generator object; the kernels read only the CoreGraph, which nothing those
// calls do can change. Drawing from a random.Random's replayed state, they
// run detached.
#include "algorithms/asyn_fluid.hpp"
#include "algorithms/label_propagation.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

#include <algorithm>

namespace fennel::py {

namespace {

Error raised() { return {ErrorKind::Raised, {}}; }

// `shuffled()` returns the positions in the order seed.shuffle left the
// nodes; `choice` is the generator's own bound method.
class PyDraws final : public Draws {
public:
    PyDraws(PyObject* shuffled, PyObject* choice, Count n) : shuffled_(shuffled), choice_(choice), n_(n) {}

    Result<std::vector<Node>> shuffled() override {
        PyRef found = PyRef::steal(PyObject_CallNoArgs(shuffled_));
        if (!found) return raised();
        std::vector<Node> order;
        if (!PyList_CheckExact(found.get()) || static_cast<Count>(PyList_GET_SIZE(found.get())) != n_) {
            return value_error("shuffled() must return a list of every position");
        }
        order.reserve(static_cast<std::size_t>(n_));
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(found.get()); ++i) {
            const unsigned long p = PyLong_AsUnsignedLong(PyList_GET_ITEM(found.get(), i));
            if (p == static_cast<unsigned long>(-1) && PyErr_Occurred()) return raised();
            if (p >= n_) return index_error();
            order.push_back(static_cast<Node>(p));
        }
        return order;
    }

    Result<Node> choice(std::span<const Node> labels) override {
        PyRef list = PyRef::steal(to_list(labels));
        if (!list) return raised();
        PyRef picked = PyRef::steal(PyObject_CallOneArg(choice_, list.get()));
        if (!picked) return raised();
        const unsigned long label = PyLong_Check(picked.get()) ? PyLong_AsUnsignedLong(picked.get()) : n_;
        if (label == static_cast<unsigned long>(-1) && PyErr_Occurred()) return raised();
        if (std::find(labels.begin(), labels.end(), label) == labels.end()) {
            return value_error("seed.choice returned none of the labels it was given");
        }
        return static_cast<Node>(label);
    }

private:
    PyObject* shuffled_;
    PyObject* choice_;
    Count n_;
};

// A random.Random's state from getstate(): 624 words (int64 bytes) and the
// index; false with the error set when they are not one.
bool read_twister(const BytesRef& state, std::int64_t index, MersenneTwister& rng) {
    std::vector<std::int64_t> words;
    if (!read_int64s(state, 624, words)) return false;
    if (index < 0 || index > 624) {
        raise(value_error("index must be in 0..624"));
        return false;
    }
    for (std::size_t i = 0; i < 624; ++i) rng.mt[i] = static_cast<std::uint32_t>(words[i]);
    rng.index = static_cast<std::uint32_t>(index);
    return true;
}

// (answer, words, index): an answer with the generator's state after its draws.
PyObject* with_twister(PyObject* answer, const MersenneTwister& rng) {
    PyRef owned = PyRef::steal(answer);
    if (!owned) return nullptr;
    return tuple_from([&] { return owned.release(); }, [&] { return to_list(rng.mt); },
                      [&] { return PyLong_FromUnsignedLong(rng.index); });
}

Result<LabelRows> label_rows(const CoreGraph& g, const AttrName& weight, bool multigraph) {
    LabelRows rows{&g.succ, nullptr, nullptr, nullptr, multigraph};
    auto column = g.weight_slice(weight, false);
    if (!column.ok()) return column.error();
    rows.succ_weights = column.value();
    if (g.directed) {
        auto back = g.search_view(weight, true);
        if (!back.ok()) return back.error();
        rows.pred = back.value().out;
        rows.pred_weights = back.value().weights;
    }
    return rows;
}

// With `state` (a random.Random's 624 words as int64 bytes, and its
// `index`), the draws are that generator's own, replayed without the
// interpreter: (labels, words, index) after them.
template <auto Kernel>
PyObject* propagate(const CoreGraph& g, const AttrName& weight, bool multigraph, PyObject* shuffled,
                    PyObject* choice, const std::optional<BytesRef>& state, std::int64_t index) {
    auto rows = label_rows(g, weight, multigraph);
    if (!rows.ok()) return raise(rows.error());
    if (state) {
        MersenneTwister rng;
        if (!read_twister(*state, index, rng)) return nullptr;
        TwisterDraws draws(rng, g.n);
        return detached([&] { return Kernel(rows.value(), draws); },
                        [&](const std::vector<Node>& labels) { return with_twister(to_list(labels), rng); });
    }
    PyDraws draws(shuffled, choice, g.n);
    auto labels = Kernel(rows.value(), draws);
    if (!labels.ok()) return raise(labels.error());
    return to_list(labels.value());
}

constexpr auto ASYN_LPA = method<propagate<asyn_lpa>>(
    "asyn_lpa",
    "Final labels of `asyn_lpa_communities`, drawing by `shuffled()` and `choice(labels)`,\nor from a "
    "random.Random's `state` and `index`: then `(labels, words, index)`.",
    arg<AttrName>("weight"), arg<bool>("multigraph"), arg<PyObject*>("shuffled"), arg<PyObject*>("choice"),
    kwarg<std::optional<BytesRef>>("state", none), kwarg<std::int64_t>("index", 624));

constexpr auto FAST_LPA = method<propagate<fast_label_propagation>>(
    "fast_label_propagation",
    "Final labels of `fast_label_propagation_communities`, drawing by `shuffled()` and\n`choice(labels)`, or from "
    "a random.Random's `state` and `index`: then `(labels, words, index)`.",
    arg<AttrName>("weight"), arg<bool>("multigraph"), arg<PyObject*>("shuffled"), arg<PyObject*>("choice"),
    kwarg<std::optional<BytesRef>>("state", none), kwarg<std::int64_t>("index", 624));

PyObject* fluid(const CoreGraph& g, std::uint64_t k, std::uint64_t max_rounds, PyObject* shuffled, PyObject* choice,
                const std::optional<BytesRef>& state, std::int64_t index) {
    if (g.directed) return raise(not_implemented("fluid communities need an undirected graph"));
    if (k == 0 || k > g.n) return raise(value_error("k must be between 1 and the node count"));
    MersenneTwister rng;
    if (state && !read_twister(*state, index, rng)) return nullptr;
    auto answer = [&](const FluidCommunities& f) {
        std::vector<Node> labels;
        labels.reserve(f.order.size());
        for (Node v : f.order) labels.push_back(f.community[v]);
        return tuple_from([&] { return to_python(f.order); }, [&] { return to_python(labels); },
                          [&] { return to_python(f.emptied); });
    };
    if (state) {
        TwisterDraws draws(rng, g.n);
        return detached([&] { return fluid_communities(g.succ, static_cast<Node>(k), max_rounds, draws); },
                        [&](const FluidCommunities& f) { return with_twister(answer(f), rng); });
    }
    PyDraws draws(shuffled, choice, g.n);
    auto found = fluid_communities(g.succ, static_cast<Node>(k), max_rounds, draws);
    if (!found.ok()) return raise(found.error());
    return answer(found.value());
}

constexpr auto FLUID = method<fluid>(
    "fluid_communities",
    "`asyn_fluidc`'s communities as (positions in NetworkX's dict order, their communities, emptied), drawing by "
    "`shuffled()` and `choice(communities)`, or from a random.Random's `state` and `index`: then `(that, words, "
    "index)`.",
    arg<std::uint64_t>("k"), arg<std::uint64_t>("max_rounds"), arg<PyObject*>("shuffled"), arg<PyObject*>("choice"),
    kwarg<std::optional<BytesRef>>("state", none), kwarg<std::int64_t>("index", 624));

}  // namespace

std::vector<PyMethodDef> label_propagation_methods() { return {row<ASYN_LPA>(), row<FAST_LPA>(), row<FLUID>()}; }

}  // namespace fennel::py
