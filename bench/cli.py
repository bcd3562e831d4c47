"""The command line every benchmark script shares.

``--help`` prints the script's docstring and its options; ``--quick`` runs a
small version of the script that finishes in seconds (its numbers show that
everything runs, not how fast). Scripts write nothing into the checkout
unless an option names a file. The peer libraries (igraph, NetworKit,
rustworkx) and matplotlib come with ``pip install ".[bench]"``; a script
whose peer is missing says so and leaves that peer's rows out.
"""

import argparse
import importlib
import statistics
import sys
import time


def parser(doc, quick, optional=()):
    """An argument parser whose help is `doc`; `quick` says what ``--quick``
    runs, `optional` names the packages the script uses where installed."""
    epilog = None
    if optional:
        epilog = f"Uses {', '.join(optional)} where installed (pip install \".[bench]\"), else leaves them out."
    p = argparse.ArgumentParser(
        description=doc, formatter_class=argparse.RawDescriptionHelpFormatter, epilog=epilog
    )
    p.add_argument("--quick", action="store_true", help=quick)
    # How a script starts its own subprocesses (their pool size fixed at start).
    p.add_argument("--child", nargs="*", help=argparse.SUPPRESS)
    return p


def peer(name, missing="its rows are left out"):
    """The module `name`, or None (with a note on stderr, ending in `missing`) when it is not installed."""
    try:
        return importlib.import_module(name)
    except ImportError:
        print(f"{name} is not installed: {missing} (pip install \".[bench]\")", file=sys.stderr)
        return None


def median_time(fn, repeats):
    """The median wall time of `repeats` calls of fn()."""
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return statistics.median(times)
