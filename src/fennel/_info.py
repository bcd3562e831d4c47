"""Backend metadata read by NetworkX at import time.

NetworkX calls :func:`get_info` through the ``networkx.backend_info`` entry
point while it is still importing, so this module must stay cheap: it reads
the backend's registry and the settings' defaults, which import neither
NetworkX nor the compiled extension.
"""

from typing import Any

from ._settings import default_config
from .backend.registry import SERVED


def get_info() -> dict[str, Any]:
    """Return the metadata NetworkX shows for the ``fennel`` backend."""
    return {
        "backend_name": "fennel",
        "project": "nx-fennel",
        "package": "fennel",
        "short_summary": "Exact, multi-threaded C++ acceleration for NetworkX.",
        "default_config": default_config(),
        "functions": {s.name: {"additional_docs": s.docs, "additional_parameters": {}} for s in SERVED},
    }
