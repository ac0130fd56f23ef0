"""Argument binding and conversion shared by every function, and how their
failures reach Python."""

import array
import gc
import sys
import unittest

import _korvalith
import call_cases

base32 = _korvalith.encodings.base32
base64 = _korvalith.encodings.base64
caesar = _korvalith.ciphers.caesar
vigenere = _korvalith.ciphers.vigenere
substitution = _korvalith.ciphers.substitution
aes = _korvalith.ciphers.aes


def fake_numpy_bool(name="bool_", result=True, define_bool=True):
    """An object whose type presents itself as numpy's boolean scalar."""
    namespace = {"__module__": "numpy"}
    if define_bool:
        namespace["__bool__"] = lambda self: result
    return type(name, (), namespace)()


class BindingTest(unittest.TestCase):
    def assertTypeError(self, message, function, *args, **kwargs):
        with self.assertRaises(TypeError) as caught:
            function(*args, **kwargs)
        self.assertIs(type(caught.exception), TypeError)
        self.assertEqual(caught.exception.args, (message,))
        self.assertIsNone(caught.exception.__cause__)

    def test_missing_arguments(self):
        self.assertTypeError("decode() missing 1 required positional argument: 'data'", base32.decode)
        self.assertTypeError("decrypt_ecb() missing 2 required positional arguments: 'key' and 'padding_mode'",
                             aes.decrypt_ecb, b"")
        self.assertTypeError("encrypt_ecb() missing 3 required positional arguments: 'text', 'key', and "
                             "'padding_mode'", aes.encrypt_ecb)
        self.assertTypeError("encrypt_ecb() missing 2 required positional arguments: 'text' and 'padding_mode'",
                             aes.encrypt_ecb, key=b"")
        self.assertTypeError("encrypt() missing 1 required positional argument: 'key'", vigenere.encrypt, "a",
                             skip_non_alpha=True)

    def test_too_many_positional(self):
        self.assertTypeError("decode() takes from 1 to 2 positional arguments but 3 were given",
                             base64.decode, "a", False, 1)
        self.assertTypeError("encode() takes 1 positional arguments but 2 were given", base32.encode, "a", "b")
        self.assertTypeError("encrypt() takes 2 positional arguments but 3 were given", caesar.encrypt, "a", 1, 2)
        # Keywords are not looked at once there are too many positionals.
        self.assertTypeError("encode() takes 1 positional arguments but 2 were given", base32.encode, "a", "b",
                             nonsense=1)

    def test_keywords(self):
        self.assertTypeError("decode() got multiple values for argument 'data'", base32.decode, "a", data="b")
        self.assertTypeError("decode() got an unexpected keyword argument 'datum'", base32.decode, datum="a")
        self.assertTypeError("encrypt() got an unexpected keyword argument 'Data'", caesar.encrypt, Data="a",
                             shift=1)
        self.assertEqual(caesar.encrypt(shift=1, data="abc"), "bcd")
        self.assertEqual(caesar.decrypt(data="bcd", shift=1), "abc")

    def test_unencodable_keyword_name(self):
        self.assertTypeError("decode() got an unexpected keyword argument '\udcff'", base32.decode,
                             **{"\udcff": 1})


