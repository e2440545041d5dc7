"""Graphviz export: DOT text for a graph, and rendering it with `dot`.

Each node is a record whose left column lists its input ports and whose right
column lists its output ports; edges join port fields. Dependency edges are
dashed. Output is sorted by name so that it diffs well.
"""

from __future__ import annotations

import os
import shutil
import subprocess

import vornix_sim as vs

from .graphfile import edge_key, graph_edge_list


class GraphvizNotFoundError(RuntimeError):
    """Graphviz's `dot` program is not installed (or not on PATH)."""


def display_text(s):
    """s with control characters written as \\u{h}, so that every name can be shown."""
    return "".join(f"\\u{{{ord(ch):x}}}" if ord(ch) < 32 or ord(ch) == 127 else ch for ch in s)


def _id(s):
    """A DOT double-quoted ID holding s, control characters written as \\u{h}.
    Its own backslashes are escaped and that one is not, so that no two names
    share an ID (a newline and the text "\\u{a}" would)."""
    return '"' + "".join(_ID_ESC.get(ch) or display_text(ch) for ch in s) + '"'


_ID_ESC = {"\\": "\\\\", '"': '\\"'}
# Record labels give these characters a meaning of their own.
_REC_ESC = {c: "\\" + c for c in '\\{}|<>" '}


def _rec(s):
    return "".join(_REC_ESC.get(ch, ch) for ch in display_text(s))


def slots_text(port):
    spec = port.slots_spec
    return f" [{spec.capacity}]" if isinstance(spec, vs.PortSlotSpecFinite) else ""


def _port_fields(ports, prefix):
    names = sorted(ports)
    fields = {name: f"{prefix}{i}" for i, name in enumerate(names)}
    text = "|".join(f"<{fields[n]}> {_rec(n + slots_text(ports[n]))}" for n in names)
    return fields, text


def _conditions_text(node):
    lines = []
    if node.in_salvo_conditions:
        lines.append("in: " + ", ".join(node.in_salvo_conditions))
    if node.out_salvo_conditions:
        lines.append("out: " + ", ".join(node.out_salvo_conditions))
    cfg = node.dependency_request_config
    if cfg is not None:
        lines.append("requests: " + cfg.label)
    return "".join("\\n" + _rec(line) for line in lines)


def to_dot(graph, *, name="vornix"):
    """Returns the graph as Graphviz DOT text."""
    nodes = graph.nodes()
    lines = [f"digraph {_id(name)} {{",
             "  graph [rankdir=LR];",
             '  node [shape=record, fontname="Helvetica", fontsize=11];',
             '  edge [fontname="Helvetica", fontsize=9];']
    fields = {}
    for node_name in sorted(nodes):
        node = nodes[node_name]
        in_fields, in_text = _port_fields(node.in_ports, "i")
        out_fields, out_text = _port_fields(node.out_ports, "o")
        fields[node_name] = (in_fields, out_fields)
        middle = _rec(node_name) + _conditions_text(node)
        label = "{" + "|".join(part for part in ("{" + in_text + "}" if in_text else "", middle,
                                                  "{" + out_text + "}" if out_text else "") if part) + "}"
        lines.append(f"  {_id(node_name)} [label={_id_raw(label)}];")

    def end(ref):
        own = fields.get(ref.node_name)
        text = _id(ref.node_name)
        if own is None:
            return text
        field = (own[0] if ref.port_type == vs.PortType.Input else own[1]).get(ref.port_name)
        return text if field is None else f"{text}:{field}"

    edges = sorted(set(graph_edge_list(graph)), key=edge_key)
    deps = graph.dependency_edges()
    in_graph = set(edges)
    for e in edges:
        attrs = ' [style=dashed, tooltip="dependency edge"]' if graph.is_dependency_edge(e) else ""
        lines.append(f"  {end(e.source)} -> {end(e.target)}{attrs};")
    for e in sorted((d for d in deps if d not in in_graph), key=edge_key):
        # Not a real edge: drawn so a reader sees what validation will report.
        lines.append(f'  {end(e.source)} -> {end(e.target)} [style=dashed, color=red, '
                     f'label="not in graph"];')
    lines.append("}")
    return "\n".join(lines) + "\n"


def _id_raw(label):
    # Record text is already escaped for the record parser; only the quote
    # and the string delimiters matter to the DOT scanner.
    return '"' + label + '"'


def find_dot():
    return shutil.which("dot")


def render(graph, path, *, format=None):
    """Writes the graph as an image by running Graphviz's `dot`.

    The format comes from `format` or the file's extension (svg, png, pdf...).
    Raises GraphvizNotFoundError when `dot` is not installed.
    """
    fmt = format or os.path.splitext(os.fspath(path))[1].lstrip(".").lower() or "svg"
    exe = find_dot()
    if exe is None:
        raise GraphvizNotFoundError(
            "Graphviz's 'dot' program was not found on PATH; install Graphviz "
            "(Debian: apt-get install graphviz) to render graphs")
    result = subprocess.run([exe, f"-T{fmt}", "-o", os.fspath(path)], input=to_dot(graph).encode("utf-8"),
                            capture_output=True, env=clean_env())
    if result.returncode != 0:
        raise RuntimeError(f"dot failed ({result.returncode}): {result.stderr.decode('utf-8', 'replace').strip()}")
    return path


def clean_env():
    """The environment for helper programs, without a sanitizer preload that
    the interpreter may run under."""
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    return env
