"""Plumbing shared by every class of the pure front end.

The classes here must behave like the extension module's down to the words
of a refusal, so argument matching and conversion are written out by hand
rather than left to the interpreter, whose wording differs. Each public
callable takes ``*args, **kwargs`` and keeps a fast path for the usual call
(all arguments by position, none missing), which costs one length check.
"""

import sys
from inspect import Parameter, Signature

MODULE = "vornix_sim"

_oset = object.__setattr__


class FrozenType(type):
    """Metatype of the module's classes: class attributes cannot be changed,
    and the constructor's text signature is published as extension classes
    publish theirs."""

    def __new__(mcls, name, bases, namespace):
        for base in bases:
            if base.__dict__.get("_final"):
                raise TypeError(f"type '{base.__name__}' is not an acceptable base type")
        return type.__new__(mcls, name, bases, namespace)

    def __setattr__(cls, name, value):
        raise TypeError(f"cannot set '{name}' attribute of immutable type '{cls.__name__}'")

    def __delattr__(cls, name):
        raise TypeError(f"cannot set '{name}' attribute of immutable type '{cls.__name__}'")

    @property
    def __text_signature__(cls):
        return cls.__dict__.get("_text_signature")

    @property
    def __signature__(cls):
        text = cls.__dict__.get("_text_signature")
        return None if text is None else signature_of(text)


def set_class_attr(cls, name, value):
    type.__setattr__(cls, name, value)


class Frozen:
    """Base of every wrapper: no attribute can be set or deleted from outside;
    the class's own code writes its slots through ``_oset``."""

    __slots__ = ()
    _getters = frozenset()

    def __new__(cls, *args, **kwargs):
        raise TypeError(f"cannot create '{cls.__name__}' instances")

    def __setattr__(self, name, value):
        _refuse_write(self, name)

    def __delattr__(self, name):
        _refuse_write(self, name, _DELETE_SUFFIX)

    # What is not a value to rebuild (a packet, an epoch, an event, a
    # response) is refused by pickle and copy as objects without a way to
    # pickle them are; the values that can be rebuilt define __reduce__,
    # which both use in its place.
    def __getstate__(self):
        raise TypeError(f"cannot pickle '{type(self).__name__}' object")


# Deleting an attribute the extension's objects do not have goes through the
# interpreter's generic code, whose message grew a clause in 3.13.
_DELETE_SUFFIX = (" and no __dict__ for setting new attributes"
                  if sys.version_info >= (3, 13) else "")


def _refuse_write(obj, name, suffix=""):
    cls = type(obj)
    if name in cls._getters:
        raise AttributeError(f"attribute '{name}' of '{cls.__name__}' objects is not writable")
    raise AttributeError(f"'{cls.__name__}' object has no attribute '{name}'{suffix}")


def new(cls):
    """An instance whose slots the caller fills: the way the module's own code
    makes objects, past the public constructor."""
    return object.__new__(cls)


def finish_class(cls, text_signature=None):
    """Records which names are getters, so that writing one is refused with
    the extension's words, and the constructor's text signature."""
    getters = frozenset(k for k, v in vars(cls).items() if isinstance(v, property))
    type.__setattr__(cls, "_getters", getters)
    type.__setattr__(cls, "_text_signature", text_signature)
    type.__setattr__(cls, "_final", True)  # no subclasses, as extension classes have none
    # Picklable classes show __reduce__ as their own, as extension classes do.
    if "__reduce__" not in vars(cls) and cls.__reduce__ is not object.__reduce__:
        type.__setattr__(cls, "__reduce__", cls.__reduce__)
    return cls


_signatures = {}


def signature_of(text):
    """An ``inspect.Signature`` for a text signature such as "(a, b=None)"."""
    sig = _signatures.get(text)
    if sig is None:
        params = []
        body = text[1:-1]
        for part in body.split(", ") if body else ():
            name, _, default = part.partition("=")
            kind = Parameter.POSITIONAL_OR_KEYWORD
            if name == "$self":
                # The instance of a method is passed by position only.
                name, kind = "self", Parameter.POSITIONAL_ONLY
            params.append(Parameter(name, kind, default=None if default else Parameter.empty))
        sig = _signatures[text] = Signature(params)
    return sig


def method(text_signature, doc=None):
    """Gives a function written as ``f(self_or_first, *args, **kwargs)`` or
    ``f(*args, **kwargs)`` the signature and doc string the extension shows."""
    def apply(func):
        func.__text_signature__ = text_signature
        func.__signature__ = signature_of(text_signature)
        func.__doc__ = doc
        func.__module__ = MODULE
        return func
    return apply


