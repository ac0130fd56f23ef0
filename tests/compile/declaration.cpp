// A Python function declared as the module's sources declare theirs, in one
// variant chosen by KORVALITH_DECLARATION. The matching variant is part of
// the build; each other variant is built only by its compile test
// (tests/compile/CMakeLists.txt), which expects the compile to fail with the
// declaration's own message.
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

WrapperResult decode(ByteView data, bool strict) {
    if (strict) return new_text({});
    return new_text(data);
}

#define KORVALITH_MATCHING 1
#define KORVALITH_EXTRA_PARAMETER 2
#define KORVALITH_MISSING_PARAMETER 3
#define KORVALITH_WRONG_KIND 4

#if KORVALITH_DECLARATION == KORVALITH_MATCHING
using Decode = PythonFunction<"decode", decode, Text<"data">, Flag<"strict", false>>;
#elif KORVALITH_DECLARATION == KORVALITH_EXTRA_PARAMETER
using Decode = PythonFunction<"decode", decode, Text<"data">, Integer<"shift">, Flag<"strict", false>>;
#elif KORVALITH_DECLARATION == KORVALITH_MISSING_PARAMETER
using Decode = PythonFunction<"decode", decode, Text<"data">>;
#elif KORVALITH_DECLARATION == KORVALITH_WRONG_KIND
using Decode = PythonFunction<"decode", decode, Text<"data">, Integer<"strict">>;
#endif

}  // namespace

// Makes the record, which instantiates the whole declaration.
PyMethodDef* declared_record() { return &Decode::record; }

}  // namespace korvalith::py
