# _korvalith.ciphers.caesar: shifts ASCII letters by -25..25 places.

__all__ = ["encrypt", "decrypt"]

def encrypt(data: str, shift: int) -> str:
    """Moves every ASCII letter of data forward by shift places within its
    own case, wrapping from z to a; every other character stays as it is.

    data: the text to encrypt.
    shift: -25 to 25; a negative shift moves backward.

    Raises ValueError "Shift must be in the range -25 to 25", OverflowError
    for a shift outside the signed 32-bit range, and TypeError when data is
    not a str or shift not an int.
    """

def decrypt(data: str, shift: int) -> str:
    """Undoes encrypt with the same shift: moves every ASCII letter of data
    back by shift places within its own case; every other character stays
    as it is.

    data: the text to decrypt.
    shift: -25 to 25, the shift it was encrypted with.

    Raises ValueError "Shift must be in the range -25 to 25", OverflowError
    for a shift outside the signed 32-bit range, and TypeError when data is
    not a str or shift not an int.
    """
