// A small action table checked by the rules of every action table, in one
// variant chosen by KORVALITH_ACTION_TABLE. The sound variant is part of the
// build; each other variant is built only by its compile test
// (tests/compile/CMakeLists.txt), which expects the error to name the row and
// the rule it breaks.
#include "cli/command/action_rules.hpp"

namespace korvalith::cli {

namespace {

#define KORVALITH_SOUND 1
#define KORVALITH_UNDECLARED_GROUP 2

ChunkedCorePtr empty(const Matches&) { return nullptr; }

constexpr GroupDeclaration GROUPS[] = {
    {"base32", "Base32 encoding and decoding."},
};

constexpr ActionDeclaration ACTIONS[] = {
    {.group = "base32", .name = "encode", .about = "Encode.", .arguments = {DATA("Data."), STRING(), OUTPUT("Out.")},
     .input = InputKind::bytes, .result = ResultKind::encoded, .core = empty},
#if KORVALITH_ACTION_TABLE == KORVALITH_UNDECLARED_GROUP
    // A new group's action, without the group's row in GROUPS.
    {.group = "atbash", .name = "encrypt", .about = "Encrypt.", .arguments = {DATA("Data."), STRING()},
     .input = InputKind::text, .result = ResultKind::text, .core = empty},
#endif
};

static_assert(check_action_table<GROUPS, ACTIONS>());

}  // namespace

}  // namespace korvalith::cli
