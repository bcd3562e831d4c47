"""How close build_graph is to the cost of merely reading NetworkX's dicts.

Beside the bare Python walk and loop of bench/conversion.py, this times a
plain C walk of the same adjacency: PyDict_Next over G._adj and over every
row, reading each neighbour key's value (an int's value, a str's hash) and,
with a weight, looking the attribute up in each edge's data dict. It builds
nothing and checks nothing, so no conversion that reads the dicts can be much
cheaper; fennel's conversion beats it by overlapping the memory accesses of
several rows (prefetching). The walker is compiled here (in a temporary
directory) from the C source below with the system's C++ compiler and loaded
through ctypes. Graph kinds as in bench/conversion.py. build_graph is timed
on one thread and on --threads (default 2): large graphs' rows are read in
pieces on the pool's threads.

    python bench/conversion_floor.py [--quick] [--cpu] [--threads N] [--kinds KIND ...]
"""

import ctypes
import os
import subprocess
import sysconfig
import tempfile
import time

import cli
import conversion
import fennel._core as core
from conversion import KINDS, bare_loop, bare_walk, best, make_graph

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
            sum += PyLong_CheckExact(key) ? PyLong_AsLong(key) : PyObject_Hash(key);
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
    folder = tempfile.mkdtemp()
    source, library = os.path.join(folder, "walk.cpp"), os.path.join(folder, "walk.so")
    with open(source, "w") as f:
        f.write(WALK)
    include = sysconfig.get_paths()["include"]
    subprocess.run(["g++", "-O3", "-shared", "-fPIC", f"-I{include}", source, "-o", library], check=True)
    walk = ctypes.PyDLL(library).walk
    walk.argtypes = [ctypes.py_object, ctypes.py_object]
    walk.restype = ctypes.c_longlong
    return walk


def arguments():
    parser = cli.parser(__doc__, "graphs of 100,000 edges over 20,000 nodes, 3 repeats")
    parser.add_argument("--cpu", action="store_true", help="time in process CPU time instead of wall-clock time")
    parser.add_argument("--threads", type=int, default=2, help="threads of the second build_graph column (default 2)")
    parser.add_argument("--kinds", nargs="+", choices=KINDS, default=list(KINDS), metavar="KIND",
                        help=f"graph kinds to measure (default: all of {', '.join(KINDS)})")
    return parser.parse_args()


def main():
    args = arguments()
    n, m, repeats = (20_000, 100_000, 3) if args.quick else (conversion.NODES, conversion.EDGES, conversion.REPEATS)
    if args.cpu:
        conversion.CLOCK = time.process_time
    walk = compiled_walk()
    print(f"{m:,} edges over {n:,} nodes, best of {repeats}; ratios to the Python walk (no attribute) "
          "or loop (weight)")
    print(f"{'graph':<22}{'':<10}{'Python':>9}{'C walk':>10}{'build_graph':>13}{f'{args.threads}t':>9}"
          f"{'gain':>7}")
    for directed in (False, True):
        for kind in args.kinds:
            G = make_graph(kind, directed, n, m)
            nodes = list(G)
            index = {v: i for i, v in enumerate(nodes)}
            name = f"{'directed' if directed else 'undirected'} {kind}"
            for label, attr, attrs, loop in (("no attr", None, [], bare_walk), ("weight", "weight", [("weight", 1)],
                                                                                  bare_loop)):
                t_loop = best(lambda: loop(G._adj), repeats)
                t_walk = best(lambda: walk(G._adj, attr), repeats)
                times = []
                for threads in (1, args.threads):
                    core.set_num_threads(threads)
                    times.append(best(lambda: core.build_graph(nodes, index, G._adj, directed, attrs), repeats))
                t_build, t_threads = times
                print(f"{name:<22}{label:<10}{t_loop:>8.3f}s{t_walk:>9.3f}s{t_build:>12.3f}s{t_threads:>8.3f}s"
                      f"{t_build / t_threads:>6.2f}x   {t_loop / t_walk:.1f}x, {t_loop / t_build:.1f}x", flush=True)
            del G, nodes, index


if __name__ == "__main__":
    main()
