"""fennel's compiled core: graphs in compact rows and NetworkX's algorithms on them.

Every graph is a ``CoreGraph`` whose nodes are positions ``0 .. len(g) - 1``;
the Python layer maps positions back to node objects. Arguments named like
``source``, ``v`` or ``sources`` are such positions (anything with
``__index__``); ``weight`` names a converted edge attribute, ``None`` meaning
every edge weighs 1. Flags accept ``bool`` (and numpy's bool), reals anything
with ``__float__`` or ``__index__``.
"""

from collections import Counter
from collections.abc import Callable, Iterable, Mapping, Sequence
from typing import Any, Final, Literal, Protocol, SupportsFloat, SupportsIndex, TypeAlias, final, overload

_Real: TypeAlias = SupportsFloat | SupportsIndex

class _Items(Protocol):
    # A sized, indexable run of values (a list, a tuple, a numpy array).
    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> Any: ...

_Positions: TypeAlias = Sequence[SupportsIndex] | _Items
_Reals: TypeAlias = Sequence[_Real] | _Items
_WeightAttrs: TypeAlias = Iterable[tuple[str, object]]
# (order, distances, parent of each order entry, first-seen order)
_DijkstraTree: TypeAlias = tuple[list[int], list[float], list[int], list[int]]
# (distances or None, paths), keyed by node objects
_DijkstraPaths: TypeAlias = tuple[dict[Any, int | float] | None, dict[Any, list[Any]]]

def build_graph(
    nodes: list[Any],
    index: dict[Any, int],
    succ: Mapping[Any, Any],
    directed: bool,
    weight_attrs: _WeightAttrs,
    multigraph: bool = False,
) -> CoreGraph:
    """Build a `CoreGraph` from NetworkX internals."""

def edge_data_reads_none(adjacency: Mapping[Any, Any], multigraph: bool = False) -> bool:
    """Whether some edge's data answers `data.get(None, 1)` with anything but the int 1."""

def parallel_counts(adjacency: Mapping[Any, Any]) -> list[int]:
    """The number of keys of every (node, neighbour) pair of a multigraph's adjacency."""

def build_native(
    edges: Iterable[Sequence[Any]], nodes: Iterable[Any] | None, directed: bool, weight: str
) -> tuple[CoreGraph, list[Any], dict[Any, int]]:
    """Build from Python edges: the graph, the node list and the node -> position dict."""

@overload
def build_native_arrays(
    src: bytes,
    dst: bytes,
    weights: bytes | None,
    num_nodes: SupportsIndex | None,
    directed: bool,
    weight: str,
    *,
    weight_kind: SupportsIndex = 2,
    labels: Literal[False] = False,
) -> CoreGraph: ...
@overload
def build_native_arrays(
    src: bytes,
    dst: bytes,
    weights: bytes | None,
    num_nodes: None,
    directed: bool,
    weight: str,
    *,
    weight_kind: SupportsIndex = 2,
    labels: Literal[True],
) -> tuple[CoreGraph, bytes]: ...
@overload
def build_native_arrays(
    src: bytes,
    dst: bytes,
    weights: bytes | None,
    num_nodes: SupportsIndex | None,
    directed: bool,
    weight: str,
    *,
    weight_kind: SupportsIndex = 2,
    labels: bool = False,
) -> CoreGraph | tuple[CoreGraph, bytes]: ...
def int_labels(labels: bytes) -> list[int]:
    """The ints of packed little-endian int64 labels, made in ascending order of value when dense."""

def build_rx(
    n: SupportsIndex, directed: bool, src: _Positions, dst: _Positions, costs: _Reals | None = None
) -> CoreGraph:
    """Build from compact node positions, edges in insertion order."""

def _core_graph_from_bytes(data: bytes) -> CoreGraph:
    """Read the byte string `CoreGraph.__reduce__` writes, checking every count and invariant."""

def _py_sum(values: _Reals, compensated: bool) -> float:
    """CPython's float `sum()`."""

def _py_sum_kinds(values: _Reals, kinds: Sequence[int], compensated: bool) -> Any:
    """CPython's `sum()` over values of the given value kinds (for tests)."""

def _py_sum_resume(partial: float, compensation: float, compensated: bool, terms: Any) -> tuple[float, float]:
    """CPython's float `sum()` resumed from its running pair over float64 `terms`: the new pair."""

def _louvain_level(
    state: Any, order: _Positions, partition: list[set[Any]] | None, labels: list[Any] | None,
    members: list[set[Any]] | None,
) -> tuple[list[set[Any]], list[set[Any]], bool]:
    """One Louvain level, its moves applied to the partition and the level's own sets."""

def _community_unions(inner: list[Any], members: list[set[Any]] | None) -> list[set[Any]]:
    """An aggregated graph's node sets, each the union of its nodes' sets in iteration order."""

def _louvain_modularity(state: Any, members: _Positions, bounds: _Positions) -> tuple[float, float, int, bool]:
    """`modularity` over a Louvain state's level graph."""

def _louvain_aggregate(state: Any) -> None:
    """Replaces a Louvain state's graph by the graph of its communities."""

def _leiden_move(state: Any, order: _Positions) -> None:
    """_move_nodes_fast over a Leiden state's level graph, queueing `order` first."""

def _leiden_refine(state: Any, pick: int | None) -> tuple[list[int], list[float], bool] | None:
    """The refinement up to its next draw (candidates, deltas, int deltas), or None once done."""

