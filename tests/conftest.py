"""Chooses the front end the suite runs against.

VORNIX_FRONT_END=pure puts the pure-Python front end in place of the
extension module before any test module imports vornix_sim; the default
(c) leaves the import alone.
"""

import os
import pathlib
import sys

FRONT_END = os.environ.get("VORNIX_FRONT_END", "c")

if FRONT_END == "pure":
    try:
        import _vornix_pure
    except ImportError:
        sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python" / "pure"))
        import _vornix_pure
    sys.modules["vornix_sim"] = _vornix_pure
elif FRONT_END != "c":
    raise RuntimeError(f"VORNIX_FRONT_END must be 'c' or 'pure', not {FRONT_END!r}")
