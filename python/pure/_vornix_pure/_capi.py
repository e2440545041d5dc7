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

import glob
import os
import re

from cffi import FFI

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


# cffi reads plain declarations: the header's guards, includes, export macro
# and C++ linkage block are for C compilers and go; integer #defines stay.
_DIRECTIVE = re.compile(r"^\s*#(?!define\s+\w+\s+\d+\s*$).*$", re.M)


def declarations(text):
    text = _DIRECTIVE.sub("", text)
    text = text.replace("VX_API ", "")
    # Identifier halves are read as signed: the same bits, but an unsigned
    # 64-bit value past 2**63 is a big integer on PyPy, slow to make and hash.
    text = re.sub(r"uint64_t (hi|lo);", r"int64_t \1;", text)
    # (cffi on PyPy makes a big integer of every unsigned 64-bit read, small
    # or not.) A packet's former place in its queue is far below 2**63.
    text = text.replace("uint64_t from_index;", "int64_t from_index;")
    # Sizes and counts in records likewise: the same bits while below 2**63,
    # and an unsigned read costs PyPy a range check on every field.
    text = re.sub(r"^(\s+)size_t (\w+);", r"\1intptr_t \2;", text, flags=re.M)
    return re.sub(r'^extern "C" \{$|^\}$', "", text, flags=re.M)


ffi = FFI()
with open(_find_header(), encoding="utf-8") as _header:
    ffi.cdef(declarations(_header.read()))
lib = ffi.dlopen(_find_library())