def take(call, params, required, args, kwargs):
    """Matches arguments to parameters as the extension does; returns the
    values in parameter order, None for an omitted optional one."""
    most = len(params)
    given = len(args)
    if given > most:
        if most == 0:
            raise TypeError(f"{call}() takes no arguments ({given} given)")
        bound = "exactly" if required == most else "at most"
        word = "argument" if most == 1 else "arguments"
        raise TypeError(f"{call}() takes {bound} {most} {word} ({given} given)")
    out = list(args) + [_MISSING] * (most - given)
    for key, value in kwargs.items():
        if type(key) is not str and not is_a(key, str):
            raise TypeError("keywords must be strings")
        try:
            i = params.index(key)
        except ValueError:
            raise TypeError(f"'{key}' is an invalid keyword argument for {call}()") from None
        if i < given:
            raise TypeError(f"argument for {call}() given by name ('{key}') and position "
                            f"({i + 1})")
        out[i] = value
    for i in range(required):
        if out[i] is _MISSING:
            raise TypeError(f"{call}() missing required argument '{params[i]}' (pos {i + 1})")
    for i in range(required, most):
        if out[i] is _MISSING:
            out[i] = None
    return out


_MISSING = object()


def no_args(call, args, kwargs):
    take(call, (), 0, args, kwargs)


def method_args(cls, name, obj, args, kwargs):
    """Refuses a call of a method that takes nothing but its instance, in the
    words the interpreter uses for methods of extension classes."""
    if not is_a(obj, cls):
        raise TypeError(f"descriptor '{name}' for '{cls.__name__}' objects doesn't apply to a "
                        f"'{type(obj).__name__}' object")
    call = f"{cls.__name__}.{name}"
    if kwargs:
        raise TypeError(f"{call}() takes no keyword arguments")
    if args:
        raise TypeError(f"{call}() takes no arguments ({len(args)} given)")


def is_a(obj, cls):
    """isinstance by the object's own type: a ``__class__`` that claims some
    other class is not believed, as the extension's type checks do not."""
    return issubclass(type(obj), cls)


def type_name(obj):
    return class_name(type(obj))


def class_name(cls):
    """A class's name as messages give it: "?" when its ``__name__`` (which a
    metaclass may define) is no str, has no UTF-8 form or cannot be read."""
    try:
        name = cls.__name__
        if issubclass(type(name), str):
            name = str.__str__(name)
            name.encode("utf-8")  # no UTF-8 form: unknown as well
            return name
    except Exception:  # noqa: BLE001 - any failure reads as an unknown name
        pass
    return "?"


def arg_type_error(name, expected, obj):
    return TypeError(f"argument '{name}': expected {expected}, got {type_name(obj)}")


def utf8_check(text, prefix):
    """Refuses a str with no UTF-8 form (lone surrogates) as a wrong argument,
    as the engine could never hold it."""
    if not text.isascii():
        try:
            text.encode("utf-8")
        except UnicodeEncodeError:
            raise TypeError(prefix + _no_utf8_reason(text)) from None


def _is_surrogate(c):
    return "\ud800" <= c <= "\udfff"


def _no_utf8_reason(text):
    """The codec's words for a str with lone surrogates, as CPython's puts
    them: it names the whole first run of them, where PyPy's names only the
    first one."""
    start = 0
    while not _is_surrogate(text[start]):
        start += 1
    end = start + 1
    while end < len(text) and _is_surrogate(text[end]):
        end += 1
    if end - start == 1:
        return (f"'utf-8' codec can't encode character '\\u{ord(text[start]):04x}' "
                f"in position {start}: surrogates not allowed")
    return (f"'utf-8' codec can't encode characters in position {start}-{end - 1}: "
            f"surrogates not allowed")


def str_arg(name, obj):
    if not is_a(obj, str):
        raise arg_type_error(name, "str", obj)
    if not obj.isascii():
        utf8_check(obj, f"argument '{name}': ")
    # A str subclass is held as the plain text it carries.
    return obj if type(obj) is str else str.__str__(obj)


def str_item(obj):
    """A str inside a container argument: refused without the argument prefix."""
    if not is_a(obj, str):
        raise TypeError(f"expected str, got {type_name(obj)}")
    if not obj.isascii():
        utf8_check(obj, "")
    return obj if type(obj) is str else str.__str__(obj)


_U64_MAX = (1 << 64) - 1


def u64_arg(name, obj):
    if not is_a(obj, int):
        raise arg_type_error(name, "int", obj)
    v = int_value(obj)
    if v < 0:
        raise OverflowError(f"argument '{name}': can't convert negative int to unsigned")
    if v > _U64_MAX:
        raise OverflowError(f"argument '{name}': int too big to convert")
    return v


