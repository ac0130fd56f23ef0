# _korvalith.ciphers.vigenere: ASCII text, key of ASCII letters.

__all__ = ["encrypt", "decrypt"]

def encrypt(data: str, key: str, skip_non_alpha: bool = True) -> str:
    """Moves each ASCII letter of data forward by the next letter of key
    (a or A: 0 places, z or Z: 25), repeating the key as needed; every other
    character stays as it is.

    data: ASCII text to encrypt.
    key: one or more ASCII letters; case does not matter.
    skip_non_alpha: True: only letters use up key letters; False: every
        character does.

    Raises ValueError "Only ASCII input is supported" for non-ASCII data or
    key, ValueError "Key must be non-empty and contain only alphabetic
    characters", and TypeError when data or key is not a str or
    skip_non_alpha not a bool.
    """

def decrypt(data: str, key: str, skip_non_alpha: bool = True) -> str:
    """Undoes encrypt with the same key and skip_non_alpha: moves each ASCII
    letter of data back by the next letter of key; every other character
    stays as it is.

    data: ASCII text to decrypt.
    key: one or more ASCII letters; case does not matter.
    skip_non_alpha: True: only letters use up key letters; False: every
        character does.

    Raises ValueError "Only ASCII input is supported" for non-ASCII data or
    key, ValueError "Key must be non-empty and contain only alphabetic
    characters", and TypeError when data or key is not a str or
    skip_non_alpha not a bool.
    """
