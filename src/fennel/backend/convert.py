"""NetworkX's graph constructors (NetworkX's convert and convert_matrix), building graphs whose dicts wait
until first read.

Each constructor returns a ``native.Graph`` or ``native.DiGraph``: a NetworkX
graph holding fennel's compact form, whose dicts are built on first read as
those of the graph NetworkX's plain call builds: the same nodes (the caller's
own objects) in the same order, the same neighbour order, edge order and edge
data. Numeric arrays (numpy edge lists, integer pandas
columns, scipy and numpy matrices) go to the C++ array builder in bulk;
anything else is fed edge by edge to the C++ edge-list builder, which merges
repeated edges and their attributes as ``add_edges_from`` does.

Whatever cannot be reproduced exactly (multigraphs, a ``create_using``
instance or subclass, attribute values that are not plain numbers, names
that are not strings, data NetworkX would reject) is left to NetworkX's own
implementation, whose graph (or exception) the call then returns.
"""

import sys

import networkx as nx

from .. import _core
from .checks import NX_VERSION
from .graph import FennelGraph
from .native import native_graph
from .serve import Fallback, served

_EXACT_INT = 2**53
_INT64_MAX = 2**63 - 1
# Attribute kinds of the array builder: what a numpy dtype kind reads back as.
_KIND_OF_DTYPE = {"i": _core.KIND_INT, "u": _core.KIND_INT, "f": _core.KIND_FLOAT, "b": _core.KIND_BOOL}


def _directed(create_using):
    """Whether ``create_using`` asks for a DiGraph (None: anything else than Graph/DiGraph)."""
    if create_using is None or create_using is nx.Graph:
        return False
    if create_using is nx.DiGraph:
        return True
    return None


def _checked(core, nodes, index=None):
    """The native graph, or the reason it would not read back as NetworkX's graph."""
    for attr in core.attribute_names():
        if not core.weight_facts(attr)["plain"]:
            return f"edge attribute {attr!r} holds values that are not plain Python numbers"
    if not core.data_in_column_order():
        return "edges name their attributes in different orders"
    if not core.keys_are_nodes():
        return "edges name some nodes by objects equal to, but not the same as, the nodes"
    return native_graph(FennelGraph.from_native(core, nodes, index))


def _from_edges(edges, nodes, directed):
    """A native graph from Python edge tuples, or a reason."""
    try:
        core, node_list, index = _core.build_native(edges, nodes, directed, "weight")
    except Exception as exc:  # NetworkX answers: with its graph, or its own error
        return f"{type(exc).__name__}: {exc}"
    return _checked(core, node_list, index)


def _le_bytes(array, dtype):
    """The array's values as packed little-endian ``dtype`` ("<i8" or "<f8")."""
    import numpy as np

    return np.ascontiguousarray(array, dtype=dtype).tobytes()


def _weight_array(values):
    """(bytes, kind) of a numeric weight array, or a reason it is not one."""
    import numpy as np

    kind = _KIND_OF_DTYPE.get(values.dtype.kind)
    if kind is None or values.dtype.itemsize > 8:
        return None, f"weights of dtype {values.dtype} are not plain numbers"
    if kind == 1 and values.size and (int(values.max()) > _EXACT_INT or int(values.min()) < -_EXACT_INT):
        return None, "integer weights beyond 2**53"
    return _le_bytes(values.astype(np.float64), "<f8"), kind


def _from_arrays(src, dst, n, directed, weights=None, weight=None, nodes=None, labels=None):
    """A native graph from integer arrays, or a reason.

    ``src``/``dst`` are positions of the nodes ``0..n`` (named by ``nodes``
    if given), or, with ``labels`` (a callable turning the int64 label array
    into node objects), node labels numbered by first appearance.
    """
    wbytes, kind = None, 2
    if weights is not None:
        wbytes, kind = _weight_array(weights)
        if wbytes is None:
            return kind
    try:
        built = _core.build_native_arrays(
            _le_bytes(src, "<i8"),
            _le_bytes(dst, "<i8"),
            wbytes,
            None if labels else n,
            directed,
            weight or "weight",
            weight_kind=kind,
            labels=labels is not None,
        )
    except ValueError as exc:
        return f"{type(exc).__name__}: {exc}"
    if labels is not None:
        import numpy as np

        core, packed = built
        return _checked(core, labels(np.frombuffer(packed, dtype="<i8")))
    return _checked(built, list(range(n)) if nodes is None else nodes)


def _int_column(values):
    """Whether a numpy array holds integers that fit int64."""
    if values.dtype.kind == "i":
        return True
    return values.dtype.kind == "u" and (values.size == 0 or int(values.max()) <= _INT64_MAX)


