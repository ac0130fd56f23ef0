# _korvalith.ciphers.substitution: byte-wise substitution by a caller's table.
# Text variants map one-character strings, bytes variants ints in 0..255.

__all__ = ["substitute", "substitute_reverse", "substitute_bytes", "substitute_reverse_bytes"]

def substitute(data: str, mapping: dict[str, str]) -> str:
    """Replaces every byte of data's UTF-8 text that is a key of mapping by
    its value, in one pass (so a table can swap two characters); other bytes
    stay. A character stands for the low byte of its code point, so ASCII
    tables are the ones that make sense.

    data: the text to substitute in.
    mapping: one-character str keys to one-character str values.

    Raises ValueError "expected a string of length 1" for a longer or empty
    key or value, ValueError when the result is not valid UTF-8, and
    TypeError when data is not a str, mapping not a dict, or a key or value
    not a str.
    """

def substitute_reverse(data: str, mapping: dict[str, str]) -> str:
    """Undoes substitute with the same mapping: replaces every byte of data's
    UTF-8 text that is a value of mapping by its key, in one pass.

    data: the text to substitute in.
    mapping: one-character str keys to one-character str values.

    Raises ValueError "expected a string of length 1" for a longer or empty
    key or value, ValueError when the result is not valid UTF-8, and
    TypeError when data is not a str, mapping not a dict, or a key or value
    not a str.
    """

def substitute_bytes(data: bytes, mapping: dict[int, int]) -> bytes:
    """Replaces every byte of data that is a key of mapping by its value, in
    one pass; other bytes stay.

    data: the bytes to substitute in.
    mapping: byte values (ints 0 to 255) to byte values.

    Raises OverflowError "out of range integral type conversion attempted"
    for a key or value outside 0 to 255, and TypeError when data is not
    bytes, mapping not a dict, or a key or value not an int.
    """

def substitute_reverse_bytes(data: bytes, mapping: dict[int, int]) -> bytes:
    """Undoes substitute_bytes with the same mapping: replaces every byte of
    data that is a value of mapping by its key, in one pass.

    data: the bytes to substitute in.
    mapping: byte values (ints 0 to 255) to byte values.

    Raises OverflowError "out of range integral type conversion attempted"
    for a key or value outside 0 to 255, and TypeError when data is not
    bytes, mapping not a dict, or a key or value not an int.
    """