def _leiden_refine_drawing(state: Any, seed: Any, theta: float) -> tuple[list[int], list[float], bool] | None:
    """The refinement with its draws made from `seed` as random.Random.choices makes them."""

def _leiden_aggregate(state: Any) -> tuple[list[int], list[int], bool]:
    """A Leiden level's refined communities (members, bounds), whether quality improved; aggregates."""

def _antichain_next(state: Any, limit: int, items: tuple[Any, ...]) -> list[list[Any]]: ...
def _topological_sorts_next(state: Any, limit: int, nodes: tuple[Any, ...]) -> tuple[list[list[Any]], bool, bool]: ...
def _topological_sorts_state(state: Any) -> tuple[list[int], list[int], list[int], list[int]]: ...
def _node_cut_seen(state: Any, cut: _Positions) -> None: ...
def _node_cut_pair(state: Any, x: SupportsIndex, v: SupportsIndex) -> bool: ...
def _node_cut_next(state: Any) -> tuple[list[int], list[int]] | None: ...
def _tree_lca_next(
    state: Any, limit: int, nodes: tuple[Any, ...], root_item: Any, members: tuple[Any, ...] | None
) -> list[tuple[tuple[Any, Any], Any]]: ...
def _dag_lca_next(state: Any, limit: int, nodes: tuple[Any, ...]) -> list[tuple[tuple[Any, Any], Any]]: ...
def _dag_lca_pairs(state: Any, vs: _Positions, ws: _Positions) -> tuple[list[int], list[int]]: ...
def _clique_next(state: Any, limit: int, nodes: tuple[Any, ...], prefix: tuple[Any, ...]) -> list[list[Any]]:
    """A clique search's next cliques (at most `limit`), each the `prefix` objects then those of `nodes`."""

def _all_cliques_next(state: Any, limit: int, nodes: tuple[Any, ...]) -> list[list[Any]]:
    """enumerate_all_cliques' next cliques (at most `limit`), each a list of the `nodes` objects."""

def _link_pairs(pairs: list[Any], index: dict[Any, int], identity: bool) -> bytes | tuple[int, int] | None: ...
def _link_batch(
    state: Any, positions: bytes, pairs: list[tuple[Any, Any]], nodes: tuple[Any, ...], start: int, stop: int
) -> tuple[list[tuple[Any, Any, Any]], int, Any]: ...
def _link_non_edges(state: Any, limit: int, nodes: tuple[Any, ...]) -> tuple[list[tuple[Any, Any, Any]], int, Any]: ...
def _while_unchanged(items: list[Any], watch: tuple[tuple[dict[Any, Any], Any, Any], ...] | None) -> WhileUnchanged: ...
def _johnson_search(
    offsets: Sequence[SupportsIndex], targets: Sequence[SupportsIndex], path: Sequence[SupportsIndex],
    length_bound: SupportsIndex | None,
) -> Any:
    """simple_cycles' search from `path` over rows (offsets, targets), as a capsule."""

def _chordless_rows(
    offsets: Sequence[SupportsIndex], targets: Sequence[SupportsIndex],
    b_offsets: Sequence[SupportsIndex] | None, b_targets: Sequence[SupportsIndex] | None,
) -> Any:
    """One component's rows for chordless searches (forward rows, rows to block along), as a capsule."""

def _chordless_search(rows: Any, path: Sequence[SupportsIndex], length_bound: SupportsIndex | None) -> Any:
    """chordless_cycles' search from the stem `path` over `rows`, as a capsule."""

def _edges_copy(
    adj: dict[Any, Any], directed: bool
) -> tuple[dict[Any, Any], dict[Any, Any], dict[Any, Any] | None] | None: ...
def _cycle_next(search: Any, limit: int, nodes: tuple[Any, ...]) -> list[list[Any]]:
    """A cycle search's next cycles (at most `limit`), each a list of the `nodes` objects at its positions."""

def _attribute_codes(node_data: dict[Any, Any], attribute: Any) -> tuple[bytes, list[Any], str | None]:
    """Each node's `attribute` coded by a dict of the values: (int64 codes, each code's first value, None or why
    NetworkX may key the values otherwise)."""
def _pair_hash(a: int, b: int) -> int:
    """hash((x, y)) from a == hash(x) and b == hash(y)."""
def _network_simplex(
    n: int,
    sources: _Positions,
    targets: _Positions,
    capacities: list[int | float],
    weights: list[int | float],
    flows: list[int | float],
    potentials: list[int | float],
) -> list[int | float]:
    """network_simplex's pivots; returns the final flows of every edge, the artificial ones last."""

def _flow_products(
    adjacency: dict[Any, Any], directed: bool, flow_dict: dict[Any, Any], weight: Any
) -> list[int | float] | None:
    """cost_of_flow's products in G.edges order, or None where NetworkX's expression must run itself."""

def _capacity_scaling(
    n: int,
    heads: _Positions,
    capacities: list[int | float],
    weights: list[int | float],
    excess: list[int | float],
    hashes: bytes,
    group_offsets: _Positions,
    group_heads: _Positions,
    arc_offsets: _Positions,
    arcs: _Positions,
    delta: int,
) -> tuple[list[int | float], bool]:
    """capacity_scaling's phases; returns each edge's flow and whether every excess is 0."""

def _clique_percolation(
    nodes: _Positions, bounds: _Positions, k: int, clique_hashes: bytes, hashes: bytes
) -> tuple[list[int], list[int]]:
    """k_clique_communities over cliques: each community's cliques in NetworkX's set order (members, bounds)."""

