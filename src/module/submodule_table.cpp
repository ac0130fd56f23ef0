// The tree of the module below the top-level module, one line per submodule
// of functions, in the order it is built: each group is created at its first
// line, filled by its lines and added to the top-level module after its last
// one. The order of the lines is the order of every __all__.
#include <cstddef>
#include <string_view>

#include "module/submodules.hpp"

// Outside an unnamed namespace: each line declares the submodule it names in
// this namespace, where KORVALITH_PYTHON_SUBMODULE defines it.
namespace korvalith::py::submodules {

constexpr SubmoduleEntry TABLE[] = {
    {"ciphers", KORVALITH_SUBMODULE(caesar)},
    {"ciphers", KORVALITH_SUBMODULE(vigenere)},
    {"ciphers", KORVALITH_SUBMODULE(rot13)},
    {"ciphers", KORVALITH_SUBMODULE(substitution)},
    {"ciphers", KORVALITH_SUBMODULE(aes)},
    {"encodings", KORVALITH_SUBMODULE(base32)},
    {"encodings", KORVALITH_SUBMODULE(base64)},
    {nullptr, KORVALITH_SUBMODULE(cli)},
};

// A group's lines stand together: a group that came back later would be
// created a second time.
consteval bool groups_stand_together() {
    auto same = [](const char* a, const char* b) {
        return a == nullptr ? b == nullptr : b != nullptr && std::string_view(a) == std::string_view(b);
    };
    for (std::size_t i = 1; i < std::size(TABLE); ++i) {
        if (TABLE[i].group == nullptr || same(TABLE[i].group, TABLE[i - 1].group)) continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (same(TABLE[i].group, TABLE[j].group)) return false;
        }
    }
    return true;
}
static_assert(groups_stand_together(), "the lines of one group must stand together");

}  // namespace korvalith::py::submodules

std::span<const korvalith::py::SubmoduleEntry> korvalith::py::submodule_table() { return submodules::TABLE; }
