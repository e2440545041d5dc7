"""A self-contained HTML page that steps through a recorded run.

write_html replays the recording (see record.py) and writes one file with
the graph drawn as SVG, the per-step changes as data, and a small script to
step through them: buttons, a slider, and the keyboard (arrows, Home, End,
space to play). Nothing is fetched from the network.
"""

from __future__ import annotations

import html
import json

import vornix_sim as vs

from .dot import display_text, slots_text
from .graphfile import edge_key
from .record import ReplayMismatchError, ReplayState, replay

BOX_W = 200
HEADER_H = 26
ROW_H = 20
EPOCH_ROWS = 4
EPOCH_H = 15
COL_GAP = 120
ROW_GAP = 36
MARGIN = 30


def port_text(node, side, port):
    return f"{node}.{side}.{port}"


# The page's keys for the places it counts. Names are written as JSON, so no
# two places share a key whatever their names hold (joined with dots, node
# "a.in.b" port "c" and node "a" port "b.in.c" would).

def edge_item(edge):
    return "edge:" + json.dumps(edge_key(edge))


def in_item(node, port):
    return "in:" + json.dumps([node, port])


def out_item(node, port):
    return "out:" + json.dumps([node, port])


def inside_item(node):
    return "inside:" + json.dumps(node)


def short_id(ident):
    return ident[-6:]


def describe(ev, values=None):
    """One line of text for an event; with `values` (packet id -> text of
    the value it carries), the value follows the packet's id."""
    text = _describe(ev)
    if values and ev.packet_id is not None:
        value = values.get(ev.packet_id)
        if value is not None:
            text += f"  = {value}"
    return text


def _describe(ev):
    k = ev.kind
    if k == "PacketMoved":
        return f"{k} {short_id(ev.packet_id)}: {_loc(ev.from_location)} -> {_loc(ev.to_location)}"
    if k == "PacketCreated":
        return f"{k} {short_id(ev.packet_id)}"
    if k in ("PacketConsumed", "PacketDestroyed"):
        return f"{k} {short_id(ev.packet_id)} at {_loc(ev.location)}"
    if k == "PacketOrphaned":
        return f"{k} {short_id(ev.packet_id)} from {ev.node_name}.out.{ev.orphaned_port_name} ({ev.salvo_condition})"
    if k in ("EpochFinished", "EpochCancelled"):
        return f"{k} {short_id(ev.epoch.id)} at {ev.epoch.node_name}"
    if k in ("InputSalvoTriggered", "OutputSalvoTriggered"):
        return f"{k} {short_id(ev.epoch_id)}: {ev.salvo_condition}"
    if k == "RequestCreated":
        return f"{k} for {ev.node_name} ({ev.request_source}): {ev.label}"
    if k == "RequestCascadeResolved":
        return f"{k} to {', '.join(ev.source_nodes)}: {ev.label}"
    if k == "RequestEpochCreated":
        return f"{k} {short_id(ev.epoch_id)} at {ev.node_name}: {ev.label}"
    return f"{k} {short_id(ev.epoch_id)}"


def _loc(loc):
    k = loc.kind
    if k == "OutsideNet":
        return "outside"
    if k == "InputPort":
        return port_text(loc.node_name, "in", loc.port_name)
    if k == "OutputPort":
        return f"{short_id(loc.epoch_id)}.out.{loc.port_name}"
    if k == "Node":
        return f"epoch {short_id(loc.epoch_id)}"
    return str(loc.get_edge())


# ---------------------------------------------------------------- layout


