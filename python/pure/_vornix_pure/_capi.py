"""The engine's C interface, loaded through cffi in ABI mode.

ABI mode needs no compiler at install time: calls go straight to
``libvornix_capi``, which PyPy's JIT turns into direct calls. The
declarations come compiled for cffi's backend (``_ffi.py``, written when
the package is built; see ``_declarations.py``), or are made from
``vornix.h`` on import where that module is missing or another header is
asked for.

Where the files are found, first match wins:
- ``VORNIX_CAPI_LIBRARY`` / ``VORNIX_CAPI_HEADER`` in the environment;
- beside this package's modules (where an installed wheel puts them);
- in a source checkout: ``capi/include/vornix.h`` and a ``build/*/capi``
  directory holding the library.
"""

import glob
import os

from . import _declarations

# os.path rather than pathlib: pathlib is a package from 3.13 on, and one
# whose import failed half-way (as the module's own import may) cannot be
# imported again in that process.
_HERE = os.path.dirname(os.path.realpath(__file__))
_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(_HERE)))  # a checkout's root
_LIBRARY_NAME = "libvornix_capi.so"


def _find_header():
    given = os.environ.get("VORNIX_CAPI_HEADER")
    for path in ([given] if given else []) + [os.path.join(_HERE, "vornix.h"),
                                             os.path.join(_ROOT, "capi", "include", "vornix.h")]:
        if os.path.isfile(path):
            return path
    raise ImportError("vornix_sim: cannot find vornix.h (set VORNIX_CAPI_HEADER)")


def _find_library():
    given = os.environ.get("VORNIX_CAPI_LIBRARY")
    if given:
        return given
    beside = os.path.join(_HERE, _LIBRARY_NAME)
    if os.path.isfile(beside):
        return beside
    built = sorted(glob.glob(os.path.join(_ROOT, "build", "*", "capi", _LIBRARY_NAME)),
                   key=os.path.getmtime, reverse=True)
    if built:
        return built[0]
    raise ImportError("vornix_sim: cannot find " + _LIBRARY_NAME +
                      " (set VORNIX_CAPI_LIBRARY)")


def _load_declarations():
    if not os.environ.get("VORNIX_CAPI_HEADER"):
        try:
            from ._ffi import ffi as built
            return built
        except ImportError:
            pass  # a source checkout: made from the header below
    namespace = {"__name__": _declarations.MODULE}
    exec(compile(_declarations.module_source(_find_header()), _declarations.MODULE, "exec"),
         namespace)
    return namespace["ffi"]


ffi = _load_declarations()
lib = ffi.dlopen(_find_library())
