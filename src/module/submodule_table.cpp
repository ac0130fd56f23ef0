// The tree of the module below the top-level module: LINE(group, submodule),
// one line per submodule of functions, in the order the tree is built. Each
// group is created at its first line, filled by its lines and added to the
// top-level module after its last one; `_korvalith` as the group puts the
// submodule in the top-level module itself. The order of the lines is the
// order of every __all__: a new submodule's line goes where its name is to
// stand in its group's __all__.
#include "module/submodules.hpp"

#define KORVALITH_SUBMODULE_TABLE(LINE) \
    LINE(ciphers, caesar)               \
    LINE(ciphers, vigenere)             \
    LINE(ciphers, rot13)                \
    LINE(ciphers, substitution)         \
    LINE(ciphers, aes)                  \
    LINE(encodings, base32)             \
    LINE(encodings, base64)             \
    LINE(_korvalith, cli)

KORVALITH_DEFINE_SUBMODULE_TABLE(KORVALITH_SUBMODULE_TABLE);