def layout(graph):
    """Places nodes in columns by longest path from the sources (cycles are
    broken at the edges a depth-first walk finds going back)."""
    nodes = graph.nodes()
    names = sorted(nodes)
    succ = {n: set() for n in names}
    for e in graph.edges():
        a, b = e.source.node_name, e.target.node_name
        if a in succ and b in succ and a != b:
            succ[a].add(b)
    order, state = [], {}
    for root in names:
        if root in state:
            continue
        stack = [(root, iter(sorted(succ[root])))]
        state[root] = 1
        while stack:
            v, it = stack[-1]
            nxt = next(it, None)
            if nxt is None:
                state[v] = 2
                order.append(v)
                stack.pop()
            elif nxt not in state:
                state[nxt] = 1
                stack.append((nxt, iter(sorted(succ[nxt]))))
    order.reverse()
    rank = {v: i for i, v in enumerate(order)}
    layer = {v: 0 for v in names}
    preds = {v: [] for v in names}
    for v in order:
        for w in succ[v]:
            if rank[w] > rank[v]:
                layer[w] = max(layer[w], layer[v] + 1)
                preds[w].append(v)
    columns = {}
    for v in names:
        columns.setdefault(layer[v], []).append(v)
    pos = {}
    for col in sorted(columns):
        members = columns[col]
        if col:
            # Barycentre of the predecessors keeps edges short and rarely crossing.
            def bary(v):
                ps = [pos[p] for p in preds[v] if p in pos]
                return sum(ps) / len(ps) if ps else float("inf")
            members.sort(key=lambda v: (bary(v), v))
        for i, v in enumerate(members):
            pos[v] = i
    boxes = {}
    for col in sorted(columns):
        y = MARGIN + 30
        for v in columns[col]:
            node = nodes[v]
            rows = max(len(node.in_ports), len(node.out_ports), 1)
            h = HEADER_H + rows * ROW_H + 6 + EPOCH_ROWS * EPOCH_H + 6
            boxes[v] = (MARGIN + col * (BOX_W + COL_GAP), y, BOX_W, h)
            y += h + ROW_GAP
    return boxes


def _esc(s):
    return html.escape(display_text(s), quote=True)


def _svg(graph, boxes, item_index):
    nodes = graph.nodes()
    width = max([x + w for x, _, w, _ in boxes.values()] + [300]) + MARGIN
    height = max([y + h for _, y, _, h in boxes.values()] + [200]) + MARGIN
    anchors = {}
    parts = [f'<svg id="graph" xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
             f'viewBox="0 0 {width} {height}">',
             '<defs><marker id="arrow" viewBox="0 0 10 10" refX="9" refY="5" markerUnits="userSpaceOnUse" markerWidth="10" markerHeight="10" '
             'orient="auto-start-reverse"><path d="M0,0 L10,5 L0,10 z" fill="#7a8699"/></marker></defs>']
    node_parts = []
    for name in sorted(boxes):
        node = nodes[name]
        x, y, w, h = boxes[name]
        g = [f'<g class="node" data-node="{_esc(name)}">',
             f'<rect class="box" x="{x}" y="{y}" width="{w}" height="{h}" rx="6"/>',
             f'<rect class="head" x="{x}" y="{y}" width="{w}" height="{HEADER_H}" rx="6"/>',
             f'<text class="title" x="{x + 10}" y="{y + 17}">{_esc(name)}</text>',
             f'<text class="label" x="{x + w - 24}" y="{y + 17}" text-anchor="end">inside</text>',
             f'<text class="count inside" x="{x + w - 10}" y="{y + 17}" text-anchor="end" '
             f'data-key="{_esc(inside_item(name))}" data-i="{item_index[inside_item(name)]}">0</text>']
        for side, ports, px, anchor in (("in", node.in_ports, x, "start"), ("out", node.out_ports, x + w, "end")):
            for i, port in enumerate(sorted(ports)):
                py = y + HEADER_H + i * ROW_H + ROW_H / 2 + 2
                anchors[(name, side, port)] = (px, py)
                label = port + slots_text(ports[port])
                tx = px + 16 if side == "in" else px - 16
                item = in_item(name, port) if side == "in" else out_item(name, port)
                g.append(f'<text class="port" x="{tx}" y="{py + 4}" text-anchor="{anchor}">{_esc(label)}</text>')
                g.append(f'<circle class="badge" cx="{px}" cy="{py}" r="9" data-badge="{item_index[item]}"/>')
                g.append(f'<text class="count" x="{px}" y="{py + 4}" text-anchor="middle" '
                         f'data-key="{_esc(item)}" data-i="{item_index[item]}">0</text>')
        ey = y + HEADER_H + max(len(node.in_ports), len(node.out_ports), 1) * ROW_H + 6
        g.append(f'<line class="sep" x1="{x}" x2="{x + w}" y1="{ey}" y2="{ey}"/>')
        for r in range(EPOCH_ROWS):
            g.append(f'<text class="epoch-line" x="{x + 10}" y="{ey + (r + 1) * EPOCH_H}" '
                     f'data-epoch-line="{_esc(name)}" data-row="{r}"></text>')
        g.append("</g>")
        node_parts.append("".join(g))
    edge_parts = []
    for e in sorted(graph.edges(), key=edge_key):
        a = anchors.get((e.source.node_name, "out", e.source.port_name))
        b = anchors.get((e.target.node_name, "in", e.target.port_name))
        if a is None or b is None:
            continue
        (x1, y1), (x2, y2) = a, b
        dx = max(50, abs(x2 - x1) / 2)
        c1, c2 = (x1 + dx, y1), (x2 - dx, y2)
        mx = (x1 + 3 * c1[0] + 3 * c2[0] + x2) / 8
        my = (y1 + 3 * c1[1] + 3 * c2[1] + y2) / 8
        cls = "edge dep" if graph.is_dependency_edge(e) else "edge"
        item = edge_item(e)
        edge_parts.append(
            f'<g class="{cls}"><title>{_esc(str(e))}</title>'
            f'<path d="M{x1},{y1} C{c1[0]},{c1[1]} {c2[0]},{c2[1]} {x2 - 9},{y2}" marker-end="url(#arrow)" '
            f'data-edge="{item_index[item]}"/>'
            f'<rect class="edge-badge" x="{mx - 13}" y="{my - 10}" width="26" height="18" rx="9" '
            f'data-badge="{item_index[item]}"/>'
            f'<text class="count" x="{mx}" y="{my + 3}" text-anchor="middle" data-key="{_esc(item)}" '
            f'data-i="{item_index[item]}">0</text></g>')
    parts += edge_parts + node_parts + ["</svg>"]
    return "".join(parts)


