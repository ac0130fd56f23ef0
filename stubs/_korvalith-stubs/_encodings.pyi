# _korvalith.encodings: Base32 and Base64 with the standard alphabets.

from . import _base32 as base32
from . import _base64 as base64

__all__ = ["base32", "base64"]
