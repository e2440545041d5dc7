"""NetEvent and NetActionResponseData, and the reading of the engine's
records into them (and of events back into records, for undo).

Records live in a simulation's result buffer only until its next call, so a
record is read once, when the call returns, and only for the fields its kind
uses. The values a caller sees (identifier texts, epochs, locations naming
an epoch) are made from what was copied out when first asked for: the
objects keep plain Python values, never anything of the simulation's.
"""

from ._capi import ffi, lib
from ._graph import edge as _edge, port_ref as _port_ref
from ._ids import ALPHABET, _digits as base32_digits
from ._net import (
    CANCEL_EPOCH, CONSUME_PACKET, CREATE_EPOCH, CREATE_PACKET, CREATE_REQUEST, DESTROY_PACKET,
    EDGE, FINISH_EPOCH, INPUT_PORT, LOAD_PACKET_INTO_OUTPUT_PORT, NODE, OUTPUT_PORT, OUTSIDE_NET,
    SEND_OUTPUT_SALVO, START_EPOCH, TRANSPORT_PACKET_TO_LOCATION, Epoch, PacketLocation,
    copy_location, epoch as _epoch, location as _location)
from ._support import (
    MODULE, Frozen, FrozenType, arg_type_error, finish_class, is_a, new, quoted, sequence_arg,
    str_arg, take, type_name, _oset)

# Event kinds, in the engine's order.
(PACKET_CREATED, PACKET_CONSUMED, PACKET_DESTROYED, EPOCH_CREATED, EPOCH_STARTED,
 EPOCH_FINISHED, EPOCH_CANCELLED, PACKET_MOVED, INPUT_SALVO_TRIGGERED, OUTPUT_SALVO_TRIGGERED,
 PACKET_ORPHANED, REQUEST_CREATED, REQUEST_CASCADE_RESOLVED, REQUEST_EPOCH_CREATED) = range(14)
KIND_NAMES = (
    "PacketCreated", "PacketConsumed", "PacketDestroyed", "EpochCreated", "EpochStarted",
    "EpochFinished", "EpochCancelled", "PacketMoved", "InputSalvoTriggered",
    "OutputSalvoTriggered", "PacketOrphaned", "RequestCreated", "RequestCascadeResolved",
    "RequestEpochCreated")
_SOURCES = ("External", "OnStartup", "OnNoSalvoTriggered")

_buffer = ffi.buffer
_parse = lib.vx_ulid_parse_p
_RUNNING = lib.VX_EPOCH_RUNNING


# -- Reading records -------------------------------------------------------------

# Identifiers as two signed 64-bit halves (the records' reading of them), to
# text and back in pieces of at most 60 bits: on PyPy an int past 63 bits is
# a big integer, and these run for every identifier a record names.
_PAIRS = [a + b for a in ALPHABET for b in ALPHABET]  # 10 bits -> 2 characters
_M60 = (1 << 60) - 1
_M56 = (1 << 56) - 1


def _format_id(hi, lo):
    p = _PAIRS
    mid = ((hi & _M56) << 4) | ((lo >> 60) & 15)
    low = lo & _M60
    return (p[(hi >> 56) & 255] + p[mid >> 50] + p[(mid >> 40) & 1023] + p[(mid >> 30) & 1023]
            + p[(mid >> 20) & 1023] + p[(mid >> 10) & 1023] + p[mid & 1023] + p[low >> 50]
            + p[(low >> 40) & 1023] + p[(low >> 30) & 1023] + p[(low >> 20) & 1023]
            + p[(low >> 10) & 1023] + p[low & 1023])


# The two identifiers formatted last, as (text, hi, lo), most recent first.
# A host hands back the ids it has just read: it loads, sends and finishes
# with the ids the start gave it, so their texts are found here by identity
# and not parsed again. (A text the caller made is parsed each time: it may
# spell an id in other ways than the canonical one these hold.) Each entry is
# one tuple, replaced whole, so a thread never sees the text of one
# identifier with the halves of another.
_recent = [(_format_id(0, 0), 0, 0), (_format_id(0, 0), 0, 0)]


def _remember(text, hi, lo):
    _recent[1] = _recent[0]
    _recent[0] = (text, hi, lo)


def id_text(hi, lo):
    r = _recent[0]
    if r[2] == lo and r[1] == hi:
        return r[0]
    r = _recent[1]
    if r[2] == lo and r[1] == hi:
        return r[0]
    text = _format_id(hi, lo)
    _remember(text, hi, lo)
    return text


