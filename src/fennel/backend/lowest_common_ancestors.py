"""Lowest common ancestors of trees and DAGs (NetworkX's lowest_common_ancestors module).

The tree walk is Tarjan's offline algorithm over ``dfs_postorder_nodes`` in
C++; with pairs, the sets NetworkX looks them up in (``pair_dict``) are
built here by NetworkX's own steps, and the core walks them in their
iteration order. The DAG answers start from the first member of a Python
set intersection: the core replays CPython's tables of the ancestor sets
and of the intersection from the nodes' hashes, so the walk down starts
where NetworkX's does. Answers come in batches, from generators that check
nothing before their first step where NetworkX's do not.
"""

from collections import defaultdict
from collections.abc import Mapping, Set
from itertools import combinations_with_replacement

import networkx as nx

from .. import _core
from .checks import argument_rule
from .clique import node_hashes
from .serve import EXACT, WORK_DIRECTED, served
from .shared import changed, unknown_source, watch

# The core's answer for a pair without a common ancestor.
_NO_ANSWER = 2**32 - 1
# Answers per batch at most.
_MOST = 4096

# Containers NetworkX keeps as given and asks `in`: their lookups depend on
# nothing but the members.
_PLAIN_PAIRS = (dict, set, frozenset)


@argument_rule("plain_pairs")
def _plain_pairs(a):
    pairs = a["pairs"]
    if isinstance(pairs, Mapping | Set) and type(pairs) not in _PLAIN_PAIRS:
        return "pairs given as a Mapping or Set other than dict, set or frozenset"
    return None


def _networkx(name):
    return nx.utils.backends._registered_algorithms[name].orig_func


def _grown(batch):
    return min(batch * 4, _MOST)


_TREE = ("Tarjan's offline walk in C++ over dfs_postorder_nodes, answers built in batches; the pair sets NetworkX "
         "looks pairs up in are built by its own steps and walked in their order. " + EXACT)


@served(docs=_TREE, rules=("plain_pairs", "sees_changes"),
        data_rules=("keys", "pred_keys", "self_equal_nodes", "listed_pred_rows"),
        min_work=WORK_DIRECTED)
def tree_all_pairs_lowest_common_ancestor(G, root=None, pairs=None):
    return _tree(G, watch(G), root, pairs)


def _tree(fg, watched, root, pairs):
    # NetworkX's generator starts reading the graph on its first step; a
    # change before it gets NetworkX's own generator. Its search then reads
    # the graph step by step: later changes are not followed (the search
    # here goes on over the graph as converted).
    if changed(watched):
        name = "tree_all_pairs_lowest_common_ancestor"
        yield from _networkx(name)(fg.source, root=root, pairs=pairs)
        return
    if len(fg) == 0:
        raise nx.NetworkXPointlessConcept("LCA meaningless on null graphs.")
    G = fg.source
    if pairs is not None:
        pair_dict = defaultdict(set)
        if not isinstance(pairs, Mapping | Set):
            pairs = set(pairs)
        for u, v in pairs:
            for n in (u, v):
                if n not in G:
                    msg = f"The node {str(n)} is not in the digraph."
                    raise nx.NodeNotFound(msg)
            pair_dict[u].add(v)
            pair_dict[v].add(u)
    if root is None:
        problem, at = fg.core.tree_root()
        if problem == 1:
            raise nx.NetworkXError("No root specified and tree has multiple sources.")
        if problem == 2:
            raise nx.NetworkXError("Tree LCA only defined on trees; use DAG routine.")
        if problem == 3:
            raise nx.NetworkXError("Graph contains a cycle.")
        root = fg.nodes[at]
    else:
        # dfs_postorder_nodes' first step meets a root G lacks.
        if (error := unknown_source(fg, root)) is not None:
            raise error
        at = fg.index[root]
    core = fg.load_exact_pred()
    members = None
    if pairs is None:
        state = core.tree_lca(at, [], [], [])
    else:
        offsets, rows, flags, objects = [0], [], [], []
        index = fg.index
        for node in fg.nodes:
            for v in pair_dict.get(node, ()):
                rows.append(index[v])
                objects.append(v)
                flags.append(((node, v) in pairs) | ((v, node) in pairs) << 1)
            offsets.append(len(rows))
        members = tuple(objects)
        state = core.tree_lca(at, offsets, rows, flags)
    nodes, batch = fg.node_tuple, 2
    while True:
        found = _core._tree_lca_next(state, batch, nodes, root, members)
        yield from found
        # A batch stops short of `batch` only at the end (a pair's two
        # answers never straddle batches, so it can stop one short before).
        if len(found) < batch - 1:
            return
        batch = _grown(batch)


