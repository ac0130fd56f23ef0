# _korvalith.ciphers: the classical ciphers and AES.

from . import _aes as aes
from . import _caesar as caesar
from . import _rot13 as rot13
from . import _substitution as substitution
from . import _vigenere as vigenere

__all__ = ["caesar", "vigenere", "rot13", "substitution", "aes"]
