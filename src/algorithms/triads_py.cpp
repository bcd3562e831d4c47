// Binding of the triad census.
#include "algorithms/triads.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* triad_counts(const CoreGraph& g, const BytesRef& tricodes, const Flags& in_nodeset) {
    const Py_ssize_t size = PyBytes_GET_SIZE(tricodes.obj);
    if (size != 64) return raise(value_error("tricodes must hold 64 type numbers"));
    std::vector<std::uint8_t> codes(64);
    std::memcpy(codes.data(), PyBytes_AS_STRING(tricodes.obj), 64);
    for (std::uint8_t c : codes) {
        if (c < 1 || c > 16) return raise(value_error("tricodes must be type numbers 1 to 16"));
    }
    if (in_nodeset.size() != g.n) return raise(value_error("in_nodeset must hold one flag per node"));
    if (!g.directed) return raise(value_error("the triad census is a directed graph's"));
    return detached([&] { return triadic_census(g.succ, g.in_rows(), codes, in_nodeset); },
                    [&](const TriadCensus& census) -> PyObject* {
                        return list_from(census.size(),
                                         [&](std::size_t i) { return PyLong_FromLongLong(census[i]); });
                    });
}

constexpr auto TRIAD_COUNTS = method<triad_counts>(
    "triad_counts",
    "triadic_census's counts in TRIAD_NAMES order, the first (\"003\") left at 0;\n`tricodes`: NetworkX's "
    "TRICODES as bytes; `in_nodeset`: a flag per node.",
    arg<BytesRef>("tricodes"), arg<Flags>("in_nodeset"));

}  // namespace

std::vector<PyMethodDef> triads_methods() { return {row<TRIAD_COUNTS>()}; }

}  // namespace fennel::py
