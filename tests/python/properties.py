"""Properties that hold for every input, checked by hypothesis on generated
ones: each cipher and encoding undoes itself (and agrees with the standard
library where it has the same function), and lenient Base32 and Base64
decoding agrees with the plain model of its rules in lenient_decoding.py.
test_properties.py runs these tests."""

import importlib.util
import os
import string
import unittest

from hypothesis import HealthCheck, given, settings, strategies as st

import _korvalith
import test_base32
import test_base64
from lenient_decoding import model_decode, model_decode_text, outcome

# No example database: a run writes nothing into the source tree. No
# deadline: timing is not what these tests check, and sanitized builds are
# slow, so there the tests against the model take fewer examples.
settings.register_profile("korvalith", database=None, deadline=None, suppress_health_check=[HealthCheck.too_slow])
settings.load_profile("korvalith")
MODEL_EXAMPLES = 50 if os.environ.get("KORVALITH_SANITIZED") == "1" else 300

ciphers = _korvalith.ciphers
ascii_text = st.text(st.characters(max_codepoint=0x7F))
aes_keys = st.sampled_from([16, 24, 32]).flatmap(lambda size: st.binary(min_size=size, max_size=size))
# Bytes that decoding treats specially, to be mixed into valid text.
UNUSUAL_BYTES = b"=\n \t\x00\x80\xc3\xff-_.!"
UNUSUAL_TEXT = [" ", "\n", "\u3000", "\xa0", "\x85", "\x1c", "=", "==", "\xe9", "-", "\u2028"]