class ConverterTest(unittest.TestCase):
    def assertRaisesExactly(self, cls, message, function, *args, **kwargs):
        with self.assertRaises(cls) as caught:
            function(*args, **kwargs)
        self.assertIs(type(caught.exception), cls)
        self.assertEqual(caught.exception.args, (message,))
        self.assertIsNone(caught.exception.__cause__)
        if message.startswith("argument '"):
            # An annotated error: its cause was set (to none), which hides its context.
            self.assertTrue(caught.exception.__suppress_context__)
        return caught.exception

    def test_text(self):
        self.assertRaisesExactly(TypeError, "argument 'data': 'int' object is not an instance of 'str'",
                                 caesar.encrypt, 5, 1)
        self.assertRaisesExactly(TypeError, "argument 'data': 'bytes' object is not an instance of 'str'",
                                 base32.encode, b"x")
        self.assertRaisesExactly(TypeError, "argument 'key': 'None' is not an instance of 'str'",
                                 vigenere.encrypt, "a", None)
        with self.assertRaises(UnicodeEncodeError):
            caesar.encrypt("\ud800", 1)

        class Text(str):
            pass

        self.assertEqual(caesar.encrypt(Text("abc"), 1), "bcd")

    def test_bytes(self):
        self.assertRaisesExactly(TypeError, "argument 'data': 'bytearray' object is not an instance of 'bytes'",
                                 base64.encode_bytes, bytearray(b"x"))
        self.assertRaisesExactly(TypeError, "argument 'data': 'None' is not an instance of 'bytes'",
                                 base64.encode_bytes, None)
        self.assertRaisesExactly(TypeError, "argument 'data': 'memoryview' object is not an instance of 'bytes'",
                                 substitution.substitute_bytes, memoryview(b"x"), {})
        self.assertRaisesExactly(TypeError, "argument 'key': 'bytearray' object is not an instance of 'bytes'",
                                 aes.encrypt_ecb, b"", bytearray(16), "nonsense")

    def test_flag(self):
        self.assertRaisesExactly(TypeError, "argument 'strict': 'int' object is not an instance of 'bool'",
                                 base32.decode, "", 1)
        self.assertRaisesExactly(TypeError, "argument 'strict': 'int' object is not an instance of 'bool'",
                                 base32.decode, "", strict=0)
        self.assertRaisesExactly(TypeError, "argument 'skip_non_alpha': 'None' is not an instance of 'bool'",
                                 vigenere.encrypt, "a", "b", None)

    def test_flag_numpy_rule(self):
        # __bool__ is looked up on the type and called; its result must be a bool.
        self.assertRaisesExactly(TypeError, "argument 'strict': 'int' object is not an instance of 'bool'",
                                 base32.decode, "", fake_numpy_bool(result=1))
        self.assertRaisesExactly(
            TypeError, "argument 'strict': object of type '<class 'numpy.bool_'>' does not define a '__bool__' "
            "conversion", base32.decode, "", fake_numpy_bool(define_bool=False))

        def failing(self):
            raise ZeroDivisionError("from __bool__")

        broken = type("bool", (), {"__module__": "numpy", "__bool__": failing})()
        with self.assertRaises(ZeroDivisionError):
            base32.decode("", broken)
        # Only numpy's own type names qualify.
        self.assertRaisesExactly(TypeError, "argument 'strict': 'bool8' object is not an instance of 'bool'",
                                 base32.decode, "", fake_numpy_bool(name="bool8"))

    def test_flag_numpy_bool_is_looked_up_as_for_an_instance(self):
        # Found on the type or its bases (never on the metaclass), bound to the
        # object, called without arguments. strict=True rejects "MZXW6".
        class Base:
            def __bool__(self):
                return True

        class Meta(type):
            def __bool__(cls):
                return True

        inherited = type("bool", (Base,), {"__module__": "numpy"})()
        static = type("bool_", (), {"__module__": "numpy", "__bool__": staticmethod(lambda: True)})()
        for strict in (inherited, static):
            with self.assertRaisesRegex(ValueError, "Length of input is not valid"):
                base32.decode("MZXW6", strict)
        self.assertRaisesExactly(
            TypeError, "argument 'strict': object of type '<class 'numpy.bool_'>' does not define a '__bool__' "
            "conversion", base32.decode, "MZXW6", Meta("bool_", (), {"__module__": "numpy"})())

    def test_exceptions_that_mean_stop_are_never_swallowed(self):
        def raiser(exception):
            def method(*args):
                raise exception
            return method

        def type_attribute_raising(attribute, exception):
            class Meta(type):
                def __getattribute__(cls, name):
                    if name == attribute:
                        raise exception
                    return super().__getattribute__(name)
            return Meta("T", (), {})()

        def sequence_whose_len_raises(exception):
            return type("Sized", (), {"__len__": raiser(exception), "__getitem__": lambda self, i: (7,)[i]})()

        for stop in (KeyboardInterrupt, SystemExit, MemoryError):
            with self.subTest(stop=stop.__name__):
                with self.assertRaises(stop):
                    aes.encrypt_ecb(sequence_whose_len_raises(stop), bytes(16), "pkcs")
                with self.assertRaises(stop):  # the type name of a mismatch message
                    base32.decode(type_attribute_raising("__qualname__", stop))
                with self.assertRaises(stop):  # the test for numpy's bool
                    base32.decode("", type_attribute_raising("__module__", stop))
        # Ordinary exceptions still fall back.
        self.assertEqual(aes.encrypt_ecb(sequence_whose_len_raises(ValueError), bytes(16), "pkcs"),
                         aes.encrypt_ecb(b"\x07", bytes(16), "pkcs"))
        self.assertRaisesExactly(TypeError, "argument 'data': '<failed to extract type name>' object is not an "
                                 "instance of 'str'", base32.decode, type_attribute_raising("__qualname__", KeyError))

    def test_long(self):
        self.assertRaisesExactly(OverflowError, "Python int too large to convert to C long",
                                 caesar.encrypt, "a", 2 ** 64)
        self.assertRaisesExactly(OverflowError, "Python int too large to convert to C long",
                                 caesar.encrypt, "a", 2 ** 31)
        self.assertRaisesExactly(OverflowError, "Python int too large to convert to C long",
                                 caesar.encrypt, "a", -2 ** 31 - 1)
        # Inside the 32-bit range the shift check speaks instead.
        self.assertRaisesExactly(ValueError, "Shift must be in the range -25 to 25", caesar.encrypt, "a", 2 ** 31 - 1)
        self.assertRaisesExactly(ValueError, "Shift must be in the range -25 to 25", caesar.encrypt, "a", -2 ** 31)
        self.assertRaisesExactly(TypeError, "argument 'shift': 'float' object cannot be interpreted as an integer",
                                 caesar.encrypt, "a", 1.0)
        self.assertEqual(caesar.encrypt("a", True), "b")

        class Index:
            def __index__(self):
                return 2

        self.assertEqual(caesar.encrypt("a", Index()), "c")

    def test_byte_vector(self):
        self.assertRaisesExactly(TypeError, "argument 'text': Can't extract `str` to `Vec`",
                                 aes.encrypt_ecb, "abc", b"", "iso")
        self.assertRaisesExactly(TypeError, "argument 'text': 'int' object is not an instance of 'Sequence'",
                                 aes.encrypt_ecb, 5, b"", "iso")
        self.assertRaisesExactly(TypeError, "argument 'text': 'dict' object is not an instance of 'Sequence'",
                                 aes.encrypt_ecb, {1: 2}, b"", "iso")
        self.assertRaisesExactly(OverflowError, "out of range integral type conversion attempted",
                                 aes.encrypt_ecb, [1, 256], b"", "iso")
        self.assertRaisesExactly(OverflowError, "out of range integral type conversion attempted",
                                 aes.encrypt_ecb, (-1,), b"", "iso")
        self.assertRaisesExactly(TypeError, "argument 'text': 'str' object cannot be interpreted as an integer",
                                 aes.encrypt_ecb, ["a"], b"", "iso")

    def test_byte_vector_does_not_trust_reported_length(self):
        class Liar:
            def __len__(self):
                return 2 ** 62

            def __getitem__(self, index):
                if index >= 3:
                    raise IndexError(index)
                return 300

        # The huge length reserves nothing dangerous; the first item fails.
        self.assertRaisesExactly(OverflowError, "out of range integral type conversion attempted",
                                 aes.encrypt_ecb, Liar(), b"", "iso")

    def test_byte_vector_iteration_error_propagates(self):
        class Broken:
            def __len__(self):
                return 1

            def __getitem__(self, index):
                raise KeyError("inside")

        with self.assertRaises(KeyError):
            aes.encrypt_ecb(Broken(), b"", "iso")

    def test_char_map(self):
        self.assertRaisesExactly(ValueError, "expected a string of length 1",
                                 substitution.substitute, "abc", {"ab": "x"})
        self.assertRaisesExactly(ValueError, "expected a string of length 1",
                                 substitution.substitute, "abc", {"a": ""})
        self.assertRaisesExactly(TypeError, "argument 'mapping': 'list' object is not an instance of 'dict'",
                                 substitution.substitute, "abc", [("a", "b")])
        self.assertRaisesExactly(TypeError, "argument 'mapping': 'int' object is not an instance of 'str'",
                                 substitution.substitute_reverse, "abc", {"a": 1})
        # The key is converted before the value.
        self.assertRaisesExactly(TypeError, "argument 'mapping': 'int' object is not an instance of 'str'",
                                 substitution.substitute, "abc", {1: "ab"})

    def test_byte_map(self):
        self.assertRaisesExactly(OverflowError, "out of range integral type conversion attempted",
                                 substitution.substitute_bytes, b"abc", {97: 256})
        self.assertRaisesExactly(OverflowError, "out of range integral type conversion attempted",
                                 substitution.substitute_reverse_bytes, b"abc", {-1: 5})
        self.assertRaisesExactly(TypeError, "argument 'mapping': 'str' object cannot be interpreted as an integer",
                                 substitution.substitute_bytes, b"abc", {"a": 1})
        self.assertRaisesExactly(TypeError, "argument 'mapping': 'tuple' object is not an instance of 'dict'",
                                 substitution.substitute_bytes, b"abc", ())
        self.assertRaisesExactly(TypeError, "argument 'data': 'bytearray' object is not an instance of 'bytes'",
                                 substitution.substitute_bytes, bytearray(b"abc"), {})

    def test_dict_changed_during_conversion(self):
        mapping = {}

        class Grower:
            def __index__(self):
                mapping[len(mapping) + 1000] = 1
                return 1

        mapping[1] = Grower()
        mapping[2] = 2
        self.assertRaisesExactly(RuntimeError, "dictionary changed size during iteration",
                                 substitution.substitute_bytes, b"abc", mapping)

        swapping = {}

        class Swapper:
            def __index__(self):
                # Same size: a visited key goes, a new one comes.
                swapping.pop(1, None)
                swapping[3] = 3
                return 1

        swapping[1] = Swapper()
        swapping[2] = 2
        self.assertRaisesExactly(RuntimeError, "dictionary keys changed during iteration",
                                 substitution.substitute_bytes, b"abc", swapping)

    def test_first_bad_argument_in_declaration_order_wins(self):
        self.assertRaisesExactly(TypeError, "argument 'data': 'int' object is not an instance of 'str'",
                                 caesar.encrypt, shift="x", data=1)
        self.assertRaisesExactly(TypeError, "argument 'text': Can't extract `str` to `Vec`",
                                 aes.decrypt_ecb, "x", bytearray(), 5)

    def test_every_exception_is_builtin(self):
        calls = [lambda: base32.decode(1), lambda: caesar.encrypt("a", 99), lambda: aes.encrypt_ecb([999], b"", ""),
                 lambda: substitution.substitute("a", {"aa": "b"})]
        for call in calls:
            try:
                call()
            except Exception as error:  # noqa: BLE001 - the point of the test
                self.assertEqual(type(error).__module__, "builtins")
            else:
                self.fail("no exception")


