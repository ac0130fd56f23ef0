// Two submodules and a table of them, declared as the module's sources
// declare theirs, in one variant chosen by KORVALITH_SUBMODULE_TABLE. Built
// as a shared object, as the module is, so that Python's symbols are left to
// the interpreter: the sound variant is part of the build; each other variant
// is built only by its compile test (tests/compile/CMakeLists.txt), which
// expects the link to fail naming the submodule.
#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

WrapperResult echo(ByteView data) { return new_text(data); }

using Encode = PythonFunction<"encode", echo, Text<"data">>;
using Decode = PythonFunction<"decode", echo, Text<"data">>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(alpha, Encode);
KORVALITH_PYTHON_SUBMODULE(beta, Decode);

#define KORVALITH_SOUND 1
#define KORVALITH_MISSPELLED 2

#if KORVALITH_SUBMODULE_TABLE == KORVALITH_SOUND
#define TEST_TABLE(LINE) \
    LINE(examples, alpha) \
    LINE(_korvalith, beta)
#elif KORVALITH_SUBMODULE_TABLE == KORVALITH_MISSPELLED
#define TEST_TABLE(LINE) \
    LINE(examples, aplha) \
    LINE(_korvalith, beta)
#endif

KORVALITH_DEFINE_SUBMODULE_TABLE(TEST_TABLE);
