"""Backend metadata read by NetworkX at import time.

NetworkX calls :func:`get_info` through the ``networkx.backend_info`` entry
point while it is still importing, and builds each dispatchable function's
set of backends from the names it lists. The backend's modules import
NetworkX, so this module reads them as text instead: every function
decorated ``@served(...)`` (see ``fennel.backend.serve``) is served, and its
``docs`` argument, made of string literals, ``+`` and string constants of
the backend's modules, is evaluated from the source. Only the declarations
and the constants they name are parsed. ``fennel.backend.registry`` checks,
when the backend loads, that this reading equals the declarations made.
"""

import ast
import functools
import re
from pathlib import Path
from typing import Any

from ._settings import default_config

_BACKEND = Path(__file__).with_name("backend")
# A declaration: "@served(" opening a line, its arguments, and the def it decorates.
_DECLARATION = re.compile(r"^@served\((.*?)\)\ndef (\w+)\(", re.M | re.S)
# Where a top-level statement ends: a line starting with anything but
# whitespace or a closing bracket.
_STATEMENT_END = re.compile(r"\n(?=[^\s)\]}])")


class _Module:
    """One backend module's source, read for its string constants."""

    def __init__(self, name: str) -> None:
        self.name = name
        self.text = (_BACKEND / f"{name}.py").read_text(encoding="utf-8")

    def _statement(self, start: re.Match[str]) -> ast.stmt:
        end = _STATEMENT_END.search(self.text, start.end())
        return ast.parse(self.text[start.start() : end.start() if end else len(self.text)]).body[0]

    @functools.cache
    def constant(self, name: str) -> str:
        """The value of the module-level string constant ``name``, assigned here or imported."""
        assigned = re.search(rf"^{name} = ", self.text, re.M)
        if assigned is not None:
            statement = self._statement(assigned)
            assert isinstance(statement, ast.Assign)
            return self.value(statement.value)
        imported = re.search(rf"^from \.(\w+) import (?:\([^)]*|[^\n(]*)\b{name}\b", self.text, re.M)
        if imported is None:
            raise ValueError(f"{self.name}: {name} is not a string constant of the backend")
        return _module(imported.group(1)).constant(name)

    def value(self, node: ast.expr) -> str:
        """A string expression of literals, ``+`` and constants."""
        if isinstance(node, ast.Constant) and isinstance(node.value, str):
            return node.value
        if isinstance(node, ast.BinOp) and isinstance(node.op, ast.Add):
            return self.value(node.left) + self.value(node.right)
        if isinstance(node, ast.Name):
            return self.constant(node.id)
        raise ValueError(f"{self.name}: docs must be made of string literals, + and constants")


@functools.cache
def _module(name: str) -> _Module:
    return _Module(name)


@functools.cache
def declared() -> dict[str, tuple[str, str]]:
    """Every served function's name -> (its backend module, its docs), in module and source order."""
    found = {}
    for path in sorted(_BACKEND.glob("*.py")):
        module = _module(path.stem)
        for match in _DECLARATION.finditer(module.text):
            call = ast.parse(f"served({match.group(1)})", mode="eval").body
            assert isinstance(call, ast.Call)
            docs = next(keyword.value for keyword in call.keywords if keyword.arg == "docs")
            found[match.group(2)] = (path.stem, module.value(docs))
    return found


def get_info() -> dict[str, Any]:
    """Return the metadata NetworkX shows for the ``fennel`` backend."""
    return {
        "backend_name": "fennel",
        "project": "nx-fennel",
        "package": "fennel",
        "short_summary": "Exact, multi-threaded C++ acceleration for NetworkX.",
        "default_config": default_config(),
        "functions": {
            name: {"additional_docs": docs, "additional_parameters": {}} for name, (_, docs) in declared().items()
        },
    }
