#!/usr/bin/env bash
# Builds the package once per supported interpreter and runs the Python tests
# against each installed build: PyPy (Debian's pypy3, installed when missing)
# and every CPython 3.9 to 3.13 found under pyenv's versions folder. Each
# interpreter gets its own virtual environment, .venv-<name>, in the repo root.
# An interpreter that is not on the machine is reported and skipped. On PyPy
# the module is the pure-Python front end, so that is what its run tests.
#
#   bash scripts/test_interpreters.sh                  # all of them
#   bash scripts/test_interpreters.sh pypy3 cpython3.9  # just these
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

selected="$*"
wanted() { [ -z "$selected" ] || [[ " $selected " == *" $1 "* ]]; }

# Builds and tests with one interpreter: test_with NAME PYTHON [PYTEST-ARG...].
# A failure is recorded and the next interpreter still runs.
failed=""
test_with() {
  local name=$1 python=$2 venv="$root/.venv-$1" started=$SECONDS status=0
  shift 2
  echo "== Python tests on $name ($("$python" -c 'import sys; print(sys.version.split()[0], sys.implementation.name)'))"
  { [ -x "$venv/bin/python" ] || "$python" -m venv "$venv"; } &&
    "$venv/bin/python" -m pip install -q --upgrade pip &&
    "$venv/bin/python" -m pip install -q "$root" pytest cffi &&
    (cd "$root/tests" && "$venv/bin/python" -m pytest -q -p no:cacheprovider "$@" "$root/tests") ||
    status=$?
  if [ "$status" -eq 0 ]; then
    echo "== $name passed in $((SECONDS - started)) s"
  else
    echo "== $name FAILED (status $status) in $((SECONDS - started)) s"
    failed="$failed $name"
  fi
}

if wanted pypy3; then
  if ! dpkg -s pypy3 pypy3-venv >/dev/null 2>&1; then
    echo "== installing PyPy"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      pypy3 pypy3-venv >/dev/null
  fi
  # PyPy 7.3.11 now and then dies with a segmentation fault inside its own
  # code while pytest rewrites the asserts of a test file (ast.parse and
  # compile), whatever the tests import: with a stand-in module that loads
  # nothing of this project it crashed the same way. Plain asserts skip
  # that path; they check the same and only report less on a failure.
  test_with pypy3 "$(command -v pypy3)" --assert=plain
fi

pyenv_versions=${PYENV_ROOT:-/root/.pyenv}/versions
for minor in 9 10 11 12 13; do
  if ! wanted "cpython3.$minor"; then continue; fi
  found=""
  for dir in "$pyenv_versions"/3."$minor".*; do
    if [ -x "$dir/bin/python3" ]; then found="$dir/bin/python3"; fi
  done
  if [ -z "$found" ]; then
    echo "== notice: no CPython 3.$minor under $pyenv_versions; its tests are skipped"
    continue
  fi
  test_with "cpython3.$minor" "$found"
done

if [ -n "$failed" ]; then
  echo "== Python tests failed on:$failed"
  exit 1
fi