def _pair_problems(fg, pairs):
    """NetworkX's check of the given pairs (trimmed of duplicates), in order."""
    index, nodeset = fg.index, None
    for pair in pairs:
        if type(pair) is tuple and len(pair) == 2:
            try:
                if pair[0] in index and pair[1] in index:
                    continue
            except TypeError:
                pass
        if nodeset is None:
            nodeset = set(fg.nodes)
        if set(pair) - nodeset:
            raise nx.NodeNotFound(f"Node(s) {set(pair) - nodeset} from pair {pair} not in G.")


def _dag_checks(fg, pairs):
    """all_pairs_lowest_common_ancestor's checks at call time; the pairs as NetworkX keeps them."""
    if not fg.directed:
        raise nx.NetworkXNotImplemented("not implemented for undirected type")
    if fg.core.generations()[1]:
        raise nx.NetworkXError("LCA only defined on directed acyclic graphs.")
    if len(fg) == 0:
        raise nx.NetworkXPointlessConcept("LCA meaningless on null graphs.")
    if pairs is None:
        return None
    pairs = list(dict.fromkeys(pairs))
    _pair_problems(fg, pairs)
    return pairs


def _all_pairs(fg, watched):
    if changed(watched):
        yield from _networkx_pairs(fg.source, _all_combinations(fg))
        return
    state = fg.load_exact_pred().dag_lca(node_hashes(fg))
    nodes, index, batch = fg.node_tuple, fg.index, 16
    last = None  # the last answer handed out
    while True:
        found = _core._dag_lca_next(state, batch, nodes)
        items = _core._while_unchanged(found, watched)  # the graph checked before each answer, in C
        yield from items
        handed = items.position()
        if handed:
            last = found[handed - 1]
        if handed < len(found):
            # NetworkX goes on from the next pair over the graph as it is now.
            if last is None:
                yield from _networkx_pairs(fg.source, _all_combinations(fg))
            else:
                (v, w), _ = last
                yield from _all_pairs_from(fg, index[v], index[w])
            return
        if len(found) < batch:
            return
        batch = _grown(batch)


def _all_combinations(fg):
    return combinations_with_replacement(fg.nodes, 2)


def _all_pairs_from(fg, i, j):
    """NetworkX's loop on the current graph, resumed after the pair of positions (i, j)."""
    nodes, n = fg.nodes, len(fg)
    # Pairs (i, j) with i <= j come row by row: the first row meets every node.
    cached = range(j + 1 if i == 0 else n)
    rest = ((nodes[a], nodes[b]) for a in range(i, n) for b in range(a if a > i else j + 1, n))
    yield from _networkx_pairs(fg.source, rest, _cache_as_networkx(fg, [(p, nodes[p]) for p in cached]))


