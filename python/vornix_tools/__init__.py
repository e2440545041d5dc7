"""Tools around vornix_sim: a runtime that plays the nodes with Python
behaviours, pictures of graphs, graph files, the FBP JSON graph format, and
a recorder with a step-by-step HTML viewer of a run.

Built only on vornix_sim's public classes.
"""

from .dot import GraphvizNotFoundError, render, to_dot
from .fbp import FbpGraph, graph_from_fbp, graph_to_fbp
from .graphfile import FORMAT, VERSION, GraphFileError, graph_from_dict, graph_to_dict, load_graph, save_graph
from .record import Entry, Recorder, ReplayMismatchError, replay
from .runtime import Activation, NodeError, RunResult, Runtime, canonical
from .viewer import write_html

__all__ = [
    "to_dot", "render", "GraphvizNotFoundError",
    "graph_to_dict", "graph_from_dict", "save_graph", "load_graph", "GraphFileError", "FORMAT", "VERSION",
    "graph_from_fbp", "graph_to_fbp", "FbpGraph",
    "Runtime", "Activation", "RunResult", "NodeError", "canonical",
    "Recorder", "Entry", "replay", "ReplayMismatchError", "write_html",
]