def register_numpy(float64: type, int64: type, bool_: type) -> None:
    """Registers numpy's float64, int64 and bool_ scalar types for conversion."""
def _add_rows(totals: Any, rows: Any, extra: Any) -> None:
    """Adds float64 `rows` into the writable float64 buffer `totals` row after row, each row followed by its `extra` terms."""

def _hypot(values: _Reals) -> float | None:
    """The core's math.hypot(*values), or None where it leaves them to math.hypot."""

def _constraint_rows(indptr: bytes, indices: bytes, data: bytes) -> bytes:
    """((M > 0) * (M + M @ M) ** 2).sum(axis=1) as scipy forms it, for M in canonical CSR (float64 bytes, one value
    per row)."""

def _laplacian_energies(lap: Any, n: SupportsIndex, count: SupportsIndex, ints: bool) -> bytes:
    """laplacian_centrality's new energy of each of the first `count` nodes, as bytes of the Laplacian's type."""

# How NetworkX's arithmetic types a value: bit 0 float-ness, bit 1 numpy-ness.
PY_INT: Final[int]
PY_FLOAT: Final[int]
NP_INT: Final[int]
NP_FLOAT: Final[int]
FLOAT_BIT: Final[int]
NUMPY_BIT: Final[int]
# What a native graph stores per edge and attribute (native_edges, weight_kind).
KIND_ABSENT: Final[int]
KIND_INT: Final[int]
KIND_FLOAT: Final[int]
KIND_NONE: Final[int]
KIND_BOOL: Final[int]

def set_num_threads(n: SupportsIndex) -> None:
    """Sets the number of threads that work on each call, the calling thread included (0: one per processor)."""

def num_threads() -> int:
    """The number of threads that work on each call, the calling one included."""

def _pool_probe(items: SupportsIndex, wait_for: SupportsIndex, timeout: float) -> int:
    """Runs `items` items on the pool; the number of distinct threads that ran them (for tests)."""

def _parallel_frontier(nodes: SupportsIndex) -> int:
    """Sets the frontier size from which a breadth-first level runs on the pool (0: the default); the previous size."""

def _beside_nodes(nodes: SupportsIndex) -> int:
    """Sets the node count from which a search runs beside the thread that makes its Python result (0: the default); the previous count."""

def _progress_hook(callback: Callable[[int], object] | None) -> int:
    """Installs the calling thread's progress callback; returns the units counted for the one it replaces."""

@overload
def _numpy_sum(values: _Reals, starts: None = None) -> float: ...
@overload
def _numpy_sum(values: _Reals, starts: _Positions) -> list[float]: ...
@final
class AllPaths:
    """Lazy iterator over `all_shortest_paths` results (node positions)."""

    def next_path(self) -> list[int] | None: ...

_DijkstraLengths: TypeAlias = tuple[list[int], list[float], list[int] | None]

@final
class BfsResult:
    """One breadth-first search: discovery order, levels and parents."""

    def lengths(self) -> tuple[list[int], list[int]]: ...
    def tree(self) -> tuple[list[int], list[int]]: ...
    def edges(self) -> tuple[list[int], list[int]]: ...
    def reached_set(self, nodes: tuple[Any, ...], with_source: bool) -> set[Any]: ...
    def length_dict(self, nodes: tuple[Any, ...], root: object = None) -> dict[Any, int]: ...
    def paths(self, nodes: tuple[Any, ...], root: object = None, *, toward: bool = False) -> dict[Any, list[Any]]: ...

@final
class BfsResults:
    """The breadth-first searches of several sources, in source order."""

    def lengths(self) -> list[tuple[list[int], list[int]]]: ...
    def trees(self) -> list[tuple[list[int], list[int]]]: ...
    def length_dicts(self, nodes: tuple[Any, ...]) -> list[dict[Any, int]]: ...
    def paths(self, nodes: tuple[Any, ...]) -> list[dict[Any, list[Any]]]: ...

@final
class DijkstraResult:
    """One Dijkstra search: settle order, distances with their kinds, parents and first-seen order."""

    def lengths(self) -> _DijkstraLengths: ...
    def tree(self) -> _DijkstraTree: ...
    def length_dict(self, nodes: tuple[Any, ...], root: object = None) -> dict[Any, int | float]: ...
    def paths(
        self,
        nodes: tuple[Any, ...],
        root: object = None,
        *,
        toward: bool = False,
        settle_keys: bool = True,
        distances: bool = True,
    ) -> _DijkstraPaths: ...
    def path(self, target: SupportsIndex) -> tuple[float, list[int], int] | None: ...

@final
class DijkstraResults:
    """The Dijkstra searches of several sources, in source order."""

    def lengths(self) -> list[_DijkstraLengths | None]: ...
    def trees(self) -> list[_DijkstraTree | None]: ...
    def length_dicts(self, nodes: tuple[Any, ...]) -> list[dict[Any, int | float] | None]: ...
    def paths(
        self, nodes: tuple[Any, ...], *, settle_keys: bool = True, distances: bool = True
    ) -> list[_DijkstraPaths | None]: ...

@final
class Cursor:
    """A resumable search handing out NetworkX's items one at a time."""

    def __iter__(self) -> Cursor: ...
    def __next__(self) -> Any: ...
    def changed(self) -> bool: ...
    def expanded(self) -> int: ...
    def next_layer(self) -> list[Any]: ...
    def state(self) -> tuple[Any, ...] | None: ...

