"""How close build_graph is to the cost of merely reading NetworkX's dicts.

Beside the bare Python walk of bench/conversion.py, this times a plain C walk
of the same adjacency: PyDict_Next over G._adj and over every row, reading
each neighbour key's int value and, with a weight, looking the attribute up
in each edge's data dict. It builds nothing and checks nothing, so no
conversion that reads the dicts can be much cheaper; fennel's conversion
beats it by overlapping the memory accesses of several rows (prefetching).
The walker is compiled from the C source below with the system's C++
compiler (g++) in a temporary folder, removed once it is loaded through
ctypes.

    python bench/conversion_floor.py [--quick]
"""

import ctypes
import os
import subprocess
import sys
import sysconfig
import tempfile

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import cli
import fennel._core as core
from conversion import EDGES, REPEATS, bare_loop, best, random_graph

WALK = r"""
#include <Python.h>
extern "C" long long walk(PyObject* adj, PyObject* attr) {
    long long sum = 0;
    Py_ssize_t pos = 0;
    PyObject *node, *row;
    while (PyDict_Next(adj, &pos, &node, &row)) {
        Py_ssize_t p = 0;
        PyObject *key, *data;
        while (PyDict_Next(row, &p, &key, &data)) {
            sum += PyLong_AsLong(key);
            if (attr != Py_None) {
                PyObject* v = PyDict_GetItemWithError(data, attr);
                if (v != NULL) sum += PyLong_AsLong(v);
            }
        }
    }
    return sum;
}
"""


def compiled_walk():
    with tempfile.TemporaryDirectory() as folder:
        source, library = os.path.join(folder, "walk.cpp"), os.path.join(folder, "walk.so")
        with open(source, "w") as f:
            f.write(WALK)
        include = sysconfig.get_paths()["include"]
        subprocess.run(["g++", "-O3", "-shared", "-fPIC", f"-I{include}", source, "-o", library], check=True)
        walk = ctypes.PyDLL(library).walk  # stays mapped once its file is gone
    walk.argtypes = [ctypes.py_object, ctypes.py_object]
    walk.restype = ctypes.c_longlong
    return walk


def main(quick):
    m, repeats = (EDGES // 10, 2) if quick else (EDGES, REPEATS)
    walk = compiled_walk()
    print(f"{m:,} edges, best of {repeats}")
    print(f"{'graph':<11}{'':<12}{'bare loop':>11}{'C walk':>10}{'build_graph':>13}   (ratios to the bare loop)")
    for directed in (False, True):
        G = random_graph(directed, n=m // 5, m=m)
        nodes = list(G)
        index = {v: i for i, v in enumerate(nodes)}
        loop = best(lambda: bare_loop(G._adj), repeats)
        for label, attr, attrs in (("no attr", None, []), ("weight", "weight", [("weight", 1)])):
            t_walk = best(lambda: walk(G._adj, attr), repeats)
            t_build = best(lambda: core.build_graph(nodes, index, G._adj, directed, attrs), repeats)
            name = "directed" if directed else "undirected"
            print(f"{name:<11}{label:<12}{loop:>10.3f}s{t_walk:>9.3f}s{t_build:>12.3f}s   "
                  f"{loop / t_walk:.1f}x, {loop / t_build:.1f}x")


if __name__ == "__main__":
    main(cli.parser(__doc__, "100,000 edges, best of 2").parse_args().quick)
