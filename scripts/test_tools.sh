#!/usr/bin/env bash
# Tests of the vornix_tools companion package with everything they need:
# Graphviz, Chromium and its WebDriver from Debian's packages, selenium in the
# virtual environment. The browser tests are required here, so a machine
# without a browser fails instead of skipping them. Also checks that the demo
# writes its picture and its page, and runs the many-runs example on a process
# pool and a Dask cluster of two worker processes (the dask extra).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
command -v dot >/dev/null || missing+=(graphviz)
[ -x /usr/bin/chromium ] || missing+=(chromium)
[ -x /usr/bin/chromedriver ] || missing+=(chromium-driver)
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ ! -x .venv/bin/python ]; then
  python3 -m venv .venv
  .venv/bin/python -m pip install -q "$root" pytest
fi
.venv/bin/python -c "import selenium" 2>/dev/null || .venv/bin/python -m pip install -q selenium
.venv/bin/python -c "import distributed" 2>/dev/null || .venv/bin/python -m pip install -q distributed

echo "== vornix_tools tests (Graphviz, headless Chromium)"
cd "$root/tests"
# selenium is given both the browser and the driver, so it has nothing to fetch.
VORNIX_REQUIRE_BROWSER=1 SE_AVOID_STATS=true \
  "$root/.venv/bin/python" -X dev -m pytest -q -p no:cacheprovider test_tools.py test_tools_browser.py

echo "== demo pictures"
out=$(mktemp -d)
"$root/.venv/bin/python" "$root/examples/demo.py" "$out" | tail -2
test -s "$out/demo_run.html" && test -s "$out/demo_graph.svg"
rm -rf "$out"

echo "== many runs: process pool and Dask LocalCluster, equal to the runs one by one"
timeout 300 "$root/.venv/bin/python" "$root/examples/many_runs.py" --dask
