"""Packet and epoch identifiers at the boundary: 128-bit values inside, 26
characters of Crockford base-32 outside."""

ALPHABET = "0123456789ABCDEFGHJKMNPQRSTVWXYZ"
_DIGIT = {c: i for i, c in enumerate(ALPHABET)}
_DIGIT.update({c.lower(): i for c, i in _DIGIT.items() if c.isalpha()})
_MASK = (1 << 128) - 1


def ulid_text(value):
    out = []
    for shift in range(125, -1, -5):
        out.append(ALPHABET[(value >> shift) & 31])
    return "".join(out)


def str_to_ulid(text):
    if len(text) != 26 or not text.isascii():
        # Lengths count UTF-8 bytes: 26 characters of which some are not ASCII
        # are more than 26 bytes.
        raise ValueError("Invalid ULID: invalid length")
    value = 0
    digit = _DIGIT
    for ch in text:
        d = digit.get(ch)
        if d is None:
            raise ValueError("Invalid ULID: invalid character")
        value = (value << 5) | d
    # The first digit carries two bits above bit 127; they are dropped.
    return value & _MASK


def python_to_ulid(obj):
    return str_to_ulid(obj if isinstance(obj, str) else str(obj))


def ulid_to_python(value):
    import ulid
    return ulid.ULID.from_str(ulid_text(value))