# ---------------------------------------------------------------- frames


def _items(graph):
    items = ["outside"]
    for e in sorted(graph.edges(), key=edge_key):
        items.append(edge_item(e))
    nodes = graph.nodes()
    for name in sorted(nodes):
        node = nodes[name]
        items += [in_item(name, p) for p in sorted(node.in_ports)]
        items += [out_item(name, p) for p in sorted(node.out_ports)]
        items.append(inside_item(name))
    return items


def _frames(recording, graph, index, check):
    edge_items = {("edge",) + edge_key(e): index[edge_item(e)] for e in graph.edges()}
    epoch_node = {}

    def item_of(key):
        kind = key[0]
        if kind == "outside":
            return index["outside"]
        if kind == "edge":
            return edge_items.get(key)
        if kind == "in":
            return index.get(in_item(key[1], key[2]))
        node = epoch_node.get(key[1])
        if node is None:
            return None
        return index.get(out_item(node, key[2]) if kind == "out" else inside_item(node))

    values = [0] * len(index)
    shown_counts = {}
    epoch_rows = {}
    frames, all_problems = [], []
    steps = replay(recording)
    packet_values = getattr(recording, "packet_values", None)
    first = ReplayState(recording.initial)  # the state before any entry
    for eid, (node, _) in first.epochs.items():
        epoch_node[eid] = node

    def update(state, keys, eids):
        changes, echanges = [], []
        delta = {}
        for key in keys:
            new = state.counts.get(key, 0)
            old = shown_counts.get(key, 0)
            if new != old:
                shown_counts[key] = new
                i = item_of(key)
                if i is not None:
                    delta[i] = delta.get(i, 0) + new - old
            if key[0] in ("node", "out"):
                eids.add(key[1])
        for i in sorted(delta):
            if delta[i]:
                changes.append([i, values[i], values[i] + delta[i]])
                values[i] += delta[i]
        for eid in sorted(eids):
            epoch = state.epochs.get(eid)
            if epoch is not None:
                epoch_node.setdefault(eid, epoch[0])
            row = None
            if epoch is not None:
                node = graph_nodes.get(epoch[0])
                outs = {p: state.counts.get(("out", eid, p), 0) for p in sorted(node.out_ports)} if node else {}
                row = [epoch[0], epoch[1], state.counts.get(("node", eid), 0), outs]
            old = epoch_rows.get(eid)
            if row != old:
                echanges.append([eid, old, row])
                if row is None:
                    epoch_rows.pop(eid, None)
                else:
                    epoch_rows[eid] = row
        return changes, echanges

    graph_nodes = graph.nodes()
    c0, e0 = update(first, set(first.counts), set(first.epochs))
    initial = {"c": c0, "e": e0}
    for n, (entry, state, problems) in enumerate(steps, 1):
        for eid, node in entry.epoch_nodes.items():
            epoch_node.setdefault(eid, node)
        for eid, epoch in state.epochs.items():
            epoch_node.setdefault(eid, epoch[0])
        changes, echanges = update(state, set(state.touched_locations), set(state.touched_epochs))
        all_problems += [f"step {n} ({entry.label}): {p}" for p in problems]
        frames.append({
            "label": entry.label, "call": entry.call, "group": entry.group, "ok": entry.ok,
            "error": entry.error, "resync": entry.resync is not None,
            "events": [describe(ev, packet_values) for ev in entry.events],
            "undo": entry.call == "undo_action",
            "pending": len(state.pending), "problems": problems, "c": changes, "e": echanges,
        })
    if check and all_problems:
        raise ReplayMismatchError("the recorded events do not explain the run:\n  " + "\n  ".join(all_problems[:20]))
    return initial, frames