def _given_pairs(fg, watched, pairs):
    if changed(watched):
        yield from _networkx_pairs(fg.source, pairs)
        return
    state = fg.load_exact_pred().dag_lca(node_hashes(fg))
    index, nodes = fg.index, fg.nodes
    # The object NetworkX adds to each node's ancestor set: the pair member
    # that first missed its cache.
    added = {}
    start, batch = 0, 16
    while start < len(pairs):
        chunk = pairs[start : start + batch]
        asked, vs, ws, error = [], [], [], None
        for at, pair in enumerate(chunk, start):
            try:
                v, w = pair
            except Exception as exc:  # noqa: BLE001 - NetworkX's unpacking raises it at this pair's turn
                error = exc
                break
            pv, pw = index[v], index[w]
            added.setdefault(pv, v)
            added.setdefault(pw, w)
            asked.append((at, (v, w)))
            vs.append(pv)
            ws.append(pw)
        start += batch
        lcas, own = _core._dag_lca_pairs(state, vs, ws)
        for (at, vw), lca, mine in zip(asked, lcas, own):
            if lca == _NO_ANSWER:
                continue
            yield vw, added[lca] if mine else nodes[lca]
            if watched is not None and changed(watched):
                yield from _given_pairs_from(fg, pairs, at + 1)
                return
        if error is not None:
            raise error
        batch = _grown(batch)


def _given_pairs_from(fg, pairs, start):
    """NetworkX's loop on the current graph, resumed at pairs[start] (the earlier pairs all unpacked)."""
    index, owners = fg.index, {}
    for v, w in pairs[:start]:
        owners.setdefault(index[v], v)
        owners.setdefault(index[w], w)
    yield from _networkx_pairs(fg.source, pairs[start:], _cache_as_networkx(fg, owners.items()))


def _cache_as_networkx(fg, owners):
    """NetworkX's ancestor_cache as the graph was converted: for each (position, object), the set
    nx.ancestors builds, by the same adds in the same order, then .add(object)."""
    core, nodes, n = fg.load_exact_pred(), fg.nodes, len(fg)
    cache = {}
    for p, obj in owners:
        found = set()
        for c in core.bfs(p, n, reverse=True).edges()[1]:
            found.add(nodes[c])
        found.add(obj)
        cache[obj] = found
    return cache


def _networkx_pairs(G, pairs, ancestor_cache=None):
    """NetworkX's generator over a graph changed since the call (its checks already made), from its
    cache at that point."""
    if ancestor_cache is None:
        ancestor_cache = {}
    for v, w in pairs:
        if v not in ancestor_cache:
            ancestor_cache[v] = nx.ancestors(G, v)
            ancestor_cache[v].add(v)
        if w not in ancestor_cache:
            ancestor_cache[w] = nx.ancestors(G, w)
            ancestor_cache[w].add(w)
        common_ancestors = ancestor_cache[v] & ancestor_cache[w]
        if common_ancestors:
            common_ancestor = next(iter(common_ancestors))
            while True:
                successor = None
                for lower_ancestor in G.successors(common_ancestor):
                    if lower_ancestor in common_ancestors:
                        successor = lower_ancestor
                        break
                if successor is None:
                    break
                common_ancestor = successor
            yield ((v, w), common_ancestor)


_DAG = ("The ancestor sets and their intersections in C++, CPython's set tables replayed from the nodes' hashes so "
        "that the walk down starts from NetworkX's first common ancestor; answers built in batches. " + EXACT)


@served(docs=_DAG, rules=("sees_changes",), data_rules=("keys", "pred_keys"), min_work=WORK_DIRECTED)
def all_pairs_lowest_common_ancestor(G, pairs=None):
    watched = watch(G)
    pairs = _dag_checks(G, pairs)
    if pairs is None:
        return _all_pairs(G, watched)
    return _given_pairs(G, watched, pairs)


@served(docs=_DAG, data_rules=("keys", "pred_keys"), min_work=WORK_DIRECTED)
def lowest_common_ancestor(G, node1, node2, default=None):
    pairs = _dag_checks(G, [(node1, node2)])
    ans = list(_given_pairs(G, None, pairs))
    if ans:
        assert len(ans) == 1
        return ans[0][1]
    return default
