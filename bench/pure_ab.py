"""The text host loop of host_bench.py on two or more copies of the pure-Python
front end, in one process, runs interleaved: a shared machine's noise falls on
every copy alike, which separate processes cannot promise.

Each copy is a checkout (its python/pure/_vornix_pure) loaded under a name of
its own, so that all can be imported at once; their relative imports do not
care what the package is called. CPU time per run; the first round warms up
the JIT and is not counted. Prints each copy's median and its ratio to the
first copy's, run by run.

    VORNIX_FRONT_END=pure VORNIX_CAPI_LIBRARY=<lib> \
        pypy3 bench/pure_ab.py [--packets 300] [--repeats 10] /work/main /work/wt-x ...

The header is taken from the first checkout; the graph helpers come from
host_bench.py, which loads this checkout's front end as well.
"""

import argparse
import importlib
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))


def load(checkout, index, scratch):
    name = f"_vornix_pure_{index}"
    shutil.copytree(os.path.join(checkout, "python", "pure", "_vornix_pure"),
                    os.path.join(scratch, name))
    os.environ.setdefault("VORNIX_CAPI_HEADER",
                          os.path.join(checkout, "capi", "include", "vornix.h"))
    return importlib.import_module(name)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stages", type=int, default=100)
    parser.add_argument("--packets", type=int, default=300)
    parser.add_argument("--repeats", type=int, default=10)
    parser.add_argument("checkouts", nargs="+")
    args = parser.parse_args(argv)
    scratch = tempfile.mkdtemp()
    sys.path.insert(0, scratch)
    try:
        copies = [load(c, i, scratch) for i, c in enumerate(args.checkouts)]
    finally:
        shutil.rmtree(scratch)
    import host_bench
    setups = []
    for vs in copies:
        setups.append(host_bench.chain_graph(args.stages, vs))
    rates = [[] for _ in copies]
    for repeat in range(args.repeats + 1):
        for i, vs in enumerate(copies):
            start = time.process_time()
            hops, _ = host_bench.host_text(*setups[i], args.packets, vs)
            seconds = time.process_time() - start
            if repeat:
                rates[i].append(hops / seconds)
    print(f"{sys.implementation.name} {sys.version.split()[0]}: text host, {args.stages} stages, "
          f"{args.packets} packets, {args.repeats} interleaved runs, CPU time")
    for checkout, r in zip(args.checkouts, rates):
        ratios = [a / b for a, b in zip(r, rates[0])]
        print(f"  {checkout:30} {statistics.median(r) / 1000:7.1f} k hops/s  "
              f"x{statistics.median(ratios):.3f} (runs {min(ratios):.2f}..{max(ratios):.2f})")


if __name__ == "__main__":
    main()