_INT64_END = 1 << 63
_UINT64_END = 1 << 64

_RUN_BITS = 6
_RUN = 1 << _RUN_BITS


class Reader:
    """Turns records into values. One per simulation, with its memory of
    its graph's names.

    Identifiers are formatted afresh each time but for the last two (see
    _recent): most are never read (the values of events and responses are
    made on first access), and keeping the rest cost a host loop more than
    formatting them again.

    Names of the graph come in records pointing into the simulation's name
    block, which lives as long as the simulation and never changes: each is
    decoded once and kept by its address. The graph's input ports and edges
    come with their place numbers, and the location made of each is kept by
    its number (locations are immutable, and every getter hands out a
    copy)."""

    __slots__ = ("_first", "_size", "_names", "_places", "finished")

    def __init__(self, first=ffi.NULL, size=0):
        # Names are known by their offset in the block, an integer: records
        # give a name's address as one too (vx_str.addr). The offsets are
        # kept in runs of _RUN, made when a name in the run is first read: a
        # slot for every byte of a large graph's block would cost each
        # simulation more than the engine's own tables.
        self._first = int(ffi.cast("intptr_t", first))
        # A small int: the size_t cffi reads is a big integer on PyPy, which
        # would make every bounds check below allocate.
        self._size = int(ffi.cast("intptr_t", size))
        self._names = [None] * ((size >> _RUN_BITS) + 1)  # offset -> str, by runs
        self._places = {}  # place number -> its location
        # The finish response's epoch while its call is read: the call's
        # EpochFinished event carries the same epoch, still running.
        self.finished = None

    def name(self, s):
        n = s.len
        if n == 0:
            return ""
        at = s.addr - self._first
        if 0 <= at < self._size:
            run = self._names[at >> _RUN_BITS]
            if run is None:
                run = self._names[at >> _RUN_BITS] = [None] * _RUN
            known = run[at & (_RUN - 1)]
            if known is None:
                known = run[at & (_RUN - 1)] = _buffer(s.ptr, n)[:].decode("utf-8",
                                                                           "surrogateescape")
            return known
        # A slice of a buffer costs PyPy less than ffi.unpack does.
        return _buffer(s.ptr, n)[:].decode("utf-8", "surrogateescape")

    def id(self, rid):
        return id_text(rid.hi, rid.lo)

    def location(self, rec):
        place = rec.place
        if place:
            known = self._places.get(place)
            if known is None:
                known = self._places[place] = self._location(rec)
            return known
        return self._location(rec)

    def _location(self, rec):
        k = rec.kind
        if k == EDGE:
            return _location(k, self.edge(rec.edge))
        if k == INPUT_PORT:
            return _location(k, self.name(rec.node_name), self.name(rec.port_name))
        if k == OUTPUT_PORT:
            return _location(k, self.id(rec.epoch_id), self.name(rec.port_name))
        if k == NODE:
            return _location(k, self.id(rec.epoch_id))
        return _location(OUTSIDE_NET)

    def port_ref(self, rec):
        return _port_ref(self.name(rec.node_name), rec.port_type, self.name(rec.port_name))

    def edge(self, rec):
        return _edge(self.port_ref(rec.source), self.port_ref(rec.target))

    def epoch(self, rec):
        return _made_epoch(self.raw_epoch(rec))

    # Events and responses are read in two steps: when the call returns, only
    # what the result buffer holds is copied out (identifier halves, names
    # from the block, locations already known); the values a caller sees are
    # made on first access. A host reads few of the events it is given.

    def raw_location(self, ev, rec, slot, hi, lo):
        """Sets an event's location slot to the location, or, for one that
        names an epoch, to its port's name (_AT_NODE for a node), with the
        epoch id's halves in the slots `hi` and `lo` (integer slots, which
        PyPy keeps unboxed: a tuple would box them)."""
        k = rec.kind
        if k == OUTPUT_PORT:
            rid = rec.epoch_id
            _oset(ev, hi, rid.hi)
            _oset(ev, lo, rid.lo)
            _oset(ev, slot, self.name(rec.port_name))
        elif k == NODE:
            rid = rec.epoch_id
            _oset(ev, hi, rid.hi)
            _oset(ev, lo, rid.lo)
            _oset(ev, slot, _AT_NODE)
        else:
            _oset(ev, slot, self.location(rec))

    def raw_salvo(self, rec):
        """(condition, (port, hi, lo, port, hi, lo, ...))."""
        name = self.name
        n = rec.packet_count
        packets = rec.packets
        if n == 1:
            p = packets[0]
            rid = p.packet_id
            return name(rec.salvo_condition), (name(p.port_name), rid.hi, rid.lo)
        out = []
        for i in range(n):
            p = packets[i]
            rid = p.packet_id
            out.append(name(p.port_name))
            out.append(rid.hi)
            out.append(rid.lo)
        return name(rec.salvo_condition), tuple(out)

    def raw_epoch(self, rec):
        """(hi, lo, node, state, in salvo, out salvos, orphans), salvos raw
        and orphans flat as (hi, lo, port, condition, ...)."""
        name = self.name
        n = rec.out_salvo_count
        outs = ()
        if n == 1:
            outs = (self.raw_salvo(rec.out_salvos[0]),)
        elif n:
            salvos = rec.out_salvos
            outs = tuple([self.raw_salvo(salvos[i]) for i in range(n)])
        n = rec.orphan_count
        orphans = ()
        if n:
            found = rec.orphaned_packets
            out = []
            for i in range(n):
                o = found[i]
                rid = o.packet_id
                out += (rid.hi, rid.lo, name(o.from_port), name(o.salvo_condition))
            orphans = tuple(out)
        rid = rec.id
        return (rid.hi, rid.lo, name(rec.node_name), rec.state, self.raw_salvo(rec.in_salvo),
                outs, orphans)

    def event(self, rec):
        k = rec.kind
        ev = new(NetEvent)
        _oset(ev, "_k", k)
        _oset(ev, "_ts", rec.timestamp)
        # The usual kinds keep what they copied in their own slots (a tuple
        # more per event is a hop's largest allocation): the id's halves, and
        # in _a and _b the values, or what a location naming an epoch is made
        # from later (raw_location).
        if k == EPOCH_CREATED or k == EPOCH_STARTED or k == PACKET_CREATED:
            rid = rec.id
            _oset(ev, "_hi", rid.hi)
            _oset(ev, "_lo", rid.lo)
        elif k == PACKET_MOVED:
            rid = rec.id
            _oset(ev, "_hi", rid.hi)
            _oset(ev, "_lo", rid.lo)
            self.raw_location(ev, rec.location, "_a", "_ahi", "_alo")
            self.raw_location(ev, rec.to_location, "_b", "_bhi", "_blo")
            _oset(ev, "_n", rec.from_index)
        elif k == INPUT_SALVO_TRIGGERED or k == OUTPUT_SALVO_TRIGGERED:
            rid = rec.id
            _oset(ev, "_hi", rid.hi)
            _oset(ev, "_lo", rid.lo)
            _oset(ev, "_a", self.name(rec.salvo_condition))
        elif k == PACKET_CONSUMED or k == PACKET_DESTROYED:
            rid = rec.id
            _oset(ev, "_hi", rid.hi)
            _oset(ev, "_lo", rid.lo)
            self.raw_location(ev, rec.location, "_a", "_ahi", "_alo")
        elif k == EPOCH_FINISHED:
            _oset(ev, "_raw", self._running(rec.epoch))
            return ev
        elif k == EPOCH_CANCELLED:
            _oset(ev, "_raw", self.raw_epoch(rec.epoch))
            return ev
        else:
            return self._event(ev, rec, k)
        _oset(ev, "_raw", _IN_SLOTS)
        return ev

    def _running(self, rec):
        f = self.finished
        if f is not None:
            self.finished = None
            rid = rec.id
            if f[0] == rid.hi and f[1] == rid.lo:
                # Read once for the response: the same epoch but its state.
                return (f[0], f[1], f[2], _RUNNING, f[4], f[5], f[6])
        return self.raw_epoch(rec)

    def _event(self, ev, rec, k):
        # The rarer kinds: read at once.
        a = b = c = d = None
        ident = None
        if k == PACKET_ORPHANED:
            ident = self.id(rec.id)
            a = self.id(rec.epoch_id)
            b = self.name(rec.node_name)
            c = self.name(rec.port_name)
            d = self.name(rec.salvo_condition)
        elif k == REQUEST_CREATED:
            a = self.name(rec.node_name)
            b = self.name(rec.label)
            _oset(ev, "_n", rec.source)
        elif k == REQUEST_CASCADE_RESOLVED:
            nodes = rec.source_nodes
            a = tuple([self.name(nodes[i]) for i in range(rec.source_node_count)])
            b = self.name(rec.label)
        else:  # REQUEST_EPOCH_CREATED
            ident = self.id(rec.id)
            a = self.name(rec.node_name)
            b = self.name(rec.label)
        _set_values(ev, ident, a, b, c, d)
        return ev

    def events(self, view):
        # An action makes one or two events, and PyPy's JIT inlines code
        # without a loop: a loop here, run a few times per call, was compiled
        # on its own and entered with a frame made on the heap each time.
        recs = view.events
        n = view.event_count
        event = self.event
        if n == 1:
            out = [event(recs[0])]
        elif n == 2:
            out = [event(recs[0]), event(recs[1])]
        elif n == 0:
            out = []
        else:
            out = [event(recs[i]) for i in range(n)]
        self.finished = None
        return out


