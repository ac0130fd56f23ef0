# Type information for the _korvalith extension module.
#
# The module's submodules exist only as attributes of their parents: they are
# not entered in sys.modules, so "import _korvalith.ciphers" fails at run
# time. Each submodule is therefore described by a private stub module
# (_ciphers, _caesar, ...) that is bound here under its public name. Type
# checkers then accept "_korvalith.ciphers.caesar.encrypt(...)" and
# "from _korvalith import ciphers", and reject the dotted import, just as the
# interpreter does.

from . import _ciphers as ciphers
from . import _cli as cli
from . import _encodings as encodings

__all__ = ["ciphers", "encodings", "cli"]
