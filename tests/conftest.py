"""Chooses the front end the suite runs against.

VORNIX_FRONT_END=pure puts the pure-Python front end in place of the
extension module before any test module imports vornix_sim; the default
(c) leaves the import alone, which on PyPy gives the pure front end anyway.
"""

import atexit
import os
import pathlib
import shutil
import sys
import tempfile

FRONT_END = os.environ.get("VORNIX_FRONT_END", "c")

if FRONT_END == "pure":
    try:
        import _vornix_pure
    except ImportError:
        sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python" / "pure"))
        import _vornix_pure
    sys.modules["vornix_sim"] = _vornix_pure
    # Tests that start a fresh interpreter import vornix_sim there too: a
    # stand-in module on its path hands them the same front end.
    _shim = tempfile.mkdtemp(prefix="vornix-pure-")
    atexit.register(shutil.rmtree, _shim, True)
    pathlib.Path(_shim, "vornix_sim.py").write_text(
        "import sys\nimport _vornix_pure\nsys.modules[__name__] = _vornix_pure\n")
    sys.path.insert(0, _shim)
    _pure_dir = str(pathlib.Path(_vornix_pure.__file__).resolve().parent.parent)
    os.environ["PYTHONPATH"] = os.pathsep.join(
        [_shim, _pure_dir] + [p for p in [os.environ.get("PYTHONPATH")] if p])
elif FRONT_END != "c":
    raise RuntimeError(f"VORNIX_FRONT_END must be 'c' or 'pure', not {FRONT_END!r}")