# -- Values made on first access ---------------------------------------------------

# An event's location slot while the location is a node's, not yet made.
_AT_NODE = object()


def _epoch_location(port, hi, lo):
    if port is _AT_NODE:
        return _location(NODE, id_text(hi, lo))
    return _location(OUTPUT_PORT, id_text(hi, lo), port)


# The usual sizes (no orphans, one salvo, one packet) are made without a
# loop, for the reason Reader.events gives.

def _made_salvo(raw):
    flat = raw[1]
    text = id_text
    n = len(flat)
    if n == 3:
        return raw[0], ((flat[0], text(flat[1], flat[2])),)
    if n == 0:
        return raw[0], ()
    return raw[0], tuple([(flat[i], text(flat[i + 1], flat[i + 2])) for i in range(0, n, 3)])


def _made_epoch(raw):
    text = id_text
    made = _made_salvo
    flat = raw[6]
    orphans = ()
    if flat:
        orphans = tuple([(text(flat[i], flat[i + 1]), flat[i + 2], flat[i + 3])
                         for i in range(0, len(flat), 4)])
    outs = raw[5]
    n = len(outs)
    if n == 1:
        outs = (made(outs[0]),)
    elif n:
        outs = tuple([made(s) for s in outs])
    return _epoch(text(raw[0], raw[1]), raw[2], made(raw[4]), outs, raw[3], orphans)


