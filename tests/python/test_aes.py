"""AES in ECB mode with ISO/IEC 7816-4 or PKCS#7 padding."""

import hashlib
import os
import random
import sys
import sysconfig
import unittest

import _korvalith

aes = _korvalith.ciphers.aes

PLAINTEXT = bytes.fromhex("00112233445566778899aabbccddeeff")
# Cipher examples of the AES standard (key 00 01 02 ... for each size), each
# followed by the encryption of the full block of PKCS#7 padding that a
# 16-byte text gets under the same key.
EXAMPLES = {
    16: ("69c4e0d86a7b0430d8cdb78070b4c55a", "954f64f2e4e86e9eee82d20216684899"),
    24: ("dda97ca4864cdfe06eaf70a0ec0d7191", "3fe7286abde5f03943d5777020259626"),
    32: ("8ea2b7ca516745bfeafc49904b496089", "9f3b7504926f8bd36e3118e903a4cd4a"),
}
# SHA-256 of the ciphertexts of many_lengths() under bytes(range(100, 100 + n))
# for each key size n, made with OpenSSL's AES-ECB over the same padded data.
MANY_LENGTHS_DIGESTS = {
    16: "7b4bc65702490706ec8c86bad5239d8f5baf58da8de1c415a03e3c30ae21b153",
    24: "ac21854baf00218dd72a127e08edfe536197a0035ee3820d6b9328f661d5e972",
    32: "ac635ea5315cb3b44205e4c820fc33e33260ff0f0bdbf92e2c17d75730d38131",
}
MANY_LENGTHS_SOURCE = bytes((7 * i) & 0xFF for i in range(1024))
MODES = ("iso", "ISO", "iso/iec", "ISO/IEC", "pkcs", "PKCS", "pkcs#7", "PKCS#7")
KEY = bytes(range(16))


def mode_error(mode):
    return f"Not a valid padding mode: {mode}. Acceptable padding mode are: iso, pkcs."


def pad_iso(data):
    return data + b"\x80" + bytes(15 - len(data) % 16)


def pad_pkcs(data):
    count = 16 - len(data) % 16
    return data + bytes([count]) * count


def many_lengths():
    """(text, mode) for 0 to 48 whole blocks and 1 or 15 bytes more: each way
    of grouping blocks leaves every possible remainder."""
    for blocks in range(49):
        for extra, mode in ((0, "iso"), (1, "pkcs"), (15, "iso")):
            yield MANY_LENGTHS_SOURCE[blocks:blocks + 16 * blocks + extra], mode


def load_cryptography():
    """The cryptography package's Cipher, algorithms and modes, or None.
    Debian installs it outside this interpreter's path, so that directory is
    tried too, for the import only. Its compiled part only loads under the
    Python it was built for, so one encryption is tried before it counts as
    present."""
    def load():
        from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
        Cipher(algorithms.AES(bytes(16)), modes.ECB()).encryptor().update(bytes(16))
        return Cipher, algorithms, modes

    try:
        return load()
    except Exception:  # noqa: BLE001 - absent, or installed for another interpreter
        pass
    system_packages = "/usr/lib/python3/dist-packages"
    # Debian's packages are built for interpreters with a global lock: their
    # compiled parts crash a free-threaded one instead of failing to import.
    if not os.path.isdir(system_packages) or sysconfig.get_config_var("Py_GIL_DISABLED"):
        return None
    sys.path.append(system_packages)
    try:
        return load()
    except Exception:  # noqa: BLE001
        return None
    finally:
        sys.path.remove(system_packages)


class AesTestCase(unittest.TestCase):
    def assertValueError(self, message, function, *args):
        with self.assertRaises(ValueError) as caught:
            function(*args)
        self.assertIs(type(caught.exception), ValueError)
        self.assertEqual(caught.exception.args, (message,))

    def block_decrypting_to(self, block, key=KEY):
        """A 16-byte ciphertext that decrypts to `block`: the first block of
        its encryption, whatever padding follows it."""
        return aes.encrypt_ecb(block, key, "iso")[:16]


