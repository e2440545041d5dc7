"""vornix_sim on PyPy: the pure-Python front end, installed under the
module's own name.

The front end's classes already call their module vornix_sim, so reprs,
pickles and type names are those of the extension module; this file only
makes the import of vornix_sim hand out the package that holds them.
"""

import sys

import _vornix_pure

sys.modules[__name__] = _vornix_pure
