#!/usr/bin/env bash
# Installs the package into a virtual environment and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x .venv/bin/python ]; then
  python3 -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q .
.venv/bin/python examples/demo.py
