"""Each line marked "expect: CODE" must draw exactly that mypy error code, and
no other line may draw one."""

import _korvalith
import _korvalith.ciphers  # expect: import-not-found
from _korvalith import ciphers, cli, encodings

ciphers.caesar.encrypt(b"abc", 3)  # expect: arg-type
ciphers.caesar.encrypt("abc", "3")  # expect: arg-type
ciphers.caesar.encrypt("abc")  # expect: call-arg
ciphers.vigenere.encrypt("abc", "key", skip=True)  # expect: call-arg
ciphers.vigenere.decrypt("abc", "key", 0)  # expect: arg-type
ciphers.rot13.rotate()  # expect: call-arg
ciphers.substitution.substitute("abc", {97: 98})  # expect: dict-item
ciphers.substitution.substitute_bytes(b"abc", {"a": "b"})  # expect: dict-item
ciphers.substitution.substitute_bytes("abc", {97: 98})  # expect: arg-type
ciphers.aes.encrypt_ecb("plain text", bytes(16), "pkcs")  # expect: arg-type
ciphers.aes.decrypt_ecb(b"", "0123456789abcdef", "pkcs")  # expect: arg-type
ciphers.aes.decrypt_ecb(b"", bytes(16))  # expect: call-arg
encodings.base32.decode("MY", strict=1)  # expect: arg-type
encodings.base32.decode_bytes(b"MY", strict=True)  # expect: call-arg
encodings.base64.encode(b"foo")  # expect: arg-type
decoded: bytes = encodings.base64.decode("Zm9v")  # expect: assignment
encoded: str = encodings.base64.encode_bytes(b"foo")  # expect: assignment
cli.parse("--help")  # expect: call-arg
nothing = cli.parse()  # expect: func-returns-value
_korvalith.ciphers.caesar.encipher("abc", 1)  # expect: attr-defined
_korvalith.ciphers.base64.encode("foo")  # expect: attr-defined
