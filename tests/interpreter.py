"""What the running interpreter lets the tests observe."""

import sys

import pytest

PYPY = sys.implementation.name == "pypy"

# PyPy moves objects and counts references only for the ones native code
# holds, and has no tracemalloc: exact counts and traced memory mean nothing.
needs_refcounts = pytest.mark.skipif(
    PYPY, reason="PyPy has no exact reference counts or tracemalloc")

# PyPy fixes a class's metatype when the class is made and has no immutable
# classes, so the module's classes take new class attributes there.
needs_frozen_classes = pytest.mark.skipif(
    PYPY, reason="PyPy cannot make extension classes immutable")