_CONSTRUCTOR = (
    "Builds fennel's compact graph, read in bulk from numeric arrays, and returns it as a NetworkX graph whose "
    "dicts are built on first read: the same nodes (the caller's own objects), neighbour order, edge order and "
    "edge data as NetworkX's graph. Served functions run on the compact graph without building them. "
    "Multigraphs, a `create_using` instance or subclass, and data that is not plain numbers get NetworkX's own "
    "graph."
)
_NOT_PLAIN = "create_using is not Graph or DiGraph"


def _answer(result, **arguments):
    """A native graph, or the reason it was not built: then NetworkX's own call (with ``arguments``) answers."""
    return result if isinstance(result, nx.Graph) else Fallback(result, **arguments)


@served(docs=_CONSTRUCTOR, constructor=True)
def from_edgelist(edgelist, create_using=None):
    directed = _directed(create_using)
    if directed is None:
        return Fallback(_NOT_PLAIN)
    np = sys.modules.get("numpy")
    if np is not None and type(edgelist) is np.ndarray:
        if edgelist.ndim == 2 and edgelist.shape[1] == 2 and _int_column(edgelist):
            # Rows unpack into scalars of the array's own type: those are the nodes.
            return _answer(_from_arrays(
                edgelist[:, 0],
                edgelist[:, 1],
                None,
                directed,
                labels=lambda found: list(found.astype(edgelist.dtype)),
            ))
        items = edgelist
    elif isinstance(edgelist, list | tuple):
        items = edgelist
    else:
        items = list(edgelist)  # read once; NetworkX gets the list if it must answer
    reason = _edge_items_problem(items, np)
    return _answer(reason or _from_edges(items, None, directed), edgelist=items)


def _edge_items_problem(items, np):
    """Why add_edges_from could read ``items`` differently from the edge-list builder.

    NetworkX takes ``len(e)`` of every item, unpacks it and merges a third
    item into the edge's data with ``dict.update``; the builder would store a
    non-dict third item as a weight.
    """
    row = (tuple, list) if np is None else (tuple, list, np.ndarray)
    if not all(type(e) in row for e in items):
        return "edge items are not tuples or lists"
    lengths = set(map(len, items))
    if not lengths <= {2, 3}:
        return "edge items of other lengths than 2 or 3"
    if 3 in lengths and not all(isinstance(e[2], dict) for e in items if len(e) == 3):
        return "edge data that is not a dict"
    return None


@served(docs=_CONSTRUCTOR, constructor=True)
def from_dict_of_lists(d, create_using=None):
    directed = _directed(create_using)
    if directed is None:
        return Fallback(_NOT_PLAIN)
    if type(d) is not dict or not all(type(nbrs) in (list, tuple, set, frozenset, dict) for nbrs in d.values()):
        return Fallback("not a dict of lists")
    edges = ((node, nbr) for node, nbrlist in d.items() for nbr in nbrlist)
    return _answer(_from_edges(edges, d, directed))


@served(docs=_CONSTRUCTOR, constructor=True)
def from_dict_of_dicts(d, create_using=None, multigraph_input=False):
    directed = _directed(create_using)
    if directed is None:
        return Fallback(_NOT_PLAIN)
    if type(d) is not dict or not all(type(nbrs) is dict for nbrs in d.values()):
        return Fallback("not a dict of dicts")
    if multigraph_input:
        if not all(type(keyed) is dict for nbrs in d.values() for keyed in nbrs.values()):
            return Fallback("not a dict of dicts of dicts")
        datas = (data for nbrs in d.values() for keyed in nbrs.values() for data in keyed.values())
        edges = _multigraph_input_edges(d, directed)
    else:
        datas = (data for nbrs in d.values() for data in nbrs.values())
        edges = ((u, v, data) for u, nbrs in d.items() for v, data in nbrs.items())
    if not all(isinstance(data, dict) for data in datas):
        return Fallback("edge data that is not a dict")
    return _answer(_from_edges(edges, d, directed))


def _multigraph_input_edges(d, directed):
    """Every keyed edge's data, each undirected pair from one side, as NetworkX reads them."""
    if directed:
        for u, nbrs in d.items():
            for v, keyed in nbrs.items():
                for data in keyed.values():
                    yield u, v, data
        return
    seen = set()
    for u, nbrs in d.items():
        for v, keyed in nbrs.items():
            if (u, v) not in seen:
                for data in keyed.values():
                    yield u, v, data
                seen.add((v, u))


@served(docs=_CONSTRUCTOR, constructor=True)
def from_pandas_edgelist(df, source="source", target="target", edge_attr=None, create_using=None, edge_key=None):
    directed = _directed(create_using)
    if directed is None:
        return Fallback(_NOT_PLAIN)
    return _answer(_pandas_graph(df, source, target, edge_attr, directed))


