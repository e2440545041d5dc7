"""Packet and epoch identifiers at the boundary: 128-bit values inside, 26
characters of Crockford base-32 outside.

Parsing maps the text onto the digits that int() reads in base 32 with one
bytes.translate, so a whole identifier costs two C-level calls rather than a
loop over its characters; that matters on PyPy, where a 128-bit int is a
big integer and each step on it costs.
"""

from ._support import is_a

ALPHABET = "0123456789ABCDEFGHJKMNPQRSTVWXYZ"
_BASE32 = "0123456789abcdefghijklmnopqrstuv"
_MASK = (1 << 128) - 1

# Every byte that is no Crockford digit becomes "!", which int() refuses and
# which the parser looks for first (int() would also take blanks, signs and
# underscores, none of which are digits here).
_table = bytearray(b"!" * 256)
for _i, _c in enumerate(ALPHABET):
    _table[ord(_c)] = ord(_BASE32[_i])
    _table[ord(_c.lower())] = ord(_BASE32[_i])
_TO_BASE32 = bytes(_table)
_FROM_BASE32 = str.maketrans(_BASE32, ALPHABET)


def ulid_text(value):
    digits = []
    for shift in range(125, -1, -5):
        digits.append(ALPHABET[(value >> shift) & 31])
    return "".join(digits)


def _digits(text):
    """The text as base-32 digits for int(), or a ValueError."""
    if len(text) != 26 or not text.isascii():
        # Lengths count UTF-8 bytes (lone surrogates as their three-byte
        # forms): 13 two-byte characters are 26 bytes, of no valid digit.
        if text.isascii() or len(text.encode("utf-8", "surrogatepass")) != 26:
            raise ValueError("Invalid ULID: invalid length")
        raise ValueError("Invalid ULID: invalid character")
    digits = text.encode("ascii").translate(_TO_BASE32)
    if b"!" in digits:
        raise ValueError("Invalid ULID: invalid character")
    return digits


def str_to_ulid(text):
    # The first digit carries two bits above bit 127; they are dropped.
    return int(_digits(text), 32) & _MASK


# A host loop names the same few epochs and packets over and over: texts
# already checked are remembered, within a bound.
_canonical = {}
_CANONICAL_MEMORY = 4096


def canonical_text(text):
    """For a plain str: the 26-character upper-case text of the identifier that ``text`` names
    (same value as str_to_ulid, without making the 128-bit int when it can)."""
    known = _canonical.get(text)
    if known is not None:
        return known
    digits = _digits(text)
    if digits[0] <= 0x37:  # "0" to "7": nothing wraps
        canonical = text if text.isupper() or text.isdigit() else text.upper()
    else:
        canonical = ulid_text(int(digits, 32) & _MASK)
    if len(_canonical) >= _CANONICAL_MEMORY:
        _canonical.clear()
    _canonical[text] = canonical
    return canonical


def python_to_ulid(obj):
    return str_to_ulid(obj if is_a(obj, str) else str(obj))


def python_to_text(obj):
    """Like python_to_ulid, but the identifier's canonical text."""
    if type(obj) is not str:
        # A str subclass is read as the text it holds, as the extension reads it.
        obj = str.__str__(obj) if is_a(obj, str) else str(obj)
    return canonical_text(obj)


def ulid_to_python(value):
    import ulid
    return ulid.ULID.from_str(ulid_text(value))