class CipherRoundTripTest(unittest.TestCase):
    @given(st.text(), st.integers(-25, 25))
    def test_caesar(self, text, shift):
        encrypted = ciphers.caesar.encrypt(text, shift)
        self.assertEqual(ciphers.caesar.decrypt(encrypted, shift), text)
        self.assertEqual(ciphers.caesar.decrypt(text, shift), ciphers.caesar.encrypt(text, -shift))

    @given(st.text())
    def test_rot13(self, text):
        rotated = ciphers.rot13.rotate(text)
        self.assertEqual(ciphers.rot13.rotate(rotated), text)
        self.assertEqual((ciphers.rot13.encrypt(text), ciphers.rot13.decrypt(text)), (rotated, rotated))
        self.assertEqual(rotated, ciphers.caesar.encrypt(text, 13))

    @given(ascii_text, st.text(st.sampled_from(string.ascii_letters), min_size=1), st.booleans())
    def test_vigenere(self, text, key, skip_non_alpha):
        encrypted = ciphers.vigenere.encrypt(text, key, skip_non_alpha)
        self.assertEqual(ciphers.vigenere.decrypt(encrypted, key, skip_non_alpha), text)

    @given(st.data())
    def test_substitution_by_a_permutation_matches_translate(self, data):
        source = data.draw(st.lists(st.sampled_from(string.printable), unique=True))
        mapping = dict(zip(source, data.draw(st.permutations(source))))
        text = data.draw(st.text(st.sampled_from(string.printable + "\xe4\u20ac\U0001F600")))
        encrypted = ciphers.substitution.substitute(text, mapping)
        self.assertEqual(encrypted, text.translate(str.maketrans(mapping)))
        self.assertEqual(ciphers.substitution.substitute_reverse(encrypted, mapping), text)

    @given(st.data(), st.binary())
    def test_byte_substitution_by_a_permutation_matches_translate(self, data, plain):
        keys = data.draw(st.lists(st.integers(0, 255), unique=True))
        mapping = dict(zip(keys, data.draw(st.permutations(keys))))
        table = bytearray(range(256))
        for key, value in mapping.items():
            table[key] = value
        encrypted = ciphers.substitution.substitute_bytes(plain, mapping)
        self.assertEqual(encrypted, plain.translate(table))
        self.assertEqual(ciphers.substitution.substitute_reverse_bytes(encrypted, mapping), plain)

    @given(st.binary(max_size=300), aes_keys, st.sampled_from(["iso", "pkcs"]))
    def test_aes_ecb(self, plain, key, padding_mode):
        encrypted = ciphers.aes.encrypt_ecb(plain, key, padding_mode)
        self.assertEqual(len(encrypted), len(plain) // 16 * 16 + 16)
        self.assertEqual(ciphers.aes.decrypt_ecb(encrypted, key, padding_mode), plain)


def load_portable_module():
    """The module the build makes without the AES instructions (it runs the
    bitsliced engine), loaded beside this one; None where there is none."""
    path = os.path.join(os.environ.get("KORVALITH_BUILD_DIR", ""), "portable", os.path.basename(_korvalith.__file__))
    if "KORVALITH_BUILD_DIR" not in os.environ or not os.path.isfile(path):
        return None
    found = importlib.util.spec_from_file_location("_korvalith", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


PORTABLE = load_portable_module()


def aes_outcome(function, *args):
    try:
        return function(*args)
    except ValueError as error:
        return f"ValueError: {error}"


@unittest.skipIf(PORTABLE is None, "the build has no module without the AES instructions (portable/)")
class AesEnginesAgreeTest(unittest.TestCase):
    # Any text, a key of a valid or a nearby length, either scheme: the same
    # bytes or the same failure (random ciphertext mostly fails to unpad).
    @given(st.binary(max_size=200), aes_keys | st.binary(min_size=15, max_size=33), st.sampled_from(["iso", "pkcs"]),
           st.sampled_from(["encrypt_ecb", "decrypt_ecb"]))
    def test_bitsliced_module_agrees_with_this_one(self, text, key, padding_mode, name):
        self.assertEqual(aes_outcome(getattr(PORTABLE.ciphers.aes, name), text, key, padding_mode),
                         aes_outcome(getattr(ciphers.aes, name), text, key, padding_mode))


@st.composite
def mutated_encoding(draw, codec):
    """The encoding of some bytes, perhaps without padding (perhaps in lower
    case for Base32), with a few bytes replaced or inserted anywhere."""
    text = bytearray(codec.reference_encode(draw(st.binary(max_size=48))))
    if draw(st.booleans()):
        text = text.rstrip(b"=")
    if codec.bits == 5 and draw(st.booleans()):
        text = text.lower()
    for _ in range(draw(st.integers(0, 3))):
        position = draw(st.integers(0, len(text)))
        byte = draw(st.sampled_from(UNUSUAL_BYTES) | st.integers(0, 255))
        text[position:position + draw(st.integers(0, 1))] = bytes([byte])
    return bytes(text)


@st.composite
def mutated_text(draw, codec):
    """The encoding of some text, perhaps without padding, with white space,
    padding or other characters inserted anywhere."""
    text = codec.module.encode(draw(st.text(max_size=16)))
    if draw(st.booleans()):
        text = text.rstrip("=")
    for _ in range(draw(st.integers(0, 4))):
        position = draw(st.integers(0, len(text)))
        text = text[:position] + draw(st.sampled_from(UNUSUAL_TEXT) | st.characters(codec="utf-8")) + text[position:]
    return text


# The encodings' test classes, which name their module, alphabet, bits,
# name (as in the messages), group and reference_encode.
codecs = st.sampled_from([test_base32.Base32Test, test_base64.Base64Test])


class EncodingPropertiesTest(unittest.TestCase):
    @given(codecs, st.binary())
    def test_bytes_round_trip_and_standard_library(self, codec, data):
        encoded = codec.module.encode_bytes(data)
        self.assertEqual(encoded, codec.reference_encode(data))
        self.assertEqual(codec.module.decode_bytes(encoded), data)

    @given(codecs, st.text())
    def test_text_round_trip(self, codec, text):
        encoded = codec.module.encode(text)
        self.assertEqual(codec.module.decode(encoded), text)
        self.assertEqual(codec.module.decode(encoded, strict=True), text)

    @settings(max_examples=MODEL_EXAMPLES)
    @given(codecs, st.data())
    def test_decode_bytes_agrees_with_the_model(self, codec, data):
        text = data.draw(mutated_encoding(codec))
        self.assertEqual(outcome(codec.module.decode_bytes, text),
                         outcome(model_decode, text, codec.alphabet, codec.bits, codec.name))

    @settings(max_examples=MODEL_EXAMPLES)
    @given(codecs, st.data(), st.booleans())
    def test_decode_agrees_with_the_model(self, codec, data, strict):
        text = data.draw(mutated_text(codec))
        self.assertEqual(outcome(codec.module.decode, text, strict=strict),
                         outcome(model_decode_text, text, strict, codec.alphabet, codec.bits, codec.name, codec.group))
