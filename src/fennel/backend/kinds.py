"""Value kinds: what NetworkX's arithmetic makes of an edge value.

A kind has two bits, float-ness and numpy-ness; a sum or product of two
values has the OR of their kinds (int + numpy.int64 is numpy.int64, float +
numpy.int64 is numpy.float64). The extension recognises numpy.float64,
numpy.int64 and numpy.bool_ edge values once they are registered, which
happens when numpy is loaded and promotes as the kinds say; other numpy
types (float32, int32, uint64, longdouble, ...) stay unsupported.
"""

import sys
import threading
from typing import NamedTuple

from .. import _core

PY_INT = _core.PY_INT
PY_FLOAT = _core.PY_FLOAT
NP_INT = _core.NP_INT
NP_FLOAT = _core.NP_FLOAT
FLOAT_BIT = _core.FLOAT_BIT
NUMPY_BIT = _core.NUMPY_BIT
NUMPY_KINDS = (1 << NP_INT) | (1 << NP_FLOAT)


class WeightFacts(NamedTuple):
    """What the values of one converted attribute allow (see CoreGraph.weight_facts)."""

    plain: bool  # Python int, float, bool or None, or numpy float64, int64 or bool_
    min_finite: float | None
    max_finite: float | None
    pos_inf: bool
    neg_inf: bool
    numpy_bool: bool
    all_int: bool
    has_hidden: bool
    mixed: bool  # ints and floats
    kinds: int  # one bit per kind of the slots' values
    slot_kinds: bool  # each slot's kind is known

    def uniform_kind(self):
        """The one kind of every value (the int kind when there are none), or None."""
        if self.kinds == 0:
            return PY_INT
        if self.kinds & (self.kinds - 1):
            return None
        return self.kinds.bit_length() - 1


UNIT_FACTS = WeightFacts(True, 1.0, 1.0, False, False, False, True, False, False, 1 << PY_INT, True)

_registered = False
_lock = threading.Lock()


def _promotes_as_kinds(np):
    """Whether numpy's scalar arithmetic with Python numbers follows the kinds."""
    i, f, b = np.int64(2), np.float64(0.5), np.bool_(True)
    cases = (
        (0 + i, np.int64), (0 + f, np.float64), (0 + b, np.int64), (0.5 + i, np.float64),
        (i + f, np.float64), (i + b, np.int64), (f + b, np.float64), (0.5 + b, np.float64),
        (0.5 * i, np.float64), (0.5 * b, np.float64), (1 / i, np.float64), (i + 1, np.int64),
    )
    return all(type(value) is kind for value, kind in cases)


def register_numpy():
    """Registers numpy's scalar types with the extension, once numpy is loaded.

    Values of those types convert only after this; before numpy is imported
    no edge can hold them.
    """
    global _registered
    if _registered:
        return
    np = sys.modules.get("numpy")
    if np is None:
        return
    with _lock:
        if not _registered and _promotes_as_kinds(np):
            _core.register_numpy(np.float64, np.int64, np.bool_)
            _registered = True


def typed(kind):
    """The type NetworkX's value of `kind` has (int, float, numpy.int64 or numpy.float64)."""
    if kind & NUMPY_BIT:
        np = sys.modules["numpy"]
        return np.float64 if kind & FLOAT_BIT else np.int64
    return float if kind & FLOAT_BIT else int
