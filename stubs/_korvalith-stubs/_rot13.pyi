# _korvalith.ciphers.rot13: one operation under three names.

__all__ = ["encrypt", "decrypt", "rotate"]

def encrypt(data: str) -> str:
    """Moves every ASCII letter of data 13 places within its own case;
    every other character stays as it is. The same as decrypt and rotate.

    data: the text to rotate.

    Raises TypeError when data is not a str.
    """

def decrypt(data: str) -> str:
    """Moves every ASCII letter of data 13 places within its own case;
    every other character stays as it is. The same as encrypt and rotate.

    data: the text to rotate.

    Raises TypeError when data is not a str.
    """

def rotate(data: str) -> str:
    """Moves every ASCII letter of data 13 places within its own case;
    every other character stays as it is. Rotating twice gives data back.

    data: the text to rotate.

    Raises TypeError when data is not a str.
    """