def _pandas_graph(df, source, target, edge_attr, directed):
    """A native graph from a DataFrame, or a reason (NetworkX then answers, errors included)."""
    import numpy as np

    try:
        sources, targets = df[source], df[target]
        if edge_attr is None:
            headings = []
        elif edge_attr is True:
            headings = [c for c in df.columns if c not in [source, target]]
        elif isinstance(edge_attr, list | tuple):
            headings = edge_attr
        else:
            headings = [edge_attr]
        columns = [df[c] for c in headings]
    except Exception as exc:
        return f"{type(exc).__name__}: {exc}"
    if edge_attr is not None and not headings:
        return "no attribute columns (NetworkX raises)"
    if not all(type(h) is str for h in headings):
        return "attribute names that are not strings"

    # Numeric columns backed by numpy iterate as Python ints and floats:
    # the array builder then reproduces them without visiting each row.
    def numpy_backed(column, kinds):
        return isinstance(getattr(column, "dtype", None), np.dtype) and column.dtype.kind in kinds

    if (
        numpy_backed(sources, "iu")
        and numpy_backed(targets, "iu")
        and len(columns) <= 1
        and all(numpy_backed(c, "iufb") for c in columns)
    ):
        s, t = sources.to_numpy(), targets.to_numpy()
        if _int_column(s) and _int_column(t):
            # The columns iterate as Python ints: those are the nodes.
            return _from_arrays(
                s,
                t,
                None,
                directed,
                weights=columns[0].to_numpy() if columns else None,
                weight=headings[0] if headings else None,
                labels=lambda found: _core.int_labels(found.tobytes()),
            )
    if columns:
        edges = zip(sources, targets, (dict(zip(headings, values)) for values in zip(*columns)))
    else:
        edges = zip(sources, targets)
    return _from_edges(edges, None, directed)


@served(docs=_CONSTRUCTOR, constructor=True)
def from_scipy_sparse_array(A, parallel_edges=False, create_using=None, edge_attribute="weight"):
    directed = _directed(create_using)
    if directed is None:
        return Fallback(_NOT_PLAIN)
    return _answer(_scipy_graph(A, directed, edge_attribute))


def _scipy_graph(A, directed, edge_attribute):
    import numpy as np

    if type(edge_attribute) is not str:
        return "attribute name that is not a string"
    try:
        n, m = A.shape
        fmt = A.format
    except Exception as exc:
        return f"{type(exc).__name__}: {exc}"
    if n != m:
        return "matrix not square (NetworkX raises)"
    # The entries in the order NetworkX's triples list them.
    if fmt == "csr":
        rows, cols, data = np.repeat(np.arange(n), np.diff(A.indptr)), A.indices, A.data
    elif fmt == "csc":
        rows, cols, data = A.indices, np.repeat(np.arange(m), np.diff(A.indptr)), A.data
    elif fmt == "dok":
        return "dok matrices are read entry by entry"
    else:
        coo = A.tocoo()
        rows, cols, data = coo.row, coo.col, coo.data
    return _from_arrays(rows, cols, n, directed, weights=data, weight=edge_attribute)


_UNSET = object()


@served(docs=_CONSTRUCTOR, constructor=True)
def from_numpy_array(A, parallel_edges=False, create_using=None, edge_attr="weight", *, nodelist=None, nonedge=_UNSET):
    directed = _directed(create_using)
    if directed is None:
        return Fallback(_NOT_PLAIN)
    return _answer(_numpy_graph(A, directed, edge_attr, nodelist, nonedge))


def _numpy_graph(A, directed, edge_attr, nodelist, nonedge):
    import numpy as np

    if nonedge is not _UNSET and NX_VERSION < (3, 7):
        return "nonedge is not a parameter before NetworkX 3.7"
    if type(A) is not np.ndarray or A.ndim != 2 or A.shape[0] != A.shape[1]:
        return "not a square 2-D array"
    if A.dtype.kind not in _KIND_OF_DTYPE:
        return f"entries of dtype {A.dtype}"
    n = A.shape[0]
    if nodelist is not None:
        if type(nodelist) not in (list, tuple, range) or len(nodelist) != n:
            return "nodelist is not a list of one node per row"
        try:
            if None in nodelist or len(set(nodelist)) != n:
                return "nodelist repeats a node or holds None"
        except TypeError:
            return "nodelist holds unhashable nodes"
    if nonedge is _UNSET:
        nonedge = 0
    if NX_VERSION >= (3, 7) and nonedge != nonedge:
        mask = A == A
    elif NX_VERSION >= (3, 7):
        mask = A != nonedge
    else:
        mask = A
    rows, cols = np.nonzero(mask)
    if edge_attr in [False, None]:
        weights = weight = None
    elif type(edge_attr) is str:
        weights, weight = A[rows, cols], edge_attr
    else:
        return "attribute name that is not a string"
    nodes = None if nodelist is None else list(nodelist)
    return _from_arrays(rows, cols, n, directed, weights=weights, weight=weight, nodes=nodes)