class StandardExampleTest(AesTestCase):
    def test_cipher_examples(self):
        for size, (first, padding_block) in EXAMPLES.items():
            with self.subTest(key_bits=size * 8):
                key = bytes(range(size))
                ciphertext = bytes.fromhex(first + padding_block)
                self.assertEqual(aes.encrypt_ecb(PLAINTEXT, key, "pkcs"), ciphertext)
                self.assertEqual(aes.decrypt_ecb(ciphertext, key, "pkcs"), PLAINTEXT)
                # The example block alone decrypts to the plaintext, whose
                # last byte 0xff is not ISO padding.
                self.assertValueError("Unexpected character found when unpadding, expected 0, found: ff",
                                      aes.decrypt_ecb, bytes.fromhex(first), key, "iso")

    def test_second_aes128_example(self):
        ciphertext = aes.encrypt_ecb(bytes.fromhex("3243f6a8885a308d313198a2e0370734"),
                                     bytes.fromhex("2b7e151628aed2a6abf7158809cf4f3c"), "iso")
        self.assertEqual(ciphertext[:16], bytes.fromhex("3925841d02dc09fbdc118597196a0b32"))


class EcbTest(AesTestCase):
    def test_output_lengths_and_round_trips(self):
        rng = random.Random(5)
        for size in (16, 24, 32):
            key = rng.randbytes(size)
            for mode in ("iso", "pkcs"):
                for length in (0, 1, 15, 16, 17, 31, 32, 33, 1000):
                    with self.subTest(size=size, mode=mode, length=length):
                        text = rng.randbytes(length)
                        encrypted = aes.encrypt_ecb(text, key, mode)
                        self.assertIs(type(encrypted), bytes)
                        self.assertEqual(len(encrypted), 16 * (length // 16 + 1))
                        decrypted = aes.decrypt_ecb(encrypted, key, mode)
                        self.assertIs(type(decrypted), bytes)
                        self.assertEqual(decrypted, text)

    def test_every_length_against_recorded_ciphertexts(self):
        # Holds where no reference library loads, as under the 32-bit interpreter.
        for size, expected in MANY_LENGTHS_DIGESTS.items():
            with self.subTest(key_bits=size * 8):
                key = bytes(range(100, 100 + size))
                digest = hashlib.sha256()
                for text, mode in many_lengths():
                    encrypted = aes.encrypt_ecb(text, key, mode)
                    self.assertEqual(aes.decrypt_ecb(encrypted, key, mode), text)
                    digest.update(encrypted)
                self.assertEqual(digest.hexdigest(), expected)

    def test_every_mode_spelling(self):
        for mode in MODES:
            with self.subTest(mode=mode):
                encrypted = aes.encrypt_ecb(b"spelling", KEY, mode)
                self.assertEqual(aes.decrypt_ecb(encrypted, KEY, mode), b"spelling")
                scheme = "iso" if mode.lower().startswith("iso") else "pkcs"
                self.assertEqual(encrypted, aes.encrypt_ecb(b"spelling", KEY, scheme))
        for mode in ("Iso", "pkcs7", "", " iso", "iso ", "PKCS7", "iso\0"):
            with self.subTest(mode=mode):
                self.assertValueError(mode_error(mode), aes.encrypt_ecb, b"x", KEY, mode)
                self.assertValueError(mode_error(mode), aes.decrypt_ecb, bytes(16), KEY, mode)

    def test_padding_bytes(self):
        # Unpadding with the other scheme shows the padding that was added.
        for text in (b"", b"abc", bytes(15), bytes(16)):
            with self.subTest(length=len(text)):
                encrypted = aes.encrypt_ecb(text, KEY, "iso")
                if len(text) % 16 != 15:  # ISO padding ends in 0x00, which PKCS unpadding keeps
                    self.assertEqual(aes.decrypt_ecb(encrypted, KEY, "pkcs"), pad_iso(text))
                count = 16 - len(text) % 16
                self.assertValueError(f"Unexpected character found when unpadding, expected 0, found: {count:x}",
                                      aes.decrypt_ecb, aes.encrypt_ecb(text, KEY, "pkcs"), KEY, "iso")
        # 15 bytes get the marker alone: one block, whose final 0x80 makes
        # PKCS unpadding remove everything.
        encrypted = aes.encrypt_ecb(b"fifteen bytes!!", KEY, "iso")
        self.assertEqual(len(encrypted), 16)
        self.assertEqual(aes.decrypt_ecb(encrypted, KEY, "pkcs"), b"")
        self.assertEqual(aes.decrypt_ecb(encrypted, KEY, "iso"), b"fifteen bytes!!")

    def test_equal_blocks_encrypt_equally(self):
        half = bytes(range(100, 116))
        encrypted = aes.encrypt_ecb(half * 2, KEY, "pkcs")
        self.assertEqual(len(encrypted), 48)
        self.assertEqual(encrypted[:16], encrypted[16:32])
        self.assertNotEqual(encrypted[:16], encrypted[32:])

    def test_text_types(self):
        text = b"sequence of ints!"
        expected = aes.encrypt_ecb(text, KEY, "pkcs")

        class Bytes(bytes):
            pass

        class ByteArray(bytearray):
            pass

        for convert in (bytearray, list, tuple, Bytes, ByteArray, memoryview):
            with self.subTest(type=convert.__name__):
                self.assertEqual(aes.encrypt_ecb(convert(text), KEY, "pkcs"), expected)
                self.assertEqual(aes.decrypt_ecb(convert(expected), KEY, "pkcs"), text)
        self.assertEqual(aes.encrypt_ecb(text, Bytes(KEY), "pkcs"), expected)
        self.assertEqual(aes.encrypt_ecb(text=text, key=KEY, padding_mode="pkcs"), expected)
        self.assertEqual(aes.decrypt_ecb(padding_mode="pkcs", key=KEY, text=expected), text)

    def test_input_is_not_modified(self):
        text = bytearray(b"left alone")
        aes.encrypt_ecb(text, KEY, "iso")
        self.assertEqual(text, bytearray(b"left alone"))


class FailureOrderTest(AesTestCase):
    def test_encrypt_reports_mode_before_key(self):
        self.assertValueError(mode_error("Iso"), aes.encrypt_ecb, b"abc", b"12345", "Iso")
        self.assertValueError("Invalid key length: 5", aes.encrypt_ecb, b"abc", b"12345", "pkcs")
        self.assertValueError("Invalid key length: 5", aes.encrypt_ecb, b"", b"12345", "iso")
        for length in (0, 15, 17, 20, 33):
            self.assertValueError(f"Invalid key length: {length}", aes.encrypt_ecb, b"abc", bytes(length), "iso")

    def test_key_type_before_mode(self):
        with self.assertRaises(TypeError) as caught:
            aes.encrypt_ecb(b"abc", bytearray(16), "nonsense")
        self.assertEqual(str(caught.exception), "argument 'key': 'bytearray' object is not an instance of 'bytes'")
        with self.assertRaises(TypeError) as caught:
            aes.decrypt_ecb(b"", "0123456789abcdef", "iso")
        self.assertEqual(str(caught.exception), "argument 'key': 'str' object is not an instance of 'bytes'")

    def test_decrypt_order(self):
        # Empty text: neither the key nor the mode is looked at.
        self.assertValueError("Invalid ciphertext length: 0", aes.decrypt_ecb, b"", b"12345", "nonsense")
        # The key at the first block, before the block length and the mode.
        self.assertValueError("Invalid key length: 5", aes.decrypt_ecb, bytes(16), b"12345", "nonsense")
        self.assertValueError("Invalid key length: 5", aes.decrypt_ecb, bytes(20), b"12345", "nonsense")
        self.assertValueError("Invalid key length: 5", aes.decrypt_ecb, bytes(3), b"12345", "nonsense")
        # The short last block's length, before the mode.
        self.assertValueError("Amount of bytes in block is not correct: 4", aes.decrypt_ecb, bytes(20), KEY,
                              "nonsense")
        self.assertValueError("Amount of bytes in block is not correct: 15", aes.decrypt_ecb, bytes(47), KEY, "iso")
        self.assertValueError("Amount of bytes in block is not correct: 1", aes.decrypt_ecb, bytes(1), KEY, "iso")
        # The mode only after every block is decrypted.
        valid = aes.encrypt_ecb(b"valid", KEY, "iso")
        self.assertValueError(mode_error("nonsense"), aes.decrypt_ecb, valid, KEY, "nonsense")


class UnpaddingTest(AesTestCase):
    def test_pkcs_trusts_the_last_byte(self):
        body = bytes(range(0x41, 0x50))
        self.assertEqual(aes.decrypt_ecb(self.block_decrypting_to(body + b"\x00"), KEY, "pkcs"), body + b"\x00")
        self.assertEqual(aes.decrypt_ecb(self.block_decrypting_to(body + b"\x20"), KEY, "pkcs"), b"")
        self.assertEqual(aes.decrypt_ecb(self.block_decrypting_to(body + b"\x05"), KEY, "pkcs"), body[:11])
        # The removed bytes need not equal the count.
        two = self.block_decrypting_to(bytes(16)) + self.block_decrypting_to(bytes(15) + b"\x11")
        self.assertEqual(aes.decrypt_ecb(two, KEY, "pkcs"), bytes(15))
        # Up to 255 bytes, across many blocks.
        body = bytes(range(256)) + bytes(range(48))
        blocks = b"".join(self.block_decrypting_to(body[i:i + 16]) for i in range(0, 304, 16))
        blocks += self.block_decrypting_to(bytes(15) + b"\xff")
        self.assertEqual(aes.decrypt_ecb(blocks, KEY, "pkcs"), body[:65])

    def test_iso_rules(self):
        self.assertValueError("Unexpected character found when unpadding, expected 0, found: 7",
                              aes.decrypt_ecb, self.block_decrypting_to(bytes(15) + b"\x07"), KEY, "iso")
        self.assertValueError("Unexpected character found when unpadding, expected 0, found: 2a",
                              aes.decrypt_ecb, self.block_decrypting_to(bytes(15) + b"\x2a"), KEY, "iso")
        self.assertValueError("Unexpected end before finding 0x80",
                              aes.decrypt_ecb, self.block_decrypting_to(bytes(16)), KEY, "iso")
        # Cut at the last 0x80; the 0x41 after it is not checked.
        self.assertEqual(aes.decrypt_ecb(self.block_decrypting_to(b"abcdefghijklm\x80\x41\x00"), KEY, "iso"),
                         b"abcdefghijklm")
        # A final 0x80 alone is the padding.
        self.assertEqual(aes.decrypt_ecb(self.block_decrypting_to(b"\x80" * 16), KEY, "iso"), b"\x80" * 15)
        # The marker may sit in an earlier block, however far back.
        zero_block = self.block_decrypting_to(bytes(16))
        for zero_blocks in (1, 40):
            with self.subTest(zero_blocks=zero_blocks):
                marked = self.block_decrypting_to(b"abc\x80" + bytes(12)) + zero_block * zero_blocks
                self.assertEqual(aes.decrypt_ecb(marked, KEY, "iso"), b"abc")
                self.assertValueError("Unexpected end before finding 0x80",
                                      aes.decrypt_ecb, zero_block * zero_blocks, KEY, "iso")


class OpenSSLAgreementTest(unittest.TestCase):
    """Equal to the cryptography package's AES-ECB (OpenSSL) over the same
    padded data, for random keys of every size."""

    def test_matches_cryptography(self):
        loaded = load_cryptography()
        if loaded is None:
            self.skipTest("the cryptography package is not installed")
        Cipher, algorithms, modes = loaded
        rng = random.Random(2001)
        for size in (16, 24, 32):
            for trial in range(20):
                key = rng.randbytes(size)
                text = rng.randbytes(rng.choice((0, 1, 15, 16, 17, rng.randrange(1, 3000))))
                for mode, pad in (("iso", pad_iso), ("pkcs", pad_pkcs)):
                    with self.subTest(size=size, trial=trial, mode=mode):
                        cipher = Cipher(algorithms.AES(key), modes.ECB())
                        encryptor = cipher.encryptor()
                        expected = encryptor.update(pad(text)) + encryptor.finalize()
                        self.assertEqual(aes.encrypt_ecb(text, key, mode), expected)
                        # Our decryption of OpenSSL's ciphertext of random blocks,
                        # followed by a block of ISO padding alone, which the
                        # unpadding removes.
                        blocks = rng.randbytes(16 * rng.randrange(1, 20))
                        foreign = cipher.encryptor().update(blocks)
                        padding_block = aes.encrypt_ecb(b"", key, "iso")
                        self.assertEqual(aes.decrypt_ecb(foreign + padding_block, key, "iso"), blocks)


if __name__ == "__main__":
    unittest.main()