# An event's _raw while its values are still the copies in its slots.
_IN_SLOTS = True


def _made_event(ev):
    """Makes the values of an event read lazily. Two threads may make one
    event at once: each reads only what neither writes (the id's halves, the
    epoch tuple) or what reads alike before and after (a location made from
    a raw one is made again as itself)."""
    raw = ev._raw
    if raw is None:
        return  # made meanwhile by another thread
    k = ev._k
    if raw is _IN_SLOTS:
        ident = id_text(ev._hi, ev._lo)
        a = b = None  # the slots a kind does not use were never set
        if k == PACKET_MOVED:
            a = ev._a
            if type(a) is not PacketLocation:
                a = _epoch_location(a, ev._ahi, ev._alo)
            b = ev._b
            if type(b) is not PacketLocation:
                b = _epoch_location(b, ev._bhi, ev._blo)
        elif k == INPUT_SALVO_TRIGGERED or k == OUTPUT_SALVO_TRIGGERED:
            a = ev._a
        elif k == PACKET_CONSUMED or k == PACKET_DESTROYED:
            a = ev._a
            if type(a) is not PacketLocation:
                a = _epoch_location(a, ev._ahi, ev._alo)
        _set_values(ev, ident, a, b, None, None)
        return
    a = _made_epoch(raw)
    _set_values(ev, a._id, a, None, None, None)


def _set_values(ev, ident, a, b, c, d):
    _oset(ev, "_id", ident)
    _oset(ev, "_a", a)
    _oset(ev, "_b", b)
    _oset(ev, "_c", c)
    _oset(ev, "_d", d)
    # Written last: another thread that finds it None finds the values.
    _oset(ev, "_raw", None)


# -- Writing records (actions, queries, undo) ---------------------------------------

# Names become char arrays once: a host names the same few ports and
# conditions over and over.
_names = {}
_NAME_MEMORY = 4096


def plain(obj):
    """The text of an identifier given as any object whose str() is its text
    (a str subclass is read as the text it holds)."""
    if type(obj) is not str:
        obj = str.__str__(obj) if is_a(obj, str) else str(obj)
    return obj


