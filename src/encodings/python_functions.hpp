// The four Python functions of an encoding submodule (encode, decode,
// encode_bytes, decode_bytes), generated for one codec. Each codec's file
// instantiates them, so every function keeps its own entry point.
#pragma once

#if KORVALITH_WITH_PYTHON

#include "encodings/trim.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

template <CoreResult<ByteBuffer> (*Encode)(ByteView), CoreResult<ByteBuffer> (*Decode)(ByteView),
          std::size_t GroupLength>
struct EncodingFunctions {
    static PyObject* encode(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return run_wrapper<1>(signatures::ENCODE, args, nargs, kwnames,
                              [](BoundArguments<1>& arguments) -> WrapperResult {
                                  KORVALITH_TRY(data, arguments.text(0));
                                  return text_from_core(Encode(data));
                              });
    }

    // With `strict`, the text as given must fill whole groups; then white
    // space and trailing "=" are trimmed and the decoded bytes must be UTF-8.
    static PyObject* decode(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return run_wrapper<2>(signatures::DECODE, args, nargs, kwnames,
                              [](BoundArguments<2>& arguments) -> WrapperResult {
                                  KORVALITH_TRY(data, arguments.text(0));
                                  KORVALITH_TRY(strict, arguments.flag(1, false));
                                  if (strict && data.size() % GroupLength != 0) {
                                      return std::unexpected(lazy_error(ErrorClass::ValueError,
                                                                        "Length of input is not valid. Use "
                                                                        "strict=False to disable length checking."));
                                  }
                                  const ByteView trimmed = trim_for_decode(data);
                                  if (trimmed.empty()) return new_text({});
                                  auto decoded = Decode(trimmed);
                                  if (!decoded) return std::unexpected(core_failure(decoded.error()));
                                  return new_text_or_value_error(decoded->view(),
                                                                 "Invalid utf8. Use decode_bytes() instead.");
                              });
    }

    static PyObject* encode_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return run_wrapper<1>(signatures::ENCODE_BYTES, args, nargs, kwnames,
                              [](BoundArguments<1>& arguments) -> WrapperResult {
                                  KORVALITH_TRY(data, arguments.bytes(0));
                                  return bytes_from_core(Encode(data));
                              });
    }

    // The bytes exactly as given: no trimming, no length check.
    static PyObject* decode_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return run_wrapper<1>(signatures::DECODE_BYTES, args, nargs, kwnames,
                              [](BoundArguments<1>& arguments) -> WrapperResult {
                                  KORVALITH_TRY(data, arguments.bytes(0));
                                  return bytes_from_core(Decode(data));
                              });
    }
};

}  // namespace korvalith::py

#endif