class ReferenceCountTest(unittest.TestCase):
    """Arguments keep their reference counts across successful and failing
    calls, also the small integers and one-letter strings the interpreter
    shares (which test_leaks.py leaves out), for every function that takes
    arguments (call_cases)."""

    def test_reference_counts_unchanged(self):
        cases = call_cases.build_cases()
        for path in call_cases.ARGUMENT_FUNCTION_PATHS:
            function = call_cases.function_at(path)
            own = [case for case in cases if case.function is function]
            held = [value for case in own for value in case.held_objects(shared=True)]
            # Garbage the collector finds while the calls run (cycles left
            # by earlier tests) would change the counts of the shared
            # objects: it is collected before each count.
            run_all(own, 2)
            gc.collect()
            # The counts are kept as machine integers: a list of them would
            # itself hold references to the small integers it counts.
            before = array.array("q", (sys.getrefcount(value) for value in held))
            run_all(own, RUNS)
            gc.collect()
            after = array.array("q", (sys.getrefcount(value) for value in held))
            changed = [(held[index], after[index] - before[index]) for index in range(len(held))
                       if abs(after[index] - before[index]) >= RUNS // 2]
            with self.subTest(path):
                self.assertEqual(changed, [])


# A reference that a call leaks or drops changes a count by at least the
# number of runs; the interpreter's own use of the shared objects moves
# theirs by a few, however many runs there are.
RUNS = 60


def run_all(cases, times):
    for _ in range(times):
        for case in cases:
            try:
                case()
            except Exception:  # noqa: BLE001 - the outcomes are test_leaks.py's
                pass


if __name__ == "__main__":
    unittest.main()