@final
class WhileUnchanged:
    """A batch's items, handed out while the watched graphs are unchanged."""

    def __iter__(self) -> WhileUnchanged: ...
    def __next__(self) -> Any: ...
    def position(self) -> int: ...

@final
class CoreGraph:
    """A graph in compact rows; made only by this module's builders."""

    @property
    def directed(self) -> bool: ...
    def __len__(self) -> int: ...
    def __reduce__(self) -> tuple[Callable[[bytes], CoreGraph], tuple[bytes]]: ...

    # The graph and its converted attributes
    def load_exact_pred(
        self,
        nodes: list[Any],
        index: dict[Any, int],
        pred: Mapping[Any, Any],
        weight_attrs: _WeightAttrs,
        multigraph: bool = False,
    ) -> None: ...
    def has_exact_pred(self) -> bool: ...
    def neighbors(self, v: SupportsIndex) -> list[int]: ...
    def predecessors(self, v: SupportsIndex) -> list[int]: ...
    def has_edge(self, u: SupportsIndex, v: SupportsIndex) -> bool: ...
    def degrees(self) -> list[int]: ...
    def edges_in_order(self) -> tuple[list[int], list[int], list[int] | None]: ...
    def attribute_names(self) -> list[str]: ...
    def number_of_edges(self) -> int: ...
    def held_bytes(self) -> int: ...
    def weight_facts(self, attr: str) -> dict[str, Any] | None: ...
    def weight_symmetric(self, attr: str | None = None) -> bool: ...
    def keys_are_nodes(self, reverse: bool = False) -> bool: ...
    def native_edges(self) -> tuple[list[int], list[int], list[tuple[str, list[float], bytes]]] | None: ...
    def data_in_column_order(self) -> bool: ...

    # rustworkx's orders
    def rx_scc(self) -> list[list[int]]: ...
    def rx_toposort(self) -> list[int] | None: ...
    def rx_dijkstra(self, source: SupportsIndex, goal: SupportsIndex | None = None) -> list[float]: ...

    # Shortest paths
    def bfs(self, source: SupportsIndex, cutoff: _Real, *, reverse: bool = False) -> BfsResult: ...
    def bfs_length_dict(
        self, source: SupportsIndex, cutoff: _Real, nodes: tuple[Any, ...], root: Any = None, *, reverse: bool = False
    ) -> dict[Any, int]: ...
    def bfs_many(self, sources: _Positions, cutoff: _Real) -> BfsResults: ...
    def dijkstra(
        self,
        source: SupportsIndex,
        weight: str | None = None,
        cutoff: _Real | None = None,
        *,
        target: SupportsIndex | None = None,
        reverse: bool = False,
    ) -> DijkstraResult: ...
    def dijkstra_length_dict(
        self, source: SupportsIndex, weight: str | None, cutoff: _Real | None, nodes: tuple[Any, ...], root: Any = None
    ) -> dict[Any, float | int]: ...
    def dijkstra_many(
        self, sources: _Positions, weight: str | None = None, cutoff: _Real | None = None
    ) -> DijkstraResults: ...
    def bidirectional_weighted(
        self, source: SupportsIndex, target: SupportsIndex, weight: str | None = None, *, meet: bool = False
    ) -> tuple[float, list[int]] | tuple[float, list[int], int] | None: ...
    def path_walk(
        self, source: SupportsIndex, target: SupportsIndex, weight: str | None = None, skip_ends_pass: bool = False
    ) -> AllPaths | None: ...
    def bidirectional_bfs(
        self, source: SupportsIndex, target: SupportsIndex, *, meet: bool = False
    ) -> list[int] | tuple[list[int], int] | None: ...
    def shortest_path_predecessors(
        self, source: SupportsIndex, weight: str | None = None
    ) -> tuple[list[int], list[list[int]]]: ...

    # Traversals
    def bfs_cursor(
        self,
        roots: _Positions,
        depth_limit: SupportsIndex,
        reverse: bool = False,
        *,
        nodes: tuple[Any, ...] | None = None,
        root: object = None,
        items: Literal["edges", "flipped", "layers"] = "edges",
        watch: tuple[tuple[dict[Any, Any], Any, object], ...] | None = None,
    ) -> Cursor: ...
    def dfs_cursor(
        self,
        starts: _Positions | None,
        depth_limit: SupportsIndex,
        *,
        nodes: tuple[Any, ...] | None = None,
        root: object = None,
        events: Literal["forward", "preorder", "postorder"] = "forward",
        watch: tuple[tuple[dict[Any, Any], Any, object], ...] | None = None,
    ) -> Cursor: ...
    def component_cursor(
        self,
        weak: bool = False,
        *,
        nodes: tuple[Any, ...] | None = None,
        watch: tuple[tuple[dict[Any, Any], Any, object], ...] | None = None,
    ) -> Cursor: ...
    def dfs_forward(self, starts: _Positions | None, depth_limit: SupportsIndex) -> tuple[list[int], list[int]]: ...

    # Distance measures
    def bfs_stats(self, sources: _Positions | None = None, reverse: bool = False) -> list[tuple[int, int, int]]: ...
    @overload
    def dijkstra_stats(
        self, weight: str, sources: _Positions | None = None, *, compensated_sum: bool = False,
        terms: Literal[False] = False,
    ) -> tuple[list[tuple[int, float] | None], int | float | None]: ...
    @overload
    def dijkstra_stats(
        self, weight: str, sources: _Positions | None = None, *, compensated_sum: bool = False, terms: Literal[True]
    ) -> tuple[list[tuple[int, float] | None], int | None, bytes, bool]: ...
    def closeness(
        self,
        distance: str | None = None,
        wf_improved: bool = True,
        sources: _Positions | None = None,
        *,
        compensated_sum: bool = False,
    ) -> list[float]: ...
    def betweenness_rows(
        self, weight: str | None, endpoints: bool, sources: _Positions, *, edges: bool = False
    ) -> tuple[bytes, bytes, bytes]: ...
    def harmonic_rows(
        self, sources: _Positions, in_nbunch: Sequence[bool], weight: str | None = None
    ) -> tuple[bytes, bytes, bytes]: ...
    def harmonic(
        self, sources: _Positions, in_nbunch: Sequence[bool], weight: str | None = None
    ) -> tuple[list[float], list[bool]]: ...
    def degree_centrality(self, nodes: tuple[Any, ...], kind: SupportsIndex) -> dict[Any, float]: ...

    # Centrality and link analysis
    def betweenness(
        self, weight: str | None = None, endpoints: bool = False, sources: _Positions | None = None
    ) -> list[float]: ...
    def edge_betweenness(self, weight: str | None = None, sources: _Positions | None = None) -> list[float]: ...
    def cut_central_edges(
        self, weight: str | None, gone: _Positions, scale: float, target: int
    ) -> tuple[list[int], list[list[int]]]: ...
    def walk_ranks(
        self,
        alpha: _Real,
        personalization: _Reals | None,
        max_iter: SupportsIndex,
        tol: _Real,
        nstart: _Reals | None,
        weight: str | None,
        dangling: _Reals | None,
        *,
        numpy_dangling: bool = False,
        objects: tuple[Any, ...] | None = None,
    ) -> list[float] | dict[Any, float] | None: ...
    def adjacency_csr(self, weight: str | None) -> tuple[bytes, bytes, bytes]: ...
    def hits_scores(
        self, weight: str | None, start: _Reals, max_iter: SupportsIndex, tol: _Real, normalized: bool
    ) -> tuple[list[float], list[float]] | None: ...
    def flow_problem(self, weight: str | None) -> int: ...
    def rcm_ordering(self, hashes: bytes) -> list[int] | None: ...
    def flow_adjacency(self, weight: str | None, ordering: _Positions) -> tuple[bytes, bytes, bytes]: ...
    def flow_betweenness(
        self,
        weight: str | None,
        ordering: _Positions,
        inverse: Any,
        argsort: Callable[[bytes, int], bytes],
        edge_nb: _Real | None = None,
    ) -> list[float] | list[tuple[int, int, float]]: ...
    def flow_closeness(self, ordering: _Positions, inverse: Any) -> list[float]: ...
    def eigenvector(
        self,
        order: _Positions | None,
        x0: _Reals,
        weight: str | None,
        max_iter: SupportsIndex,
        tol: _Real,
        hypot: Callable[..., float],
        compensated_sum: bool,
        *,
        kinds: bool = False,
        own_hypot: bool = False,
        objects: tuple[Any, ...] | None = None,
    ) -> list[float] | tuple[list[float], list[bool] | None] | dict[Any, float] | None: ...
    def katz(
        self,
        order: _Positions | None,
        alpha: _Real,
        beta: _Real,
        weight: str | None,
        max_iter: SupportsIndex,
        tol: _Real,
        compensated_sum: bool,
        *,
        x0: _Reals | None = None,
        kinds: bool = False,
    ) -> list[float] | tuple[list[float], list[bool] | None] | None: ...

    # Structure: components as position lists, or as sets of the objects in `nodes`
    @overload
    def connected(self, *, nodes: None = None) -> list[list[int]]: ...
    @overload
    def connected(self, *, nodes: tuple[Any, ...]) -> list[set[Any]]: ...
    @overload
    def weakly_connected(self, *, nodes: None = None) -> list[list[int]]: ...
    @overload
    def weakly_connected(self, *, nodes: tuple[Any, ...]) -> list[set[Any]]: ...
    @overload
    def strongly_connected(self, *, shortcut: bool = True, nodes: None = None) -> list[list[int]]: ...
    @overload
    def strongly_connected(self, *, shortcut: bool = True, nodes: tuple[Any, ...]) -> list[set[Any]]: ...
    # Biconnected components: edge lists or sets of the objects in `nodes`, articulation points as positions
    def biconnected_edges(self, nodes: tuple[Any, ...]) -> list[list[tuple[Any, Any]]]: ...
    def biconnected_sets(self, nodes: tuple[Any, ...]) -> list[set[Any]]: ...
    def one_biconnected_component(self) -> bool: ...
    def cut_nodes(self) -> list[int]: ...
    # Bridges: chains as lists of edge tuples of the objects in `nodes`, bridges as position lists
    def chain_lists(self, nodes: tuple[Any, ...], *, root: int | None = None) -> list[list[tuple[Any, Any]]]: ...
    def bridge_edges(self, *, root: int | None = None, order: _Positions | None = None) -> tuple[list[int], list[int]]: ...
    def local_bridge_edges(self, nodes: tuple[Any, ...], *, span: bool = True) -> list[tuple[Any, ...]]: ...
    def hopcroft_karp(
        self, left: _Positions, right: _Positions
    ) -> tuple[list[int], list[int], int | None]: ...
    def two_colorable(self) -> bool: ...
    @overload
    def generations(self, *, nodes: None = None) -> tuple[list[list[int]], bool]: ...
    @overload
    def generations(self, *, nodes: tuple[Any, ...]) -> tuple[list[list[Any]], bool]: ...
    def indegrees_after(self, processed: _Positions) -> list[int]: ...
    def degree_zero_nodes(self) -> list[int]: ...
    def paton_cycles(self, root: SupportsIndex | None) -> tuple[list[int], list[int]]: ...
    def first_cycle(self, starts: Sequence[SupportsIndex], walk: SupportsIndex) -> list[tuple[int, int, bool]]: ...
    def girth(self) -> int | None: ...
    def recursive_cycles(self, multigraph: bool) -> tuple[list[int], list[int]]: ...
    def min_cycle_basis(self, hashes: bytes, weight: str | None = None) -> tuple[list[int], list[int]]: ...
    def greedy_matching(self) -> list[int]: ...
    def greedy_dominating(self, hashes: bytes, start: int) -> list[int]: ...
    def link_predictor(
        self, index: int, hashes: bytes, degrees: bytes, community: bytes, alpha: float, count_only: bool,
        delta: float, compensated: bool,
    ) -> Any: ...
    def square_counts(self, nodes: _Positions | None = None) -> list[tuple[int, int] | None]: ...
    def generalized_degrees(
        self, hashes: bytes, counter: type[Counter[int]], nodes: _Positions | None = None
    ) -> list[Counter[int]]: ...
    def weighted_triangle_terms(
        self, weight: str | None, hashes: bytes, nodes: _Positions | None = None
    ) -> tuple[bytes, bytes, list[int], list[int]]: ...
    def weighted_triangle_totals(self, roots: bytes, group_sizes: bytes, degree: _Positions) -> list[float]: ...
    def local_efficiencies(self, hashes: bytes, filtered: int) -> list[float | int]: ...
    def local_reaching(self, sources: _Positions | None, compensated: bool) -> list[float]: ...
    def reciprocity_counts(self, nodes: _Positions | None) -> list[float | None]: ...
    def reciprocated_pairs(self) -> int: ...
    def triad_counts(self, tricodes: bytes, in_nodeset: Sequence[bool]) -> list[int]: ...
    def dominated_by(self, chosen: Sequence[bool]) -> bool: ...
    def connected_dominating(self, degrees: bytes) -> list[int]: ...
    def betweenness_subset(self, weight: str | None, sources: _Positions, targets: Sequence[bool]) -> list[float]: ...
    def edge_betweenness_subset(
        self, weight: str | None, sources: _Positions, targets: Sequence[bool]
    ) -> list[float]: ...
    def load(
        self, weight: str | None, max_level: SupportsIndex, cutoff: float | None, rank: _Positions
    ) -> list[float] | None: ...
    def edge_load(self, max_level: SupportsIndex) -> tuple[list[int], list[int], list[float]]: ...
    def group_degree(self, group: _Positions, reverse: bool) -> int: ...
    def group_betweenness(self, weight: str | None, members: _Positions, offsets: _Positions, flat: _Positions) -> Any: ...
    def group_distance_total(self, group: _Positions, weight: str | None) -> int: ...
    def group_distances(self, group: _Positions, weight: str | None) -> list[float]: ...
    def prominent_group(
        self, weight: str | None, members: _Positions, label: _Positions, rank: _Positions, k: int, greedy: bool
    ) -> tuple[bool, float, list[int], int]: ...
    def side_degrees(self, side: SupportsIndex, keys: _Positions | None = None, *, distinct: bool = False) -> list[int]: ...
    def neighbor_degree_averages(
        self,
        source: SupportsIndex,
        target: SupportsIndex,
        nodes: _Positions | None,
        keys: _Positions | None = None,
        *,
        objects: tuple[Any, ...] | None = None,
    ) -> list[float] | dict[Any, float]: ...
    def connectivity_tally(
        self, source: SupportsIndex, target: SupportsIndex, nodes: _Positions | None, keys: _Positions | None = None
    ) -> tuple[list[int], list[int], list[int]]: ...
    def degree_xy(
        self,
        x: SupportsIndex,
        y: SupportsIndex,
        order: _Positions | None,
        member: Sequence[bool] | None,
        hashes: bytes | None,
        keys: _Positions | None = None,
        *,
        counted: bool = False,
    ) -> Any: ...
    def degree_matrix(self, x: SupportsIndex, y: SupportsIndex, mapping: bytes, keys: _Positions | None = None) -> bytes: ...
    def degree_coefficient(
        self, x: SupportsIndex, y: SupportsIndex, mapping: bytes, keys: _Positions | None = None
    ) -> float | None: ...
    def attribute_xy(
        self, codes: bytes, member: Sequence[bool], keys: _Positions | None = None
    ) -> list[tuple[int, list[int], list[int]]]: ...
    def rich_club_counts(self) -> tuple[list[int], list[int]] | None: ...
    def rich_club_randomised(
        self, state: bytes, index: SupportsIndex, nswap: SupportsIndex, max_tries: SupportsIndex
    ) -> tuple[int, int, tuple[list[int], list[int]], list[int], int]: ...
    def voterank(self, limit: SupportsIndex) -> list[int]: ...
    def dispersion_dicts(
        self, hashes: bytes, sources: _Positions | None, nodes: tuple[Any, ...], value: Callable[[int, int], Any]
    ) -> dict[Any, Any]: ...
    def dispersion_pair(self, hashes: bytes, u: SupportsIndex, v: SupportsIndex) -> tuple[int, int]: ...
    def wiener_without(
        self, weight: str | None, removed: _Positions, *, compensated_sum: bool = False
    ) -> list[int | float | bool | None]: ...
    def percolation(self, weight: str | None, states: Sequence[float], total: float) -> list[float]: ...
    def structural_holes(
        self,
        weight: str | None,
        hashes: bytes,
        nodes: _Positions,
        measure: SupportsIndex,
        *,
        compensated: bool = False,
        loops_isolate: bool = True,
    ) -> list[float | int]: ...
    def local_constraint(
        self, weight: str | None, hashes: bytes, u: SupportsIndex, v: SupportsIndex, *, compensated: bool = False
    ) -> float | int: ...
    def adjacency_rows(self, weight: str | None) -> tuple[bytes, bytes, bytes]: ...
    def tree_root(self) -> tuple[int, int]: ...
    def tree_lca(self, root: SupportsIndex, offsets: _Positions, members: _Positions, flags: _Positions) -> Any: ...
    def dag_lca(self, hashes: bytes) -> Any: ...
    def flow_network(self, codes: bytes, values: bytes, inf: float, inf_float: bool) -> Any: ...
    def max_flow(
        self,
        codes: bytes,
        values: bytes,
        inf: float,
        inf_float: bool,
        s: SupportsIndex,
        t: SupportsIndex,
        cutoff: float,
        want: SupportsIndex,
        *,
        network: Any = ...,
    ) -> tuple[int | float, bool, Any]: ...
    def residual_network(
        self,
        codes: bytes,
        values: bytes,
        inf: float,
        inf_float: bool,
        s: SupportsIndex,
        t: SupportsIndex,
        cutoff: float,
        nodes: tuple[Any, ...],
        objects: list[Any],
        inf_object: Any,
        *,
        network: Any = ...,
    ) -> tuple[int | float, bool, tuple[list[dict[Any, Any]], list[dict[Any, Any]]] | None]: ...
    def shortest_augmenting_path(
        self,
        codes: bytes,
        values: bytes,
        inf: float,
        inf_float: bool,
        s: SupportsIndex,
        t: SupportsIndex,
        cutoff: float,
        two_phase: bool,
        want: SupportsIndex,
        nodes: Any,
        objects: Any,
        inf_object: Any,
        *,
        network: Any = ...,
    ) -> tuple[int | float, int, Any, tuple[list[int], list[int]] | None]: ...
    def dinitz(
        self,
        codes: bytes,
        values: bytes,
        inf: float,
        inf_float: bool,
        s: SupportsIndex,
        t: SupportsIndex,
        cutoff: float,
        want: SupportsIndex,
        nodes: Any,
        objects: Any,
        inf_object: Any,
        *,
        network: Any = ...,
    ) -> tuple[int | float, int, Any, None]: ...
    def boykov_kolmogorov(
        self,
        codes: bytes,
        values: bytes,
        inf: float,
        inf_float: bool,
        s: SupportsIndex,
        t: SupportsIndex,
        cutoff: float,
        want: SupportsIndex,
        nodes: Any,
        objects: Any,
        inf_object: Any,
        *,
        network: Any = ...,
    ) -> tuple[int | float, int, Any, tuple[list[int], list[int]] | None]: ...
    def connectivity_neighbors(self, v: SupportsIndex) -> list[int]: ...
    def stoer_wagner(self, values: Sequence[float], floats: Sequence[bool]) -> tuple[int | float, list[int], list[int]]: ...
    def gomory_hu(
        self, codes: bytes, values: bytes, inf: float, inf_float: bool, algorithm: SupportsIndex, *, spare: bool = ...
    ) -> tuple[bool, Any, Any]: ...
    def disjoint_paths(
        self, node: bool, s: SupportsIndex, t: SupportsIndex, cutoff: float, algorithm: SupportsIndex
    ) -> list[list[int]] | int: ...
    def unit_flows(self, node: bool, ss: _Positions, ts: _Positions, cutoff: float) -> list[int]: ...
    def separates(self, cut: _Positions) -> bool: ...
    def node_cut_search(self, hashes: bytes, from37: bool, k: float) -> Any: ...
    def unit_cut(self, node: bool, s: SupportsIndex, t: SupportsIndex) -> tuple[list[int], list[int], list[int]]: ...
    def smallest_cut(
        self, node: bool, ss: _Positions, ts: _Positions, skip: Sequence[bool], initial_size: SupportsIndex
    ) -> tuple[tuple[int, list[int]], list[int], list[int]]: ...
    def bridge_components(self) -> tuple[list[int], list[int]]: ...
    def preflow(
        self,
        codes: bytes,
        values: bytes,
        inf: float,
        inf_float: bool,
        s: SupportsIndex,
        t: SupportsIndex,
        hashes: bytes,
        freq: float,
        value_only: bool,
        want: SupportsIndex,
        nodes: Any,
        objects: Any,
        inf_object: Any,
        *,
        network: Any = ...,
    ) -> tuple[int | float, int, Any]: ...
    def has_free_edge(self, matched: _Positions) -> bool: ...
    def blossom_matching(self, weight: str | None = None, maxcardinality: bool = False) -> list[int]: ...
    def period_divisor(self, root: SupportsIndex) -> int: ...
    def closure_edges(self, hashes: bytes, kind: SupportsIndex) -> tuple[list[int], list[int]]: ...
    def closure_dag_edges(self, hashes: bytes, order: _Positions) -> tuple[list[int], list[int]]: ...
    def reduction_edges(self, hashes: bytes) -> tuple[list[int], list[int]]: ...
    def ranked_topological_order(self, rank: _Positions) -> tuple[list[int], bool]: ...
    def antichain_search(self, order: _Positions) -> Any: ...
    def topological_sorts(self, parallel: bytes) -> Any: ...
    def longest_path_over(
        self, weight: str | None, order: _Positions
    ) -> tuple[list[int], None] | tuple[None, int]: ...
    @overload
    def core_numbers(self, *, nodes: None = None) -> list[int] | None: ...
    @overload
    def core_numbers(self, *, nodes: tuple[Any, ...]) -> dict[Any, int] | None: ...
    def onion_peel(self) -> tuple[list[int], list[int]] | None: ...
    def truss_edges(self, need: float) -> list[int] | None: ...
    def largest_first_colors(self) -> tuple[list[int], list[int]]: ...
    def label_propagation(self, order: _Positions) -> list[int]: ...
    def modularity_value(
        self, weight: str | None, members: _Positions, bounds: _Positions, resolution: float, compensated: bool
    ) -> tuple[float, float, int, bool]: ...
    def overlapping_modularity_terms(
        self, weight: str | None, members: _Positions, bounds: _Positions, count: _Positions, compensated: bool
    ) -> tuple[float, int, list[float], list[float]]: ...
    def intra_community_edges(
        self, label: _Positions, unlabelled: int, keys: _Positions
    ) -> tuple[int, int, None] | tuple[None, None, int]: ...
    def louvain_start(self, weight: str | None, resolution: float, compensated: bool, scaled: bool) -> Any: ...
    def asyn_lpa(
        self,
        weight: str | None,
        multigraph: bool,
        shuffled: Callable[[], list[int]] | None,
        choice: Callable[[list[int]], int] | None,
        *,
        state: bytes | None = None,
        index: int = 624,
    ) -> list[int] | tuple[list[int], list[int], int]: ...
    def fluid_communities(
        self,
        k: int,
        max_rounds: int,
        shuffled: Callable[[], list[int]] | None,
        choice: Callable[[list[int]], int] | None,
        *,
        state: bytes | None = None,
        index: int = 624,
    ) -> tuple[list[int], list[int], bool] | tuple[tuple[list[int], list[int], bool], list[int], int]: ...
    def fast_label_propagation(
        self,
        weight: str | None,
        multigraph: bool,
        shuffled: Callable[[], list[int]] | None,
        choice: Callable[[list[int]], int] | None,
        *,
        state: bytes | None = None,
        index: int = 624,
    ) -> list[int] | tuple[list[int], list[int], int]: ...
    def cnm_merges(
        self, weight: str | None, rank: _Positions, resolution: float, cutoff: float, best_n: float,
        compensated_sum: bool,
    ) -> tuple[list[int], bool, bool]: ...
    def naive_greedy_merges(
        self, weight: str | None, resolution: float, int_resolution: bool, compensated_sum: bool
    ) -> tuple[list[int], bool]: ...
    def kernighan_lin(
        self, weight: str | None, side: Sequence[bool], max_iter: int, compensated: bool, sums: Sequence[float],
        kinds: _Positions,
    ) -> tuple[list[int], bool]: ...
    def leiden_start(
        self, weight: str | None, by_modularity: bool, resolution: float, int_resolution: bool, compensated: bool,
        hashes: bytes, *, us: _Positions | None = None, vs: _Positions | None = None, ws: _Reals | None = None,
    ) -> Any: ...
    def clique_search(self, hashes: bytes, prefix: _Positions) -> tuple[Any, int, bool]: ...
    def maximal_cliques(self, hashes: bytes, min_size: int) -> tuple[list[int], list[int]]: ...
    def all_cliques_search(self) -> Any: ...
    def largest_cliques(self, hashes: bytes) -> tuple[list[int], list[int]]: ...
    def largest_cliques_at(self, nodes: _Positions) -> list[int]: ...
    def heaviest_clique(self, degrees: bytes, weights: bytes, max_depth: int) -> tuple[list[int], int, bool]: ...
    def kruskal(self, weight: str | None = None, maximum: bool = False) -> tuple[list[int], list[int]]: ...
    def kruskal_edges(
        self, weight: str | None, maximum: bool, nodes: tuple[Any, ...], adj: Mapping[Any, Any], data: bool = True
    ) -> list[tuple[Any, ...]]: ...
    def kruskal_tree(
        self,
        weight: str | None,
        maximum: bool,
        nodes: tuple[Any, ...],
        adj: Mapping[Any, Any],
        node_data: Mapping[Any, Any],
        tree_node: dict[Any, Any],
        tree_adj: dict[Any, Any],
    ) -> None: ...
    def triangles(self, nodes: tuple[Any, ...]) -> dict[Any, int]: ...
    @overload
    def triangle_counts(
        self, nodes: _Positions | None = None, successors_only: bool = False, *, totals: Literal[False] = False
    ) -> list[tuple[int, int, int]]: ...
    @overload
    def triangle_counts(
        self, nodes: _Positions | None = None, successors_only: bool = False, *, totals: Literal[True]
    ) -> tuple[int, int]: ...
