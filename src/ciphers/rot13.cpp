#include "ciphers/rot13.hpp"

namespace korvalith {

CoreResult<ByteBuffer> rot13_cipher(ByteView text) {
    auto out = ByteBuffer::allocate(text.size());
    if (out && !text.empty()) rot13_into(text, out->data());
    return out;
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

WrapperResult run_rot13(ByteView data) { return text_from_core(rot13_cipher(data)); }

// encrypt, decrypt and rotate are one operation under three names.
using Encrypt = PythonFunction<"encrypt", run_rot13, Text<"data">>;
using Decrypt = PythonFunction<"decrypt", run_rot13, Text<"data">>;
using Rotate = PythonFunction<"rotate", run_rot13, Text<"data">>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(rot13, Encrypt, Decrypt, Rotate);

#endif
