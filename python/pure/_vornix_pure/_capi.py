"""The engine's C interface, loaded through cffi in ABI mode.

ABI mode needs no compiler and no headers at install time: the declarations
are read from ``vornix.h`` when the package is imported, and calls go
straight to ``libvornix_capi``, which PyPy's JIT turns into direct calls.

Where the two files are found, first match wins:
- ``VORNIX_CAPI_LIBRARY`` / ``VORNIX_CAPI_HEADER`` in the environment;
- beside this package's modules (where an installed wheel puts them);
- in a source checkout: ``capi/include/vornix.h`` and a ``build/*/capi``
  directory holding the library.
"""

import os
import pathlib
import re

from cffi import FFI

_HERE = pathlib.Path(__file__).resolve().parent
_ROOT = _HERE.parent.parent.parent  # the checkout, when running from one
_LIBRARY_NAME = "libvornix_capi.so"


def _find_header():
    given = os.environ.get("VORNIX_CAPI_HEADER")
    for path in ([given] if given else []) + [_HERE / "vornix.h",
                                             _ROOT / "capi" / "include" / "vornix.h"]:
        if pathlib.Path(path).is_file():
            return pathlib.Path(path)
    raise ImportError("vornix_sim: cannot find vornix.h (set VORNIX_CAPI_HEADER)")


def _find_library():
    given = os.environ.get("VORNIX_CAPI_LIBRARY")
    if given:
        return given
    beside = _HERE / _LIBRARY_NAME
    if beside.is_file():
        return str(beside)
    built = sorted(_ROOT.glob("build/*/capi/" + _LIBRARY_NAME),
                   key=lambda p: p.stat().st_mtime, reverse=True)
    if built:
        return str(built[0])
    raise ImportError("vornix_sim: cannot find " + _LIBRARY_NAME +
                      " (set VORNIX_CAPI_LIBRARY)")


# cffi reads plain declarations: the header's guards, includes, export macro
# and C++ linkage block are for C compilers and go; integer #defines stay.
_DIRECTIVE = re.compile(r"^\s*#(?!define\s+\w+\s+\d+\s*$).*$", re.M)


def declarations(text):
    text = _DIRECTIVE.sub("", text)
    text = text.replace("VX_API ", "")
    # Identifier halves are read as signed: the same bits, but an unsigned
    # 64-bit value past 2**63 is a big integer on PyPy, slow to make and hash.
    text = re.sub(r"uint64_t (hi|lo);", r"int64_t \1;", text)
    return re.sub(r'^extern "C" \{$|^\}$', "", text, flags=re.M)


ffi = FFI()
ffi.cdef(declarations(_find_header().read_text(encoding="utf-8")))
lib = ffi.dlopen(_find_library())
