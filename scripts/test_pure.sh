#!/usr/bin/env bash
# Runs the Python tests against the pure-Python front end with the given
# interpreter: a virtual environment's python with the package installed, and
# pytest and cffi (PyPy ships cffi). On CPython this is the front end's
# second run, beside the extension; on PyPy it is what `import vornix_sim`
# gives anyway.
#
#   bash scripts/test_pure.sh .venv/bin/python
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=$1
cd "$root/tests"  # run against the installed package, not the source tree
VORNIX_FRONT_END=pure "$python" -X dev -m pytest -q -p no:cacheprovider "$root/tests"