def write_html(recording, path, *, title=None, check=True):
    """Writes the recording as one self-contained HTML file at `path`.

    With check=True (the default) a replay that disagrees with what the
    simulation reported raises ReplayMismatchError instead of writing.
    """
    graph = recording.graph
    items = _items(graph)
    index = {k: i for i, k in enumerate(items)}
    initial, frames = _frames(recording, graph, index, check)
    boxes = layout(graph)
    title = title or recording.title or "vornix_sim run"
    data = {"title": title, "items": items, "initial": initial, "frames": frames}
    payload = json.dumps(data, ensure_ascii=True, separators=(",", ":"))
    # Keep the data from ever closing its script element.
    payload = payload.replace("</", "<\\/").replace("<!--", "<\\u0021--")
    page = (_PAGE.replace("@TITLE@", html.escape(title))
            .replace("@SVG@", _svg(graph, boxes, index))
            .replace("@CSS@", _CSS)
            .replace("@JS@", _JS)
            .replace("@DATA@", payload))
    with open(path, "w", encoding="utf-8") as f:
        f.write(page)
    return path


_PAGE = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:">
<title>@TITLE@</title><style>@CSS@</style></head>
<body>
<header><h1>@TITLE@</h1>
<div id="controls">
<button id="first" title="First step (Home)">|&#x25C0;</button>
<button id="prev" title="Previous step (Left arrow)">&#x25C0;</button>
<button id="play" title="Play / pause (Space)">play</button>
<button id="next" title="Next step (Right arrow)">&#x25B6;</button>
<button id="last" title="Last step (End)">&#x25B6;|</button>
<input id="slider" type="range" min="0" value="0" aria-label="step">
<span id="position"></span>
</div></header>
<main>
<section id="picture">@SVG@</section>
<aside>
<div id="step-title"></div>
<div id="summary">outside the net: <b data-key="outside" data-i="0">0</b> &middot; pending requests: <b id="pending">0</b></div>
<div id="error"></div>
<h2>Events</h2><ol id="events"></ol>
<h2>Epochs</h2>
<table id="epochs"><thead><tr><th>epoch</th><th>node</th><th>state</th><th>inside</th><th>output ports</th></tr></thead><tbody></tbody></table>
</aside></main>
<script type="application/json" id="run-data">@DATA@</script>
<script>@JS@</script>
</body></html>
"""

_CSS = """
body{margin:0;font:13px/1.4 system-ui,Helvetica,Arial,sans-serif;color:#1d2330;background:#f5f6f8}
header{display:flex;align-items:center;gap:24px;padding:8px 16px;background:#263042;color:#fff}
h1{font-size:16px;margin:0;font-weight:600}
#controls{display:flex;align-items:center;gap:6px}
#controls button{font-size:14px;min-width:34px;padding:3px 6px;border:1px solid #56617a;border-radius:4px;background:#3a4560;color:#fff;cursor:pointer}
#controls button:hover{background:#4b5879}
#slider{width:280px}
#position{font-variant-numeric:tabular-nums;min-width:90px}
main{display:flex;align-items:flex-start}
#picture{flex:1;overflow:auto;padding:8px;min-width:0}
aside{width:390px;flex:none;padding:8px 14px;background:#fff;border-left:1px solid #d5d9e0;min-height:calc(100vh - 48px);box-sizing:border-box}
h2{font-size:13px;margin:14px 0 4px;color:#56617a;text-transform:uppercase;letter-spacing:.04em}
#step-title{font-weight:600;font-size:14px;word-break:break-all}
#error{color:#b3261e;margin-top:4px;word-break:break-word}
#events{margin:0;padding-left:22px;font-family:ui-monospace,Menlo,Consolas,monospace;font-size:12px;max-height:40vh;overflow:auto}
#events li{white-space:pre-wrap;word-break:break-all}
#events .none{color:#8a93a3;list-style:none;margin-left:-22px}
table{border-collapse:collapse;width:100%;font-size:12px}
th,td{text-align:left;padding:2px 6px;border-bottom:1px solid #eceef2}
td.num{text-align:right;font-variant-numeric:tabular-nums}
.st-Startable{color:#9a6700}.st-Running{color:#1a7f37}
svg .st-Startable{fill:#9a6700}svg .st-Running{fill:#1a7f37}
svg text{font-size:12px;fill:#1d2330}
.box{fill:#fff;stroke:#8b95a8}
.head{fill:#e3e8f1;stroke:#8b95a8}
.title{font-weight:600}
.sep{stroke:#d5d9e0}
.port{fill:#3d4658}
.badge{fill:#fff;stroke:#8b95a8}
.edge path{fill:none;stroke:#7a8699;stroke-width:1.6}
.edge.dep path{stroke-dasharray:6 4}
.edge-badge{fill:#fff;stroke:#8b95a8}
.count{font-size:11px;font-variant-numeric:tabular-nums;fill:#8a93a3}
.busy{fill:#ffd33d;stroke:#b08800}
text.count.busy-text{fill:#1d2330;font-weight:700}
path.busy-edge{stroke:#b08800 !important;stroke-width:2.6 !important}
.inside{font-weight:600}
.label{font-size:10px;fill:#8a93a3}
.epoch-line{font-size:11px;fill:#3d4658}
.changed{animation:flash .6s}
@keyframes flash{from{fill:#d1242f}to{}}
"""

_JS = r"""
(function(){
'use strict';
var data = JSON.parse(document.getElementById('run-data').textContent);
var n = data.frames.length;
var values = data.items.map(function(){ return 0; });
var epochs = {};   // epoch id -> [node, state, inside, {port: count}]
var order = [];    // epoch ids in the order they appeared
var listed = {};   // the ids in order
var current = 0;
var countEls = {}, badgeEls = {}, edgeEls = {};
document.querySelectorAll('[data-i]').forEach(function(el){ (countEls[el.dataset.i] = countEls[el.dataset.i] || []).push(el); });
document.querySelectorAll('[data-badge]').forEach(function(el){ badgeEls[el.dataset.badge] = el; });
document.querySelectorAll('path[data-edge]').forEach(function(el){ edgeEls[el.dataset.edge] = el; });
var slider = document.getElementById('slider');
slider.max = n;

function applyChanges(f, forward){
  f.c.forEach(function(c){ values[c[0]] = forward ? c[2] : c[1]; });
  f.e.forEach(function(c){
    var row = forward ? c[2] : c[1];
    if (row === null) { delete epochs[c[0]]; }
    else { if (!listed[c[0]]) { listed[c[0]] = true; order.push(c[0]); } epochs[c[0]] = row; }
  });
}
function goTo(k){
  k = Math.max(0, Math.min(n, k));
  while (current < k) { applyChanges(data.frames[current], true); current++; }
  while (current > k) { current--; applyChanges(data.frames[current], false); }
  render();
}
function text(el, s){ el.textContent = s; }
function render(){
  var changed = {};
  if (current > 0) data.frames[current-1].c.forEach(function(c){ changed[c[0]] = true; });
  for (var i = 0; i < values.length; i++) {
    (countEls[i] || []).forEach(function(el){
      text(el, String(values[i]));
      el.classList.toggle('busy-text', values[i] > 0);
      el.classList.toggle('changed', !!changed[i]);
    });
    if (badgeEls[i]) badgeEls[i].classList.toggle('busy', values[i] > 0);
    if (edgeEls[i]) edgeEls[i].classList.toggle('busy-edge', values[i] > 0);
  }
  slider.value = current;
  text(document.getElementById('position'), 'step ' + current + ' / ' + n);
  var f = current > 0 ? data.frames[current-1] : null;
  text(document.getElementById('step-title'), f ? (current + '. ' + f.label + (f.ok ? '' : '  (failed)')) : 'Start of the recording');
  var err = [];
  if (f && f.error) err.push(f.error);
  if (f && f.resync) err.push('The state changed without (complete) events; it was read back from the simulation.');
  if (f && f.problems.length) err.push('Replay disagreed: ' + f.problems.join('; '));
  text(document.getElementById('error'), err.join(' '));
  text(document.getElementById('pending'), String(f ? f.pending : 0));
  var list = document.getElementById('events');
  list.textContent = '';
  var evs = f ? f.events : [];
  if (!evs.length) { var li = document.createElement('li'); li.className = 'none'; li.textContent = f ? 'no events' : ''; list.appendChild(li); }
  evs.forEach(function(s){ var li = document.createElement('li'); li.textContent = (f.undo ? 'undone: ' : '') + s; list.appendChild(li); });
  var body = document.querySelector('#epochs tbody');
  body.textContent = '';
  var perNode = {};
  order = order.filter(function(id){ if (id in epochs) return true; delete listed[id]; return false; });
  order.forEach(function(id){
    var e = epochs[id];
    var tr = document.createElement('tr');
    tr.dataset.epoch = id;
    var outs = Object.keys(e[3]).map(function(p){ return p + '=' + e[3][p]; }).join(' ');
    [[id.slice(-6), 'id'], [e[0], 'node'], [e[1], 'state'], [String(e[2]), 'inside'], [outs, 'outs']].forEach(function(v){
      var td = document.createElement('td'); td.textContent = v[0]; td.dataset.field = v[1];
      if (v[1] === 'state') td.className = 'st-' + e[1];
      if (v[1] === 'inside') td.className = 'num';
      if (v[1] === 'id') td.title = id;
      tr.appendChild(td);
    });
    body.appendChild(tr);
    (perNode[e[0]] = perNode[e[0]] || []).push([id, e]);
  });
  document.querySelectorAll('[data-epoch-line]').forEach(function(el){
    var mine = perNode[el.dataset.epochLine] || [];
    var r = +el.dataset.row, s = '', cls = 'epoch-line';
    if (r < 3 || mine.length <= 4) {
      var x = mine[r];
      if (x) { s = '\u25CF ' + x[0].slice(-6) + '  ' + x[1][1] + '  inside ' + x[1][2]; cls += ' st-' + x[1][1]; }
    } else s = '+ ' + (mine.length - 3) + ' more epochs';
    el.textContent = s;
    el.setAttribute('class', cls);
  });
}
var timer = null;
function play(){
  if (timer) { clearInterval(timer); timer = null; text(document.getElementById('play'), 'play'); return; }
  if (current >= n) goTo(0);
  text(document.getElementById('play'), 'pause');
  timer = setInterval(function(){ if (current >= n) play(); else goTo(current + 1); }, 700);
}
document.getElementById('first').onclick = function(){ goTo(0); };
document.getElementById('prev').onclick = function(){ goTo(current - 1); };
document.getElementById('next').onclick = function(){ goTo(current + 1); };
document.getElementById('last').onclick = function(){ goTo(n); };
document.getElementById('play').onclick = play;
slider.oninput = function(){ goTo(+slider.value); };
document.addEventListener('keydown', function(ev){
  if (ev.target === slider && (ev.key === 'ArrowLeft' || ev.key === 'ArrowRight')) return;
  var k = ev.key;
  if (k === 'ArrowRight' || k === 'l') goTo(current + 1);
  else if (k === 'ArrowLeft' || k === 'h') goTo(current - 1);
  else if (k === 'Home') goTo(0);
  else if (k === 'End') goTo(n);
  else if (k === ' ') play();
  else return;
  ev.preventDefault();
});
applyChanges(data.initial, true);
var m = /step=(\d+)/.exec(location.hash);
goTo(m ? +m[1] : 0);
window.vornixViewer = {goTo: goTo, steps: n, current: function(){ return current; }};
})();
"""
