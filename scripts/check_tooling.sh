#!/usr/bin/env bash
# Checks that the package fits the Python tool chain: the shipped type stubs
# match the module (stubtest), the examples type-check under mypy --strict,
# the guide's worked example runs, and the documentation builds without a
# warning. Needs the package installed in .venv (scripts/test.sh does that);
# installs the tools it uses there.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
py="$root/.venv/bin/python"

"$py" -m pip install -q "mypy==2.4.1" "sphinx==9.0.4" 2>&1 | { grep -v "^WARNING: Location" || true; }

# From outside the source tree, so that the installed module and stubs are checked.
cd "$root/tests"
echo "== stubtest"
"$py" -m mypy.stubtest vornix_sim
# The companion package's stubs cover its public names (the modules behind
# them are plain Python, so only the package itself is compared).
"$py" -m mypy.stubtest vornix_tools --ignore-missing-stub
echo "== mypy --strict examples/"
"$py" -m mypy --strict --no-incremental --config-file "$root/pyproject.toml" "$root/examples"
echo "== guide doctests"
"$py" -m pytest -q -p no:cacheprovider --rootdir "$root/docs" --doctest-glob="*.rst" \
  -o doctest_optionflags="ELLIPSIS NORMALIZE_WHITESPACE" "$root/docs/guide.rst" "$root/docs/running.rst"
echo "== documentation (warnings are errors)"
"$py" -m sphinx -W --keep-going -q -b html "$root/docs" "$root/build/docs"

# The C and C++ sources keep the layout of .clang-format. Another release of
# clang-format may lay out a few lines differently, so only the release the
# tree was formatted with (14, Debian's) is asked; others are reported.
echo "== clang-format"
cd "$root"
if command -v clang-format >/dev/null && clang-format --version | grep -q "version 14\."; then
  git ls-files '*.cpp' '*.hpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror
else
  echo "clang-format 14 not found: layout not checked"
fi
