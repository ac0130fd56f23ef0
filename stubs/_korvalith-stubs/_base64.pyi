# _korvalith.encodings.base64: text (str) and binary (bytes) interfaces.

__all__ = ["encode", "decode", "encode_bytes", "decode_bytes"]

def encode(data: str) -> str:
    """Encodes the UTF-8 bytes of data as Base64 (RFC 4648, standard
    alphabet, padded with "=").

    data: the text to encode.

    Raises TypeError when data is not a str.
    """

def decode(data: str, strict: bool = False) -> str:
    """Decodes Base64 text (standard alphabet) into text. White space around
    data and missing padding are forgiven, and decoding stops at the first
    "=".

    data: the Base64 text.
    strict: True: also require a length (as UTF-8) that is a multiple of 4.

    Raises ValueError "Invalid base64 character: 'c'", ValueError "Length of
    input is not valid. Use strict=False to disable length checking.",
    ValueError "Invalid utf8. Use decode_bytes() instead." when the decoded
    bytes are not text, and TypeError when data is not a str or strict not
    a bool.
    """

def encode_bytes(data: bytes) -> bytes:
    """Encodes data as Base64 (RFC 4648, standard alphabet, padded with
    "="), as ASCII bytes.

    data: the bytes to encode.

    Raises TypeError when data is not bytes.
    """

def decode_bytes(data: bytes) -> bytes:
    """Decodes Base64 bytes (standard alphabet) exactly as given (no
    trimming); missing padding is forgiven and decoding stops at the first
    "=".

    data: the Base64 text as bytes.

    Raises ValueError "Invalid base64 character: 'c'" and TypeError when
    data is not bytes.
    """
