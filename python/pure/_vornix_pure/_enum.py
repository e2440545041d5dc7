"""Integer-valued enumeration classes: members are class attributes made
once; each value carries its number, compares with its own class and with
ints, and pickles as a reference to the member."""

from ._support import Frozen, FrozenType, MODULE, int64_of, method_args, new, _oset


class Enumeration(Frozen, metaclass=FrozenType):
    __slots__ = ("_v",)
    _names = ()

    def __repr__(self):
        return f"{type(self).__name__}.{self._names[self._v]}"

    def __int__(self):
        return self._v

    def __eq__(self, other):
        if type(other) is type(self):
            return self._v == other._v
        v = int64_of(other)
        return NotImplemented if v is None else self._v == v

    def __ne__(self, other):
        if type(other) is type(self):
            return self._v != other._v
        v = int64_of(other)
        return NotImplemented if v is None else self._v != v

    # Equality without a hash: members are unhashable, as the extension's are.
    __hash__ = None

    def __reduce__(self, *args, **kwargs):
        if args or kwargs:
            method_args(type(self), "__reduce__", self, args, kwargs)
        return getattr, (type(self), self._names[self._v])


def make_members(cls, names):
    """Sets the member class attributes, in order; returns them as a tuple."""
    type.__setattr__(cls, "_names", tuple(names))
    members = []
    for i, name in enumerate(names):
        m = new(cls)
        _oset(m, "_v", i)
        type.__setattr__(cls, name, m)
        members.append(m)
    return tuple(members)


def value_of(cls, v):
    """A new instance of enumeration ``cls`` with number ``v``: what getters
    hand out (equal to the member, not the member itself)."""
    m = new(cls)
    _oset(m, "_v", v)
    return m


def enum_class(name, doc, names, extra=None):
    body = {"__slots__": (), "__module__": MODULE, "__qualname__": name, "__doc__": doc}
    if extra:
        body.update(extra)
    cls = FrozenType(name, (Enumeration,), body)
    return cls