class Writer:
    """Fills records from values. A simulation has one, used by one call at
    a time: the buffers the records point to stay in ``keep`` until the
    call is over (``done``)."""

    __slots__ = ("keep", "parsed")

    def __init__(self):
        self.keep = []
        self.parsed = ffi.new("vx_id*")

    def done(self):
        if self.keep:
            self.keep.clear()

    def str(self, dst, text):
        known = _names.get(text)
        if known is None:
            data = text.encode("utf-8", "surrogatepass")
            known = (ffi.new("char[]", data), len(data))
            if len(_names) >= _NAME_MEMORY:
                _names.clear()
            _names[text] = known
        buf = known[0]
        self.keep.append(buf)  # the memory may drop it before the call is over
        dst.ptr = buf
        dst.len = known[1]

    def id(self, dst, text):
        """Identifier text (or an object whose str() is its text) into a
        record's halves; ValueError as the parser words it."""
        if type(text) is not str:
            text = plain(text)
        r = _recent[0]
        if r[0] is not text:
            r = _recent[1]
        if r[0] is text:
            dst.hi = r[1]
            dst.lo = r[2]
            return
        # The engine's parser: one call, which PyPy's JIT compiles to a few
        # operations, where parsing 26 digits in Python made traces long
        # enough to stop it inlining the calls around.
        if len(text) == 26 and text.isascii():
            out = self.parsed
            if _parse(text.encode("ascii"), 26, out) == 0:
                dst.hi = out.hi
                dst.lo = out.lo
                return
        base32_digits(text)  # raises the parser's own ValueError
        raise ValueError("Invalid ULID: invalid character")

    def port_ref(self, dst, ref):
        self.str(dst.node_name, ref._node)
        dst.port_type = int(ref._side)
        self.str(dst.port_name, ref._port)

    def location(self, dst, loc):
        k = loc._kind
        dst.kind = k
        if k == NODE:
            self.id(dst.epoch_id, loc._a)
        elif k == INPUT_PORT:
            self.str(dst.node_name, loc._a)
            self.str(dst.port_name, loc._b)
        elif k == OUTPUT_PORT:
            self.id(dst.epoch_id, loc._a)
            self.str(dst.port_name, loc._b)
        elif k == EDGE:
            self.port_ref(dst.edge.source, loc._a._source)
            self.port_ref(dst.edge.target, loc._a._target)

    def salvo(self, dst, condition, packets):
        self.str(dst.salvo_condition, condition)
        n = len(packets)
        dst.packet_count = n
        if n:
            arr = ffi.new("vx_salvo_packet[]", n)
            self.keep.append(arr)
            for i, (port, ident) in enumerate(packets):
                self.str(arr[i].port_name, port)
                self.id(arr[i].packet_id, ident)
            dst.packets = arr

    def action(self, act, action):
        """Fills the record for ``action``. Identifiers are parsed here, so a
        bad one is a ValueError before the engine runs."""
        k = action._kind
        act.kind = k
        a = action._a
        if k == START_EPOCH or k == FINISH_EPOCH or k == CANCEL_EPOCH:
            self.id(act.epoch_id, a)
        elif k == LOAD_PACKET_INTO_OUTPUT_PORT:
            self.id(act.packet_id, a)
            self.str(act.port_name, action._b)
        elif k == SEND_OUTPUT_SALVO:
            self.id(act.epoch_id, a)
            self.str(act.salvo_condition, action._b)
        elif k == CREATE_PACKET:
            if a is None:
                act.has_epoch = 0
            else:
                self.id(act.epoch_id, a)
                act.has_epoch = 1
        elif k == CONSUME_PACKET or k == DESTROY_PACKET:
            self.id(act.packet_id, a)
        elif k == TRANSPORT_PACKET_TO_LOCATION:
            self.id(act.packet_id, a)
            self.location(act.destination, action._b)
        elif k == CREATE_EPOCH:
            self.str(act.node_name, a)
            s = action._b
            self.salvo(act.salvo, s._condition, s._packets)
        elif k == CREATE_REQUEST:
            self.str(act.node_name, a)
            self.str(act.label, action._b)

    def epoch(self, e):
        rec = ffi.new("vx_epoch*")
        self.keep.append(rec)
        self.id(rec.id, e._id)
        self.str(rec.node_name, e._node)
        rec.state = e._state
        self.salvo(rec.in_salvo, *e._in_salvo)
        n = len(e._out_salvos)
        if n:
            outs = ffi.new("vx_salvo[]", n)
            self.keep.append(outs)
            for i, s in enumerate(e._out_salvos):
                self.salvo(outs[i], *s)
            rec.out_salvos = outs
            rec.out_salvo_count = n
        n = len(e._orphans)
        if n:
            orphans = ffi.new("vx_orphan[]", n)
            self.keep.append(orphans)
            for i, (pid, port, condition) in enumerate(e._orphans):
                self.id(orphans[i].packet_id, pid)
                self.str(orphans[i].from_port, port)
                self.str(orphans[i].salvo_condition, condition)
            rec.orphaned_packets = orphans
            rec.orphan_count = n
        return rec

    def event(self, rec, ev):
        _full(ev)
        k = ev._k
        rec.kind = k
        rec.timestamp = ev._ts
        a, b = ev._a, ev._b
        if k == EPOCH_FINISHED or k == EPOCH_CANCELLED:
            rec.epoch = self.epoch(a)
            self.id(rec.id, a._id)
        elif ev._id is not None:
            self.id(rec.id, ev._id)
        if k == PACKET_CONSUMED or k == PACKET_DESTROYED:
            self.location(rec.location, a)
        elif k == PACKET_MOVED:
            self.location(rec.location, a)
            self.location(rec.to_location, b)
            c = ev._n  # the record holds it signed (_capi.py): the same 64 bits
            rec.from_index = c if c < _INT64_END else c - _UINT64_END
        elif k == INPUT_SALVO_TRIGGERED or k == OUTPUT_SALVO_TRIGGERED:
            self.str(rec.salvo_condition, a)
        elif k == PACKET_ORPHANED:
            self.id(rec.epoch_id, a)
            self.str(rec.node_name, b)
            self.str(rec.port_name, ev._c)
            self.str(rec.salvo_condition, ev._d)
        elif k == REQUEST_CREATED:
            self.str(rec.node_name, a)
            self.str(rec.label, b)
            rec.source = ev._n
        elif k == REQUEST_CASCADE_RESOLVED:
            n = len(a)
            if n:
                strs = ffi.new("vx_str[]", n)
                self.keep.append(strs)
                for i, s in enumerate(a):
                    self.str(strs[i], s)
                rec.source_nodes = strs
            rec.source_node_count = n
            self.str(rec.label, b)
        elif k == REQUEST_EPOCH_CREATED:
            self.str(rec.node_name, a)
            self.str(rec.label, b)


