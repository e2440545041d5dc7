"""Word counts over a short text, computed by a flow-based network.

Three nodes in a line: Split -> Count -> Report. The text goes in line by
line; Split turns each line into words, Count keeps a tally and, at the end
of the text, sends the table on; Report formats the most frequent words and
sends the lines out of the network. Each node is a plain Python function;
vornix_tools.Runtime plays them: the engine carries the packets and keeps
the books, the runtime carries the values.

The run is recorded: the demo writes a page that steps through it in a
browser (each packet's value beside its id) and, when Graphviz is
installed, the graph as SVG.
"""

import collections
import os
import sys
from typing import Counter, List, Optional

import vornix_sim as vs
import vornix_tools as vt

TEXT = """\
The quick brown fox jumps over the lazy dog.
The dog sleeps; the fox runs.
A fox, a dog, and the end of the story.
"""

END = None  # the value that marks the end of the text


def build_graph() -> vs.Graph:
    def node(name: str, inp: str, out: str) -> vs.Node:
        waiting = vs.SalvoConditionTerm.port(inp, vs.PortState.NonEmpty)
        loaded = vs.SalvoConditionTerm.port(out, vs.PortState.NonEmpty)
        return vs.Node(
            name,
            in_ports={inp: vs.Port()},
            out_ports={out: vs.Port()},
            in_salvo_conditions={"take": vs.SalvoCondition(vs.MaxSalvos.finite(1), inp, waiting)},
            out_salvo_conditions={"send": vs.SalvoCondition(vs.MaxSalvos.Infinite, out, loaded)},
        )

    def edge(a: str, out: str, b: str, inp: str) -> vs.Edge:
        return vs.Edge(vs.PortRef(a, vs.PortType.Output, out),
                       vs.PortRef(b, vs.PortType.Input, inp))

    nodes = [node("Split", "lines", "words"), node("Count", "words", "table"),
             node("Report", "table", "lines")]
    edges = [edge("Split", "words", "Count", "words"), edge("Count", "table", "Report", "table")]
    return vs.Graph(nodes, edges)


def word_counts(text: str, *, record: bool = False, top: int = 3) -> vt.Runtime:
    rt = vt.Runtime(build_graph(), record=record)
    tally: Counter[str] = collections.Counter()

    @rt.behaviour("Split")
    def split(act: vt.Activation) -> None:
        for line in act.inputs["lines"]:
            if line is END:
                act.emit("words", END)
                continue
            for word in line.split():
                word = word.strip(".,;:!?").lower()
                if word:
                    act.emit("words", word)

    @rt.behaviour("Count")
    def count(act: vt.Activation) -> None:
        for word in act.inputs["words"]:
            if word is END:
                act.emit("table", tally.most_common())
            else:
                tally[word] += 1

    @rt.behaviour("Report")
    def report(act: vt.Activation) -> None:
        (table,) = act.inputs["table"]
        for word, n in table[:top]:
            act.emit("lines", f"{word:>6} {n}")

    lines: List[Optional[str]] = list(text.splitlines())
    rt.feed("Split", "lines", lines + [END])
    return rt


def main(out_dir: str) -> None:
    rt = word_counts(TEXT, record=True)
    result = rt.run()
    print(f"{result.activations} activations, {len(result.events)} events")
    print("the most frequent words:")
    for line in result.outputs[("Report", "lines")]:
        print("  " + line)

    os.makedirs(out_dir, exist_ok=True)
    assert rt.recording is not None
    page = vt.write_html(rt.recording, os.path.join(out_dir, "demo_run.html"),
                         title="vornix_sim demo: word counts")
    print(f"-- the run, step by step ({len(rt.recording.entries)} steps): {os.path.abspath(page)}")
    try:
        svg = vt.render(rt.graph, os.path.join(out_dir, "demo_graph.svg"))
        print("-- the graph:", os.path.abspath(svg))
    except vt.GraphvizNotFoundError as e:
        print("-- no graph picture:", e)


if __name__ == "__main__":
    default = os.path.join(os.path.dirname(__file__), "..", "build", "demo")
    main(sys.argv[1] if len(sys.argv) > 1 else default)
