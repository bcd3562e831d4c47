"""The installed distribution: its files, its metadata, the extension's stub,
and command lines that explain themselves instead of running."""

import ast
import importlib.metadata
import importlib.resources
import inspect
import subprocess
import sys
from pathlib import Path

import pytest

import fennel._core as core

ROOT = Path(__file__).resolve().parents[1]
BENCH = sorted(p.name for p in (ROOT / "bench").glob("*.py") if p.name != "cli.py")
PACKAGE = importlib.resources.files("fennel")


@pytest.fixture(scope="module")
def dist():
    return importlib.metadata.distribution("nx-fennel")


def test_py_typed_is_installed():
    assert PACKAGE.joinpath("py.typed").is_file()


def test_licence_in_metadata(dist):
    assert dist.metadata["License-Expression"] == "BSD-3-Clause"
    assert dist.metadata.get_all("License-File") == ["LICENSE"]
    assert dist.read_text("licenses/LICENSE") == (ROOT / "LICENSE").read_text()


def test_fennel_package_belongs_to_nx_fennel_alone():
    # Another distribution providing `fennel` (this project's former name, or
    # the unrelated project of that name) would share the package's folder.
    assert importlib.metadata.packages_distributions()["fennel"] == ["nx-fennel"]
    backends = [ep for ep in importlib.metadata.entry_points(group="networkx.backends") if ep.name == "fennel"]
    assert [(ep.dist.name, ep.value) for ep in backends] == [("nx-fennel", "fennel.backend:backend_interface")]


def test_backend_info_names_the_distribution(dist):
    from fennel._info import get_info

    info = get_info()
    assert (info["project"], info["package"], info["backend_name"]) == (dist.metadata["Name"], "fennel", "fennel")


# The stub against the module it describes


def _stub():
    return ast.parse(PACKAGE.joinpath("_core.pyi").read_text())


def _is_protocol(node):
    return any(isinstance(b, ast.Name) and b.id == "Protocol" for b in node.bases)


def _defs(body):
    """name -> [FunctionDef, ...] (several for overloads), and the property names."""
    out, properties = {}, set()
    for node in body:
        if isinstance(node, ast.FunctionDef):
            if any(isinstance(d, ast.Name) and d.id == "property" for d in node.decorator_list):
                properties.add(node.name)
            else:
                out.setdefault(node.name, []).append(node)
    return out, properties


STUB = _stub()
STUB_CLASSES = {n.name: n for n in STUB.body if isinstance(n, ast.ClassDef) and not _is_protocol(n)}
STUB_FUNCTIONS, _ = _defs(STUB.body)
STUB_CONSTANTS = {n.target.id for n in STUB.body if isinstance(n, ast.AnnAssign) and "Final" in ast.unparse(n.annotation)}
RUNTIME_CLASSES = {name: getattr(core, name) for name in STUB_CLASSES}
CALLABLES = [(name, None) for name in sorted(STUB_FUNCTIONS)] + [
    (name, cls) for cls in sorted(STUB_CLASSES) for name in sorted(_defs(STUB_CLASSES[cls].body)[0])
]


def test_stub_names_every_public_object():
    runtime = {n for n in vars(core) if not n.startswith("__")}
    assert set(STUB_FUNCTIONS) | set(STUB_CLASSES) | STUB_CONSTANTS == runtime
    assert all(type(getattr(core, name)) is int for name in STUB_CONSTANTS)
    for name, cls in RUNTIME_CLASSES.items():
        members, properties = _defs(STUB_CLASSES[name].body)
        runtime_members = set(vars(cls)) - {"__doc__", "__module__"}
        assert set(members) | properties == runtime_members, name
        assert properties == {n for n in runtime_members if inspect.isgetsetdescriptor(vars(cls)[n])}, name


def _stub_parameters(node, method):
    args = node.args
    positional = args.posonlyargs + args.args
    positional = positional[1:] if method else positional
    pairs = [(a.arg, "positional") for a in positional] + [(a.arg, "keyword") for a in args.kwonlyargs]
    defaults = [None] * (len(positional) - len(args.defaults)) + args.defaults + args.kw_defaults
    return [(name, kind, d is not None) for (name, kind), d in zip(pairs, defaults)]


def _runtime_parameters(obj, method):
    params = list(inspect.signature(obj).parameters.values())
    params = params[1:] if method else params
    kind = {inspect.Parameter.KEYWORD_ONLY: "keyword"}
    return [(p.name, kind.get(p.kind, "positional"), p.default is not inspect.Parameter.empty) for p in params]


@pytest.mark.parametrize(("name", "cls"), CALLABLES, ids=[f"{c}.{n}" if c else n for n, c in CALLABLES])
def test_stub_signature_matches_runtime(name, cls):
    owner = RUNTIME_CLASSES[cls] if cls else core
    nodes = _defs(STUB_CLASSES[cls].body)[0][name] if cls else STUB_FUNCTIONS[name]
    runtime = _runtime_parameters(getattr(owner, name), cls is not None)
    stubbed = [_stub_parameters(node, cls is not None) for node in nodes]
    if len(nodes) == 1:
        assert stubbed[0] == runtime
    else:  # overloads narrow what a parameter takes, and may drop its default to do so
        assert all([(n, k) for n, k, _ in s] == [(n, k) for n, k, _ in runtime] for s in stubbed)


# Command lines


def _run(args):
    return subprocess.run([sys.executable, *args], capture_output=True, text=True, timeout=120, cwd=ROOT)


def test_demo_help_explains_without_running():
    done = _run(["-m", "fennel", "--help"])
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("usage: python -m fennel")
    assert "RAYON_NUM_THREADS" in done.stdout
    assert "conversion (every query" not in done.stdout  # the demo's first section


def test_demo_rejects_unknown_option():
    done = _run(["-m", "fennel", "--frobnicate"])
    assert (done.returncode, done.stdout) == (2, "")
    assert "unrecognized arguments: --frobnicate" in done.stderr


@pytest.mark.parametrize("script", BENCH)
def test_bench_help_explains_without_running(script):
    done = _run(["-B", str(ROOT / "bench" / script), "--help"])
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith(f"usage: {script} [-h] [--quick]")
