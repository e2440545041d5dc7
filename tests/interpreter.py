"""What the running interpreter lets the tests observe."""

import sys

import pytest

import vornix_sim

PYPY = sys.implementation.name == "pypy"

# PyPy moves objects and counts references only for the ones native code
# holds, and has no tracemalloc: exact counts and traced memory mean nothing.
needs_refcounts = pytest.mark.skipif(
    PYPY, reason="PyPy has no exact reference counts or tracemalloc")

# Whether vornix_sim is the pure-Python front end (always so on PyPy).
PURE_FRONT_END = getattr(vornix_sim, "__file__", "").endswith(".py")

# PyPy fixes an extension class's metatype when the class is made and has no
# immutable extension classes, so they take new class attributes there; the
# pure front end's classes refuse them on every interpreter.
needs_frozen_classes = pytest.mark.skipif(
    PYPY and not PURE_FRONT_END, reason="PyPy cannot make extension classes immutable")