def event_arg(obj):
    if type(obj) is not NetEvent:
        raise TypeError(f"'{type_name(obj)}' object cannot be converted to 'NetEvent'")
    return obj


# -- NetEvent --------------------------------------------------------------------------

def _full(ev):
    """The event with its values made."""
    if ev._raw is not None:
        _made_event(ev)
    return ev


def _getter(kinds, read, doc=None):
    def get(self):
        return read(_full(self)) if self._k in kinds else None
    return property(get, doc=doc)


_PACKET_KINDS = frozenset((PACKET_CREATED, PACKET_CONSUMED, PACKET_DESTROYED, PACKET_MOVED,
                           PACKET_ORPHANED))
_EPOCH_ID_KINDS = frozenset((EPOCH_CREATED, EPOCH_STARTED, EPOCH_FINISHED, EPOCH_CANCELLED,
                             INPUT_SALVO_TRIGGERED, OUTPUT_SALVO_TRIGGERED,
                             REQUEST_EPOCH_CREATED))
_EPOCH_KINDS = frozenset((EPOCH_FINISHED, EPOCH_CANCELLED))
_SALVO_KINDS = frozenset((INPUT_SALVO_TRIGGERED, OUTPUT_SALVO_TRIGGERED))
_REQUEST_NAMED = frozenset((REQUEST_CREATED, REQUEST_EPOCH_CREATED))
_LABELLED = frozenset((REQUEST_CREATED, REQUEST_CASCADE_RESOLVED, REQUEST_EPOCH_CREATED))


def _copy_epoch(e):
    return _epoch(e._id, e._node, e._in_salvo, e._out_salvos, e._state, e._orphans)


