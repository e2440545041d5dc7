#!/usr/bin/env bash
# Runs every test: the engine's GoogleTest suite built with AddressSanitizer
# and UndefinedBehaviorSanitizer, then the Python tests against the package
# installed into a fresh virtual environment. Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# GoogleTest, and clang-format for the layout check, come from Debian's packages.
missing=()
if [ ! -f /usr/include/gtest/gtest.h ] && [ ! -f /usr/local/include/gtest/gtest.h ]; then
  missing+=(libgtest-dev)
fi
command -v clang-format >/dev/null || missing+=(clang-format)
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

echo "== engine tests (ASan + UBSan)"
cmake -S . -B build/test-asan -DCMAKE_BUILD_TYPE=Debug -DVORNIX_SANITIZE=ON \
  -DVORNIX_BUILD_TESTS=ON -DVORNIX_BUILD_PYTHON=OFF -DVORNIX_WERROR=ON >/dev/null
cmake --build build/test-asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/test-asan --output-on-failure --no-tests=error -j "$jobs"

echo "== Python tests"
if [ ! -x .venv/bin/python ]; then
  python3 -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q "$root" pytest cffi
cd "$root/tests"  # run against the installed module, not the source tree
"$root/.venv/bin/python" -X dev -m pytest -q -p no:cacheprovider "$root/tests"

echo "== Python tests against the pure-Python front end"
bash "$root/scripts/test_pure.sh" "$root/.venv/bin/python"
bash "$root/scripts/test_tools.sh"

bash "$root/scripts/check_tooling.sh"  # stubs, typed examples, guide doctest, docs build

echo "== Python tests against the extension built with ASan + UBSan"
# The interpreter is not built with the sanitizers, so their runtime (and the
# C++ runtime it intercepts exceptions through) must be loaded first. Leak
# checks stay off: the interpreter keeps memory until exit by design.
cmake -S "$root" -B "$root/build/pytest-asan" -DCMAKE_BUILD_TYPE=Debug -DVORNIX_SANITIZE=ON \
  -DVORNIX_BUILD_TESTS=OFF -DVORNIX_BUILD_PYTHON=ON -DVORNIX_WERROR=ON \
  -DPython_EXECUTABLE="$root/.venv/bin/python" >/dev/null
cmake --build "$root/build/pytest-asan" -j "$jobs"
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS=detect_leaks=0 PYTHONMALLOC=malloc \
  PYTHONPATH="$root/build/pytest-asan/python" \
  "$root/.venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests"

bash "$root/scripts/test_interpreters.sh"
