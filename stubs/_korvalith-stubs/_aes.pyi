# _korvalith.ciphers.aes: AES-128/192/256 in ECB mode. The key is 16, 24 or
# 32 bytes; padding_mode is one of "iso", "ISO", "iso/iec", "ISO/IEC",
# "pkcs", "PKCS", "pkcs#7", "PKCS#7".

from collections.abc import Sequence

__all__ = ["encrypt_ecb", "decrypt_ecb"]

def encrypt_ecb(text: bytes | bytearray | Sequence[int], key: bytes, padding_mode: str) -> bytes:
    """Pads text to a multiple of 16 bytes (always adding 1 to 16) and
    encrypts each 16-byte block on its own with AES (ECB mode).

    text: the plaintext: bytes, bytearray or a sequence of ints 0 to 255.
    key: 16, 24 or 32 bytes (AES-128, -192 or -256).
    padding_mode: "iso"/"ISO"/"iso/iec"/"ISO/IEC" (0x80, then zeros) or
        "pkcs"/"PKCS"/"pkcs#7"/"PKCS#7" (PKCS#7).

    Raises ValueError "Not a valid padding mode: ... Acceptable padding mode
    are: iso, pkcs.", ValueError "Invalid key length: N", OverflowError for
    an item of text outside 0 to 255, and TypeError when text is a str or
    not a sequence, key not bytes, or padding_mode not a str.
    """

def decrypt_ecb(text: bytes | bytearray | Sequence[int], key: bytes, padding_mode: str) -> bytes:
    """Decrypts each 16-byte block of text on its own with AES (ECB mode)
    and removes the padding that encrypt_ecb added.

    text: the ciphertext, a non-zero multiple of 16 bytes: bytes, bytearray
        or a sequence of ints 0 to 255.
    key: 16, 24 or 32 bytes, the key it was encrypted with.
    padding_mode: the padding it was encrypted with, spelt as for
        encrypt_ecb.

    Raises ValueError "Invalid ciphertext length: 0" for empty text,
    ValueError "Amount of bytes in block is not correct: N" when the length
    is not a multiple of 16, ValueError "Invalid key length: N", ValueError
    "Not a valid padding mode: ...", ValueError "Unexpected character found
    when unpadding, expected 0, found: XX" or "Unexpected end before
    finding 0x80" for broken ISO padding, OverflowError for an item of text
    outside 0 to 255, and TypeError when text is a str or not a sequence,
    key not bytes, or padding_mode not a str.
    """