def sequence_arg(name, obj):
    if is_a(obj, str) or not is_sequence(obj):
        raise arg_type_error(name, "a sequence", obj)
    return list(obj)


def is_sequence(obj):
    # The interpreter's own test: a type that can be indexed and is no mapping.
    if is_a(obj, (list, tuple)):
        return True
    if is_a(obj, dict):
        return False
    return hasattr(type(obj), "__getitem__")


def int_value(obj):
    """The value an int (subclass) holds, as a plain int, whatever its own
    __int__ or __index__ say: int's own addition reads the value itself on
    both interpreters (PyPy's int.__int__ would ask the subclass)."""
    return int.__add__(obj, 0)


def int64_of(obj):
    """The value of an int in the signed 64-bit range, else None."""
    if is_a(obj, int):
        v = int_value(obj)
        if -(1 << 63) <= v < (1 << 63):
            return v
    return None


# Quoted form of a name: double quotes, backslash escapes, and \u{h} for
# anything that would print ambiguously or not at all.
_COMBINING = ((0x0300, 0x036F), (0x0483, 0x0489), (0x0591, 0x05BD), (0x0610, 0x061A),
              (0x064B, 0x065F), (0x0E31, 0x0E3A), (0x1AB0, 0x1AFF), (0x1DC0, 0x1DFF),
              (0x20D0, 0x20FF), (0x302A, 0x302F), (0x3099, 0x309A), (0xFE20, 0xFE2F))
_NON_PRINTABLE = ((0x00AD, 0x00AD), (0x034F, 0x034F), (0x061C, 0x061C), (0x115F, 0x1160),
                  (0x180B, 0x180F), (0x2000, 0x200F), (0x2028, 0x202F), (0x205F, 0x206F),
                  (0x3000, 0x3000), (0xE000, 0xF8FF), (0xFE00, 0xFE0F), (0xFEFF, 0xFEFF),
                  (0xFFF0, 0xFFFB), (0xE0000, 0xE0FFF))
_SIMPLE = {'"': '\\"', "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}


def _needs_escape(c):
    if c < 0x20 or 0x7F <= c < 0xA0:
        return True
    if (c & 0xFFFE) == 0xFFFE or c >= 0xF0000:
        return True
    for lo, hi in _COMBINING:
        if lo <= c <= hi:
            return True
    for lo, hi in _NON_PRINTABLE:
        if lo <= c <= hi:
            return True
    return False


def quoted(text):
    if text.isascii() and text.isprintable() and '"' not in text and "\\" not in text:
        return '"' + text + '"'
    out = ['"']
    for ch in text:
        simple = _SIMPLE.get(ch)
        if simple is not None:
            out.append(simple)
        elif _needs_escape(ord(ch)):
            out.append("\\u{%x}" % ord(ch))
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


# SipHash-1-3 with an all-zero key: hash values that are the same in every
# process and on both front ends.
_M = 0xFFFFFFFFFFFFFFFF


def _rotl(x, b):
    return ((x << b) | (x >> (64 - b))) & _M


def siphash13(data):
    v0 = 0x736F6D6570736575
    v1 = 0x646F72616E646F6D
    v2 = 0x6C7967656E657261
    v3 = 0x7465646279746573
    n = len(data)
    end = n - n % 8
    from_bytes = int.from_bytes

    def rnd(v0, v1, v2, v3):
        v0 = (v0 + v1) & _M
        v1 = _rotl(v1, 13) ^ v0
        v0 = _rotl(v0, 32)
        v2 = (v2 + v3) & _M
        v3 = _rotl(v3, 16) ^ v2
        v0 = (v0 + v3) & _M
        v3 = _rotl(v3, 21) ^ v0
        v2 = (v2 + v1) & _M
        v1 = _rotl(v1, 17) ^ v2
        v2 = _rotl(v2, 32)
        return v0, v1, v2, v3

    for i in range(0, end, 8):
        m = from_bytes(data[i:i + 8], "little")
        v3 ^= m
        v0, v1, v2, v3 = rnd(v0, v1, v2, v3)
        v0 ^= m
    b = ((n & 0xFF) << 56) | from_bytes(data[end:], "little")
    v3 ^= b
    v0, v1, v2, v3 = rnd(v0, v1, v2, v3)
    v0 ^= b
    v2 ^= 0xFF
    for _ in range(3):
        v0, v1, v2, v3 = rnd(v0, v1, v2, v3)
    # Read back as a signed 64-bit int through bytes: arithmetic here leaves a
    # big integer, and PyPy reduces a big integer that __hash__ returns to its
    # own hash even when the value would fit.
    h = int.from_bytes((v0 ^ v1 ^ v2 ^ v3).to_bytes(8, "little"), "little", signed=True)
    return -2 if h == -1 else h