class NetEvent(Frozen, metaclass=FrozenType):
    "An event that occurred during a network action."
    # _raw: the values copied out of the record, until the event's own are
    # made (_IN_SLOTS when they are in _hi, _lo, _a and _b).
    # The integers have slots no other value is ever put in (_n: a move's
    # from_index or a request's source; _ahi to _blo: the epoch of a
    # location not yet made). PyPy keeps integer slots unboxed, but a str or
    # None written where other events held an integer made it box every
    # integer of every event from then on, four or five objects per event.
    __slots__ = ("_k", "_ts", "_id", "_a", "_b", "_c", "_d", "_raw", "_hi", "_lo", "_n",
                 "_ahi", "_alo", "_bhi", "_blo")
    __module__ = MODULE

    @property
    def kind(self):
        return KIND_NAMES[self._k]

    @property
    def timestamp(self):
        return self._ts

    @property
    def packet_id(self):
        return _full(self)._id if self._k in _PACKET_KINDS else None

    @property
    def epoch_id(self):
        k = self._k
        if k in _EPOCH_ID_KINDS:
            return _full(self)._id
        return self._a if k == PACKET_ORPHANED else None

    epoch = _getter(_EPOCH_KINDS, lambda e: _copy_epoch(e._a),
                    "Get the epoch (for EpochFinished and EpochCancelled events).")
    from_location = _getter((PACKET_MOVED,), lambda e: copy_location(e._a))
    to_location = _getter((PACKET_MOVED,), lambda e: copy_location(e._b))
    from_index = _getter((PACKET_MOVED,), lambda e: e._n,
                         "Get the from_index (for PacketMoved events - used for undo).")
    location = _getter((PACKET_CONSUMED, PACKET_DESTROYED), lambda e: copy_location(e._a),
                       "Get the location (for PacketConsumed and PacketDestroyed events).")

    @property
    def salvo_condition(self):
        k = self._k
        if k in _SALVO_KINDS:
            return _full(self)._a
        return self._d if k == PACKET_ORPHANED else None

    @property
    def node_name(self):
        "Get the node name (for PacketOrphaned, RequestCreated, RequestEpochCreated events)."
        k = self._k
        if k in _REQUEST_NAMED:
            return self._a
        return self._b if k == PACKET_ORPHANED else None

    @property
    def label(self):
        "Get the label (for RequestCreated, RequestCascadeResolved, RequestEpochCreated events)."
        return self._b if self._k in _LABELLED else None

    source_nodes = _getter((REQUEST_CASCADE_RESOLVED,), lambda e: list(e._a),
                           "Get the source nodes (for RequestCascadeResolved events).")
    request_source = _getter(
        (REQUEST_CREATED,), lambda e: _SOURCES[e._n],
        'Get the request source (for RequestCreated events).\n'
        'Returns "External", "OnStartup", or "OnNoSalvoTriggered".')
    orphaned_port_name = _getter(
        (PACKET_ORPHANED,), lambda e: e._c,
        "Get the port name (for PacketOrphaned events - the output port the packet was sent "
        "from).")

    def __repr__(self):
        _full(self)
        k = self._k
        head = f"NetEvent.{KIND_NAMES[k]}(ts={self._ts}, "
        a, b = self._a, self._b
        if k == PACKET_CREATED:
            return head + f"packet_id='{self._id}')"
        if k == PACKET_CONSUMED or k == PACKET_DESTROYED:
            return head + f"packet_id='{self._id}', location={a!r})"
        if k == EPOCH_CREATED or k == EPOCH_STARTED:
            return head + f"epoch_id='{self._id}')"
        if k == EPOCH_FINISHED or k == EPOCH_CANCELLED:
            return head + f"epoch={a!r})"
        if k == PACKET_MOVED:
            return head + (f"packet_id='{self._id}', from={a!r}, to={b!r}, "
                           f"from_index={self._n})")
        if k == INPUT_SALVO_TRIGGERED or k == OUTPUT_SALVO_TRIGGERED:
            return head + f"epoch_id='{self._id}', condition={quoted(a)})"
        if k == PACKET_ORPHANED:
            return head + (f"packet_id='{self._id}', epoch_id='{a}', node={quoted(b)}, "
                           f"port={quoted(self._c)}, condition={quoted(self._d)})")
        if k == REQUEST_CREATED:
            return head + (f"node={quoted(a)}, label={quoted(b)}, "
                           f"source={quoted(_SOURCES[self._n])})")
        if k == REQUEST_CASCADE_RESOLVED:
            shown = ", ".join([quoted(n) for n in a])
            return head + f"source_nodes=[{shown}], label={quoted(b)})"
        return head + f"epoch_id='{self._id}', source_node={quoted(a)}, label={quoted(b)})"


finish_class(NetEvent)


# -- NetActionResponseData --------------------------------------------------------------

class NetActionResponseData(Frozen, metaclass=FrozenType):
    "Response data from a successful action."
    # _raw: the epoch as copied out of the record, until it is made.
    __slots__ = ("_a", "_b", "_raw")
    __module__ = MODULE

    def __repr__(self):
        self._b  # one made past its constructor holds nothing: refused here
        return object.__repr__(self)


