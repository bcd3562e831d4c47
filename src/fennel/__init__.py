"""fennel: exact, multi-threaded C++ acceleration for NetworkX."""

__version__ = "0.1.0"
