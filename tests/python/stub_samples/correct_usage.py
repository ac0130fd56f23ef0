"""Uses each kind of parameter and result as a caller would; must type-check
under --strict and run. (test_stubs.py holds every function's name and text
signature to the module.)"""

from collections.abc import Callable

import _korvalith
from _korvalith import ciphers, cli, encodings

text: str = _korvalith.ciphers.caesar.encrypt("Hello", 3)
text = ciphers.caesar.decrypt(data=text, shift=-3)
text = ciphers.vigenere.encrypt("attack at dawn", "lemon")
text = ciphers.vigenere.decrypt("lxfopv ef rnhr", key="lemon", skip_non_alpha=True)
text = ciphers.rot13.encrypt("Hello") + ciphers.rot13.decrypt("Uryyb") + ciphers.rot13.rotate(data="x")
text = ciphers.substitution.substitute("hello", {"h": "j"})
text = ciphers.substitution.substitute_reverse(data="jello", mapping={"h": "j"})

data: bytes = ciphers.substitution.substitute_bytes(b"\x00", {0: 255})
data = ciphers.substitution.substitute_reverse_bytes(data=b"\xff", mapping={0: 255})

key = bytes(range(16))
data = ciphers.aes.encrypt_ecb(b"secret", key, "pkcs")
data = ciphers.aes.encrypt_ecb(bytearray(b"secret"), key, "ISO/IEC")
data = ciphers.aes.encrypt_ecb([115, 101, 99], key, padding_mode="PKCS#7")
data = ciphers.aes.encrypt_ecb((1, 2, 3), key=key, padding_mode="iso")
data = ciphers.aes.decrypt_ecb(text=data, key=key, padding_mode="iso")

text = encodings.base32.encode("foo") + encodings.base32.decode("MZXW6===", strict=True)
data = encodings.base32.encode_bytes(b"foo") + encodings.base32.decode_bytes(data=b"MZXW6===")
text = encodings.base64.encode(data="foo") + encodings.base64.decode("Zm9v", False)
data = encodings.base64.encode_bytes(b"foo") + encodings.base64.decode_bytes(b"Zm9v")

run_command_line: Callable[[], None] = cli.parse
submodule_names: list[str] = _korvalith.__all__ + ciphers.__all__ + _korvalith.encodings.base64.__all__
