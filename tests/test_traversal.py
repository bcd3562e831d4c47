"""The traversal methods of CoreGraph: conventions the dispatcher tests do not reach."""

import math

import networkx as nx
import pytest
from zoo import convert

NO_PARENT = 2**32 - 1


@pytest.mark.parametrize("cutoff", [0.0, -1.0, math.nan])
def test_bfs_tree_without_expansion_is_the_source(cutoff):
    g = convert(nx.path_graph(3))
    assert g.bfs_tree(1, cutoff) == ([1], [NO_PARENT])


def test_limits_and_markers():
    g = convert(nx.path_graph(3))
    assert g.bfs_tree(0, 1) == ([0, 1], [NO_PARENT, 0])
    assert g.bfs_edges(0, 0) == ([], [])
    assert g.bfs_edges(1, 1) == ([1, 1], [0, 2])
    assert g.dfs_forward([0], 1) == ([0, 0], [0, 1])
    two = convert(nx.disjoint_union(nx.path_graph(2), nx.path_graph(2)))
    assert two.dfs_forward(None, 4) == ([0, 0, 2, 2], [0, 1, 2, 3])


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda g: g.bfs_tree(3, 1.0), IndexError, "node index out of range"),
        (lambda g: g.bfs_edges(0, 2, True), NotImplementedError, "exact predecessor order not loaded"),
        (lambda g: g.dfs_forward([0, 3], 2), IndexError, "node index out of range"),
        (lambda g: g.bfs_edges(0, None), TypeError, "depth_limit"),
        (lambda g: g.bfs_tree(0, None), TypeError, "cutoff"),
    ],
)
def test_errors(call, exc, message):
    g = convert(nx.path_graph(3, create_using=nx.DiGraph))
    with pytest.raises(exc, match=message):
        call(g)
