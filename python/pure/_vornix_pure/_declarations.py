"""The engine's C declarations as cffi reads them, and the module that holds
them compiled for cffi's backend.

Building the package runs this file as a script, which writes that module
(``_ffi.py``) beside the package's others:

    python _declarations.py path/to/vornix.h path/to/_ffi.py

Importing the package then parses no C: on PyPy an installed package
imports in a quarter of the time (0.24 to 0.06 s here) and leaves out the C
parser and its tables (11 MB less resident). A
source checkout has no ``_ffi.py``, and ``_capi.py`` makes the same module
from the header when the package is imported, so that both run the same
objects.

This file imports nothing of the package: the build runs it on its own.
"""

import os
import re
import sys
import tempfile

# cffi reads plain declarations: the header's guards, includes, export macro
# and C++ linkage block are for C compilers and go; integer #defines stay.
_DIRECTIVE = re.compile(r"^\s*#(?!define\s+\w+\s+\d+\s*$).*$", re.M)

# The module's name as the package imports it.
MODULE = "_vornix_pure._ffi"


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
    # A name's address is also readable as an integer (addr): the reader
    # knows the graph's names by their offset in one block, and on PyPy an
    # integer read and subtracted is a few operations where a pointer read
    # makes a pointer object and subtracting two checks their types.
    text = re.sub(r"^(\s+)const char\* ptr;(.*)$", r"\1union { const char* ptr; intptr_t addr; };\2",
                  text, count=1, flags=re.M)
    return re.sub(r'^extern "C" \{$|^\}$', "", text, flags=re.M)


def write_module(header, target):
    """Writes the module of the declarations in the file `header` to `target`."""
    from cffi import FFI
    from cffi.recompiler import make_py_source

    with open(header, encoding="utf-8") as f:
        text = f.read()
    builder = FFI()
    builder.cdef(declarations(text))
    make_py_source(builder, MODULE, target)


def module_source(header):
    """The text write_module writes, for the header at `header`."""
    with tempfile.TemporaryDirectory() as folder:
        target = os.path.join(folder, "_ffi.py")
        write_module(header, target)
        with open(target, encoding="utf-8") as f:
            return f.read()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: python _declarations.py HEADER TARGET")
    write_module(sys.argv[1], sys.argv[2])
