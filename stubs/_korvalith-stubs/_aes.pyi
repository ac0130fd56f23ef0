# _korvalith.ciphers.aes: AES-128/192/256 in ECB mode. The key is 16, 24 or
# 32 bytes; padding_mode is one of "iso", "ISO", "iso/iec", "ISO/IEC",
# "pkcs", "PKCS", "pkcs#7", "PKCS#7".

from collections.abc import Sequence

__all__ = ["encrypt_ecb", "decrypt_ecb"]

def encrypt_ecb(text: bytes | bytearray | Sequence[int], key: bytes, padding_mode: str) -> bytes: ...
def decrypt_ecb(text: bytes | bytearray | Sequence[int], key: bytes, padding_mode: str) -> bytes: ...