def _variant(name, params, body):
    full = "NetActionResponseData_" + name
    ns = {"__slots__": (), "__module__": MODULE, "__qualname__": full, "__doc__": "",
          "__match_args__": tuple(params)}
    ns.update(body)
    cls = FrozenType(full, (NetActionResponseData,), ns)
    finish_class(cls, "(" + ", ".join(params) + ")")
    type.__setattr__(NetActionResponseData, name, cls)
    return cls


def _response(cls, a=None, b=None):
    r = new(cls)
    _oset(r, "_a", a)
    _oset(r, "_b", b)
    _oset(r, "_raw", None)
    return r


def _lazy_response(cls, raw, b=None):
    r = new(cls)
    _oset(r, "_b", b)
    _oset(r, "_raw", raw)
    return r


def _response_epoch(r):
    raw = r._raw
    if raw is None:
        return r._a
    e = _made_epoch(raw)
    _oset(r, "_a", e)
    _oset(r, "_raw", None)
    return e


def _epoch_arg(obj):
    if not is_a(obj, Epoch):
        raise arg_type_error("epoch", "Epoch", obj)
    return _copy_epoch(obj)


def _packet_new(cls, *args, **kwargs):
    if kwargs or len(args) != 1:
        args = take(cls.__name__, ("packet_id",), 1, args, kwargs)
    return _response(cls, str_arg("packet_id", args[0]))


def _epoch_new(cls, *args, **kwargs):
    if kwargs or len(args) != 1:
        args = take(cls.__name__, ("epoch",), 1, args, kwargs)
    return _response(cls, _epoch_arg(args[0]))


def _cancelled_new(cls, *args, **kwargs):
    if kwargs or len(args) != 2:
        args = take(cls.__name__, ("epoch", "destroyed_packets"), 2, args, kwargs)
    e = _epoch_arg(args[0])
    gone = tuple([str_arg("destroyed_packets", p)
                  for p in sequence_arg("destroyed_packets", args[1])])
    return _response(cls, e, gone)


def _step_new(cls, *args, **kwargs):
    if kwargs or len(args) != 1:
        args = take(cls.__name__, ("made_progress",), 1, args, kwargs)
    flag = args[0]
    if type(flag) is not bool:
        raise arg_type_error("made_progress", "bool", flag)
    return _response(cls, flag)


def _empty_new(cls, *args, **kwargs):
    if args or kwargs:
        take(cls.__name__, (), 0, args, kwargs)
    return _response(cls)


_epoch_getter = property(lambda self: _copy_epoch(_response_epoch(self)))

ResponsePacket = _variant("Packet", ("packet_id",), {
    "__new__": _packet_new, "packet_id": property(lambda self: self._a)})
ResponseCreated = _variant("CreatedEpoch", ("epoch",), {
    "__new__": _epoch_new, "epoch": _epoch_getter})
ResponseStarted = _variant("StartedEpoch", ("epoch",), {
    "__new__": _epoch_new, "epoch": _epoch_getter})
ResponseFinished = _variant("FinishedEpoch", ("epoch",), {
    "__new__": _epoch_new, "epoch": _epoch_getter})
ResponseCancelled = _variant("CancelledEpoch", ("epoch", "destroyed_packets"), {
    "__new__": _cancelled_new, "epoch": _epoch_getter,
    "destroyed_packets": property(lambda self: list(self._b))})
ResponseStep = _variant("StepResult", ("made_progress",), {
    "__new__": _step_new, "made_progress": property(lambda self: self._a)})
ResponseEmpty = _variant("Empty", (), {"__new__": _empty_new})
finish_class(NetActionResponseData)

# By the engine's response code (VX_RESP_ values); 0 is no response.
_BY_CODE = (None, ResponseStep, ResponsePacket, ResponseCreated, ResponseStarted,
            ResponseFinished, ResponseCancelled, ResponseEmpty)

def response(reader, view):
    code = view.response
    cls = _BY_CODE[code]
    if code == 2:
        return _response(cls, reader.id(view.id))
    if code == 1:
        return _response(cls, view.made_progress != 0)
    if code == 7:
        return _response(cls)
    e = reader.raw_epoch(view.epoch)
    reader.finished = e if code == 5 else None
    if code == 6:
        ids = view.ids
        ident = reader.id
        return _lazy_response(cls, e, tuple([ident(ids[i]) for i in range(view.id_count)]))
    return _lazy_response(cls, e)
