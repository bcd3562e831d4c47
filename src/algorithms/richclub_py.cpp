// Bindings of the rich-club coefficient's terms and randomisation.
#include "algorithms/richclub.hpp"
#include "graph/core_graph_py.hpp"
#include "lib/entry.hpp"

namespace fennel::py {

namespace {

PyObject* int64_list(const std::vector<std::int64_t>& values) {
    return list_from(values.size(), [&](std::size_t i) { return PyLong_FromLongLong(values[i]); });
}

PyObject* terms_tuple(const RichClubTerms& terms) {
    return tuple_from([&] { return int64_list(terms.nk); }, [&] { return int64_list(terms.ek); });
}

Result<bool> simple_undirected(const CoreGraph& g) {
    if (g.directed) return value_error("an undirected graph");
    for (Node u = 0; u < g.n; ++u) {
        for (Node v : g.succ.row(u)) {
            if (v == u) return value_error("a graph without self-loops");
        }
    }
    return true;
}

PyObject* rich_club_counts(const CoreGraph& g) {
    if (g.directed) return raise(value_error("an undirected graph"));
    if (!simple_undirected(g).ok()) return Py_NewRef(Py_None);
    return detached([&] { return rich_club_terms(g.succ); }, terms_tuple);
}

PyObject* rich_club_randomised(const CoreGraph& g, const BytesRef& state, std::int64_t index, std::int64_t nswap,
                               std::int64_t max_tries) {
    auto ok = simple_undirected(g);
    if (!ok.ok()) return raise(ok.error());
    std::vector<std::int64_t> words;
    if (!read_int64s(state, 624, words)) return nullptr;
    if (index < 0 || index > 624) return raise(value_error("index must be in 0..624"));
    MersenneTwister rng;
    for (std::size_t i = 0; i < 624; ++i) rng.mt[i] = static_cast<std::uint32_t>(words[i]);
    rng.index = static_cast<std::uint32_t>(index);
    RichClubTerms terms;
    return detached([&] { return randomised_rich_club(g.succ, nswap, max_tries, rng, terms); },
                    [&](const SwapOutcome& outcome) -> PyObject* {
        std::vector<std::int64_t> after(rng.mt.begin(), rng.mt.end());
        return tuple_from([&] { return PyLong_FromLong(static_cast<long>(outcome.end)); },
                          [&] { return PyLong_FromLongLong(outcome.tries); }, [&] { return terms_tuple(terms); },
                          [&] { return int64_list(after); }, [&] { return PyLong_FromLong(rng.index); });
    });
}

constexpr auto RICH_CLUB_COUNTS = method<rich_club_counts>(
    "rich_club_counts", "_compute_rc's `(nk, ek)` per degree d = 0, 1, ... of an undirected graph;\nNone when it has self-loops.");
constexpr auto RICH_CLUB_RANDOMISED = method<rich_club_randomised>(
    "rich_club_randomised",
    "double_edge_swap(G.copy(), nswap, max_tries) drawn from a Mersenne Twister\nstate (624 words as int64 bytes "
    "and its index): `(end, tries, (nk, ek),\nwords, index)`; end 0 done, 1 tries exceeded, 2 a choice from an "
    "empty row.",
    arg<BytesRef>("state"), arg<std::int64_t>("index"), arg<std::int64_t>("nswap"), arg<std::int64_t>("max_tries"));

}  // namespace

std::vector<PyMethodDef> richclub_methods() { return {row<RICH_CLUB_COUNTS>(), row<RICH_CLUB_RANDOMISED>()}; }

}  // namespace fennel::py
